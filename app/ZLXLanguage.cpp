// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXLanguage.h"

#include "library/ZLXLog.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace daxo {

QString preferredLanguage(const QSettings& settings) {
    const QStringList stored = settings.value(kLanguagesKey).toStringList();
    if (!stored.isEmpty() && !stored.front().isEmpty())
        return stored.front();
    return QLocale::system().name();
}

QString installStringTable(QCoreApplication& app, const QString& language) {
    auto* translator = new QTranslator(&app);
    for (const QString& candidate : {language, language.section(QLatin1Char('_'), 0, 0),
                                     QStringLiteral("en")}) {
        if (candidate.isEmpty())
            continue;
        if (translator->load(QStringLiteral(":/i18n/InfoPlist_") + candidate)) {
            QCoreApplication::installTranslator(translator);
            return candidate;
        }
    }
    delete translator;
    return {};
}

void forceEnglishLanguage(QSettings& settings) {
    // Without a stored list the user's list is the system's own.
    QStringList stored = settings.value(kLanguagesKey).toStringList();
    if (!settings.contains(kLanguagesKey))
        stored = QLocale::system().uiLanguages();
    for (const QString& language : stored)
        ZLXLog("SUPPORT_LANGUAGE=%s", qUtf8Printable(language));
    settings.setValue(kLanguagesKey, QStringList{QStringLiteral("en")});
    settings.sync();
}

} // namespace daxo
