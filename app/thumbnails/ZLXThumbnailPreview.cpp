// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/thumbnails/ZLXThumbnailPreview.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace daxo {

ZLXThumbnailPreview::ZLXThumbnailPreview(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("thumbnailPreview"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(kPictureWidth + 2, kPictureHeight + kTextHeight + 2);
}

void ZLXThumbnailPreview::setPictures(const QImage& front, std::optional<QImage> rear) {
    m_front = front;
    m_rear = std::move(rear);
    update();
}

void ZLXThumbnailPreview::setTimeText(const QString& text) {
    m_time = text;
    update();
}

void ZLXThumbnailPreview::showAbove(const QPoint& anchor) {
    QPoint at(anchor.x() - width() / 2, anchor.y() - height() - 4);
    if (const QScreen* screen = QGuiApplication::screenAt(anchor)) {
        const QRect room = screen->availableGeometry();
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - width() + 1)));
        at.setY(std::max(at.y(), room.top()));
    }
    move(at);
    show();
    raise();
}

void ZLXThumbnailPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(rect(), QColor(0x20, 0x20, 0x20));
    const QRect picture(1, 1, kPictureWidth, kPictureHeight);
    auto draw = [&](const QImage& image, const QRect& box) {
        if (image.isNull()) {
            painter.fillRect(box, QColor(0x30, 0x30, 0x30));
            return;
        }
        // the whole picture, its proportions kept, centred in the box
        const QSize size = image.size().scaled(box.size(), Qt::KeepAspectRatio);
        painter.drawImage(QRect(box.center() - QPoint(size.width() / 2, size.height() / 2), size), image);
    };
    draw(m_front, picture);
    if (m_rear) {
        const QRect inset(picture.right() - 96 - 3, picture.bottom() - 54 - 3, 96, 54);
        painter.fillRect(inset, Qt::black);
        draw(*m_rear, inset);
        painter.setPen(Qt::white);
        painter.drawRect(inset.adjusted(-1, -1, 0, 0));
    }
    painter.setPen(Qt::white);
    painter.drawText(QRect(1, kPictureHeight + 1, kPictureWidth, kTextHeight), Qt::AlignCenter, m_time);
}

} // namespace daxo
