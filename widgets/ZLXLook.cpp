// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ZLXLook.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace daxo {

void applyViewerLook(QApplication& app) {
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QColor window(43, 45, 49), base(31, 33, 37), text(230, 230, 232), dim(140, 143, 150),
        button(53, 55, 60), highlight(47, 111, 181);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(38, 40, 44));
    p.setColor(QPalette::ToolTipBase, QColor(60, 62, 68));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, dim);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 110, 100));
    p.setColor(QPalette::Light, QColor(75, 78, 84));
    p.setColor(QPalette::Midlight, QColor(64, 66, 72));
    p.setColor(QPalette::Mid, QColor(36, 38, 42));
    p.setColor(QPalette::Dark, QColor(24, 25, 28));
    p.setColor(QPalette::Shadow, QColor(10, 10, 12));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(110, 170, 240));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, dim);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(70, 72, 78));
    app.setPalette(p);
}

} // namespace daxo
