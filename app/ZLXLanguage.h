// SPDX-License-Identifier: GPL-3.0-or-later
// The interface language: the stored preference list picks the string table at start-up, and
// every launch then forces the list to English for the next one.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

class QCoreApplication;

namespace daxo {

inline constexpr const char* kLanguagesKey = "AppleLanguages";

// The language whose string table this start loads: the first stored preference, else the
// system's.
QString preferredLanguage(const QSettings& settings);

// Installs the "InfoPlist" string table for the language, falling back to English. Returns
// the language actually loaded, empty when no table could be loaded (ids then show as such).
QString installStringTable(QCoreApplication& app, const QString& language);

// Logs every stored preference as "SUPPORT_LANGUAGE=%s" and stores the list {"en"}.
void forceEnglishLanguage(QSettings& settings);

} // namespace daxo
