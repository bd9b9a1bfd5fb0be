// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-export clip RECORDING --from SECONDS --to SECONDS -o OUT.mp4 [--layout
// pip|side|front|original]
//             [--captions] [--overlay map,speed,g,time] [--overlay-place PLACE]
//             [--redact BOXES.json] [--force]
// daxo-export report RECORDING --at SECONDS -o OUT.pdf [--redact BOXES.json [--from SECONDS]]
//             [--force]
// The clip and the incident report the viewer's File menu writes, through the same code: the
// seconds count from the start of RECORDING and run on into the recordings after it on the same
// trip, the partner files found by their names as in the viewer's list. Paths stay the bytes the
// command line gave. An existing OUT is replaced only with --force, and never when it is one of the
// recordings read. Ctrl-C, a closed terminal or a kill leave no ffmpeg, no partial file and no
// temporary folder behind.
#include "library/ZLXCleanup.h"
#include "app/export/ZLXClipExport.h"
#include "library/ZLXFileIO.h"
#include "app/export/ZLXIncidentReport.h"
#include "redaction/ZLXBoxTracker.h"
#include "library/ZLXLog.h"
#include "tools/ZLXToolLog.h"
#include "telemetry/ZLXClockCheck.h"
#include "telemetry/ZLXTrip.h"

#include <QFile>
#include <QGuiApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace daxo;

namespace {

constexpr const char* kUsage =
    "usage: daxo-export clip RECORDING --from SECONDS --to SECONDS -o OUT.mp4\n"
    "                   [--layout pip|side|front|original] [--captions] [--force]\n"
    "                   [--overlay map,speed,g,time]\n"
    "                   [--overlay-place bottom-left|bottom-right|top-left|top-right|bottom]\n"
    "                   [--redact BOXES.json]\n"
    "       daxo-export report RECORDING --at SECONDS -o OUT.pdf [--force]\n"
    "                   [--redact BOXES.json [--from SECONDS]]\n"
    "Seconds count from the start of RECORDING and run on into the recordings after it on its "
    "trip.\n"
    "options: --force    replace OUT when it exists (never one of the recordings read)\n"
    "         --verbose  also show the diagnostics the program logs\n"
    "         --help     this text\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int fail(const QString& message) {
    std::fprintf(stderr, "daxo-export: %s\n", qUtf8Printable(message));
    return 1;
}

QString shown(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::optional<double> seconds(const std::string& text) {
    bool ok = false;
    const double v = QString::fromStdString(text).toDouble(&ok);
    return ok && v >= 0 && v < 1e7 ? std::optional<double>(v) : std::nullopt;
}

std::optional<std::pair<dev_t, ino_t>> identity(const std::string& path) {
    const int fd = openRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0;
    ::close(fd);
    return ok ? std::optional(std::make_pair(st.st_dev, st.st_ino)) : std::nullopt;
}

struct Found {
    ZLXDrive drive;
    double start = 0;
    std::string config;
};

// The recording's trip, read, and where the recording starts on its line. The recording is
// found in its folder's list by the file it is, not by how its name is spelt.
std::variant<Found, QString> driveOf(const std::string& recording, double gap) {
    std::string path = recording;
    if (path.empty() || path[0] != '/') {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd))
            return QStringLiteral("the current folder cannot be read");
        path = std::string(cwd) + "/" + path;
    }
    const auto wanted = identity(path);
    if (!wanted)
        return QStringLiteral("%1 cannot be read: %2")
            .arg(shown(recording), QString::fromLocal8Bit(errno == EINVAL ? "not a regular file"
                                                                          : std::strerror(errno)));
    const std::string folder = folderOf(path);
    const ZLXMediaList::Contents contents = ZLXMediaList::build(folder);
    const std::vector<ZLXTrip> trips =
        groupTrips(tripGroupsWithDurations(contents.medias, contents.mediaPairDic), gap);
    // By name first; only a name spelt otherwise (./, a link) costs a look at every file, which
    // on a card reader is a read each.
    for (const bool byFile : {false, true}) {
        for (const ZLXTrip& trip : trips) {
            for (size_t g = 0; g < trip.groups.size(); ++g) {
                for (const std::string& file : {trip.groups[g].frontPath, trip.groups[g].rearPath}) {
                    if (file.empty() || (byFile ? identity(file) != wanted : file != path))
                        continue;
                    const std::string config = folder + "/config.bin";
                    Found found{ZLXDrive::load(trip, readTrack,
                                               impactThresholdsOf(config).value_or(ZLXImpactThresholds{})),
                                0, config};
                    found.start = found.drive.trip.startOf(g);
                    return found;
                }
            }
        }
    }
    return QStringLiteral("%1 is not a recording of its folder's list").arg(shown(recording));
}

// The boxes of BOXES.json followed through the clip from `from` to `to` of the drive's line;
// a file that cannot be read or does not fit the clip gives the reason.
std::variant<std::pair<ZLXRedactionPaths, ZLXRedactionStyle>, QString>
followedBoxes(const std::string& file, const ZLXDrive& drive, double from, double to) {
    // a regular file only: a FIFO or a device would never end
    QFile boxes;
    const int fd = openRegularFile(file);
    if (fd < 0 || !boxes.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int why = errno;
        if (fd >= 0)
            ::close(fd);
        return QStringLiteral("%1 cannot be read: %2")
            .arg(shown(file), QString::fromLocal8Bit(why == EINVAL ? "not a regular file" : std::strerror(why)));
    }
    const QByteArray text = boxes.read(16 << 20 | 1);
    const double length = drive.trip.duration();
    const ZLXClipChannels channels =
        clipChannels(clipSegments(drive.trip, std::clamp(from, 0.0, length), std::clamp(to, 0.0, length)));
    const ZLXRedactionParse parsed = parseRedaction(text.toStdString(), channels.bounds);
    if (!parsed.plan)
        return QStringLiteral("%1: %2").arg(shown(file), QString::fromStdString(parsed.error));
    const auto front = ffmpegFrames(channels.front, channels.bounds.front);
    const auto rear = channels.rear.empty() ? nullptr : ffmpegFrames(channels.rear, channels.bounds.rear);
    std::fprintf(stderr, "daxo-export: following %zu boxes through %.1f s\n", parsed.plan->boxes.size(),
                 channels.bounds.length);
    const ZLXFollowResult followed = followBoxes(*parsed.plan, channels.bounds.length, front.get(), rear.get());
    if (!followed.paths)
        return QString::fromStdString(followed.error);
    const std::vector<int64_t> lost = followed.paths->lostFrames();
    if (!lost.empty())
        std::fprintf(stderr,
                     "daxo-export: a box was lost in %zu frames from %.2f s on; it is held and widened there: "
                     "check those frames\n",
                     lost.size(), double(lost.front()) / kRedactionRate);
    return std::pair{*followed.paths, parsed.plan->style};
}

int report(const std::vector<std::string>& args, bool force) {
    std::optional<double> at;
    double from = 0; // where the boxes' times count from
    std::string output, boxesFile;
    for (size_t i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] == "--at")
            at = seconds(args[i + 1]);
        else if (args[i] == "-o")
            output = args[i + 1];
        else if (args[i] == "--redact")
            boxesFile = args[i + 1];
        else if (args[i] == "--from" && seconds(args[i + 1]))
            from = *seconds(args[i + 1]);
        else
            return usage();
    }
    if (!at || output.empty() || args.size() % 2 != 0)
        return usage();
    const auto found = driveOf(args[1], 180);
    if (const QString* why = std::get_if<QString>(&found))
        return fail(*why);
    const Found& f = std::get<Found>(found);
    if (f.start + *at > f.drive.trip.duration())
        return fail(
            QStringLiteral("--at %1 lies after the end of the trip, %2 s from the start of %3")
                .arg(*at, 0, 'f', 1)
                .arg(f.drive.trip.duration() - f.start, 0, 'f', 1)
                .arg(shown(args[1])));
    std::optional<ZLXReportRedaction> redaction;
    if (!boxesFile.empty()) {
        if (from > *at)
            return fail(QStringLiteral("--from must not come after --at"));
        // the boxes followed from where their times count to the moment
        auto followed = followedBoxes(boxesFile, f.drive, f.start + from, f.start + *at + 2 / kRedactionRate);
        if (const QString* why = std::get_if<QString>(&followed))
            return fail(*why);
        const auto& [paths, style] = std::get<0>(followed);
        redaction = ZLXReportRedaction{paths.boxesAt(ZLXRedactionChannel::Front, *at - from),
                                       paths.boxesAt(ZLXRedactionChannel::Rear, *at - from), style};
    }
    const ZLXReportResult result = writeIncidentReport(f.drive, f.start + *at, shown(output), f.config, force,
                                                       redaction ? &*redaction : nullptr);
    if (!result.ok)
        return fail(result.error + (result.error.endsWith(QLatin1String("already exists."))
                                        ? QStringLiteral(" (--force replaces it)")
                                        : QString()));
    std::printf("%s  %s\n", qUtf8Printable(result.sha256), output.c_str());
    return 0;
}

int clip(const std::vector<std::string>& args, bool force) {
    std::optional<double> from, to;
    std::string output, boxesFile;
    ZLXClipOptions options;
    options.replace = force;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--from" && hasValue)
            from = seconds(args[++i]);
        else if (a == "--to" && hasValue)
            to = seconds(args[++i]);
        else if (a == "-o" && hasValue)
            output = args[++i];
        else if (a == "--captions")
            options.captions = true;
        else if (a == "--redact" && hasValue)
            boxesFile = args[++i];
        else if (a == "--overlay" && hasValue) {
            const auto place = options.overlay ? options.overlay->place : ZLXOverlayOptions::Place::BottomLeft;
            if (!(options.overlay = parseOverlayElements(args[++i])))
                return fail(QStringLiteral("--overlay takes map, speed, g and time, separated by commas"));
            options.overlay->place = place;
        } else if (a == "--overlay-place" && hasValue) {
            const auto place = parseOverlayPlace(args[++i]);
            if (!place)
                return usage();
            if (!options.overlay)
                options.overlay = ZLXOverlayOptions{};
            options.overlay->place = *place;
        } else if (a == "--layout" && hasValue) {
            const std::string layout = args[++i];
            if (layout == "pip")
                options.layout = ZLXClipLayout::PictureInPicture;
            else if (layout == "side")
                options.layout = ZLXClipLayout::SideBySide;
            else if (layout == "front")
                options.layout = ZLXClipLayout::Front;
            else if (layout == "original")
                options.layout = ZLXClipLayout::Original;
            else
                return usage();
        } else {
            return usage();
        }
    }
    if (!from || !to || output.empty())
        return usage();
    if (*to <= *from)
        return fail(QStringLiteral("--to must come after --from"));
    const auto found = driveOf(args[1], 180);
    if (const QString* why = std::get_if<QString>(&found))
        return fail(*why);
    const Found& f = std::get<Found>(found);
    options.clockError = driveClockError(f.drive, cardClockZone(f.config));
    if (options.overlay && !options.overlay->any())
        return fail(QStringLiteral("--overlay-place needs --overlay"));
    if (options.overlay) {
        std::string note;
        options.overlay = overlayForDrive(f.drive, *options.overlay, &note);
        if (!note.empty())
            std::fprintf(stderr, "daxo-export: %s\n", note.c_str());
    }
    std::optional<ZLXRedactionPaths> redaction;
    if (!boxesFile.empty()) {
        auto followed = followedBoxes(boxesFile, f.drive, f.start + *from, f.start + *to);
        if (const QString* why = std::get_if<QString>(&followed))
            return fail(*why);
        auto& [paths, style] = std::get<0>(followed);
        redaction = std::move(paths);
        options.redaction = ZLXClipOptions::Redaction{};
        options.redaction->pixelate = style == ZLXRedactionStyle::Pixelate;
    }
    ZLXClipExport exporter;
    QString error;
    QObject::connect(&exporter, &ZLXClipExport::finished,
                     [&](bool, const QString& message) { error = message; });
    if (!exporter.start(f.drive, f.start + *from, f.start + *to, options, shown(output), &error,
                        redaction ? &*redaction : nullptr))
        return fail(error + (error.endsWith(QLatin1String("already exists."))
                                 ? QStringLiteral(" (--force replaces it)")
                                 : QString()));
    if (!exporter.waitForFinished())
        return fail(error.isEmpty() ? QStringLiteral("the export failed") : error);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // pictures and PDF pages are drawn without a screen
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // the arguments as the bytes they are: a path need not be UTF-8
    std::vector<std::string> all(argv + 1, argv + argc), args;
    setUpToolLog("daxo-export", all);
    bool force = false, help = false;
    for (const std::string& a : all) {
        if (a == "--force")
            force = true;
        else if (a == "--help" || a == "-h")
            help = true;
        else
            args.push_back(a);
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    QGuiApplication app(argc, argv);
    installCleanupOnSignals();
    if (args.size() >= 2 && args[0] == "report")
        return report(args, force);
    if (args.size() >= 2 && args[0] == "clip")
        return clip(args, force);
    return usage();
}
