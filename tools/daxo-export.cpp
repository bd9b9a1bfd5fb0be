// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-export clip RECORDING --from SECONDS --to SECONDS -o OUT.mp4 [--layout pip|side|front|original]
//             [--captions]
// daxo-export report RECORDING --at SECONDS -o OUT.pdf
// The clip and the incident report the viewer's File menu writes, through the same code: the seconds count
// from the start of RECORDING and run on into the recordings after it on the same trip, the
// partner files found by their names as in the viewer's list.
#include "ZLXClipExport.h"
#include "ZLXIncidentReport.h"
#include "ZLXLog.h"
#include "ZLXTrip.h"

#include <QGuiApplication>
#include <QFileInfo>
#include <cstdio>
#include <optional>
#include <string>

using namespace daxo;

namespace {

int usage() {
    std::fprintf(stderr, "usage: daxo-export clip RECORDING --from SECONDS --to SECONDS -o OUT.mp4\n"
                         "                    [--layout pip|side|front|original] [--captions]\n"
                         "       daxo-export report RECORDING --at SECONDS -o OUT.pdf\n");
    return 2;
}

int fail(const QString& message) {
    std::fprintf(stderr, "daxo-export: %s\n", qUtf8Printable(message));
    return 1;
}

std::optional<double> seconds(const QString& text) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && v >= 0 && v < 1e7 ? std::optional<double>(v) : std::nullopt;
}

// The recording's trip, read, and where the recording starts on its line.
std::optional<std::pair<ZLXDrive, double>> driveOf(const QString& recording, double gap) {
    const QFileInfo file(recording);
    const std::string path = QFile::encodeName(file.absoluteFilePath()).toStdString();
    const ZLXMediaList::Contents contents = ZLXMediaList::build(QFile::encodeName(file.absolutePath()).toStdString());
    for (const ZLXTrip& trip : groupTrips(tripGroupsWithDurations(contents.medias, contents.mediaPairDic), gap)) {
        for (size_t g = 0; g < trip.groups.size(); ++g) {
            if (trip.groups[g].frontPath == path || trip.groups[g].rearPath == path) {
                const std::string config = QFile::encodeName(file.absolutePath()).toStdString() + "/config.bin";
                ZLXDrive drive = ZLXDrive::load(trip, readTrack, impactThresholdsOf(config).value_or(ZLXImpactThresholds{}));
                const double start = drive.trip.startOf(g);
                return std::make_pair(std::move(drive), start);
            }
        }
    }
    return std::nullopt;
}

} // namespace

int report(const QStringList& args) {
    std::optional<double> at;
    QString output;
    for (int i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--at"))
            at = seconds(args[i + 1]);
        else if (args[i] == QLatin1String("-o"))
            output = args[i + 1];
        else
            return usage();
    }
    if (!at || output.isEmpty() || args.size() % 2 != 0)
        return usage();
    const auto found = driveOf(args[1], 180);
    if (!found)
        return fail(QStringLiteral("%1 is not a recording of its folder's list").arg(args[1]));
    const auto& [drive, start] = *found;
    const ZLXReportResult result =
        writeIncidentReport(drive, start + *at, output, QFileInfo(args[1]).absolutePath() + QStringLiteral("/config.bin"));
    if (!result.ok)
        return fail(result.error);
    std::printf("%s  %s\n", qUtf8Printable(result.sha256), qUtf8Printable(output));
    return 0;
}

int main(int argc, char** argv) {
    // pictures and PDF pages are drawn without a screen
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    setLogQuiet(true);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 2 && args[0] == QLatin1String("report"))
        return report(args);
    if (args.size() < 2 || args[0] != QLatin1String("clip"))
        return usage();
    const QString recording = args[1];
    std::optional<double> from, to;
    QString output;
    ZLXClipOptions options;
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--from") && hasValue)
            from = seconds(args[++i]);
        else if (a == QLatin1String("--to") && hasValue)
            to = seconds(args[++i]);
        else if (a == QLatin1String("-o") && hasValue)
            output = args[++i];
        else if (a == QLatin1String("--captions"))
            options.captions = true;
        else if (a == QLatin1String("--layout") && hasValue) {
            const QString layout = args[++i];
            if (layout == QLatin1String("pip"))
                options.layout = ZLXClipLayout::PictureInPicture;
            else if (layout == QLatin1String("side"))
                options.layout = ZLXClipLayout::SideBySide;
            else if (layout == QLatin1String("front"))
                options.layout = ZLXClipLayout::Front;
            else if (layout == QLatin1String("original"))
                options.layout = ZLXClipLayout::Original;
            else
                return usage();
        } else {
            return usage();
        }
    }
    if (!from || !to || output.isEmpty())
        return usage();
    if (*to <= *from)
        return fail(QStringLiteral("--to must come after --from"));
    auto found = driveOf(recording, 180);
    if (!found)
        return fail(QStringLiteral("%1 is not a recording of its folder's list").arg(recording));
    const auto& [drive, start] = *found;
    ZLXClipExport clip;
    QString error;
    QObject::connect(&clip, &ZLXClipExport::finished, [&](bool, const QString& message) { error = message; });
    if (!clip.start(drive, start + *from, start + *to, options, output, &error))
        return fail(error);
    if (!clip.waitForFinished())
        return fail(error.isEmpty() ? QStringLiteral("the export failed") : error);
    return 0;
}
