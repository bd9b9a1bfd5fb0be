// SPDX-License-Identifier: GPL-3.0-or-later
// Running the disk tools: always a program and its arguments, never a shell command line.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace daxo {

struct ZLXCommandResult {
    int exitStatus = 0; // the program's exit status, or -1 when it could not be run
    QString message;    // what it wrote to stderr, or why it could not be run
    bool ok() const { return exitStatus == 0; }
};

// Runs a program, with administrator rights through pkexec when asked (or as it is when the
// program already runs as root). Logs "ERROR=..." after every run.
ZLXCommandResult runShellScript(const QString& program, const QStringList& arguments,
                                bool withAdministratorPrivileges);
// Runs a program and returns what it wrote to stdout; none when it could not be started.
std::optional<QString> runPipeCommand(const QString& program, const QStringList& arguments);

} // namespace daxo
