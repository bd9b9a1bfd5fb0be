// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/TKPartImages.h"

#include "widgets/ZLXImages.h"

#include <QEnterEvent>
#include <QPainter>

namespace daxo {
namespace {

QRectF toRect(const ZLXPartRect& r) {
    return {r.x, r.y, r.width, r.height};
}

void drawThree(QPainter& p, const QRect& frame, const QPixmap& left, const QPixmap& middle, const QPixmap& right) {
    const auto parts = threePartGeometry(frame.width(), frame.height(), left.width(), right.width());
    const QPixmap* pieces[3] = {&left, &middle, &right};
    for (int i = 0; i < 3; ++i) {
        if (!pieces[i]->isNull())
            p.drawPixmap(toRect(parts[size_t(i)]).translated(frame.topLeft()), *pieces[i], pieces[i]->rect());
    }
}

} // namespace

// ---- the image button

TKImageButton::TKImageButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
}

void TKImageButton::setImageName(const QString& name) {
    m_name = name;
    m_activeImage = m_inactiveImage = namedImage(name);
    m_rolloverImage = namedImage(QString::fromStdString(buttonImageNameWithSuffix(name.toStdString(), "_f")));
    m_pressedImage = namedImage(QString::fromStdString(buttonImageNameWithSuffix(name.toStdString(), "_p")));
    updateGeometry();
    update();
}

void TKImageButton::setNumberOfCaptures(long long count) {
    m_captures.set(count);
    update();
}

void TKImageButton::resetMouseCaptures() {
    m_captures.reset();
    update();
}

QString TKImageButton::shownImage() const {
    if (isDown() && isEnabled() && !m_pressedImage.isNull())
        return QStringLiteral("pressed");
    if (m_captures.showsRollover(isEnabled()) && !m_rolloverImage.isNull())
        return QStringLiteral("rollover");
    return isEnabled() ? QStringLiteral("active") : QStringLiteral("inactive");
}

QSize TKImageButton::sizeHint() const {
    return m_activeImage.isNull() ? QSize(24, 24) : m_activeImage.deviceIndependentSize().toSize();
}

void TKImageButton::paintEvent(QPaintEvent*) {
    const QString shown = shownImage();
    const QPixmap& image = shown == QLatin1String("pressed")    ? m_pressedImage
                           : shown == QLatin1String("rollover") ? m_rolloverImage
                           : shown == QLatin1String("active")   ? m_activeImage
                                                                : m_inactiveImage;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!isEnabled())
        p.setOpacity(1.0); // never dimmed: the inactive image is what shows
    const QSizeF size = image.deviceIndependentSize().scaled(QSizeF(this->size()), Qt::KeepAspectRatio);
    p.drawPixmap(QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size), image,
                 QRectF(image.rect()));
}

void TKImageButton::enterEvent(QEnterEvent* event) {
    m_captures.mouseEntered();
    update();
    QAbstractButton::enterEvent(event);
}

void TKImageButton::leaveEvent(QEvent* event) {
    m_captures.mouseExited();
    update();
    QAbstractButton::leaveEvent(event);
}

void TKImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}

void drawImageButtonBezel(QPainter& painter, const QRect& frame, bool on, bool highlighted) {
    const bool pressed = !on || highlighted;
    const QString suffix = pressed ? QStringLiteral("_pressed.png") : QStringLiteral(".png");
    drawThree(painter, frame, namedImage("bg_bt_info_left" + suffix), namedImage("bg_bt_info_center" + suffix),
              namedImage("bg_bt_info_right" + suffix));
}

// ---- three parts

TKThreePartImageView::TKThreePartImageView(QWidget* parent) : QWidget(parent) {}

void TKThreePartImageView::setImagesLeft(const QPixmap& left, const QPixmap& middle, const QPixmap& right) {
    m_left = left;
    m_middle = middle;
    m_right = right;
    update();
}

void TKThreePartImageView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawThree(p, rect(), m_left, m_middle, m_right);
}

// ---- nine parts

void NinePartLayer::setImage(const QImage& image) {
    const int bw = image.width() / 3, bh = image.height() / 3;
    m_blockSize = QSizeF(image.width() / 3.0, image.height() / 3.0);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) // row 0 is the image's bottom row
            m_blocks[size_t(row)][size_t(column)] = image.copy(column * bw, (2 - row) * bh, bw, bh);
    }
}

void NinePartLayer::draw(QPainter& painter, const QRectF& frame) const {
    const auto parts = ninePartGeometry(frame.width(), frame.height(), m_blockSize.width(), m_blockSize.height());
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const ZLXPartRect& r = parts[size_t(row)][size_t(column)];
            // the layer counts rows from the bottom, the painter from the top
            const QRectF target(frame.left() + r.x, frame.bottom() - r.y - r.height, r.width, r.height);
            painter.drawImage(target, m_blocks[size_t(row)][size_t(column)]);
        }
    }
}

// ---- the video's background

TKVideoBackgroundImageView::TKVideoBackgroundImageView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TKVideoBackgroundImageView::setBackgroundNineImageName(const QString& base) {
    static const char* const kNames[3][3] = {
        {"top_left_corner", "top_edge_fill", "top_right_corner"},
        {"left_edge_fill", "center_fill", "right_edge_fill"},
        {"bottom_left_corner", "bottom_edge_fill", "bottom_right_corner"}};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            m_pieces[size_t(row)][size_t(column)] = namedImage(base + '_' + QLatin1String(kNames[row][column]));
    }
    update();
}

void TKVideoBackgroundImageView::setLogoImage(const QPixmap& logo, const QString& name) {
    m_logo = logo;
    m_logoName = name;
    update();
}

void TKVideoBackgroundImageView::setMessage(const QString& message) {
    m_message = message;
    update();
}

void TKVideoBackgroundImageView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& corner = m_pieces[0][0];
    if (corner.isNull()) {
        p.fillRect(rect(), QColor(24, 26, 30));
    } else {
        const QSizeF block = corner.deviceIndependentSize();
        const auto parts = ninePartGeometry(width(), height(), block.width(), block.height());
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                const ZLXPartRect& r = parts[size_t(2 - row)][size_t(column)]; // geometry's row 0 is the bottom
                const QPixmap& piece = m_pieces[size_t(row)][size_t(column)];
                p.drawPixmap(QRectF(r.x, height() - r.y - r.height, r.width, r.height), piece, QRectF(piece.rect()));
            }
        }
    }
    const QSizeF logo = m_logo.deviceIndependentSize();
    if (!m_logo.isNull())
        p.drawPixmap(QPointF((width() - logo.width()) / 2, (height() - logo.height()) / 2), m_logo);
    if (!m_message.isEmpty()) {
        const int logoBottom = int((height() + logo.height()) / 2);
        p.setPen(QColor(230, 230, 230));
        p.drawText(QRect(0, logoBottom + 8, width(), p.fontMetrics().height() + 4), Qt::AlignHCenter | Qt::AlignTop,
                   m_message);
    }
}

// ---- fills

void TKColorBackgroundView::setBackgroundColor(const QColor& color) {
    m_color = color;
    update();
}

void TKColorBackgroundView::paintEvent(QPaintEvent* event) {
    if (m_color.isValid()) {
        QPainter p(this);
        p.fillRect(event->rect(), m_color);
    }
}

void CustomBackgroundBox::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), fillColor());
}

} // namespace daxo
