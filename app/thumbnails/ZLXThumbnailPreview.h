// SPDX-License-Identifier: GPL-3.0-or-later
// The preview above a slider while the pointer rests on it: both channels at that moment (the
// front large, the rear small in its corner) and the time, without moving playback.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <optional>

namespace daxo {

class ZLXThumbnailPreview : public QWidget {
    Q_OBJECT
public:
    explicit ZLXThumbnailPreview(QWidget* parent = nullptr);
    static constexpr int kPictureWidth = 256, kPictureHeight = 144, kTextHeight = 20;

    // A null picture shows as a dark field while it is made; no rear channel, no inset.
    void setPictures(const QImage& front, std::optional<QImage> rear);
    void setTimeText(const QString& text);
    // Shown with its bottom edge centred on `anchor` (global), kept on the screen.
    void showAbove(const QPoint& anchor);

    const QImage& front() const { return m_front; }
    const std::optional<QImage>& rear() const { return m_rear; }
    const QString& timeText() const { return m_time; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_front;
    std::optional<QImage> m_rear;
    QString m_time;
};

} // namespace daxo
