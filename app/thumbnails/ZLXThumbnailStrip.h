// SPDX-License-Identifier: GPL-3.0-or-later
// A strip of pictures along a slider: where a trip goes, one key frame per tile, each tile
// standing over the part of the slider it shows.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace daxo {

class ZLXThumbnailStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 34;
    // The picture at a fraction (0 to 1) of the slider; null while it is made.
    using Source = std::function<QImage(double fraction)>;
    explicit ZLXThumbnailStrip(QWidget* parent = nullptr);
    void setSource(Source source);
    // The slider's handle runs from `left` to `right` pixels in from its two ends.
    void setMargins(int left, int right);
    // The tiles the width holds, and the fraction each shows (its middle).
    int tileCount() const;
    double tileFraction(int tile) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Source m_source;
    int m_left = 0, m_right = 0;
};

} // namespace daxo
