// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/ZLXShell.h"

#include "library/ZLXCleanup.h"
#include "library/ZLXLog.h"

#include <QProcess>
#include <unistd.h>

namespace daxo {

ZLXCommandResult runShellScript(const QString& program, const QStringList& arguments,
                                bool withAdministratorPrivileges) {
    QString runner = program;
    QStringList args = arguments;
    if (withAdministratorPrivileges && ::geteuid() != 0) {
        runner = QStringLiteral("pkexec");
        args.prepend(program);
    }
    QProcess process;
    process.setChildProcessModifier(dieWithParent);
    process.start(runner, args);
    ZLXCommandResult result;
    if (!process.waitForStarted(30000)) {
        result = {-1, process.errorString()};
    } else {
        process.closeWriteChannel();
        process.waitForFinished(-1); // a password dialog may be up for as long as it takes
        const QString err = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        if (process.exitStatus() != QProcess::NormalExit)
            result = {-1, err.isEmpty() ? process.errorString() : err};
        else
            result = {process.exitCode(), process.exitCode() == 0 ? QString() : err};
    }
    if (result.ok())
        ZLXLog("ERROR={}");
    else
        ZLXLog("ERROR={number=%d, message=%s}", result.exitStatus, qUtf8Printable(result.message));
    return result;
}

std::optional<QString> runPipeCommand(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setChildProcessModifier(dieWithParent);
    process.start(program, arguments);
    if (!process.waitForStarted(30000)) {
        ZLXLog("popen fail:%s", qUtf8Printable(program));
        return std::nullopt;
    }
    process.closeWriteChannel();
    QByteArray output;
    while (process.state() != QProcess::NotRunning || process.bytesAvailable() > 0) {
        if (!process.bytesAvailable() && !process.waitForReadyRead(1000) &&
            process.state() == QProcess::NotRunning)
            break;
        while (process.bytesAvailable() > 0) {
            const QByteArray piece = process.read(1023);
            ZLXLog("### READ:%s(%ld bytes)\n", piece.constData(), long(piece.size()));
            output += piece;
        }
    }
    ZLXLog("read\n");
    process.waitForFinished(-1);
    return QString::fromLocal8Bit(output);
}

} // namespace daxo
