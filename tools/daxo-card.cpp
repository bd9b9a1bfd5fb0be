// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-card list [--json]                          the cards the format window offers
// daxo-card format DEVICE-OR-IMAGE [--yes]         erases a card (or a FAT image file) as the
//                                                  camera wants it, keeping its config.bin
// daxo-card clock DIR [--date yyyy/MM/dd] [--time HH:mm:ss]
//                                                  writes DIR/timeset.cfg, now by default
#include "ZLXCardOperations.h"
#include "ZLXLog.h"
#include "ZLXTimeSetupFile.h"
#include "ZLXVolumes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

using namespace daxo;

namespace {

int fail(const QString& message, int status = 1) {
    std::fprintf(stderr, "daxo-card: %s\n", qPrintable(message));
    return status;
}

int usage() {
    return fail(QStringLiteral("usage: daxo-card list [--json] | format DEVICE-OR-IMAGE [--yes] | "
                               "clock DIR [--date yyyy/MM/dd] [--time HH:mm:ss]"),
                2);
}

int list(bool json) {
    const auto cards = makeSystemCardOperations()->cards();
    QJsonArray array;
    for (const auto& card : cards) {
        const QString unit = QString::fromStdString(allocationUnitText(clusterSizeByVolumeSizeInKB(card.volumeSize())));
        if (!json) {
            std::printf("%s\t%llu bytes\t%s\t%s\t%s\t%s\n", card.displayString().c_str(),
                        static_cast<unsigned long long>(card.volumeSize()), card.volumeName().c_str(),
                        card.deviceFilePath().c_str(), card.mountedURL().c_str(), qPrintable(unit));
            continue;
        }
        QJsonObject o;
        o["display"] = QString::fromStdString(card.displayString());
        o["label"] = QString::fromStdString(card.volumeName());
        o["size"] = double(card.volumeSize());
        o["device"] = QString::fromStdString(card.deviceFilePath());
        o["mountPoint"] = QString::fromStdString(card.mountedURL());
        o["model"] = card.deviceModel() ? QJsonValue(QString::fromStdString(*card.deviceModel())) : QJsonValue();
        o["writable"] = card.writable();
        o["allocationUnit"] = unit;
        array.append(o);
    }
    if (json)
        std::printf("%s", QJsonDocument(array).toJson().constData());
    return 0;
}

bool confirmed(const TKUSBDiskEntity& card) {
    const ZLXConfirmationText text = formatConfirmationText(card, recordingCountOn(card));
    std::fprintf(stderr, "%s\n%s\nType \"yes\" to erase it: ", qPrintable(text.message), qPrintable(text.informative));
    std::string answer;
    return std::getline(std::cin, answer) && answer == "yes";
}

// The same steps as the format window, told on stderr.
int formatCard(ZLXCardOperations& operations, const TKUSBDiskEntity& card, bool ask) {
    if (!card.writable())
        return fail(QStringLiteral("%1: %2").arg(qtTrId("msg.cannot_format"), qtTrId("msg.write_protected_disk")));
    if (ask && !confirmed(card))
        return fail(QStringLiteral("nothing was erased"));
    const ZLXFormatResult result = runCardFormat(operations, card, [](const QString& status) {
        std::fprintf(stderr, "%s\n", qPrintable(status));
    });
    if (result.outcome != ZLXFormatResult::Outcome::Formatted) {
        const QString why = result.outcome == ZLXFormatResult::Outcome::Failed ? formatFailureText(card, result.error)
                                                                               : result.error.message;
        return fail(withKeptCopy(qtTrId("msg.cannot_format") + QLatin1Char('\n') + why, result.savedConfig));
    }
    const auto again = cardOnDevice(operations.cards(), card.deviceFilePath());
    const std::optional<QString> failure =
        again ? restoreConfigFile(*again, result.savedConfig)
              : QStringLiteral("%1 did not come back after the format.").arg(QString::fromStdString(card.deviceFilePath()));
    if (failure)
        return fail(withKeptCopy(QStringLiteral("config.bin copy fail\n") + *failure, result.savedConfig));
    std::printf("%s\n%s\n", qPrintable(qtTrId("msg.format_complete")), again->displayString().c_str());
    return 0;
}

int formatImage(const QString& image, bool ask) {
    QTemporaryDir mountPoint;
    if (!mountPoint.isValid())
        return fail(QStringLiteral("no temporary folder for the image: %1").arg(mountPoint.errorString()));
    ZLXImageCardOperations operations;
    operations.addImage(image, mountPoint.path());
    const TKUSBDiskEntity stub({}, mountPoint.path().toStdString(), QFileInfo(image).absoluteFilePath().toStdString(),
                               std::nullopt, 0, true, true, {});
    if (const auto mounted = operations.mount(stub); !mounted.ok())
        return fail(QStringLiteral("%1 cannot be mounted: %2").arg(image, mounted.message));
    const auto card = cardOnDevice(operations.cards(), stub.deviceFilePath());
    const int status = card ? formatCard(operations, *card, ask) : fail(QStringLiteral("%1 is not mounted").arg(image));
    operations.unmount(stub); // writes the image's last changes
    return status;
}

int formatDevice(const QString& argument, bool ask) {
    const QString device = QFileInfo(argument).canonicalFilePath();
    if (device.isEmpty())
        return fail(QStringLiteral("%1 does not exist").arg(argument));
    auto operations = makeSystemCardOperations();
    const auto card = cardOnDevice(operations->cards(), device.toStdString());
    if (!card) {
        const auto why = formatRefusal(lsblkOutput(), device);
        return fail(why ? *why : QStringLiteral("%1 is not a mounted card; mount it first").arg(device));
    }
    return formatCard(*operations, *card, ask);
}

int clock(const QStringList& args) {
    if (args.isEmpty())
        return usage();
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
    const ZLXClockTime clockTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
    const QString path = QDir(folder).filePath(QStringLiteral("timeset.cfg"));
    if (const auto why = writeTimeSetupFile(QFile::encodeName(path).toStdString(), clockTime))
        return fail(QStringLiteral("%1: %2").arg(path, QString::fromStdString(*why)));
    std::printf("%s\t%s\n", qPrintable(path), timeSetupText(clockTime).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    setLogIdentity("daxo-card");
    std::signal(SIGXFSZ, SIG_IGN); // a write beyond the size limit fails instead of killing
    QTranslator texts;
    if (texts.load(QStringLiteral(":/i18n/InfoPlist_en")))
        QCoreApplication::installTranslator(&texts);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    if (args[0] == QLatin1String("list") && args.size() <= 2) {
        if (args.size() == 2 && args[1] != QLatin1String("--json"))
            return usage();
        return list(args.size() == 2);
    }
    if (args[0] == QLatin1String("format") && (args.size() == 2 || (args.size() == 3 && args[2] == QLatin1String("--yes")))) {
        const bool ask = args.size() == 2;
        const QFileInfo target(args[1]);
        if (target.isFile())
            return formatImage(args[1], ask);
        return formatDevice(args[1], ask);
    }
    if (args[0] == QLatin1String("clock"))
        return clock(args.mid(1));
    return usage();
}
