// SPDX-License-Identifier: GPL-3.0-or-later
// The recordings of one folder: walked in the background, sorted oldest first, paired by group.
#pragma once

#include "library/ZLXMedia.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

namespace daxo {

class ZLXMediaList;

class ZLXMediaListDelegate {
public:
    virtual ~ZLXMediaListDelegate() = default;
    virtual void mediaListChanged(ZLXMediaList& list) = 0;
};

// The walk keeps at most about this many recordings.
inline constexpr size_t kMaxMediaCount = 15000;
// A library holds years of them: its folder, known by the file every import keeps at its root,
// is walked for up to this many.
inline constexpr size_t kMaxLibraryMediaCount = 250000;
inline constexpr const char* kLibraryMarkName = ".daxo-import.lock";
// Whether `folder` is a library's root (it holds that file).
bool isLibraryFolder(const std::string& folder);

class ZLXMediaList {
public:
    using MediaPtr = std::shared_ptr<const ZLXMedia>;
    using PairMap = std::unordered_map<std::string, std::shared_ptr<ZLXMediaPair>>;

    // What one rebuild produces; a rebuild fills its own and hands it over whole.
    struct Contents {
        std::vector<MediaPtr> medias;
        PairMap mediaPairDic;
    };

    // Runs a task on the thread that owns the list (the interface thread). The rebuild hands
    // its finished contents over through it, so the list is only ever changed on that thread
    // and readers never see a half-built list. Without one, the hand-over runs on the
    // rebuild's own thread.
    using HandBack = std::function<void(std::function<void()>)>;

    explicit ZLXMediaList(HandBack handBack = {});
    ~ZLXMediaList(); // cancels a rebuild under way and waits for its thread
    ZLXMediaList(const ZLXMediaList&) = delete;
    ZLXMediaList& operator=(const ZLXMediaList&) = delete;

    static std::unique_ptr<ZLXMediaList> mediaList(HandBack handBack = {}) {
        return std::make_unique<ZLXMediaList>(std::move(handBack));
    }

    // Stores the path and starts a rebuild in the background; a rebuild still running for an
    // earlier path is cancelled and never reports. No path only forgets the stored one.
    void setDirectoryPath(std::optional<std::string> path);

    size_t count() const { return m_contents.medias.size(); }
    MediaPtr mediaAtIndex(int64_t index) const;
    std::shared_ptr<ZLXMediaPair> findMediaPairWithFileName(std::string_view fileNameOrPath) const;
    void addMedia(MediaPtr media);

    // A record for a file whose name is acceptable as a recording, else nothing.
    static std::shared_ptr<ZLXMedia> createMediaByPath(std::string_view path);
    static bool checkTimeByName(std::string_view name, size_t startPos);

    // The recursive walk of one folder; each directory (by device and inode) is walked once,
    // so links that lead back up do not loop.
    static void eachDir(const std::string& directory, std::vector<MediaPtr>& collector,
                        std::stop_token stop = {});

    // Walk, sort and pair, as one rebuild does; empty when cancelled half-way.
    static Contents build(const std::string& directory, std::stop_token stop = {});

    const std::vector<MediaPtr>& medias() const { return m_contents.medias; }
    const PairMap& mediaPairDic() const { return m_contents.mediaPairDic; }
    const std::optional<std::string>& directoryPath() const { return m_directoryPath; }
    ZLXMediaListDelegate* delegate() const { return m_delegate; }
    void setDelegate(ZLXMediaListDelegate* delegate) { m_delegate = delegate; }

    // Waits until no rebuild is running (tests and shutdown).
    void waitForRebuilds();

private:
    struct Shared;
    static void addMediaTo(Contents& contents, MediaPtr media);
    static std::shared_ptr<ZLXMediaPair> findPairIn(const Contents& contents,
                                                    std::string_view fileNameOrPath);

    Contents m_contents;
    std::optional<std::string> m_directoryPath;
    ZLXMediaListDelegate* m_delegate = nullptr;
    std::shared_ptr<Shared> m_shared;
};

} // namespace daxo
