// SPDX-License-Identifier: GPL-3.0-or-later
// A card imported into the library: verified copies in day folders, skipped when there,
// resumed after a cancel or a kill, never over another file, never from a file mid-change.
#include "../support/TempTree.h"
#include "library/ZLXImport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/file.h>
#include <unistd.h>

using namespace daxo;
namespace fs = std::filesystem;

namespace {

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file under `folder` (by its path below it) with its bytes.
std::map<std::string, std::string> treeOf(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            tree[fs::relative(entry.path(), folder).string()] = bytesOf(entry.path().string());
    return tree;
}

struct Card {
    test::TempTree tree;
    std::string card = tree.path("card"), library = tree.path("library");
    Card() {
        write(card + "/alwa_20241003_081500_F.MP4", std::string(9 << 20, 'f')); // three pieces
        write(card + "/alwa_20241003_081500_R.MP4", "rear");
        write(card + "/event_20241004_090000_F.MP4", "event front");
        write(card + "/caf\xe9_20241003_081500_F.MP4", "a name that is not UTF-8");
        write(card + "/config.bin", std::string(500, '\x22'));
        write(card + "/DrvInfo/daxo_000.drv", "log");
    }
};

} // namespace

// Each recording lands whole in its day folder, the event first, the card's settings and log
// kept per import; the card is read only; a second run copies nothing.
TEST(Import, CopiesVerifiedIntoDayFoldersAndSkipsWhatIsThere) {
    Card c;
    const auto card = treeOf(c.card);
    const ZLXImportSummary first = importCard(c.card, c.library, {});
    EXPECT_EQ(first.copied, 4u);
    EXPECT_EQ(first.failed, 0u);
    EXPECT_TRUE(first.stopped.empty());
    ASSERT_EQ(first.items.size(), 4u);
    EXPECT_EQ(first.items.front().target, c.library + "/2024-10-04/event_20241004_090000_F.MP4");
    EXPECT_EQ(bytesOf(c.library + "/2024-10-03/alwa_20241003_081500_F.MP4"), card.at("alwa_20241003_081500_F.MP4"));
    EXPECT_EQ(bytesOf(c.library + "/undated/caf\xe9_20241003_081500_F.MP4"), "a name that is not UTF-8");
    EXPECT_EQ(bytesOf(first.keptIn + "/config.bin"), card.at("config.bin"));
    EXPECT_EQ(bytesOf(first.keptIn + "/daxo_000.drv"), "log");
    EXPECT_EQ(treeOf(c.card), card);

    const ZLXImportSummary second = importCard(c.card, c.library, {});
    EXPECT_EQ(second.copied, 0u);
    EXPECT_EQ(second.skipped, 4u);
    EXPECT_EQ(importSummaryText(second), "Copied 0, skipped 4, failed 0 (0.0 GB copied).\n");

    // only events, or only from a date
    Card d;
    EXPECT_EQ(importCard(d.card, d.library, {.eventsOnly = true, .since = {}}).copied, 1u);
    EXPECT_EQ(importCard(d.card, d.library, {.since = "2024-10-04"}).skipped, 1u);
    EXPECT_EQ(planImport(d.card, d.library, {.since = "2024-10-03"}).size(), 3u);
}

// A cancel mid-file leaves no partial file; what a killed import left is removed by the next,
// which copies only what is missing.
TEST(Import, ACancelLeavesNothingHalfAndTheNextRunGoesOn) {
    Card c;
    const std::string big = "2024-10-03/alwa_20241003_081500_F.MP4";
    int pieces = 0;
    const ZLXImportSummary cancelled = importCard(c.card, c.library, {}, [&](const ZLXImportProgress& p) {
        return !(p.current.ends_with(big) && ++pieces == 2); // in the middle of the big file
    });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_GE(cancelled.copied, 1u); // the event, first
    for (const auto& [path, bytes] : treeOf(c.library))
        EXPECT_FALSE(path.ends_with(".daxo-part")) << path;
    EXPECT_FALSE(fs::exists(c.library + "/" + big));

    write(c.library + "/2024-10-03/.alwa_20241003_081500_F.MP4.daxo-part", "killed halfway");
    const ZLXImportSummary resumed = importCard(c.card, c.library, {});
    EXPECT_EQ(resumed.leftoversRemoved, 1u);
    EXPECT_EQ(resumed.skipped, cancelled.copied);
    EXPECT_EQ(resumed.copied + resumed.skipped, 4u);
    EXPECT_EQ(bytesOf(c.library + "/" + big).size(), size_t(9 << 20));
}

// Another file under a recording's name is left as it is and said; a file that changes while
// it is copied is copied again, and reported when it never holds still.
TEST(Import, NeverOverAnotherFileNorFromAChangingOne) {
    Card c;
    write(c.library + "/2024-10-03/alwa_20241003_081500_R.MP4", "someone else's");
    std::string growing = c.card + "/event_20241004_090000_F.MP4";
    int changes = 0;
    const ZLXImportSummary s = importCard(c.card, c.library, {}, [&](const ZLXImportProgress& p) {
        if (p.current.ends_with("event_20241004_090000_F.MP4") && changes++ == 0)
            std::ofstream(growing, std::ios::app) << " and more";
        return true;
    });
    EXPECT_EQ(bytesOf(c.library + "/2024-10-03/alwa_20241003_081500_R.MP4"), "someone else's");
    EXPECT_EQ(bytesOf(c.library + "/2024-10-04/event_20241004_090000_F.MP4"), "event front and more");
    EXPECT_EQ(s.failed, 1u);
    EXPECT_NE(importSummaryText(s).find("alwa_20241003_081500_R.MP4: another file of this name is in the library"),
              std::string::npos);

    Card d;
    const ZLXImportSummary restless = importCard(d.card, d.library, {}, [&](const ZLXImportProgress& p) {
        if (p.current.ends_with("event_20241004_090000_F.MP4"))
            std::ofstream(d.card + "/event_20241004_090000_F.MP4", std::ios::app) << "+";
        return true;
    });
    EXPECT_FALSE(fs::exists(d.library + "/2024-10-04/event_20241004_090000_F.MP4"));
    EXPECT_EQ(restless.items.front().why, "the file changed on the card while it was copied");
}

// Two imports into one library: the second refuses while the first runs. A library that is the
// card, inside it or around it (through a link too) is refused before anything is written.
TEST(Import, OneImportAtATime) {
    Card c;
    const auto card = treeOf(c.card);
    fs::create_symlink(c.card, c.tree.path("link"));
    for (const std::string& library : {c.card, c.card + "/library", c.tree.path("link") + "/new", c.tree.path()}) {
        EXPECT_EQ(importCard(c.card, library, {}).stopped,
                  "the library and the card are one folder, or one holds the other") << library;
    }
    EXPECT_EQ(treeOf(c.card), card);
    fs::create_directories(c.library);
    const int held = ::open((c.library + "/.daxo-import.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const ZLXImportSummary refused = importCard(c.card, c.library, {});
    EXPECT_EQ(refused.stopped, "another import into this library is running");
    EXPECT_EQ(refused.copied, 0u);
    ::close(held);
    EXPECT_EQ(importCard(c.card, c.library, {}).copied, 4u);
}
