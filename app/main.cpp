// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXAppDelegate.h"
#include "ZLXLanguage.h"
#include "ZLXLog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>

int main(int argc, char** argv) {
    daxo::setLogIdentity("daxo-viewer");
    QApplication::setOrganizationName(QStringLiteral("daxo"));
    QApplication::setApplicationName(QStringLiteral("daxo-viewer"));
    QApplication::setApplicationVersion(QStringLiteral(DAXO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("daxo-viewer"));
    QApplication app(argc, argv);

    QSettings settings;
    daxo::installStringTable(app, daxo::preferredLanguage(settings));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays dash camera recordings with their telemetry."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("Folder of recordings to open, usually the card's root."),
                                 QStringLiteral("[folder]"));
    parser.process(app);

    daxo::ZLXAppDelegate controller;
    controller.applicationDidFinishLaunching(settings);

    const QStringList folders = parser.positionalArguments();
    if (!folders.isEmpty()) {
        const QFileInfo folder(folders.front());
        if (folder.isDir()) {
            controller.openMediaDirectory(folder.absoluteFilePath());
        } else {
            std::fprintf(stderr, "daxo-viewer: %s is not a folder\n",
                         qPrintable(folders.front()));
        }
    }
    return app.exec();
}
