// SPDX-License-Identifier: GPL-3.0-or-later
// What the telemetry walk found in each recording, kept on disk (SQLite, in the user's cache
// folder) so that a card seen before opens with its trips complete without reading its
// recordings again. An entry is found only under the card's identity and the file's path,
// size and modification time: a file written again is read again. The files are the truth and
// the index only a cache: one from another version, or damaged, is discarded and made anew.
#pragma once

#include "telemetry/ZLXRoute.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct sqlite3;

namespace daxo {

// A recording as the index knows it.
struct ZLXIndexKey {
    std::string card; // the card's identity (cardPlaceOf)
    std::string path; // the file's path on that card
    int64_t size = 0;
    int64_t modified = 0; // nanoseconds
};

// Where a file lies: the identity of the file system that holds it (its UUID when the system
// names it, so that a card is known again wherever it is mounted), and the path from that
// file system's root. On a system without a UUID the identity is "path:" and the path the
// whole one.
struct ZLXCardPlace {
    std::string card;
    std::string path;
};
ZLXCardPlace cardPlaceOf(const std::string& path);

// The key of the regular file at `path`; none when it is not one.
std::optional<ZLXIndexKey> indexKeyOf(const std::string& path);

class ZLXTrackIndex {
public:
    // Bumped whenever what is stored changes meaning: an index of another version is discarded.
    static constexpr int kVersion = 2;
    // Entries of files not seen for this long are dropped.
    static constexpr int64_t kForgetAfterSeconds = 90 * 86400;

    // "$XDG_CACHE_HOME/daxo-viewer/tracks.sqlite" (else under ~/.cache).
    static std::string defaultPath();

    // Opens the index at `path`, making it (and its folder) when missing; a file that is not an
    // index of this version, or fails SQLite's check, is removed and made anew. None, with the
    // reason, only when no index can be made there at all.
    static std::unique_ptr<ZLXTrackIndex> open(const std::string& path, std::string* why = nullptr);
    ~ZLXTrackIndex();
    ZLXTrackIndex(const ZLXTrackIndex&) = delete;
    ZLXTrackIndex& operator=(const ZLXTrackIndex&) = delete;

    // The track kept for this key; none when there is none (or it cannot be read back).
    std::shared_ptr<const ZLXTrack> track(const ZLXIndexKey& key);
    // The length kept for this key (with or without its track).
    std::optional<double> duration(const ZLXIndexKey& key);
    // Keeps a recording's track (and length); false when the index could not take it.
    bool storeTrack(const ZLXIndexKey& key, const ZLXTrack& track);
    // Keeps a recording's length only (read from its movie header).
    bool storeDuration(const ZLXIndexKey& key, double seconds);
    // Drops the entries not seen (found or stored) since `now` less kForgetAfterSeconds;
    // how many went.
    int forgetUnseen(int64_t now);
    int64_t entries();

    // The time the entries are stamped with when seen (seconds); tests set their own.
    void setNow(int64_t seconds) { m_now = seconds; }

private:
    explicit ZLXTrackIndex(sqlite3* db) : m_db(db) {}
    int64_t now() const;
    void touch(const ZLXIndexKey& key);

    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::optional<int64_t> m_now;
};

// A track as the index stores it, and back; none for bytes that are not one.
std::string encodeTrack(const ZLXTrack& track);
std::shared_ptr<ZLXTrack> decodeTrack(const std::string& bytes);

} // namespace daxo
