// SPDX-License-Identifier: GPL-3.0-or-later
// The media list: the walk, the acceptance rule, the pairing and the background rebuild.
#include "../support/TempTree.h"
#include "library/ZLXMediaList.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

using namespace daxo;
using daxo::test::TempTree;

namespace {

std::vector<std::string> fileNames(const std::vector<ZLXMediaList::MediaPtr>& medias) {
    std::vector<std::string> names;
    for (const auto& m : medias)
        names.push_back(m->fileName());
    return names;
}

// Stands in for the interface thread: hand-backs queue up until the test runs them.
class MainQueue {
public:
    ZLXMediaList::HandBack handBack() {
        return [this](std::function<void()> task) {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
            m_ready.notify_all();
        };
    }
    // Runs queued tasks until `done` holds or the time runs out.
    bool runUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            std::unique_lock lock(m_mutex);
            if (!m_ready.wait_until(lock, deadline, [this] { return !m_tasks.empty(); }))
                return false;
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
        }
        return true;
    }
    void runPending() {
        std::unique_lock lock(m_mutex);
        while (!m_tasks.empty()) {
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_tasks;
};

struct CountingDelegate : ZLXMediaListDelegate {
    int calls = 0;
    std::vector<std::string> namesSeen;
    void mediaListChanged(ZLXMediaList& list) override {
        ++calls;
        namesSeen = fileNames(list.medias());
    }
};

TEST(MediaAcceptance, LengthAndSuffixDecide) {
    EXPECT_TRUE(ZLXMediaList::createMediaByPath("/c/alwa_20200101_120000_F.MP4"));
    EXPECT_TRUE(ZLXMediaList::createMediaByPath("/c/motion_20200101_120000_R.mp4"));
    EXPECT_TRUE(ZLXMediaList::createMediaByPath("/c/event_20200101_120000_R.mp4"));
    // accepted by length and suffix alone, listed without a date
    EXPECT_TRUE(ZLXMediaList::createMediaByPath("/c/._alwa_20200101_120000_F.mp4"));
    const auto outOfRange = ZLXMediaList::createMediaByPath("/c/alwa_20201301_120000_F.mp4");
    ASSERT_TRUE(outOfRange);
    EXPECT_EQ(outOfRange->mediaDirection(), ZLXMediaDirection::Unknown);
    EXPECT_EQ(outOfRange->year(), 0);

    EXPECT_FALSE(ZLXMediaList::createMediaByPath("/c/alwa_20200101_120000_X.mp4"));
    EXPECT_FALSE(ZLXMediaList::createMediaByPath("/c/alwa_20200101_120000_f.mp4"));
    EXPECT_FALSE(ZLXMediaList::createMediaByPath("/c/alwa_20200101_12000_F.mp4"));    // 21
    EXPECT_FALSE(ZLXMediaList::createMediaByPath("/c/motion_20200101_1200000_F.mp4")); // 25
}

TEST(MediaWalk, FindsRecordingsInSubfoldersAndIgnoresOtherFiles) {
    TempTree tree;
    tree.touch("alwa_20200101_120000_F.MP4");
    tree.touch("DCIM/alwa_20200101_120000_R.mp4");
    tree.touch("DCIM/deeper/still/event_20200101_130000_F.Mp4");
    tree.touch(".hidden/motion_20200101_110000_R.mp4");
    tree.touch("clip.mov");
    tree.touch("alwa_20200101_120000_F.mp4.bak");
    tree.touch("alwa_20200101_120000_X.mp4");
    tree.touch("alwa_20200101_12000_F.mp4");
    tree.touch("notes/alwa_20200101_120000_F.txt");
    tree.mkdir("folder_20200101_120000_F.mp4"); // a folder is walked, never listed
    // a FIFO of a recording's name is no recording (opening it would wait for a writer)
    ASSERT_EQ(mkfifo(tree.path("alwa_20200101_140000_F.mp4").c_str(), 0600), 0);

    const auto contents = ZLXMediaList::build(tree.path());
    EXPECT_EQ(fileNames(contents.medias),
              (std::vector<std::string>{"motion_20200101_110000_R.mp4", "alwa_20200101_120000_F.MP4",
                                        "alwa_20200101_120000_R.mp4", "event_20200101_130000_F.Mp4"}));
    EXPECT_EQ(contents.medias[2]->dir(), tree.path("DCIM"));
}

TEST(MediaWalk, PairsFrontAndRearByGroup) {
    TempTree tree;
    tree.touch("alwa_20200101_120000_F.MP4");
    tree.touch("alwa_20200101_120000_R.MP4");
    tree.touch("motion_20200101_120100_R.mp4");
    tree.touch("alwa_20201301_120000_F.mp4"); // Unknown channel: a group, no slot

    ZLXMediaList list;
    for (auto& media : ZLXMediaList::build(tree.path()).medias)
        list.addMedia(media);
    ASSERT_EQ(list.count(), 4u);
    EXPECT_EQ(list.mediaAtIndex(0)->fileName(), "alwa_20201301_120000_F.mp4"); // no date: first
    EXPECT_EQ(list.mediaAtIndex(1)->fileName(), "alwa_20200101_120000_F.MP4");
    EXPECT_EQ(list.mediaAtIndex(-1), nullptr);
    EXPECT_EQ(list.mediaAtIndex(4), nullptr);

    const auto pair = list.findMediaPairWithFileName(tree.path("alwa_20200101_120000_R.MP4"));
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->frontMedia, list.mediaAtIndex(1));
    EXPECT_EQ(pair->rearMedia, list.mediaAtIndex(2));
    EXPECT_EQ(list.findMediaPairWithFileName("alwa_20200101_120000"), pair);

    const auto rearOnly = list.findMediaPairWithFileName("motion_20200101_120100_R.mp4");
    ASSERT_TRUE(rearOnly);
    EXPECT_EQ(rearOnly->frontMedia, nullptr);
    ASSERT_TRUE(rearOnly->rearMedia);
    EXPECT_EQ(rearOnly->rearMedia->fileName(), "motion_20200101_120100_R.mp4");

    const auto unknown = list.findMediaPairWithFileName("alwa_20201301_120000_F.mp4");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->frontMedia, nullptr);
    EXPECT_EQ(unknown->rearMedia, nullptr);
    EXPECT_EQ(list.mediaPairDic().size(), 3u);
    EXPECT_EQ(list.findMediaPairWithFileName("alwa_20300101_120000_F.mp4"), nullptr);
}

TEST(MediaWalk, SameNameInTwoFoldersGivesTwoRecordsAndOnePair) {
    TempTree tree;
    tree.touch("a/alwa_20200101_120000_F.mp4");
    tree.touch("b/alwa_20200101_120000_F.mp4");
    ZLXMediaList list;
    for (auto& media : ZLXMediaList::build(tree.path()).medias)
        list.addMedia(media);
    ASSERT_EQ(list.count(), 2u);
    ASSERT_EQ(list.mediaPairDic().size(), 1u);
    const auto pair = list.mediaPairDic().begin()->second;
    EXPECT_EQ(pair->frontMedia, list.mediaAtIndex(1)); // the one added last
}

TEST(MediaWalk, DirectoryReachedTwiceThroughLinksIsWalkedOnce) {
    TempTree tree;
    tree.touch("card/alwa_20200101_120000_F.mp4");
    tree.symlink(tree.path("card"), "card/loop");        // a link back to itself
    tree.symlink(tree.path(), "card/up");                 // and one to the folder above
    tree.symlink(tree.path("card"), "alias");             // the same folder under two names
    tree.symlink(tree.path("missing"), "card/dangling"); // leads nowhere

    const auto contents = ZLXMediaList::build(tree.path());
    ASSERT_EQ(contents.medias.size(), 1u);
}

// A link to a folder is not followed: one to / inside a card would walk the whole computer, and
// one into the card leads only to what is walked anyway. A link to a file is a file.
TEST(MediaWalk, LinksToFoldersLeadNowhere) {
    TempTree tree;
    tree.touch("outside/alwa_20200101_120000_F.mp4");
    tree.touch("card/alwa_20200101_130000_F.mp4");
    tree.symlink(tree.path("outside"), "card/elsewhere");
    tree.symlink("/", "card/root");
    std::filesystem::create_symlink(tree.path("outside/alwa_20200101_120000_F.mp4"),
                                    tree.path("card/alwa_20200101_140000_F.mp4"));
    const auto contents = ZLXMediaList::build(tree.path("card"));
    ASSERT_EQ(contents.medias.size(), 2u);
    for (const auto& media : contents.medias)
        EXPECT_EQ(media->path().find("elsewhere"), std::string::npos);
}

// Deeper than the descriptors a process may hold and longer than a path open() takes: the
// recording at the bottom is still found, as `find` finds it.
TEST(MediaWalk, DepthCostsNoDescriptorsAndLengthHasNoLimit) {
    test::TempTree tree;
    int fd = ::open(tree.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string bottom = tree.path();
    for (int level = 0; level < 1500; ++level) { // 1 500 levels, a path of some 6 000 bytes
        ASSERT_EQ(::mkdirat(fd, "ddd", 0700), 0);
        const int next = ::openat(fd, "ddd", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        bottom += "/ddd";
    }
    const int file = ::openat(fd, "alwa_20240506_130709_F.mp4", O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(file, 0);
    ::close(file);
    ::close(fd);
    struct rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const struct rlimit few{64, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    const auto contents = ZLXMediaList::build(tree.path());
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ASSERT_EQ(contents.medias.size(), 1u);
    EXPECT_EQ(contents.medias[0]->path(), bottom + "/alwa_20240506_130709_F.mp4");
    // rm walks as deep as it must; std::filesystem stops at the path length limit
    EXPECT_EQ(std::system(("rm -rf " + tree.path() + "/ddd").c_str()), 0);
}

TEST(MediaWalk, UnreadableOrMissingFolderGivesAnEmptyList) {
    TempTree tree;
    tree.touch("locked/alwa_20200101_120000_F.mp4");
    tree.touch("open/alwa_20200101_120001_F.mp4");
    ASSERT_EQ(chmod(tree.path("locked").c_str(), 0), 0);
    const auto contents = ZLXMediaList::build(tree.path());
    if (geteuid() == 0) {
        EXPECT_GE(contents.medias.size(), 1u); // root reads through the mode bits
    } else {
        EXPECT_EQ(fileNames(contents.medias), std::vector<std::string>{"alwa_20200101_120001_F.mp4"});
    }
    EXPECT_TRUE(ZLXMediaList::build(tree.path("nothing-here")).medias.empty());
}

TEST(MediaWalk, KeepsAtMost15000RecordsOfACardAndAllOfALibrary) {
    TempTree tree;
    const std::string dir = tree.mkdir("many");
    char name[64];
    for (int i = 0; i < 20000; ++i) {
        std::snprintf(name, sizeof name, "/alwa_2020%02d%02d_%02d%02d%02d_%c.mp4", 1 + i / 2000 % 12,
                      1 + i / 100 % 20, i / 3600 % 24, i / 60 % 60, i % 60, i % 2 ? 'R' : 'F');
        std::ofstream(dir + name).flush();
    }
    EXPECT_EQ(ZLXMediaList::build(dir).medias.size(), kMaxMediaCount);

    // The folders above go on with their next entries, one record each at most.
    tree.touch("zz-after/alwa_20200101_120000_F.mp4");
    tree.touch("zz-after/alwa_20200101_120001_F.mp4");
    const size_t total = ZLXMediaList::build(tree.path()).medias.size();
    EXPECT_GE(total, kMaxMediaCount);
    EXPECT_LE(total, kMaxMediaCount + 1);

    // a library (its root holds the imports' lock) keeps them all
    tree.touch(std::string("many/") + kLibraryMarkName);
    EXPECT_EQ(ZLXMediaList::build(dir).medias.size(), 20000u);
}

TEST(MediaListRebuild, HandsTheWholeListOverOnTheOwnersThread) {
    TempTree tree;
    tree.touch("alwa_20200101_120000_F.mp4");
    tree.touch("alwa_20200101_120000_R.mp4");
    MainQueue main;
    CountingDelegate delegate;
    ZLXMediaList list(main.handBack());
    list.setDelegate(&delegate);
    list.setDirectoryPath(tree.path());
    EXPECT_EQ(list.directoryPath(), tree.path());
    EXPECT_EQ(list.count(), 0u); // nothing changes before the hand-back runs here
    ASSERT_TRUE(main.runUntil([&] { return delegate.calls > 0; }));
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_EQ(delegate.namesSeen,
              (std::vector<std::string>{"alwa_20200101_120000_F.mp4", "alwa_20200101_120000_R.mp4"}));

    // No path: the stored path goes, the records stay, nothing is rebuilt.
    list.setDirectoryPath(std::nullopt);
    list.waitForRebuilds();
    main.runPending();
    EXPECT_EQ(list.directoryPath(), std::nullopt);
    EXPECT_EQ(list.count(), 2u);
    EXPECT_EQ(delegate.calls, 1);
}

TEST(MediaListRebuild, SecondFolderLeavesNothingOfTheFirst) {
    TempTree first, second;
    first.touch("alwa_20200101_120000_R.mp4");
    first.touch("alwa_20200101_120100_F.mp4");
    second.touch("alwa_20200101_120000_F.mp4");
    MainQueue main;
    CountingDelegate delegate;
    ZLXMediaList list(main.handBack());
    list.setDelegate(&delegate);

    list.setDirectoryPath(first.path());
    ASSERT_TRUE(main.runUntil([&] { return delegate.calls == 1; }));
    list.setDirectoryPath(second.path());
    ASSERT_TRUE(main.runUntil([&] { return delegate.calls == 2; }));
    ASSERT_EQ(list.count(), 1u);
    const auto pair = list.findMediaPairWithFileName("alwa_20200101_120000_F.mp4");
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->rearMedia, nullptr); // the rear file of the first folder is gone
    EXPECT_EQ(list.mediaPairDic().size(), 1u);
}

TEST(MediaListRebuild, AnOlderRebuildNeverReportsAfterANewerFolderIsChosen) {
    TempTree big, small;
    const std::string dir = big.mkdir("many");
    char name[64];
    for (int i = 0; i < 6000; ++i) {
        std::snprintf(name, sizeof name, "/alwa_20200101_%02d%02d%02d_F.mp4", i / 3600, i / 60 % 60, i % 60);
        std::ofstream(dir + name).flush();
    }
    small.touch("event_20210101_120000_R.mp4");
    MainQueue main;
    CountingDelegate delegate;
    ZLXMediaList list(main.handBack());
    list.setDelegate(&delegate);
    list.setDirectoryPath(big.path());
    list.setDirectoryPath(small.path());
    list.waitForRebuilds();
    main.runPending();
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_EQ(delegate.namesSeen, std::vector<std::string>{"event_20210101_120000_R.mp4"});
}

TEST(MediaListRebuild, EmptyFolderStillReportsOnceAndDestructionCancels) {
    TempTree tree;
    MainQueue main;
    CountingDelegate delegate;
    {
        ZLXMediaList list(main.handBack());
        list.setDelegate(&delegate);
        list.setDirectoryPath(tree.path());
        ASSERT_TRUE(main.runUntil([&] { return delegate.calls == 1; }));
        EXPECT_EQ(list.count(), 0u);
        list.setDirectoryPath(tree.path()); // its hand-back arrives after the list is gone
        list.waitForRebuilds();
    }
    main.runPending();
    EXPECT_EQ(delegate.calls, 1);
}

TEST(MediaListRebuild, WithoutAHandBackTheDelegateIsCalledOnTheRebuildThread) {
    TempTree tree;
    tree.touch("alwa_20200101_120000_F.mp4");
    struct ThreadDelegate : ZLXMediaListDelegate {
        std::thread::id thread;
        size_t count = 0;
        void mediaListChanged(ZLXMediaList& list) override {
            thread = std::this_thread::get_id();
            count = list.count();
        }
    } delegate;
    ZLXMediaList list;
    list.setDelegate(&delegate);
    list.setDirectoryPath(tree.path());
    list.waitForRebuilds();
    EXPECT_NE(delegate.thread, std::thread::id());
    EXPECT_NE(delegate.thread, std::this_thread::get_id());
    EXPECT_EQ(delegate.count, 1u);
}

} // namespace
