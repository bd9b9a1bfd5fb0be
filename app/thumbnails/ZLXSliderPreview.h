// SPDX-License-Identifier: GPL-3.0-or-later
// Watches a slider: while the pointer rests over it, the preview shows both channels at the
// moment under the pointer; it goes when the pointer leaves or a button is pressed.
#pragma once

#include "app/thumbnails/ZLXThumbnailer.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

class QSlider;

namespace daxo {

class ZLXThumbnailPreview;

// What stands at a place of a slider: the recordings of both channels, the moment in them and
// the time to show.
struct ZLXSliderMoment {
    QString front, rear; // either may be empty
    double seconds = 0;
    QString timeText;
};

class ZLXSliderPreview : public QObject {
    Q_OBJECT
public:
    // `locate` gives the moment at a fraction (0 to 1) of the slider, none where nothing plays.
    using Locate = std::function<std::optional<ZLXSliderMoment>(double fraction)>;
    ZLXSliderPreview(QSlider* slider, ZLXThumbnailer& thumbnailer, ZLXThumbnailPreview& preview, Locate locate);

    // The fraction of the slider at `x` of its own coordinates (where the handle's centre would be).
    static double fractionAt(const QSlider* slider, int x);
    // How far in from the slider's left and right ends the handle's centre runs.
    static std::pair<int, int> handleRun(const QSlider* slider);
    // Shows the preview for the place at `x` (what a pointer resting there does).
    void hoverAt(int x);
    void hide();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pictureReady(const QString& path, double seconds, const QImage& image);
    void showPictures();

    QSlider* m_slider;
    ZLXThumbnailer& m_thumbnailer;
    ZLXThumbnailPreview& m_preview;
    Locate m_locate;
    std::optional<ZLXSliderMoment> m_moment;
};

} // namespace daxo
