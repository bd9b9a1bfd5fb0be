// SPDX-License-Identifier: GPL-3.0-or-later
// The controls the main window draws from images: a button that changes its image under the
// pointer and when pressed, strips stretched from three pieces, frames stretched from nine, and
// plain colour fills.
#pragma once

#include "presentation/ZLXPartImages.h"

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <array>

namespace daxo {

// A button drawn from images named after one ("play_n"): "play_f" under the pointer, "play_p"
// while pressed; disabled, the inactive image.
class TKImageButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TKImageButton(QWidget* parent = nullptr);
    void setImageName(const QString& name);
    const QString& imageName() const { return m_name; }
    long long numberOfCaptures() const { return m_captures.count(); }
    void setNumberOfCaptures(long long count);
    void resetMouseCaptures();
    // What it shows now: "rollover", "pressed", "active" or "inactive".
    QString shownImage() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_name;
    QPixmap m_activeImage, m_inactiveImage, m_rolloverImage, m_pressedImage;
    ZLXCaptureCount m_captures;
};

// The bezel of an information button: three pieces, the pressed ones while it is down or off.
void drawImageButtonBezel(QPainter& painter, const QRect& frame, bool on, bool highlighted);

// Three pieces across the whole width: the ends at their own widths, the middle stretched.
class TKThreePartImageView : public QWidget {
    Q_OBJECT
public:
    explicit TKThreePartImageView(QWidget* parent = nullptr);
    void setImagesLeft(const QPixmap& left, const QPixmap& middle, const QPixmap& right);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_left, m_middle, m_right;
};

// An image cut into nine equal blocks, drawn over a rectangle with the corners at their size
// and the edges and centre stretched.
class NinePartLayer {
public:
    void setImage(const QImage& image);
    QSizeF blockSize() const { return m_blockSize; }
    void draw(QPainter& painter, const QRectF& frame) const;

private:
    std::array<std::array<QImage, 3>, 3> m_blocks; // [row][column], row 0 at the bottom
    QSizeF m_blockSize;
};

// The area behind a video: a frame of nine named pieces ("v1_top_left_corner" ...), the
// channel's logo in the middle, and a line under it when there is something to say.
class TKVideoBackgroundImageView : public QWidget {
    Q_OBJECT
public:
    explicit TKVideoBackgroundImageView(QWidget* parent = nullptr);
    void setBackgroundNineImageName(const QString& baseName);
    void setLogoImage(const QPixmap& logo, const QString& name = {});
    const QString& logoName() const { return m_logoName; }
    void setMessage(const QString& message);
    const QString& message() const { return m_message; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // [row][column], row 0 at the top as drawn
    std::array<std::array<QPixmap, 3>, 3> m_pieces;
    QPixmap m_logo;
    QString m_logoName, m_message;
};

// A plain fill of one colour, when one is set.
class TKColorBackgroundView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_color; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};

// A box filled with the window's warm grey.
class CustomBackgroundBox : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    static QColor fillColor() { return QColor::fromRgbF(0.416f, 0.373f, 0.357f); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace daxo
