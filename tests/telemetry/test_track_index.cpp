// SPDX-License-Identifier: GPL-3.0-or-later
// The index of recordings read before: a card seen before is not read again (its reads are
// counted), a changed file is, and an index that cannot be trusted is made anew.
#include "../support/FfmpegInput.h"
#include "../support/TempTree.h"
#include "library/ZLXFileIO.h"
#include "telemetry/ZLXTrackIndex.h"
#include "telemetry/ZLXTrip.h"
#include "tools/ZLXCardMaker.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace daxo;

namespace {

struct Opening {
    std::vector<ZLXDrive> drives;
    uint64_t reads = 0;      // of recordings
    size_t filesRead = 0;    // recordings whose telemetry came from the file
};

// Opens the card as the viewer does: trips from names and lengths, then every trip's tracks.
Opening openCard(const std::string& folder, const std::string& indexPath) {
    const uint64_t before = ZLXRecordingReader::readCalls();
    ZLXTrackCache cache(ZLXTrackIndex::open(indexPath));
    const ZLXMediaList::Contents contents = ZLXMediaList::build(folder);
    Opening o;
    for (const ZLXTrip& trip : groupTrips(tripGroupsWithDurations(contents.medias, contents.mediaPairDic, &cache), 180))
        o.drives.push_back(ZLXDrive::load(trip, [&](const std::string& p) { return cache.track(p); }, {}));
    o.reads = ZLXRecordingReader::readCalls() - before;
    o.filesRead = cache.filesRead();
    return o;
}

struct Card {
    test::TempTree tree;
    std::string folder = tree.path("card"), index = tree.path("cache/tracks.sqlite");
    explicit Card(int groups) {
        const std::string input = tree.path("input.mp4");
        EXPECT_TRUE(test::ffmpegMp4(input, 2, false));
        std::filesystem::create_directories(folder);
        tools::CardOptions options;
        options.groups = groups;
        options.frontInput = options.rearInput = input;
        options.frontBytes = 8 << 20; // sparse: the records lie megabytes apart
        options.rearBytes = 2 << 20;
        options.groupsPerTrip = 40;
        EXPECT_TRUE(tools::makeCard(folder, options).ok);
    }
};

} // namespace

// The card benchmark in CI size: 100 recordings read once, then found in the index with no
// read of any recording; a file written again is the only one read again.
TEST(TrackIndex, ACardSeenBeforeIsNotReadAgain) {
    Card card(100);
    const Opening first = openCard(card.folder, card.index);
    ASSERT_EQ(first.drives.size(), 3u); // 40 + 40 + 20 groups
    EXPECT_EQ(first.filesRead, 100u);
    EXPECT_GE(first.reads, 100u * 60); // a read per record at least
    EXPECT_EQ(first.drives[0].impacts.size(), 1u); // the event recording, the 25th group
    EXPECT_GT(first.drives[0].route.distanceMeters(), 1000);

    const Opening second = openCard(card.folder, card.index);
    EXPECT_EQ(second.filesRead, 0u);
    EXPECT_EQ(second.reads, 0u);
    ASSERT_EQ(second.drives.size(), first.drives.size());
    for (size_t i = 0; i < first.drives.size(); ++i) {
        EXPECT_DOUBLE_EQ(second.drives[i].route.distanceMeters(), first.drives[i].route.distanceMeters());
        EXPECT_DOUBLE_EQ(second.drives[i].trip.duration(), first.drives[i].trip.duration());
        EXPECT_EQ(second.drives[i].impacts.size(), first.drives[i].impacts.size());
    }

    // one recording written again (fewer records): read again, and only it
    const std::string changed = card.folder + "/alwa_20240506_070000_F.MP4";
    tools::WriterOptions options;
    options.telemetry = tools::cruiseRecords(10, 60, 1714978800, 37.5, 127, 60, false);
    ASSERT_TRUE(tools::writeRecording(card.tree.path("input.mp4"), changed, options).ok);
    const Opening third = openCard(card.folder, card.index);
    EXPECT_EQ(third.filesRead, 1u);
    EXPECT_EQ(third.drives[0].tracks[0]->points.size(), 10u);
}

// The card pulled out half-way through: the rest fails at once (no hang, no partial track kept
// as if whole), what was read stays in the index, and the card put back is read only where
// it was not.
TEST(TrackIndex, ACardPulledMidScanKeepsWhatWasRead) {
    Card card(20);
    const std::string away = card.tree.path("pulled");
    ZLXDrive drive;
    {
        ZLXTrackCache cache(ZLXTrackIndex::open(card.index));
        const ZLXMediaList::Contents contents = ZLXMediaList::build(card.folder);
        const auto trips = groupTrips(tripGroupsWithDurations(contents.medias, contents.mediaPairDic, &cache), 180);
        ASSERT_EQ(trips.size(), 1u);
        size_t read = 0;
        drive = ZLXDrive::load(trips[0], [&](const std::string& p) {
            if (++read == 9)
                std::filesystem::rename(card.folder, away); // the card leaves its slot
            return cache.track(p);
        }, {});
        EXPECT_EQ(cache.filesRead(), 8u);
    }
    ASSERT_EQ(drive.tracks.size(), 20u); // the time line keeps its groups, the missing ones empty
    EXPECT_EQ(drive.tracks[7]->points.size(), 60u);
    EXPECT_TRUE(drive.tracks[8]->points.empty());
    std::filesystem::rename(away, card.folder);
    const Opening again = openCard(card.folder, card.index);
    EXPECT_EQ(again.filesRead, 12u);
}

TEST(TrackIndex, AnIndexNotTrustedIsMadeAnew) {
    test::TempTree tree;
    const std::string path = tree.path("tracks.sqlite");
    ZLXTrack track;
    track.name = "alwa_20240506_070000_F.MP4";
    track.duration = 60;
    track.points.resize(3);
    const ZLXIndexKey key{"uuid:1234-ABCD", "alwa_20240506_070000_F.MP4", 1000, 42};
    {
        auto index = ZLXTrackIndex::open(path);
        ASSERT_TRUE(index);
        ASSERT_TRUE(index->storeTrack(key, track));
        ASSERT_TRUE(index->track(key));
        // the same path at another size or time is another file
        ZLXIndexKey other = key;
        other.modified = 43;
        EXPECT_FALSE(index->track(other));
    }
    // a stored track that does not read back is not believed
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "UPDATE recording SET track=x'44585431ffffffff'", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        auto index = ZLXTrackIndex::open(path);
        ASSERT_TRUE(index);
        EXPECT_FALSE(index->track(key));
        EXPECT_EQ(index->duration(key), 60.0); // what is whole still serves
    }
    // another version's index, then bytes that are no database: each discarded, never read
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        std::string why;
        auto index = ZLXTrackIndex::open(path, &why);
        ASSERT_TRUE(index);
        EXPECT_NE(why.find("version"), std::string::npos) << why;
        EXPECT_EQ(index->entries(), 0);
        ASSERT_TRUE(index->storeTrack(key, track));
    }
    for (const char* suffix : {"-wal", "-shm"})
        std::filesystem::remove(path + suffix);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(8192, '\x5a');
    std::string why;
    auto index = ZLXTrackIndex::open(path, &why);
    ASSERT_TRUE(index);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(index->entries(), 0);
    // a FIFO in its place: refused without waiting on it, and left there
    const std::string fifo = tree.path("fifo.sqlite");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ZLXTrackIndex::open(fifo, &why));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    // a place where no index can be made: told, not thrown
    EXPECT_FALSE(ZLXTrackIndex::open("/proc/daxo/tracks.sqlite", &why));
    EXPECT_FALSE(why.empty());
}

// Two viewers on the same card write the same index at once: SQLite's locking keeps every
// entry of both, and the file passes its check.
TEST(TrackIndex, TwoProcessesWriteOneIndex) {
    test::TempTree tree;
    const std::string path = tree.path("tracks.sqlite");
    ASSERT_TRUE(ZLXTrackIndex::open(path));
    ZLXTrack track;
    track.duration = 60;
    track.points.resize(300);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            auto index = ZLXTrackIndex::open(path);
            bool ok = bool(index);
            for (int i = 0; ok && i < 200; ++i)
                ok = index->storeTrack({"card", std::to_string(c) + "/" + std::to_string(i), i, i}, track);
            ::_exit(ok ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string why;
    auto index = ZLXTrackIndex::open(path, &why);
    ASSERT_TRUE(index);
    EXPECT_TRUE(why.empty()) << why;
    EXPECT_EQ(index->entries(), 400);
}

TEST(TrackIndex, EntriesUnseenFor90DaysAreForgotten) {
    test::TempTree tree;
    auto index = ZLXTrackIndex::open(tree.path("tracks.sqlite"));
    ASSERT_TRUE(index);
    const int64_t day = 86400, start = 1714978800;
    index->setNow(start);
    ASSERT_TRUE(index->storeDuration({"card", "old", 1, 1}, 60));
    ASSERT_TRUE(index->storeDuration({"card", "seen", 1, 1}, 60));
    index->setNow(start + 60 * day);
    EXPECT_TRUE(index->duration({"card", "seen", 1, 1})); // seen again: kept longer
    EXPECT_EQ(index->forgetUnseen(start + 89 * day), 0);
    EXPECT_EQ(index->forgetUnseen(start + 91 * day), 1);
    EXPECT_FALSE(index->duration({"card", "old", 1, 1}));
    EXPECT_TRUE(index->duration({"card", "seen", 1, 1}));
}

TEST(TrackIndex, StoredTracksReadBackWholeAndOthersAreRefused) {
    ZLXTrack track;
    track.name = "event_20240506_070000_F.MP4";
    track.duration = 59.5;
    track.speedInKmh = false;
    ZLXTrackPoint p;
    p.seconds = 1.2;
    p.g = ZLXGSensor(0.1f, -0.2f, 1.0f);
    p.hasFix = true;
    p.latitude = -33.9, p.longitude = 151.2, p.speedKmh = 61.5, p.course = 45, p.hdop = 0.8, p.satellites = 9;
    p.utc.wYear = 2024, p.utc.wMonth = 5, p.utc.wDay = 6, p.utc.wHour = 7, p.utc.wMilliseconds = 400;
    track.points = {p, ZLXTrackPoint{}};
    const std::string bytes = encodeTrack(track);
    const auto back = decodeTrack(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, track.name);
    EXPECT_EQ(back->duration, 59.5);
    EXPECT_FALSE(back->speedInKmh);
    ASSERT_EQ(back->points.size(), 2u);
    const ZLXTrackPoint& q = back->points[0];
    EXPECT_EQ(q.seconds, 1.2);
    EXPECT_EQ(q.g.y, -0.2f);
    EXPECT_TRUE(q.hasFix);
    EXPECT_EQ(q.latitude, -33.9);
    EXPECT_EQ(q.satellites, 9u);
    EXPECT_EQ(isoUtc(q.utc), isoUtc(p.utc));
    EXPECT_FALSE(back->points[1].hasFix);
    // cut short, grown, or claiming more points than it holds
    EXPECT_FALSE(decodeTrack(bytes.substr(0, bytes.size() - 1)));
    EXPECT_FALSE(decodeTrack(bytes + "x"));
    std::string claims = bytes;
    claims[4] = '\xff';
    EXPECT_FALSE(decodeTrack(claims));
    EXPECT_FALSE(decodeTrack(""));
}
