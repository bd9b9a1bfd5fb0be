// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-library import CARD [--library DIR] [--events-only] [--since YYYY-MM-DD]
//     copies the card's recordings into the library (event recordings first), each verified by
//     reading it back against the card's SHA-256; what is there already is skipped, nothing is
//     overwritten, nothing on the card is changed. Ctrl-C, a closed terminal or a kill stop it
//     between two pieces of a file: the unfinished copy is removed and a next run goes on.
// daxo-library find [--library DIR] (--bbox S,W,N,E | --around LAT,LON,METRES) [--from DATE]
//                   [--to DATE] [--events] [--impacts] [--min-speed KMH]
//     every pass of the car through the box (decimal degrees) or the circle, newest first, as
//     CSV: the library's index of places is brought up to date first
// --library DIR   the library (default: the "DAXO" folder in the user's Videos folder)
// --verbose       also writes the diagnostics the program logs to stderr
#include "app/ZLXLibraryFolder.h"
#include "library/ZLXImport.h"
#include "library/ZLXLog.h"
#include "telemetry/ZLXPlaceIndex.h"
#include "telemetry/ZLXTrackIndex.h"
#include "telemetry/ZLXTrip.h"

#include <QCoreApplication>
#include <QDate>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

using namespace daxo;

namespace {

constexpr const char* kUsage =
    "usage: daxo-library import CARD [--library DIR] [--events-only] [--since YYYY-MM-DD]\n"
    "           copies the card's recordings into the library, verified, skipping what is there\n"
    "       daxo-library find [--library DIR] (--bbox S,W,N,E | --around LAT,LON,METRES)\n"
    "                         [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--events] [--impacts] [--min-speed KMH]\n"
    "           every pass of the car through the box or circle, newest first, as CSV\n"
    "options: --library DIR  the library (default: the viewer's, else DAXO in your Videos folder)\n"
    "         --verbose      also show the diagnostics the program logs\n"
    "         --help         this text\n";

std::atomic<bool> g_stop{false};

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// The viewer's library, the one chosen in its settings if any.
QString defaultLibrary() {
    return libraryFolder(QSettings(QStringLiteral("daxo"), QStringLiteral("daxo-viewer")));
}

std::string sizeText(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / 1e9);
    return text;
}

int import(const QStringList& args) {
    if (args.isEmpty() || args[0].startsWith('-'))
        return usage();
    const std::string card = QFile::encodeName(args[0]).toStdString();
    std::string library = QFile::encodeName(defaultLibrary()).toStdString();
    ZLXImportOptions options;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--events-only")) {
            options.eventsOnly = true;
        } else if (args[i] == QLatin1String("--library") && i + 1 < args.size()) {
            library = QFile::encodeName(args[++i]).toStdString();
        } else if (args[i] == QLatin1String("--since") && i + 1 < args.size()) {
            const QDate since = QDate::fromString(args[++i], Qt::ISODate);
            if (!since.isValid()) {
                std::fprintf(stderr, "daxo-library: not a date (YYYY-MM-DD): %s\n", qPrintable(args[i]));
                return 2;
            }
            options.since = since.toString(Qt::ISODate).toStdString();
        } else {
            return usage();
        }
    }
    if (!QFileInfo(args[0]).isDir()) {
        std::fprintf(stderr, "daxo-library: %s is not a folder\n", qPrintable(args[0]));
        return 1;
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, [](int) { g_stop = true; });

    const auto started = std::chrono::steady_clock::now();
    std::string shown;
    const ZLXImportSummary summary = importCard(card, library, options, [&](const ZLXImportProgress& p) {
        // a line as each file begins (the call after a file ends still names that file)
        if (p.current != shown && p.filesDone < p.filesTotal) {
            shown = p.current;
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::string left;
            if (p.bytesDone > 0 && seconds > 1) {
                const double remaining = double(p.bytesTotal - p.bytesDone) * seconds / double(p.bytesDone);
                left = ", about " + std::to_string(int(remaining / 60) + 1) + " min left";
            }
            std::fprintf(stderr, "%zu of %zu, %s of %s%s: %s\n", p.filesDone + 1, p.filesTotal,
                         sizeText(p.bytesDone).c_str(), sizeText(p.bytesTotal).c_str(), left.c_str(),
                         p.current.c_str());
        }
        return !g_stop;
    });
    std::fputs(importSummaryText(summary).c_str(), stdout);
    if (!summary.keptIn.empty())
        std::printf("The card's settings and drive log are kept in %s\n", summary.keptIn.c_str());
    if (summary.cancelled)
        return 130;
    return summary.failed > 0 || !summary.stopped.empty() ? 1 : 0;
}

std::optional<int64_t> dayStart(const QString& text) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    return day.isValid() ? civilSeconds(day.year(), day.month(), day.day(), 0, 0, 0) : std::nullopt;
}

int find(const QStringList& args) {
    std::string library = QFile::encodeName(defaultLibrary()).toStdString();
    std::optional<ZLXBox> box;
    ZLXPassFilter filter;
    for (int i = 0; i < args.size(); ++i) {
        const bool valued = i + 1 < args.size();
        if (args[i] == QLatin1String("--events")) {
            filter.eventsOnly = true;
        } else if (args[i] == QLatin1String("--impacts")) {
            filter.impactsOnly = true;
        } else if (args[i] == QLatin1String("--around") && valued) {
            if (!(filter.around = parseCircle(args[++i].toStdString()))) {
                std::fprintf(stderr, "daxo-library: not a circle (LAT,LON in degrees, METRES from 1 to 100000): %s\n",
                             qPrintable(args[i]));
                return 2;
            }
            box = boxAround(*filter.around);
        } else if (args[i] == QLatin1String("--library") && valued) {
            library = QFile::encodeName(args[++i]).toStdString();
        } else if (args[i] == QLatin1String("--bbox") && valued) {
            if (!(box = parseBox(args[++i].toStdString()))) {
                std::fprintf(stderr, "daxo-library: not a box (S,W,N,E in degrees): %s\n", qPrintable(args[i]));
                return 2;
            }
        } else if ((args[i] == QLatin1String("--from") || args[i] == QLatin1String("--to")) && valued) {
            const auto day = dayStart(args[i + 1]);
            if (!day) {
                std::fprintf(stderr, "daxo-library: not a date (YYYY-MM-DD): %s\n", qPrintable(args[i + 1]));
                return 2;
            }
            if (args[i] == QLatin1String("--from"))
                filter.from = *day;
            else
                filter.to = *day + 86400; // the whole last day
            ++i;
        } else if (args[i] == QLatin1String("--min-speed") && valued) {
            bool ok = false;
            filter.minSpeedKmh = args[++i].toDouble(&ok);
            if (!ok)
                return usage();
        } else {
            return usage();
        }
    }
    if (!box)
        return usage();
    std::string why;
    const auto places = ZLXPlaceIndex::open(library, &why);
    if (!places) {
        std::fprintf(stderr, "daxo-library: the library's index cannot be kept in %s: %s\n", library.c_str(), why.c_str());
        return 1;
    }
    ZLXTrackCache tracks(ZLXTrackIndex::open(ZLXTrackIndex::defaultPath()));
    places->update(tracks);
    std::fputs(passesCsv(places->find(*box, filter)).c_str(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    setLogIdentity("daxo-library");
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    setLogEcho(args.removeAll(QStringLiteral("--verbose")) > 0);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!args.isEmpty() && args[0] == QLatin1String("import"))
        return import(args.mid(1));
    if (!args.isEmpty() && args[0] == QLatin1String("find"))
        return find(args.mid(1));
    return usage();
}
