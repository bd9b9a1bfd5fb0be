// SPDX-License-Identifier: GPL-3.0-or-later
// The SQLite files this program keeps as caches: opened only when they are its own, of this
// version and whole; anything else in their place is made anew, never trusted.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace daxo {

// A prepared statement that finalizes itself.
class ZLXStatement {
public:
    ZLXStatement(sqlite3* db, const char* sql);
    ~ZLXStatement();
    ZLXStatement(const ZLXStatement&) = delete;
    ZLXStatement& operator=(const ZLXStatement&) = delete;
    explicit operator bool() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }
    int step();
    void reset();

private:
    sqlite3_stmt* m_stmt = nullptr;
};

bool sqliteExec(sqlite3* db, const char* sql);

// The cache database at `path`, made with `schema` when new and marked with `applicationId`
// and `version`; a file of another program or version, or a damaged one, is removed and made
// anew. A link, a FIFO or a device in its place is left alone: none is returned, with why.
sqlite3* openCacheDatabase(const std::string& path, const std::string& schema, int32_t applicationId,
                           int32_t version, std::string* why);

} // namespace daxo
