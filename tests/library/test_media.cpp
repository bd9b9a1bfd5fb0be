// SPDX-License-Identifier: GPL-3.0-or-later
// Recording names: the grammar, the derived names and the ordering; the thumbnail folder.
#include "../support/TempTree.h"
#include "library/ZLXMedia.h"
#include "library/ZLXThumbnailKey.h"
#include "presentation/ZLXMediaTableText.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

using namespace daxo;
using daxo::test::TempTree;

namespace {

struct NameCase {
    const char* path;
    ZLXMediaDivision division;
    ZLXMediaDirection direction;
    int year, month, day, hour, minute, second;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.path; }

class RecordingName : public ::testing::TestWithParam<NameCase> {};

TEST_P(RecordingName, ParsesDivisionDirectionAndDateTime) {
    const NameCase& c = GetParam();
    const ZLXMedia media(c.path);
    EXPECT_EQ(media.mediaDivision(), c.division);
    EXPECT_EQ(media.mediaDirection(), c.direction);
    EXPECT_EQ(media.year(), c.year);
    EXPECT_EQ(media.month(), c.month);
    EXPECT_EQ(media.day(), c.day);
    EXPECT_EQ(media.hour(), c.hour);
    EXPECT_EQ(media.minute(), c.minute);
    EXPECT_EQ(media.second(), c.second);
}

using Div = ZLXMediaDivision;
using Dir = ZLXMediaDirection;

INSTANTIATE_TEST_SUITE_P(
    Grammar, RecordingName,
    ::testing::Values(
        NameCase{"/card/alwa_20200131_235959_F.MP4", Div::Always, Dir::Front, 2020, 1, 31, 23, 59, 59},
        NameCase{"motion_20191205_080000_R.mp4", Div::Motion, Dir::Rear, 2019, 12, 5, 8, 0, 0},
        NameCase{"event_20191205_080000_R.mp4", Div::Event, Dir::Rear, 2019, 12, 5, 8, 0, 0},
        // out-of-range parts clear the date and leave the channel unknown
        NameCase{"alwa_20201301_120000_F.mp4", Div::Always, Dir::Unknown, 0, 0, 0, 0, 0, 0},
        NameCase{"alwa_19691231_235959_F.mp4", Div::Always, Dir::Unknown, 0, 0, 0, 0, 0, 0},
        NameCase{"event_27010101_000000_F.mp4", Div::Event, Dir::Unknown, 0, 0, 0, 0, 0, 0},
        NameCase{"motion_20200101_006100_R.mp4", Div::Motion, Dir::Unknown, 0, 0, 0, 0, 0, 0},
        // no calendar check: 30 February and hour 24 pass, as do minute and second 60
        NameCase{"alwa_20200230_240000_R.mp4", Div::Always, Dir::Rear, 2020, 2, 30, 24, 0, 0},
        NameCase{"alwa_27000101_246060_F.mp4", Div::Always, Dir::Front, 2700, 1, 1, 24, 60, 60},
        // the separator is not examined
        NameCase{"alwa_20200101x120000_F.mp4", Div::Always, Dir::Front, 2020, 1, 1, 12, 0, 0},
        // unknown and upper-case prefixes: no date, the suffix still decides the channel
        NameCase{"front_20200101_120000_F", Div::Always, Dir::Front, 0, 0, 0, 0, 0, 0},
        NameCase{"ALWA_20200101_120000_F.mp4", Div::Always, Dir::Front, 0, 0, 0, 0, 0, 0},
        NameCase{"._alwa_20200101_120000_F.mp4", Div::Always, Dir::Front, 0, 0, 0, 0, 0, 0},
        // lower-case suffix
        NameCase{"alwa_20200101_120000_f.mp4", Div::Always, Dir::Unknown, 2020, 1, 1, 12, 0, 0},
        // leading-integer rule: "2a" is 2, "ab" is 0 (and month 0 is out of range)
        NameCase{"alwa_2020012a_120000_F.mp4", Div::Always, Dir::Front, 2020, 1, 2, 12, 0, 0},
        NameCase{"alwa_2020ab01_120000_F.mp4", Div::Always, Dir::Unknown, 0, 0, 0, 0, 0, 0},
        NameCase{"alwa_2020 101_1 0000_F.mp4", Div::Always, Dir::Front, 2020, 1, 1, 1, 0, 0},
        // a valid length with a bad suffix keeps the date
        NameCase{"alwa_20200101_120000_FF.mp4", Div::Always, Dir::Unknown, 2020, 1, 1, 12, 0, 0},
        // wrong lengths keep the initial division and direction
        NameCase{"event_20200101_120000_F1_R.mp4", Div::Always, Dir::Front, 0, 0, 0, 0, 0, 0},
        NameCase{"clip.mov", Div::Always, Dir::Front, 0, 0, 0, 0, 0, 0}));

TEST(RecordingNameText, DerivedNamesKeepTheExtensionsCase) {
    const ZLXMedia media("/media/card//DCIM/./alwa_20200131_235959_F.MP4");
    EXPECT_EQ(media.path(), "/media/card/DCIM/alwa_20200131_235959_F.MP4");
    EXPECT_EQ(media.dir(), "/media/card/DCIM");
    EXPECT_EQ(media.mediaName(), "alwa_20200131_235959_F");
    EXPECT_EQ(media.extension(), "MP4");
    EXPECT_EQ(media.fileName(), "alwa_20200131_235959_F.MP4");
    EXPECT_EQ(media.mediaGroupName(), "alwa_20200131_235959");
    EXPECT_EQ(media.yyyymmddhhmiss(), "20200131235959");
    EXPECT_EQ(ZLXMedia("x/motion_20191205_080000_R.mp4").mediaGroupName(), "motion_20191205_080000");
}

TEST(RecordingNameText, LengthsCountCharactersNotBytes) {
    // 22 characters, 23 bytes: a valid length for the grammar
    const ZLXMedia accented("alwa_20200101_12000é_F.mp4");
    EXPECT_EQ(accented.mediaDirection(), ZLXMediaDirection::Front);
    EXPECT_EQ(accented.year(), 2020);
    EXPECT_EQ(accented.second(), 0); // "0é" reads as 0
    EXPECT_EQ(accented.mediaGroupName(), "alwa_20200101_12000é");
    // a character outside the basic plane counts twice
    EXPECT_EQ(path::utf16Length("a\xF0\x9F\x9A\x97"), 3u);
    EXPECT_EQ(path::utf16Length("\xFF\xFE"), 2u); // stray bytes count one each
}

TEST(RecordingOrder, OldestFirstThenEventMotionAlwaysThenFrontRear) {
    std::vector<ZLXMedia> medias{
        ZLXMedia("alwa_20200101_120000_R.mp4"),   ZLXMedia("alwa_20200101_120000_F.mp4"),
        ZLXMedia("motion_20200101_120000_F.mp4"), ZLXMedia("event_20200101_120000_R.mp4"),
        ZLXMedia("event_20200101_120000_F.mp4"),  ZLXMedia("alwa_20191231_235959_R.mp4"),
        ZLXMedia("alwa_20200101_120001_F.mp4"),   ZLXMedia("alwa_20200101_120000_x.mp4"),
    };
    std::sort(medias.begin(), medias.end(),
              [](const ZLXMedia& a, const ZLXMedia& b) { return a.compareDate(b) < 0; });
    std::vector<std::string> names;
    for (const auto& m : medias)
        names.push_back(m.mediaName());
    EXPECT_EQ(names, (std::vector<std::string>{
                         "alwa_20191231_235959_R", "event_20200101_120000_F",
                         "event_20200101_120000_R", "motion_20200101_120000_F",
                         "alwa_20200101_120000_F", "alwa_20200101_120000_R",
                         "alwa_20200101_120000_x", "alwa_20200101_120001_F"}));
    // records without a date sort before every dated one
    EXPECT_LT(ZLXMedia("front_20200101_120000_F.mp4").compareDate(ZLXMedia("alwa_19700101_000000_F.mp4")), 0);
    EXPECT_EQ(ZLXMedia("a/alwa_20200101_120000_F.mp4").compareDate(ZLXMedia("b/alwa_20200101_120000_F.MP4")), 0);
    EXPECT_GT(ZLXMedia("alwa_20200101_120000_R.mp4").compareDate(ZLXMedia("alwa_20200101_120000_F.mp4")), 0);
}

TEST(PlayerMediaChannel, LooksOnlyAtTheEndOfThePath) {
    EXPECT_EQ(mediaDirectionOfPlayerMedia("/c/event_20200101_120000_r.mp4"), ZLXMediaDirection::Rear);
    EXPECT_EQ(mediaDirectionOfPlayerMedia("/c/anything_F.Mp4"), ZLXMediaDirection::Front);
    EXPECT_EQ(mediaDirectionOfPlayerMedia("/c/clip_R.mov"), ZLXMediaDirection::Unknown);
    EXPECT_EQ(mediaDirectionOfPlayerMedia("_R.MP4"), ZLXMediaDirection::Rear);
    EXPECT_EQ(mediaDirectionOfPlayerMedia("R.MP4"), ZLXMediaDirection::Unknown);
    EXPECT_EQ(mediaDirectionOfPlayerMedia(std::nullopt), ZLXMediaDirection::Unknown);
}

TEST(MediaTableText, DatedUndatedAndUnknownChannelRows) {
    const ZLXMedia dated("alwa_20200131_090507_R.mp4");
    EXPECT_EQ(mediaDateText(dated), "2020-01-31");
    EXPECT_EQ(mediaTimeText(dated), "09:05:07");
    EXPECT_STREQ(mediaModeKey(dated), "media.always");
    EXPECT_EQ(mediaModeImageName(dated), "car_rear_alwa");
    EXPECT_EQ(mediaModeImageName(ZLXMedia("motion_20200131_090507_F.mp4")), "car_front_motion");
    EXPECT_EQ(mediaModeImageName(ZLXMedia("event_20200131_090507_R.mp4")), "car_rear_event");

    const ZLXMedia undated("._alwa_20200101_120000_F.mp4");
    EXPECT_EQ(mediaDateText(undated), "");
    EXPECT_EQ(mediaTimeText(undated), "");
    EXPECT_EQ(mediaModeImageName(undated), "car_front_alwa");

    const ZLXMedia unknown("event_20201301_120000_F.mp4");
    EXPECT_STREQ(mediaModeKey(unknown), "media.event");
    EXPECT_EQ(mediaModeImageName(unknown), std::nullopt);
}

} // namespace

// The thumbnail folder is kept within its bound: the pictures used longest ago go first, a use
// renews a picture, and nothing but the folder's own pictures is ever removed.
TEST(ThumbnailFolder, PrunesThePicturesUsedLongestAgoAndNothingElse) {
    TempTree tree;
    const auto picture = [&](int index, int age, size_t bytes) {
        const ZLXThumbnailKey key{"/card/" + std::to_string(index) + ".MP4", 1, 1, 0};
        const std::string file = tree.path(thumbnailFileName(key));
        std::ofstream(file) << std::string(bytes, 'j');
        const timespec when[2] = {{1'700'000'000 - age, 0}, {1'700'000'000 - age, 0}};
        utimensat(AT_FDCWD, file.c_str(), when, 0);
        return file;
    };
    const std::string oldest = picture(1, 400, 1000), older = picture(2, 300, 1000), newer = picture(3, 200, 1000);
    const std::string renewed = picture(4, 500, 1000);
    touchThumbnail(renewed); // shown again just now
    const std::string foreign = tree.path("0123456789abcdef.txt");
    std::ofstream(foreign) << std::string(5000, 'x');
    tree.mkdir("fedcba9876543210.jpg"); // a folder by a picture's name
    std::filesystem::create_symlink(foreign, tree.path("00000000000000ff.jpg"));
    ASSERT_EQ(mkfifo(tree.path("00000000000000fe.jpg").c_str(), 0600), 0);
    // the folder reached through a link is not pruned
    std::filesystem::create_directory_symlink(tree.path(), tree.path("linked"));
    EXPECT_EQ(pruneThumbnailFolder(tree.path("linked"), 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(oldest));

    EXPECT_EQ(pruneThumbnailFolder(tree.path(), 4000), 0u); // within bounds: nothing goes
    EXPECT_EQ(pruneThumbnailFolder(tree.path(), 2500), 2000u);
    EXPECT_FALSE(std::filesystem::exists(oldest));
    EXPECT_FALSE(std::filesystem::exists(older));
    EXPECT_TRUE(std::filesystem::exists(newer) && std::filesystem::exists(renewed));
    EXPECT_TRUE(std::filesystem::exists(foreign) && std::filesystem::is_directory(tree.path("fedcba9876543210.jpg")));
    EXPECT_TRUE(std::filesystem::is_symlink(tree.path("00000000000000ff.jpg")));
    EXPECT_TRUE(std::filesystem::is_fifo(tree.path("00000000000000fe.jpg")));
    EXPECT_EQ(pruneThumbnailFolder(tree.path("missing"), 0), 0u);
}
