// SPDX-License-Identifier: GPL-3.0-or-later
// Asking the map page a question in its own script, waited for.
#pragma once

#include "app/map/ZLXMapWebView.h"

#include <QTest>
#include <QWebEnginePage>

namespace daxo::test {

// The value of `script` in the page; "<no answer>" when none comes within 10 s.
inline QVariant evaluate(ZLXMapWebView& view, const QString& script) {
    QVariant result;
    bool done = false;
    view.page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        return QStringLiteral("<no answer>");
    return result;
}

} // namespace daxo::test
