// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/thumbnails/ZLXThumbnailStrip.h"

#include <QPainter>
#include <algorithm>

namespace daxo {

namespace {
constexpr int kTileWidth = ZLXThumbnailStrip::kHeight * 16 / 9;
}

ZLXThumbnailStrip::ZLXThumbnailStrip(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("thumbnailStrip"));
    setFixedHeight(kHeight);
}

void ZLXThumbnailStrip::setSource(Source source) {
    m_source = std::move(source);
    update();
}

void ZLXThumbnailStrip::setMargins(int left, int right) {
    m_left = left;
    m_right = right;
    update();
}

int ZLXThumbnailStrip::tileCount() const {
    return std::max(1, (width() - m_left - m_right) / kTileWidth);
}

double ZLXThumbnailStrip::tileFraction(int tile) const {
    return (tile + 0.5) / tileCount();
}

void ZLXThumbnailStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int n = tileCount();
    const double span = std::max(1, width() - m_left - m_right);
    for (int i = 0; i < n; ++i) {
        const QRect tile(QPoint(m_left + int(span * i / n), 0), QPoint(m_left + int(span * (i + 1) / n) - 2, kHeight - 1));
        const QImage picture = m_source ? m_source(tileFraction(i)) : QImage();
        if (picture.isNull()) {
            painter.fillRect(tile, QColor(0x30, 0x30, 0x30));
            continue;
        }
        // the tile filled, the picture's middle kept
        const QSize size = picture.size().scaled(tile.size(), Qt::KeepAspectRatioByExpanding);
        const QRect source((size.width() - tile.width()) / 2, (size.height() - tile.height()) / 2, tile.width(),
                           tile.height());
        painter.drawImage(tile, picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), source);
    }
}

} // namespace daxo
