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

void TKBackgroundView::setMessage(const QString& message) {
    m_message = message;
    update();
}

void TKBackgroundView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), backgroundColor());
    const int logoBottom = (height() + m_logo.height()) / 2;
    if (!m_logo.isNull())
        p.drawPixmap((width() - m_logo.width()) / 2, (height() - m_logo.height()) / 2, m_logo);
    if (!m_message.isEmpty()) {
        p.setPen(QColor(230, 230, 230));
        p.drawText(QRect(0, logoBottom + 8, width(), p.fontMetrics().height() + 4), Qt::AlignHCenter | Qt::AlignTop,
                   m_message);
    }
}

} // namespace daxo
