// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ZLXImport.h"

#include "library/ZLXFileIO.h"
#include "library/ZLXLog.h"
#include "library/ZLXMediaList.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace daxo {
namespace {

constexpr size_t kPiece = 4 << 20;
constexpr uint64_t kRoomKept = 8ull << 20; // left free on the library's disk
constexpr const char* kPartSuffix = ".daxo-part";

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

struct Digest {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
    Digest() { EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr); }
    void add(const char* data, size_t size) { EVP_DigestUpdate(ctx.get(), data, size); }
    std::string hex() {
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(ctx.get(), md, &length);
        std::string text;
        char two[3];
        for (unsigned int i = 0; i < length; ++i) {
            std::snprintf(two, sizeof two, "%02x", md[i]);
            text += two;
        }
        return text;
    }
};

// Frees OpenSSL's state for the calling thread when it goes out of scope.
struct HashingEnds {
    ~HashingEnds() { OPENSSL_thread_stop(); }
};

std::string errnoText(int error) {
    return std::strerror(error);
}

// The hash of what `fd` holds from its start; nothing on a read error.
std::optional<std::string> hashOf(int fd, std::vector<char>& buffer) {
    Digest digest;
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return digest.hex();
        digest.add(buffer.data(), size_t(got));
        at += got;
    }
}

bool sameState(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool makeFolders(const std::string& path) {
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string part = at == std::string::npos ? path : path.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (at == std::string::npos)
            break;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Renames without ever replacing: where the file system cannot refuse a replacement itself,
// a name already taken is checked first (the import's lock keeps other imports away).
int renameNew(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

enum class Outcome { Copied, Skipped, Failed, Cancelled, NoRoom };

struct Copier {
    const ZLXImportObserver& observer;
    ZLXImportProgress& progress;
    std::vector<char> buffer = std::vector<char>(kPiece);

    // One file, verified. `why` says what went wrong, or why it was skipped.
    Outcome copy(const std::string& source, const std::string& target, std::string& why) {
        const Fd in(openRegularFile(source));
        struct stat before {};
        if (in.fd < 0 || ::fstat(in.fd, &before) != 0) {
            why = "the card's file could not be opened: " + errnoText(errno);
            return Outcome::Failed;
        }
        ::posix_fadvise(in.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        struct stat there {};
        if (::lstat(target.c_str(), &there) == 0) {
            // in the library already: the same bytes are skipped, anything else kept as it is
            if (S_ISREG(there.st_mode) && there.st_size == before.st_size) {
                const Fd old(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
                const auto mine = hashOf(in.fd, buffer);
                if (!mine) {
                    why = "the card's file could not be read: " + errnoText(errno);
                    return Outcome::Failed;
                }
                if (old.fd >= 0 && hashOf(old.fd, buffer) == mine) {
                    why = "already in the library";
                    return Outcome::Skipped;
                }
            }
            why = "another file of this name is in the library; it was left as it is";
            return Outcome::Failed;
        }
        const std::string folder = folderOf(target);
        struct statvfs room {};
        if (::statvfs(folder.c_str(), &room) == 0 &&
            uint64_t(room.f_bavail) * room.f_frsize < uint64_t(before.st_size) + kRoomKept) {
            why = "the library's disk has no room for it";
            return Outcome::NoRoom;
        }
        const std::string part = folder + "/." + baseName(target) + kPartSuffix;
        ::unlink(part.c_str()); // an earlier import's, never anything else: the name is ours
        // a file that changes while it is copied is copied again, once
        for (int attempt = 0; attempt < 2; ++attempt) {
            const Outcome outcome = copyOnce(in.fd, before, part, target, why);
            if (outcome != Outcome::Failed || why != "changed")
                return outcome;
            if (::fstat(in.fd, &before) != 0)
                break;
        }
        why = "the file changed on the card while it was copied";
        return Outcome::Failed;
    }

    Outcome copyOnce(int in, const struct stat& before, const std::string& part, const std::string& target,
                     std::string& why) {
        Fd out(::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (out.fd < 0) {
            why = "the library could not be written: " + errnoText(errno);
            return Outcome::Failed;
        }
        const auto fail = [&](Outcome outcome, std::string text) {
            ::close(out.fd);
            out.fd = -1;
            ::unlink(part.c_str());
            why = std::move(text);
            return outcome;
        };
        Digest digest;
        const uint64_t start = progress.bytesDone;
        // the size it had when it was looked at: a file that grows meanwhile is told by its state
        for (off_t at = 0; at < before.st_size;) {
            const ssize_t got = ::pread(in, buffer.data(), std::min<size_t>(buffer.size(), size_t(before.st_size - at)), at);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return fail(Outcome::Failed, "the card's file could not be read: " + errnoText(errno));
            if (got == 0)
                break;
            digest.add(buffer.data(), size_t(got));
            if (!writeAll(out.fd, buffer.data(), size_t(got), at)) {
                const int error = errno;
                return fail(error == ENOSPC || error == EDQUOT ? Outcome::NoRoom : Outcome::Failed,
                            error == ENOSPC || error == EDQUOT ? "the library's disk is full"
                                                               : "the library could not be written: " + errnoText(error));
            }
            at += got;
            progress.bytesDone = start + uint64_t(at);
            if (observer && !observer(progress))
                return fail(Outcome::Cancelled, "cancelled");
        }
        const std::string sourceHash = digest.hex();
        struct stat after {};
        if (::fstat(in, &after) != 0 || !sameState(before, after)) {
            progress.bytesDone = start;
            return fail(Outcome::Failed, "changed");
        }
        // the card's time on the copy, then the copy read back from the device, not the cache
        const struct timespec times[2] = {after.st_atim, after.st_mtim};
        ::futimens(out.fd, times);
        if (::fdatasync(out.fd) != 0)
            return fail(Outcome::Failed, "the library could not be written: " + errnoText(errno));
        ::posix_fadvise(out.fd, 0, 0, POSIX_FADV_DONTNEED);
        const Fd back(::open(part.c_str(), O_RDONLY | O_CLOEXEC));
        if (back.fd < 0 || hashOf(back.fd, buffer) != sourceHash)
            return fail(Outcome::Failed, "the copy read back differs from the card's file");
        ::close(out.fd);
        out.fd = -1;
        if (const int error = renameNew(part, target); error != 0) {
            ::unlink(part.c_str());
            why = error == EEXIST ? "another file of this name is in the library; it was left as it is"
                                  : "the library could not be written: " + errnoText(error);
            return Outcome::Failed;
        }
        syncFolder(folderOf(target));
        return Outcome::Copied;
    }

    static bool writeAll(int fd, const char* data, size_t size, off_t at) {
        while (size > 0) {
            const ssize_t put = ::pwrite(fd, data, size, at);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                if (put == 0)
                    errno = EIO;
                return false;
            }
            data += put;
            size -= size_t(put);
            at += put;
        }
        return true;
    }
};

// Calls `visit(folder, name)` for every entry of every folder one level below `library` whose
// name `wanted` accepts.
template <typename Wanted, typename Visit>
void eachDayEntry(const std::string& library, Wanted wanted, Visit visit) {
    DIR* top = ::opendir(library.c_str());
    if (!top)
        return;
    while (const dirent* day = ::readdir(top)) {
        const std::string name = day->d_name;
        if (name == "." || name == ".." || !wanted(name))
            continue;
        const std::string folder = library + "/" + name;
        DIR* inside = ::opendir(folder.c_str());
        if (!inside)
            continue;
        while (const dirent* file = ::readdir(inside))
            visit(folder, name, std::string(file->d_name));
        ::closedir(inside);
    }
    ::closedir(top);
}

// Removes what an import that did not end left behind: its temporary files in the day folders.
size_t removeLeftovers(const std::string& library) {
    size_t removed = 0;
    eachDayEntry(library, [](const std::string&) { return true; },
                 [&](const std::string& folder, const std::string&, const std::string& f) {
                     if (f.size() > std::strlen(kPartSuffix) + 1 && f.front() == '.' && f.ends_with(kPartSuffix) &&
                         ::unlink((folder + "/" + f).c_str()) == 0)
                         ++removed;
                 });
    return removed;
}

std::string nowStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H%M%S", &local);
    return text;
}

} // namespace

std::string libraryDayFolder(const ZLXMedia& media) {
    if (media.year() < 1)
        return "undated";
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", media.year(), media.month(), media.day());
    return text;
}

std::vector<ZLXImportItem> planImport(const std::string& card, const std::string& library,
                                      const ZLXImportOptions& options) {
    std::vector<ZLXMediaList::MediaPtr> medias = ZLXMediaList::build(card).medias;
    std::erase_if(medias, [&](const ZLXMediaList::MediaPtr& m) {
        if (options.eventsOnly && m->mediaDivision() != ZLXMediaDivision::Event)
            return true;
        return options.since && (m->year() < 1 || libraryDayFolder(*m) < *options.since);
    });
    std::stable_sort(medias.begin(), medias.end(), [](const auto& a, const auto& b) {
        const bool ea = a->mediaDivision() == ZLXMediaDivision::Event, eb = b->mediaDivision() == ZLXMediaDivision::Event;
        return ea && !eb; // the list's own order (by time) otherwise
    });
    std::vector<ZLXImportItem> items;
    for (const auto& media : medias) {
        ZLXImportItem item;
        item.source = media->path();
        item.target = library + "/" + libraryDayFolder(*media) + "/" + media->fileName();
        struct stat st {};
        if (::stat(item.source.c_str(), &st) == 0)
            item.size = uint64_t(st.st_size);
        items.push_back(std::move(item));
    }
    return items;
}

ZLXCardNews cardNews(const std::string& card, const std::string& library) {
    ZLXCardNews news;
    for (const ZLXImportItem& item : planImport(card, library, {})) {
        struct stat there {};
        if (::stat(item.target.c_str(), &there) == 0 && uint64_t(there.st_size) == item.size)
            continue;
        ++(baseName(item.source).starts_with("event_") ? news.events : news.others);
    }
    return news;
}

std::string cardNewsText(const std::string& label, const ZLXCardNews& news) {
    const auto count = [](size_t n, const char* what) {
        return std::to_string(n) + " new " + what + (n == 1 ? "" : "s");
    };
    std::string text = "Card " + (label.empty() ? std::string("without a name") : label) + ": ";
    if (news.events > 0)
        text += count(news.events, "event recording") + (news.others > 0 ? ", " : "");
    if (news.others > 0 || news.events == 0)
        text += count(news.others, "recording");
    return text;
}

std::optional<std::string> importRefusal(const std::string& card, const std::string& library) {
    std::error_code error;
    const std::filesystem::path from = std::filesystem::canonical(card, error);
    if (error)
        return "the card's folder " + card + " cannot be read: " + error.message();
    // the library may not be there yet: what of its path exists, resolved, and the rest
    const std::filesystem::path into = std::filesystem::weakly_canonical(std::filesystem::absolute(library), error);
    if (error)
        return "the library folder " + library + " cannot be reached: " + error.message();
    const auto within = [](const std::filesystem::path& inner, const std::filesystem::path& outer) {
        const auto [end, unused] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
        return end == outer.end();
    };
    if (within(from, into) || within(into, from))
        return "the library and the card are one folder, or one holds the other";
    return std::nullopt;
}

ZLXImportSummary importCard(const std::string& card, const std::string& library, const ZLXImportOptions& options,
                            const ZLXImportObserver& observer) {
    // the hashing's per-thread state goes when the import ends: the caller's thread may be a pool
    // thread that lives on past the process's own clean-up, and would keep it for good
    const HashingEnds hashingEnds;
    ZLXImportSummary summary;
    if (const auto why = importRefusal(card, library)) {
        summary.stopped = *why; // nothing written, on the card or anywhere
        return summary;
    }
    if (!makeFolders(library)) {
        summary.stopped = "the library folder " + library + " could not be made: " + errnoText(errno);
        return summary;
    }
    // one import at a time into a library; the lock goes with the process, however it ends
    const Fd lock(::open((library + "/" + kLibraryMarkName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (lock.fd < 0 || ::flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
        summary.stopped = lock.fd < 0 ? "the library could not be written: " + errnoText(errno)
                                      : "another import into this library is running";
        return summary;
    }
    summary.leftoversRemoved = removeLeftovers(library);
    summary.items = planImport(card, library, options);

    ZLXImportProgress progress;
    progress.filesTotal = summary.items.size();
    for (const ZLXImportItem& item : summary.items)
        progress.bytesTotal += item.size;
    Copier copier{observer, progress};
    for (ZLXImportItem& item : summary.items) {
        progress.current = item.target;
        const uint64_t before = progress.bytesDone;
        if (!makeFolders(folderOf(item.target))) {
            item.result = ZLXImportItem::Result::Failed;
            item.why = "the library could not be written: " + errnoText(errno);
        } else {
            const Outcome outcome = copier.copy(item.source, item.target, item.why);
            if (outcome == Outcome::Cancelled) {
                item.why.clear();
                summary.cancelled = true;
                break;
            }
            item.result = outcome == Outcome::Copied    ? ZLXImportItem::Result::Copied
                          : outcome == Outcome::Skipped ? ZLXImportItem::Result::Skipped
                                                        : ZLXImportItem::Result::Failed;
            if (outcome == Outcome::NoRoom) {
                summary.stopped = "the library's disk is full: the import stopped before " + baseName(item.target);
                ++summary.failed;
                break;
            }
        }
        if (item.result == ZLXImportItem::Result::Copied) {
            ++summary.copied;
            summary.bytesCopied += item.size;
        }
        summary.skipped += item.result == ZLXImportItem::Result::Skipped;
        summary.failed += item.result == ZLXImportItem::Result::Failed;
        if (item.result == ZLXImportItem::Result::Failed)
            ZLXLog("import of %s failed: %s", item.source.c_str(), item.why.c_str());
        progress.bytesDone = before + item.size;
        ++progress.filesDone;
        if (observer && !observer(progress)) {
            summary.cancelled = true;
            break;
        }
    }
    // the card's settings and logs, kept per import beside the recordings
    if (!summary.cancelled && summary.stopped.empty()) {
        const std::string kept = library + "/cards/" + nowStamp();
        for (const char* name : {"config.bin", "timeset.cfg", "DrvInfo/daxo_000.drv"}) {
            const std::string source = card + "/" + name;
            struct stat st {};
            if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            std::string why;
            if (makeFolders(kept) && copier.copy(source, kept + "/" + baseName(name), why) == Outcome::Copied)
                summary.keptIn = kept;
        }
    }
    return summary;
}

std::vector<ZLXLibraryDay> libraryDays(const std::string& library) {
    std::map<std::string, ZLXLibraryDay> days;
    const auto isDay = [](const std::string& name) {
        const bool dated = name.size() == 10 && name[4] == '-' && name[7] == '-' &&
                           std::all_of(name.begin(), name.end(), [](char c) { return c == '-' || (c >= '0' && c <= '9'); });
        return dated || name == "undated";
    };
    eachDayEntry(library, isDay, [&](const std::string& folder, const std::string& name, const std::string& f) {
        ZLXLibraryDay& day = days[name];
        day.day = name;
        struct stat st {};
        if (f.size() < 5 || f.front() == '.' || ::stat((folder + "/" + f).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return;
        std::string ext = f.substr(f.size() - 4);
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        if (ext != ".mp4")
            return;
        ++day.recordings;
        day.events += f.starts_with("event_");
        day.bytes += uint64_t(st.st_size);
    });
    std::vector<ZLXLibraryDay> list;
    for (auto& [name, day] : days)
        list.push_back(std::move(day));
    std::sort(list.begin(), list.end(), [](const ZLXLibraryDay& a, const ZLXLibraryDay& b) {
        return (a.day == "undated") != (b.day == "undated") ? b.day == "undated" : a.day > b.day;
    });
    return list;
}

std::string librarySummaryText(const std::vector<ZLXLibraryDay>& days, uint64_t freeBytes) {
    size_t recordings = 0, events = 0;
    uint64_t bytes = 0;
    for (const ZLXLibraryDay& day : days) {
        recordings += day.recordings;
        events += day.events;
        bytes += day.bytes;
    }
    const auto size = [](uint64_t n) {
        char text[32];
        if (n < 1000000000)
            std::snprintf(text, sizeof text, "%.0f MB", double(n) / 1e6);
        else
            std::snprintf(text, sizeof text, "%.1f GB", double(n) / 1e9);
        return std::string(text);
    };
    char text[200];
    std::snprintf(text, sizeof text, "Library: %zu day%s, %zu recording%s (%zu event%s)\n%s used, %s free", days.size(),
                  days.size() == 1 ? "" : "s", recordings, recordings == 1 ? "" : "s", events, events == 1 ? "" : "s",
                  size(bytes).c_str(), size(freeBytes).c_str());
    return text;
}

std::string importSummaryText(const ZLXImportSummary& summary) {
    char head[160];
    std::snprintf(head, sizeof head, "Copied %zu, skipped %zu, failed %zu (%.1f GB copied).", summary.copied,
                  summary.skipped, summary.failed, double(summary.bytesCopied) / 1e9);
    std::string text = head;
    if (summary.cancelled)
        text += " Cancelled: what was copied is whole and verified; a next import copies the rest.";
    if (summary.leftoversRemoved > 0)
        text += " " + std::to_string(summary.leftoversRemoved) + " unfinished copy of an earlier import removed.";
    text += "\n";
    for (const ZLXImportItem& item : summary.items) {
        if (item.result == ZLXImportItem::Result::Failed ||
            (item.result == ZLXImportItem::Result::Skipped && item.why != "already in the library"))
            text += item.source + ": " + item.why + "\n";
    }
    if (!summary.stopped.empty())
        text += "Stopped: " + summary.stopped + ".\n";
    return text;
}

} // namespace daxo
