// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXViewer.h"
#include "app/ZLXLanguage.h"
#include "library/ZLXLog.h"
#include "library/ZLXMediaList.h"
#include "presentation/ZLXMediaTableText.h"
#include "app/player/ZLXVideoView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP close the window like the Quit command does, so playback stops
// and everything is released in order.
void quitOnSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        char byte;
        [[maybe_unused]] const auto read = ::read(g_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// Diagnostics go to the system log; stderr stays quiet unless something fails, or the user
// asks for them there with --verbose. The web engine's own set-up report goes too.
void quietDiagnostics(bool verbose) {
    daxo::setLogEcho(verbose);
    if (verbose)
        return;
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --log-level=3").trimmed());
}

void prepareEnvironment(int argc, char** argv) {
    // The web engine's sandbox cannot run as root.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // the OpenGL video output asked for on the command line, else in the settings
    std::optional<bool> openGL;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--video-output") == 0 && i + 1 < argc)
            openGL = std::strcmp(argv[i + 1], "gl") == 0;
        else if (std::strncmp(argv[i], "--video-output=", 15) == 0)
            openGL = std::strcmp(argv[i] + 15, "gl") == 0;
    }
    if (!openGL)
        openGL = QSettings().value(QStringLiteral("videoOutput")).toString() == QLatin1String("gl");
    daxo::prepareGraphics(*openGL);
}

// `daxo-viewer --list DIR`: the recording table as CSV, without a window.
int listRecordings(const char* folder) {
    struct stat st {};
    if (::stat(folder, &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "daxo-viewer: %s is not a folder\n", folder);
        return 1;
    }
    const std::string csv = daxo::mediaListCsv(daxo::ZLXMediaList::build(folder).medias);
    return std::fwrite(csv.data(), 1, csv.size(), stdout) == csv.size() && std::fflush(stdout) == 0 ? 0 : 1;
}

// The folder argument as the bytes it was given: a name need not be UTF-8.
std::optional<QByteArray> folderArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--video-output") {
            ++i; // its value
            continue;
        }
        if (arg == "--")
            return i + 1 < argc ? std::optional<QByteArray>(argv[i + 1]) : std::nullopt;
        if (!arg.startsWith('-'))
            return arg;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0)
        return listRecordings(argv[2]);
    daxo::setLogIdentity("daxo-viewer");
    quietDiagnostics(std::any_of(argv + 1, argv + argc, [](const char* a) { return std::strcmp(a, "--verbose") == 0; }));
    std::signal(SIGXFSZ, SIG_IGN); // a write beyond the size limit fails and is reported
    QApplication::setOrganizationName(QStringLiteral("daxo"));
    QApplication::setApplicationName(QStringLiteral("daxo-viewer"));
    prepareEnvironment(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(DAXO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("daxo-viewer"));
    QApplication app(argc, argv);
    quitOnSignals(app);

    QSettings settings;
    daxo::installStringTable(app, daxo::preferredLanguage(settings));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays dash camera recordings with their telemetry."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("Folder of recordings to open, usually the card's root."),
                                 QStringLiteral("[folder]"));
    const QCommandLineOption videoOutput(
        QStringLiteral("video-output"),
        QStringLiteral("How video is drawn: gl (hardware OpenGL) or software. Chosen from the machine's OpenGL when not given."),
        QStringLiteral("gl|software"));
    parser.addOption(videoOutput);
    parser.addOption(QCommandLineOption(QStringLiteral("verbose"),
                                        QStringLiteral("Also writes the diagnostics to standard error (they always go to the system log).")));
    parser.addOption(QCommandLineOption(QStringLiteral("list"),
                                        QStringLiteral("Prints the folder's recordings as CSV (mode, date, time, path) and quits."),
                                        QStringLiteral("folder")));
    parser.process(app);

    // The command line first, then the setting; otherwise the machine's OpenGL decides.
    const QString output = parser.isSet(videoOutput) ? parser.value(videoOutput)
                                                     : settings.value(QStringLiteral("videoOutput")).toString();
    if (!output.isEmpty()) {
        const auto chosen = daxo::videoOutputFromName(output);
        if (!chosen) {
            std::fprintf(stderr, "daxo-viewer: --video-output takes gl or software, not %s\n", qPrintable(output));
            return 2;
        }
        daxo::requestVideoOutput(chosen);
    }

    daxo::ZLXViewer viewer;
    daxo::ZLXAppDelegate& controller = viewer.app();
    controller.applicationDidFinishLaunching(settings);
    controller.watchCards(QDBusConnection::systemBus()); // a card going in is told

    if (const auto folder = folderArgument(argc, argv)) {
        struct stat st {};
        if (::stat(folder->constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            QByteArray absolute = *folder;
            if (!absolute.startsWith('/'))
                absolute.prepend(QFile::encodeName(QDir::currentPath()) + '/');
            controller.openMediaDirectory(absolute);
        } else {
            std::fprintf(stderr, "daxo-viewer: %s is not a folder\n", folder->constData());
        }
    }
    return app.exec();
}
