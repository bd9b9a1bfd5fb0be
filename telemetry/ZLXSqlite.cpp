// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXSqlite.h"

#include <cstring>
#include <filesystem>
#include <optional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace daxo {

ZLXStatement::ZLXStatement(sqlite3* db, const char* sql) {
    sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
}

ZLXStatement::~ZLXStatement() {
    sqlite3_finalize(m_stmt);
}

int ZLXStatement::step() {
    return sqlite3_step(m_stmt);
}

void ZLXStatement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool sqliteExec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

namespace {

std::optional<int64_t> pragmaNumber(sqlite3* db, const char* sql) {
    ZLXStatement s(db, sql);
    if (!s || s.step() != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(s.get(), 0);
}

// The database at `path` as this version keeps it, made when the file is new; none when the
// file is something else or damaged.
sqlite3* openChecked(const std::string& path, const std::string& schema, int32_t applicationId, int32_t version,
                     std::string& why) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        why = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 10000); // another viewer on the same file waits its turn
    const auto fail = [&](const char* reason) -> sqlite3* {
        why = std::string(reason) + ": " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return nullptr;
    };
    const std::optional<int64_t> app = pragmaNumber(db, "PRAGMA application_id");
    const std::optional<int64_t> kept = pragmaNumber(db, "PRAGMA user_version");
    if (!app || !kept)
        return fail("not a database");
    if (*app == 0 && *kept == 0) {
        // new (or empty): made once, whoever comes first
        if (!sqliteExec(db, "PRAGMA journal_mode=WAL") || !sqliteExec(db, "BEGIN IMMEDIATE"))
            return fail("cannot make the index");
        const std::optional<int64_t> again = pragmaNumber(db, "PRAGMA application_id");
        if (again && *again == 0) {
            const std::string sql = schema + "PRAGMA application_id=" + std::to_string(applicationId) +
                                    ";PRAGMA user_version=" + std::to_string(version) + ";";
            if (!sqliteExec(db, sql.c_str())) {
                sqliteExec(db, "ROLLBACK");
                return fail("cannot make the index");
            }
        }
        if (!sqliteExec(db, "COMMIT"))
            return fail("cannot make the index");
    } else if (*app != applicationId || *kept != version) {
        return fail("another program's or version's index");
    }
    ZLXStatement check(db, "PRAGMA quick_check");
    if (!check || check.step() != SQLITE_ROW ||
        std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0)), "ok") != 0)
        return fail("damaged");
    sqliteExec(db, "PRAGMA journal_mode=WAL");
    sqliteExec(db, "PRAGMA synchronous=NORMAL");
    return db;
}

} // namespace

sqlite3* openCacheDatabase(const std::string& path, const std::string& schema, int32_t applicationId,
                           int32_t version, std::string* why) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    // a link, a FIFO or a device in the file's place is left alone, and nothing is used
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (why)
            *why = path + " is not a regular file";
        return nullptr;
    }
    std::string reason;
    sqlite3* db = openChecked(path, schema, applicationId, version, reason);
    if (!db) {
        // not trusted: made anew
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((path + suffix).c_str());
        std::string again;
        db = openChecked(path, schema, applicationId, version, again);
        if (!db) {
            if (why)
                *why = again;
            return nullptr;
        }
    }
    if (why)
        *why = reason;
    return db;
}

} // namespace daxo
