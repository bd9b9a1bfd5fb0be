// SPDX-License-Identifier: GPL-3.0-or-later
// The library the viewer imports cards into and the command line searches: the folder chosen
// in the viewer (its "library/folder" setting), else "DAXO" in the user's Videos folder.
#pragma once

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace daxo {

inline QString libraryFolder(const QSettings& viewerSettings) {
    const QString chosen = viewerSettings.value(QStringLiteral("library/folder")).toString();
    if (!chosen.isEmpty())
        return chosen;
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty())
        videos = QDir::homePath() + QStringLiteral("/Videos");
    return videos + QStringLiteral("/DAXO");
}

} // namespace daxo
