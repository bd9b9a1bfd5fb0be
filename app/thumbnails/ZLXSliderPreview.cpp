// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/thumbnails/ZLXSliderPreview.h"

#include "app/thumbnails/ZLXThumbnailPreview.h"

#include <QEvent>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <cmath>

namespace daxo {

ZLXSliderPreview::ZLXSliderPreview(QSlider* slider, ZLXThumbnailer& thumbnailer, ZLXThumbnailPreview& preview,
                                   Locate locate)
    : QObject(slider), m_slider(slider), m_thumbnailer(thumbnailer), m_preview(preview), m_locate(std::move(locate)) {
    slider->setMouseTracking(true);
    slider->installEventFilter(this);
    connect(&thumbnailer, &ZLXThumbnailer::ready, this, &ZLXSliderPreview::pictureReady);
}

std::pair<int, int> ZLXSliderPreview::handleRun(const QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    const QStyle* style = slider->style();
    const QRect groove = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const QRect handle = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    return {groove.left() + handle.width() / 2, slider->width() - groove.right() - 1 + handle.width() / 2};
}

double ZLXSliderPreview::fractionAt(const QSlider* slider, int x) {
    const auto [left, right] = handleRun(slider);
    const double span = std::max(1, slider->width() - left - right);
    return std::clamp((x - left) / span, 0.0, 1.0);
}

bool ZLXSliderPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_slider) {
        switch (event->type()) {
        case QEvent::MouseMove:
            if (!m_slider->isSliderDown())
                hoverAt(int(static_cast<QMouseEvent*>(event)->position().x()));
            else
                hide();
            break;
        case QEvent::ToolTip:
            if (m_moment)
                return true; // the preview says more than the slider's tip
            break;
        case QEvent::Leave:
        case QEvent::Hide:
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
            hide();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ZLXSliderPreview::hoverAt(int x) {
    m_moment = m_locate ? m_locate(fractionAt(m_slider, x)) : std::nullopt;
    if (!m_moment) {
        hide();
        return;
    }
    m_preview.setTimeText(m_moment->timeText);
    showPictures();
    m_preview.showAbove(m_slider->mapToGlobal(QPoint(x, 0)));
}

void ZLXSliderPreview::hide() {
    m_moment.reset();
    m_preview.hide();
}

void ZLXSliderPreview::showPictures() {
    auto picture = [&](const QString& path) {
        return path.isEmpty() ? QImage()
                              : m_thumbnailer.thumbnail(path, m_moment->seconds, ZLXThumbnailer::Urgency::Now);
    };
    // the front first: a `Now` request replaces the one before it not yet begun
    const QImage rear = picture(m_moment->rear);
    const QImage front = picture(m_moment->front);
    m_preview.setPictures(front, m_moment->rear.isEmpty() ? std::nullopt : std::optional<QImage>(rear));
}

void ZLXSliderPreview::pictureReady(const QString& path, double seconds, const QImage&) {
    if (m_moment && (path == m_moment->front || path == m_moment->rear) &&
        std::floor(seconds) == std::floor(m_moment->seconds))
        showPictures();
}

} // namespace daxo
