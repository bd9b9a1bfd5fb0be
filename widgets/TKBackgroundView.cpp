// SPDX-License-Identifier: GPL-3.0-or-later
#include "TKBackgroundView.h"

#include <QPainter>

namespace daxo {

TKBackgroundView::TKBackgroundView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TKBackgroundView::setLogo(const QPixmap& logo, const QString& name) {
    m_logo = logo;
    m_logoName = name;
    update();
}

void TKBackgroundView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(24, 26, 30));
    if (!m_logo.isNull())
        p.drawPixmap((width() - m_logo.width()) / 2, (height() - m_logo.height()) / 2, m_logo);
}

} // namespace daxo
