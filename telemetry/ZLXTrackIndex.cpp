// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/ZLXTrackIndex.h"

#include "library/ZLXFileIO.h"
#include "library/ZLXThumbnailKey.h"
#include "telemetry/ZLXSqlite.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <map>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace daxo {

static_assert(std::endian::native == std::endian::little, "the index stores numbers as the machine holds them");

namespace {

constexpr int32_t kApplicationId = 0x4441584f; // marks the file as this program's index
constexpr char kMagic[4] = {'D', 'X', 'T', '1'};

// One point as stored: seconds, x y z, fix flag, lat lon speed course hdop, satellites, UTC.
constexpr size_t kPointBytes = 8 + 3 * 4 + 1 + 5 * 8 + 4 + 8 * 2;
// A track of hours at any sensor rate is far below this; a blob claiming more is not one.
constexpr uint32_t kMaxPoints = 1u << 22;

template <typename T> void put(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

struct Cursor {
    const std::string& bytes;
    size_t at = 0;
    template <typename T> bool get(T& value) {
        if (bytes.size() - at < sizeof value)
            return false;
        std::memcpy(&value, bytes.data() + at, sizeof value);
        at += sizeof value;
        return true;
    }
};

// A prepared statement with a recording's key bound to ?1..?4.
class Statement : public ZLXStatement {
public:
    using ZLXStatement::ZLXStatement;
    void bindKey(const ZLXIndexKey& key) {
        sqlite3_bind_text(get(), 1, key.card.data(), int(key.card.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(get(), 2, key.path.data(), int(key.path.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(get(), 3, key.size);
        sqlite3_bind_int64(get(), 4, key.modified);
    }
};

} // namespace

std::string encodeTrack(const ZLXTrack& track) {
    std::string out(kMagic, sizeof kMagic);
    put(out, uint32_t(track.points.size()));
    put(out, track.duration);
    put(out, uint8_t(track.speedInKmh));
    put(out, uint16_t(std::min<size_t>(track.name.size(), UINT16_MAX)));
    out.append(track.name, 0, std::min<size_t>(track.name.size(), UINT16_MAX));
    out.reserve(out.size() + track.points.size() * kPointBytes);
    for (const ZLXTrackPoint& p : track.points) {
        put(out, p.seconds);
        put(out, p.g.x), put(out, p.g.y), put(out, p.g.z);
        put(out, uint8_t(p.hasFix));
        put(out, p.latitude), put(out, p.longitude), put(out, p.speedKmh), put(out, p.course), put(out, p.hdop);
        put(out, p.satellites);
        put(out, p.utc.wYear), put(out, p.utc.wMonth), put(out, p.utc.wDayOfWeek), put(out, p.utc.wDay);
        put(out, p.utc.wHour), put(out, p.utc.wMinute), put(out, p.utc.wSecond), put(out, p.utc.wMilliseconds);
    }
    return out;
}

std::shared_ptr<ZLXTrack> decodeTrack(const std::string& bytes) {
    Cursor c{bytes};
    char magic[4];
    uint32_t count = 0;
    uint8_t kmh = 0;
    uint16_t nameSize = 0;
    auto track = std::make_shared<ZLXTrack>();
    if (!c.get(magic) || std::memcmp(magic, kMagic, 4) != 0 || !c.get(count) || !c.get(track->duration) ||
        !c.get(kmh) || kmh > 1 || !c.get(nameSize) || bytes.size() - c.at < nameSize)
        return nullptr;
    track->speedInKmh = kmh != 0;
    track->name = bytes.substr(c.at, nameSize);
    c.at += nameSize;
    // exactly the points it claims: a blob cut short or grown is not a track
    if (count > kMaxPoints || bytes.size() - c.at != uint64_t(count) * kPointBytes || !std::isfinite(track->duration))
        return nullptr;
    track->points.resize(count);
    for (ZLXTrackPoint& p : track->points) {
        uint8_t fix = 0;
        if (uint8_t(bytes[c.at + 20]) > 1) // the fix flag
            return nullptr;
        c.get(p.seconds);
        c.get(p.g.x), c.get(p.g.y), c.get(p.g.z);
        c.get(fix);
        p.hasFix = fix != 0;
        c.get(p.latitude), c.get(p.longitude), c.get(p.speedKmh), c.get(p.course), c.get(p.hdop);
        c.get(p.satellites);
        c.get(p.utc.wYear), c.get(p.utc.wMonth), c.get(p.utc.wDayOfWeek), c.get(p.utc.wDay);
        c.get(p.utc.wHour), c.get(p.utc.wMinute), c.get(p.utc.wSecond), c.get(p.utc.wMilliseconds);
    }
    return track;
}

ZLXCardPlace cardPlaceOf(const std::string& path) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, error);
    const std::string full = error ? path : real.string();
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0)
        return {"path:", full};
    // the file system's UUID, as udev names the devices that have one
    std::string uuid;
    if (DIR* dir = ::opendir("/dev/disk/by-uuid")) {
        while (const dirent* entry = ::readdir(dir)) {
            struct stat dev {};
            const std::string link = std::string("/dev/disk/by-uuid/") + entry->d_name;
            if (entry->d_name[0] != '.' && ::stat(link.c_str(), &dev) == 0 && S_ISBLK(dev.st_mode) &&
                dev.st_rdev == st.st_dev) {
                uuid = entry->d_name;
                break;
            }
        }
        ::closedir(dir);
    }
    if (uuid.empty())
        return {"path:", full};
    // the path from the file system's root: up while the parent is on the same device
    std::filesystem::path root = real;
    while (root.has_parent_path() && root.parent_path() != root) {
        struct stat parent {};
        if (::stat(root.parent_path().c_str(), &parent) != 0 || parent.st_dev != st.st_dev)
            break;
        root = root.parent_path();
    }
    return {"uuid:" + uuid, std::filesystem::relative(real, root, error).string()};
}

std::optional<ZLXIndexKey> indexKeyOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    ZLXCardPlace place = cardPlaceOf(path);
    return ZLXIndexKey{std::move(place.card), std::move(place.path), int64_t(st.st_size),
                       int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::string ZLXTrackIndex::defaultPath() {
    return programCacheFolder() + "/tracks.sqlite";
}

std::unique_ptr<ZLXTrackIndex> ZLXTrackIndex::open(const std::string& path, std::string* why) {
    const std::string schema = "CREATE TABLE recording(card TEXT NOT NULL, path TEXT NOT NULL,"
                               " size INTEGER NOT NULL, modified INTEGER NOT NULL, duration REAL, track BLOB,"
                               " seen INTEGER NOT NULL, PRIMARY KEY(card, path)) WITHOUT ROWID;";
    sqlite3* db = openCacheDatabase(path, schema, kApplicationId, kVersion, why);
    return db ? std::unique_ptr<ZLXTrackIndex>(new ZLXTrackIndex(db)) : nullptr;
}

ZLXTrackIndex::~ZLXTrackIndex() {
    sqlite3_close(m_db);
}

int64_t ZLXTrackIndex::now() const {
    return m_now ? *m_now : int64_t(std::time(nullptr));
}

void ZLXTrackIndex::touch(const ZLXIndexKey& key) {
    // once a day is enough to keep an entry from being forgotten
    Statement s(m_db, "UPDATE recording SET seen=?5 WHERE card=?1 AND path=?2 AND size=?3 AND modified=?4 AND seen<?6");
    s.bindKey(key);
    sqlite3_bind_int64(s.get(), 5, now());
    sqlite3_bind_int64(s.get(), 6, now() - 86400);
    s.step();
}

std::shared_ptr<const ZLXTrack> ZLXTrackIndex::track(const ZLXIndexKey& key) {
    const std::lock_guard lock(m_mutex);
    Statement s(m_db, "SELECT track FROM recording WHERE card=?1 AND path=?2 AND size=?3 AND modified=?4 AND track IS NOT NULL");
    if (!s)
        return nullptr;
    s.bindKey(key);
    if (s.step() != SQLITE_ROW)
        return nullptr;
    const auto* data = static_cast<const char*>(sqlite3_column_blob(s.get(), 0));
    const std::string bytes(data ? data : "", size_t(sqlite3_column_bytes(s.get(), 0)));
    std::shared_ptr<const ZLXTrack> track = decodeTrack(bytes);
    if (track)
        touch(key);
    return track;
}

std::optional<double> ZLXTrackIndex::duration(const ZLXIndexKey& key) {
    const std::lock_guard lock(m_mutex);
    Statement s(m_db, "SELECT duration FROM recording WHERE card=?1 AND path=?2 AND size=?3 AND modified=?4 AND duration IS NOT NULL");
    if (!s)
        return std::nullopt;
    s.bindKey(key);
    if (s.step() != SQLITE_ROW)
        return std::nullopt;
    const double seconds = sqlite3_column_double(s.get(), 0);
    if (!std::isfinite(seconds) || seconds < 0)
        return std::nullopt;
    touch(key);
    return seconds;
}

bool ZLXTrackIndex::storeTrack(const ZLXIndexKey& key, const ZLXTrack& track) {
    const std::string bytes = encodeTrack(track);
    const std::lock_guard lock(m_mutex);
    Statement s(m_db, "INSERT OR REPLACE INTO recording(card, path, size, modified, duration, track, seen)"
                      " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (!s)
        return false;
    s.bindKey(key);
    sqlite3_bind_double(s.get(), 5, track.duration);
    sqlite3_bind_blob(s.get(), 6, bytes.data(), int(bytes.size()), SQLITE_STATIC);
    sqlite3_bind_int64(s.get(), 7, now());
    return s.step() == SQLITE_DONE;
}

bool ZLXTrackIndex::storeDuration(const ZLXIndexKey& key, double seconds) {
    const std::lock_guard lock(m_mutex);
    // a track kept for the same file stays; another version of the file goes
    Statement s(m_db, "INSERT INTO recording(card, path, size, modified, duration, track, seen)"
                      " VALUES(?1, ?2, ?3, ?4, ?5, NULL, ?6) ON CONFLICT(card, path) DO UPDATE SET"
                      " duration=excluded.duration, seen=excluded.seen,"
                      " track=CASE WHEN size=excluded.size AND modified=excluded.modified THEN track END,"
                      " size=excluded.size, modified=excluded.modified");
    if (!s)
        return false;
    s.bindKey(key);
    sqlite3_bind_double(s.get(), 5, seconds);
    sqlite3_bind_int64(s.get(), 6, now());
    return s.step() == SQLITE_DONE;
}

int ZLXTrackIndex::forgetUnseen(int64_t nowSeconds) {
    const std::lock_guard lock(m_mutex);
    Statement s(m_db, "DELETE FROM recording WHERE seen<?1");
    if (!s)
        return 0;
    sqlite3_bind_int64(s.get(), 1, nowSeconds - kForgetAfterSeconds);
    return s.step() == SQLITE_DONE ? sqlite3_changes(m_db) : 0;
}

int64_t ZLXTrackIndex::entries() {
    const std::lock_guard lock(m_mutex);
    ZLXStatement count(m_db, "SELECT count(*) FROM recording");
    return count && count.step() == SQLITE_ROW ? sqlite3_column_int64(count.get(), 0) : 0;
}

} // namespace daxo
