// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXMediaList.h"

#include "library/ZLXFileIO.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace daxo {

struct ZLXMediaList::Shared {
    struct Job {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    std::mutex mutex;
    ZLXMediaList* owner = nullptr; // cleared when the list goes away
    uint64_t generation = 0;
    HandBack handBack;
    std::vector<Job> jobs; // touched only by the owner's thread
};

ZLXMediaList::ZLXMediaList(HandBack handBack) : m_shared(std::make_shared<Shared>()) {
    m_shared->owner = this;
    m_shared->handBack = std::move(handBack);
}

ZLXMediaList::~ZLXMediaList() {
    for (auto& job : m_shared->jobs)
        job.thread.request_stop();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->owner = nullptr;
    }
    m_shared->jobs.clear(); // joins
}

void ZLXMediaList::waitForRebuilds() {
    // join() rather than destruction: a jthread asks its task to stop before it joins.
    for (auto& job : m_shared->jobs) {
        if (job.thread.joinable())
            job.thread.join();
    }
    m_shared->jobs.clear();
}

void ZLXMediaList::setDirectoryPath(std::optional<std::string> path) {
    m_directoryPath = std::move(path);
    if (!m_directoryPath)
        return;

    auto& jobs = m_shared->jobs;
    for (auto& job : jobs)
        job.thread.request_stop();
    std::erase_if(jobs, [](const Shared::Job& job) { return job.finished->load(); });

    uint64_t generation;
    {
        std::lock_guard lock(m_shared->mutex);
        generation = ++m_shared->generation;
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<Shared> weakShared = m_shared;
    std::jthread thread([weakShared, generation, finished, directory = *m_directoryPath](
                            std::stop_token stop) {
        auto contents = std::make_shared<Contents>(build(directory, stop));
        auto shared = weakShared.lock();
        if (!shared || stop.stop_requested()) {
            finished->store(true);
            return;
        }
        auto install = [shared, generation, contents] {
            std::lock_guard lock(shared->mutex);
            ZLXMediaList* list = shared->owner;
            if (!list || shared->generation != generation)
                return; // the list is gone, or a newer folder was chosen meanwhile
            list->m_contents = std::move(*contents);
            if (list->m_delegate)
                list->m_delegate->mediaListChanged(*list);
        };
        if (shared->handBack)
            shared->handBack(std::move(install));
        else
            install();
        finished->store(true);
    });
    jobs.push_back({std::move(thread), std::move(finished)});
}

ZLXMediaList::MediaPtr ZLXMediaList::mediaAtIndex(int64_t index) const {
    if (index < 0 || static_cast<uint64_t>(index) >= m_contents.medias.size())
        return nullptr;
    return m_contents.medias[static_cast<size_t>(index)];
}

std::shared_ptr<ZLXMediaPair>
ZLXMediaList::findPairIn(const Contents& contents, std::string_view fileNameOrPath) {
    std::string_view key = path::deletingExtension(path::lastComponent(fileNameOrPath));
    if (key.ends_with("_F") || key.ends_with("_R"))
        key.remove_suffix(2);
    const auto found = contents.mediaPairDic.find(std::string(key));
    return found == contents.mediaPairDic.end() ? nullptr : found->second;
}

std::shared_ptr<ZLXMediaPair>
ZLXMediaList::findMediaPairWithFileName(std::string_view fileNameOrPath) const {
    return findPairIn(m_contents, fileNameOrPath);
}

void ZLXMediaList::addMediaTo(Contents& contents, MediaPtr media) {
    contents.medias.push_back(media);
    auto pair = findPairIn(contents, media->fileName());
    if (!pair) {
        pair = ZLXMediaPair::mediaPair();
        contents.mediaPairDic[media->mediaGroupName()] = pair;
    }
    if (media->isRearMedia())
        pair->rearMedia = media;
    else if (media->isFrontMedia())
        pair->frontMedia = media;
}

void ZLXMediaList::addMedia(MediaPtr media) {
    addMediaTo(m_contents, std::move(media));
}

bool ZLXMediaList::checkTimeByName(std::string_view name, size_t startPos) {
    return path::utf16Length(name) >= kDateTimeLength + startPos;
}

std::shared_ptr<ZLXMedia> ZLXMediaList::createMediaByPath(std::string_view filePath) {
    const std::string_view name = path::deletingExtension(path::lastComponent(filePath));
    const size_t length = path::utf16Length(name);
    if (length != kAlwaysNameLength && length != kMotionNameLength && length != kEventNameLength)
        return nullptr;
    for (std::string_view prefix : {"alwa_", "motion_", "event_"}) {
        if (name.starts_with(prefix)) {
            if (!checkTimeByName(name, prefix.size()))
                return nullptr;
            break;
        }
    }
    if (!name.ends_with("_F") && !name.ends_with("_R"))
        return nullptr;
    return ZLXMedia::mediaWithPath(filePath);
}

namespace {

// The walk keeps no directory open while it descends: each directory's entries are read and
// the directory closed before its subdirectories are visited, so depth costs memory only.
struct Walk {
    std::vector<ZLXMediaList::MediaPtr>& collector;
    std::stop_token stop;
    size_t limit = kMaxMediaCount;
    std::set<std::pair<dev_t, ino_t>> visited;

    void run(const std::string& root) {
        std::vector<std::string> pending{root};
        while (!pending.empty() && !stop.stop_requested() && collector.size() < limit) {
            const std::string dirPath = std::move(pending.back());
            pending.pop_back();
            const int fd = openDirectory(dirPath);
            if (fd < 0)
                continue;
            std::vector<std::string> subdirectories = directory(fd, dirPath);
            // visited in the order they were listed
            pending.insert(pending.end(), std::make_move_iterator(subdirectories.rbegin()),
                           std::make_move_iterator(subdirectories.rend()));
        }
    }

    // Reads one open directory (and closes it): its recordings go to the collector, its
    // subdirectories' paths are returned.
    std::vector<std::string> directory(int fd, const std::string& dirPath) {
        std::vector<std::string> subdirectories;
        struct stat st {};
        if (fstat(fd, &st) != 0 || !visited.emplace(st.st_dev, st.st_ino).second) {
            close(fd);
            return subdirectories;
        }
        DIR* dir = fdopendir(fd);
        if (!dir) {
            close(fd);
            return subdirectories;
        }
        std::string path = dirPath;
        const size_t dirLength = path.size();
        while (const dirent* entry = readdir(dir)) {
            if (stop.stop_requested())
                break;
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            bool isDirectory = entry->d_type == DT_DIR;
            bool isRegular = entry->d_type == DT_REG;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                // A link to a file is followed; a link to a folder is not: on a card it leads
                // out of the folder chosen (a link to / would walk the whole computer) or back
                // into what is walked anyway.
                struct stat target {};
                const bool known = fstatat(dirfd(dir), entry->d_name, &target, 0) == 0;
                struct stat own {};
                const bool link = fstatat(dirfd(dir), entry->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                                  S_ISLNK(own.st_mode);
                isDirectory = known && S_ISDIR(target.st_mode) && !link;
                isRegular = known && S_ISREG(target.st_mode);
            }
            path.resize(dirLength);
            if (path.empty() || path.back() != '/')
                path += '/';
            path += name;
            if (isDirectory) {
                subdirectories.push_back(path);
                continue;
            }
            // Only regular files are recordings: a FIFO or a device of that name is not.
            if (!isRegular || !hasMp4Extension(name))
                continue;
            if (auto media = ZLXMediaList::createMediaByPath(path)) {
                collector.push_back(std::move(media));
                if (collector.size() >= limit)
                    break;
            }
        }
        closedir(dir);
        return subdirectories;
    }

    static bool hasMp4Extension(std::string_view name) {
        const std::string_view ext = path::extension(name);
        if (ext.size() != 3)
            return false;
        auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
        return lower(ext[0]) == 'm' && lower(ext[1]) == 'p' && ext[2] == '4';
    }
};

} // namespace

bool isLibraryFolder(const std::string& folder) {
    struct stat mark {};
    return ::stat((folder + "/" + kLibraryMarkName).c_str(), &mark) == 0 && S_ISREG(mark.st_mode);
}

void ZLXMediaList::eachDir(const std::string& directory, std::vector<MediaPtr>& collector,
                           std::stop_token stop) {
    Walk walk{collector, std::move(stop), isLibraryFolder(directory) ? kMaxLibraryMediaCount : kMaxMediaCount, {}};
    walk.run(directory);
}

ZLXMediaList::Contents ZLXMediaList::build(const std::string& directory, std::stop_token stop) {
    std::vector<MediaPtr> collected;
    eachDir(directory, collected, stop);
    if (stop.stop_requested())
        return {};
    std::sort(collected.begin(), collected.end(),
              [](const MediaPtr& a, const MediaPtr& b) { return a->compareDate(*b) < 0; });
    Contents contents;
    contents.medias.reserve(collected.size());
    for (auto& media : collected)
        addMediaTo(contents, std::move(media));
    return contents;
}

} // namespace daxo
