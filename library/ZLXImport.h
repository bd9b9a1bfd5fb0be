// SPDX-License-Identifier: GPL-3.0-or-later
// A card's recordings copied into the driver's library, verified. The library is a folder of
// day folders ("2024-10-03/", "undated/") holding the recordings under their own names, and a
// "cards/" folder keeping each import's config.bin, timeset.cfg and drive log.
//
// Each file is read once from the card while it is hashed (SHA-256) and written under a
// temporary name beside its place, flushed, dropped from the page cache and read back; only a
// copy whose hash matches the card's is renamed to its name, never over another file. A file
// already in the library with the same size and hash is skipped, so a second run copies only
// what is missing. Nothing on the card is ever written.
#pragma once

#include "library/ZLXMedia.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace daxo {

struct ZLXImportOptions {
    bool eventsOnly = false;
    // Only recordings that began on or after this date, "YYYY-MM-DD" (undated ones are left).
    std::optional<std::string> since;
};

struct ZLXImportItem {
    enum class Result { Waiting, Copied, Skipped, Failed };
    std::string source; // on the card
    std::string target; // in the library
    uint64_t size = 0;
    Result result = Result::Waiting;
    std::string why; // for Skipped and Failed
};

// "2024-10-03" for a dated recording, else "undated".
std::string libraryDayFolder(const ZLXMedia& media);

// What an import of `card` into `library` copies, event recordings first, then in time order.
std::vector<ZLXImportItem> planImport(const std::string& card, const std::string& library,
                                      const ZLXImportOptions& options);

struct ZLXImportProgress {
    uint64_t bytesDone = 0, bytesTotal = 0;
    size_t filesDone = 0, filesTotal = 0;
    std::string current; // the file being copied
};
// Called between pieces of every copy; false cancels the import.
using ZLXImportObserver = std::function<bool(const ZLXImportProgress&)>;

struct ZLXImportSummary {
    std::vector<ZLXImportItem> items;
    size_t copied = 0, skipped = 0, failed = 0;
    uint64_t bytesCopied = 0;
    size_t leftoversRemoved = 0; // temporary files of an earlier import that did not end
    bool cancelled = false;
    std::string stopped; // why the import stopped before its end (no room, another import), if it did
    std::string keptIn;  // the folder the card's settings and logs were kept in, if any
};

// Why `card` must not be imported into `library`: one is the other or holds it (links
// followed), so the import would write on the card or read the library as a card; else none.
std::optional<std::string> importRefusal(const std::string& card, const std::string& library);

ZLXImportSummary importCard(const std::string& card, const std::string& library, const ZLXImportOptions& options,
                            const ZLXImportObserver& observer = {});

// What a card holds that the library does not (no file of the same name and size in its day).
struct ZLXCardNews {
    size_t events = 0, others = 0;
};
ZLXCardNews cardNews(const std::string& card, const std::string& library);
// "Card DAXO: 3 new event recordings, 47 new recordings"
std::string cardNewsText(const std::string& label, const ZLXCardNews& news);

// One day folder of the library: its recordings, the event ones among them, their bytes.
struct ZLXLibraryDay {
    std::string day; // "2024-10-03", or "undated"
    size_t recordings = 0, events = 0;
    uint64_t bytes = 0;
};
// The library's days, newest first (undated last).
std::vector<ZLXLibraryDay> libraryDays(const std::string& library);
// "Library: 3 days, 18 recordings (2 events)" and, on a second line, "1.2 GB used, 300.0 GB
// free" (megabytes below a gigabyte).
std::string librarySummaryText(const std::vector<ZLXLibraryDay>& days, uint64_t freeBytes);

// "Copied 47, skipped 3, failed 1 (0.9 GB)." then one line per file that failed or was
// skipped for a reason other than being there already, and why the import stopped.
std::string importSummaryText(const ZLXImportSummary& summary);

} // namespace daxo
