// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-card list [--json]                          the cards the format window offers
// daxo-card format DEVICE-OR-IMAGE [--yes]         erases a card (or a card's image file) as the
//                                                  camera wants it, keeping its config.bin
// daxo-card clock DIR [--date yyyy/MM/dd] [--time HH:mm:ss]
//                                                  writes DIR/timeset.cfg, now by default
// daxo-card clock --check DIR                      the camera's clock against the GPS time in
//                                                  its recordings
// daxo-card clock --from-gps DIR                   writes DIR/timeset.cfg with the time of the
//                                                  card's own zone
// --verbose (anywhere) also writes the diagnostics the program logs to stderr.
#include "card/ZLXCardOperations.h"
#include "library/ZLXLog.h"
#include "card/ZLXTimeSetupFile.h"
#include "telemetry/ZLXClockCheck.h"
#include "telemetry/ZLXTrackIndex.h"
#include "telemetry/ZLXTrip.h"
#include "tools/ZLXToolLog.h"
#include "card/ZLXVolumes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace daxo;

namespace {

int fail(const QString& message, int status = 1) {
    std::fprintf(stderr, "daxo-card: %s\n", qPrintable(message));
    return status;
}

constexpr const char* kUsage =
    "usage: daxo-card list [--json]                  the cards that may be formatted\n"
    "       daxo-card format DEVICE-OR-IMAGE [--yes] erases a card (or a card's image file) as the "
    "camera\n"
    "                                                wants it, keeping its config.bin; asks first\n"
    "       daxo-card clock DIR [--date yyyy/MM/dd] [--time HH:mm:ss]\n"
    "                                                writes DIR/timeset.cfg (now by default)\n"
    "       daxo-card clock --check DIR              the camera's clock against GPS time\n"
    "       daxo-card clock --from-gps DIR           writes DIR/timeset.cfg in the card's time zone\n"
    "options: --verbose  also show the diagnostics the program logs\n"
    "         --help     this text\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// While a card is erased and given its settings back, Ctrl-C, a closed terminal or a kill
// wait: a half-made file system is worse than a format that ends. The programs it runs
// inherit the same mask. The signal that came meanwhile ends the program afterwards.
class SignalsHeld {
public:
    SignalsHeld() {
        sigemptyset(&m_set);
        for (const int s : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&m_set, s);
        ::sigprocmask(SIG_BLOCK, &m_set, &m_old);
    }
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &m_old, nullptr); }

private:
    sigset_t m_set{}, m_old{};
};

int list(bool json) {
    const auto cards = makeSystemCardOperations()->cards();
    QJsonArray array;
    for (const auto& card : cards) {
        const QString unit = QString::fromStdString(
            allocationUnitText(clusterSizeByVolumeSizeInKB(card.volumeSize())));
        if (!json) {
            std::printf("%s\t%llu bytes\t%s\t%s\t%s\t%s\n", card.displayString().c_str(),
                        static_cast<unsigned long long>(card.volumeSize()),
                        card.volumeName().c_str(), card.deviceFilePath().c_str(),
                        card.mountedURL().c_str(), qPrintable(unit));
            continue;
        }
        QJsonObject o;
        o["display"] = QString::fromStdString(card.displayString());
        o["label"] = QString::fromStdString(card.volumeName());
        o["size"] = double(card.volumeSize());
        o["device"] = QString::fromStdString(card.deviceFilePath());
        o["mountPoint"] = QString::fromStdString(card.mountedURL());
        o["model"] = card.deviceModel() ? QJsonValue(QString::fromStdString(*card.deviceModel()))
                                        : QJsonValue();
        o["writable"] = card.writable();
        o["allocationUnit"] = unit;
        array.append(o);
    }
    if (json)
        std::printf("%s", QJsonDocument(array).toJson().constData());
    return 0;
}

bool confirmed(const ZLXConfirmationText& text) {
    std::fprintf(stderr, "%s\n%s\nType \"yes\" to erase it: ", qPrintable(text.message),
                 qPrintable(text.informative));
    std::fflush(stderr);
    std::string answer;
    return std::getline(std::cin, answer) && answer == "yes";
}

// The same steps as the format window, told on stderr.
int formatCard(ZLXCardOperations& operations, const TKUSBDiskEntity& card, bool ask) {
    if (!card.writable())
        return fail(QStringLiteral("%1: %2").arg(qtTrId("msg.cannot_format"),
                                                 qtTrId("msg.write_protected_disk")));
    const size_t recordings = card.mountedURL().empty() ? 0 : recordingCountOn(card);
    ZLXConfirmationText question = formatConfirmationText(card, recordings);
    if (card.mountedURL().empty())
        question.informative =
            QStringLiteral("It holds no file system this computer has mounted (blank, exFAT or "
                           "damaged). Everything on it is erased, and it gets the camera's "
                           "default settings file.");
    if (ask && !confirmed(question))
        return fail(QStringLiteral("nothing was erased"));
    const SignalsHeld held;
    const ZLXFormatResult result = runCardFormat(operations, card, [](const QString& status) {
        std::fprintf(stderr, "%s\n", qPrintable(status));
    });
    if (result.outcome != ZLXFormatResult::Outcome::Formatted) {
        const QString why = result.outcome == ZLXFormatResult::Outcome::Failed
                                ? formatFailureText(card, result.error)
                                : result.error.message;
        return fail(withKeptCopy(qtTrId("msg.cannot_format") + QLatin1Char('\n') + why,
                                 result.savedConfig));
    }
    const auto again = cardOnDevice(operations.cards(), card.deviceFilePath());
    const std::optional<QString> failure =
        again ? restoreConfigFile(*again, result.savedConfig)
              : QStringLiteral("%1 did not come back after the format.")
                    .arg(QString::fromStdString(card.deviceFilePath()));
    if (failure)
        return fail(
            withKeptCopy(QStringLiteral("config.bin copy fail\n") + *failure, result.savedConfig));
    std::printf("%s\n%s\n", qPrintable(qtTrId("msg.format_complete")),
                again->displayString().c_str());
    return 0;
}

// An image file is looked at without a byte written, asked about, and only then formatted,
// never mounted: mkfs.fat on the file, config.bin put in with mtools.
int formatImage(const QString& image, bool ask) {
    const auto planned = planImageFormat(QFileInfo(image).absoluteFilePath());
    if (const QString* refusal = std::get_if<QString>(&planned))
        return fail(*refusal + QStringLiteral("\nnothing was erased"));
    const ZLXImageFormatPlan& plan = std::get<ZLXImageFormatPlan>(planned);
    if (!plan.card.writable())
        return fail(QStringLiteral("%1: %2").arg(qtTrId("msg.cannot_format"),
                                                 qtTrId("msg.write_protected_disk")));
    if (ask && !confirmed(imageConfirmationText(plan)))
        return fail(QStringLiteral("nothing was erased"));
    const SignalsHeld held;
    const ZLXFormatResult result = formatImageFile(
        plan, [](const QString& status) { std::fprintf(stderr, "%s\n", qPrintable(status)); });
    if (result.outcome == ZLXFormatResult::Outcome::NotStarted)
        return fail(result.error.message + QStringLiteral("\nnothing was erased"));
    if (result.outcome == ZLXFormatResult::Outcome::Failed)
        return fail(withKeptCopy(qtTrId("msg.cannot_format") + QLatin1Char('\n') +
                                     formatFailureText(plan.card, result.error),
                                 result.savedConfig));
    if (!result.error.ok())
        return fail(withKeptCopy(result.error.message, result.savedConfig));
    std::printf("%s\n%s\n", qPrintable(qtTrId("msg.format_complete")), qPrintable(image));
    return 0;
}

int formatDevice(const QString& argument, bool ask) {
    const QString device = QFileInfo(argument).canonicalFilePath();
    if (device.isEmpty())
        return fail(QStringLiteral("%1 does not exist").arg(argument));
    auto operations = makeSystemCardOperations();
    if (const auto card = cardOnDevice(operations->cards(), device.toStdString()))
        return formatCard(*operations, *card, ask);
    // no mounted file system: a blank, exFAT or damaged card, offered with the same checks
    const QByteArray disks = lsblkOutput();
    if (const auto why = formatRefusal(disks, device))
        return fail(*why);
    if (const auto points = deviceMountPoints(device.toStdString(), readMountInfo());
        !points.empty())
        return fail(QStringLiteral("%1 is mounted at %2, which is not a card; nothing was erased")
                        .arg(device, QString::fromStdString(points.front())));
    const auto blank = unmountedCard(disks, device);
    if (!blank)
        return fail(QStringLiteral("%1 is not a card this computer lists").arg(device));
    return formatCard(*operations, *blank, ask);
}

int writeClockFile(const QString& folder, const ZLXClockTime& clockTime) {
    if (const auto why = clockTimeRefusal(clockTime))
        return fail(QStringLiteral("%1: %2").arg(timeSetupText(clockTime).c_str(),
                                                 QString::fromStdString(*why)),
                    2);
    const QString path = QDir(folder).filePath(QStringLiteral("timeset.cfg"));
    if (const auto why = writeTimeSetupFile(QFile::encodeName(path).toStdString(), clockTime))
        return fail(QStringLiteral("%1: %2").arg(path, QString::fromStdString(*why)));
    std::printf("%s\t%s\n", qPrintable(path), timeSetupText(clockTime).c_str());
    return 0;
}

// --check prints what the recordings say of the clock; --from-gps writes the time the camera
// should show now, in the zone its settings name.
int clockFromGps(const QString& folder, bool write) {
    if (!QFileInfo(folder).isDir())
        return fail(QStringLiteral("%1 is not a folder").arg(folder));
    const std::string dir = QFile::encodeName(folder).toStdString();
    if (write) {
        const auto zone = cardClockZone(dir + "/config.bin");
        if (!zone || !zoneOffsetSeconds(zone->zoneIndex))
            return fail(QStringLiteral("the card's time zone is not known (no config.bin, or no zone set in it)"));
        const int64_t local = cardLocalSeconds(QDateTime::currentSecsSinceEpoch(), *zone);
        const QDateTime at = QDateTime::fromSecsSinceEpoch(local, QTimeZone::utc());
        return writeClockFile(folder, {at.date().year(), at.date().month(), at.date().day(), at.time().hour(),
                                       at.time().minute(), at.time().second()});
    }
    std::string why;
    auto index = ZLXTrackIndex::open(ZLXTrackIndex::defaultPath(), &why);
    if (!index)
        ZLXLog("no index of recordings: %s", why.c_str());
    ZLXTrackCache cache(std::move(index));
    const ZLXClockCheck check = checkFolderClock(dir, cache);
    std::fputs(clockReportText(check).c_str(), stdout);
    return check.verdict == ZLXClockCheck::Verdict::Unknown ? 1 : 0;
}

int clock(const QStringList& args) {
    if (args.isEmpty())
        return usage();
    if (args[0] == QLatin1String("--check") || args[0] == QLatin1String("--from-gps"))
        return args.size() == 2 ? clockFromGps(args[1], args[0] == QLatin1String("--from-gps")) : usage();
    const QString folder = args[0];
    QDateTime when = QDateTime::currentDateTime();
    for (int i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return usage();
        if (args[i] == QLatin1String("--date")) {
            const QDate date = QDate::fromString(args[i + 1], QStringLiteral("yyyy/MM/dd"));
            if (!date.isValid())
                return fail(QStringLiteral("not a date (yyyy/MM/dd): %1").arg(args[i + 1]), 2);
            when.setDate(date);
        } else if (args[i] == QLatin1String("--time")) {
            const QTime time = QTime::fromString(args[i + 1], QStringLiteral("HH:mm:ss"));
            if (!time.isValid())
                return fail(QStringLiteral("not a time (HH:mm:ss): %1").arg(args[i + 1]), 2);
            when.setTime(time);
        } else {
            return usage();
        }
    }
    if (!QFileInfo(folder).isDir())
        return fail(QStringLiteral("%1 is not a folder").arg(folder));
    const QDate d = when.date();
    const QTime t = when.time();
    return writeClockFile(folder, {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()});
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> raw(argv + 1, argv + argc);
    setUpToolLog("daxo-card", raw);
    QCoreApplication app(argc, argv);
    std::signal(SIGXFSZ, SIG_IGN); // a write beyond the size limit fails instead of killing
    QTranslator texts;
    if (texts.load(QStringLiteral(":/i18n/InfoPlist_en")))
        QCoreApplication::installTranslator(&texts);
    QStringList args = app.arguments().mid(1);
    args.removeAll(QStringLiteral("--verbose"));
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.isEmpty())
        return usage();
    if (args[0] == QLatin1String("list") && args.size() <= 2) {
        if (args.size() == 2 && args[1] != QLatin1String("--json"))
            return usage();
        return list(args.size() == 2);
    }
    if (args[0] == QLatin1String("format") &&
        (args.size() == 2 || (args.size() == 3 && args[2] == QLatin1String("--yes")))) {
        const bool ask = args.size() == 2;
        const QFileInfo target(args[1]);
        struct stat st {};
        if (::stat(QFile::encodeName(args[1]).constData(), &st) == 0 && !S_ISREG(st.st_mode) &&
            !S_ISBLK(st.st_mode))
            return fail(QStringLiteral(
                            "%1 is neither a card's device nor an image file; nothing was erased")
                            .arg(args[1]));
        if (target.isFile() || target.isSymLink())
            return formatImage(args[1], ask);
        return formatDevice(args[1], ask);
    }
    if (args[0] == QLatin1String("clock"))
        return clock(args.mid(1));
    return usage();
}
