// SPDX-License-Identifier: GPL-3.0-or-later
// For pictures taken of the screen: waits until a window has stopped changing after a resize,
// a change of view or full screen, instead of for a fixed time.
#pragma once

#include "app/player/ZLXVideoView.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <functional>

namespace daxo::test {

// True once the window's frame is the same at two looks in a row, every visible video view
// in it draws at its own size, and `ready` (if given) holds; with `still` (nothing playing),
// also what the screen shows of the window is the same at two looks 50 ms apart. False after
// `timeoutMs`.
inline bool waitSettled(QWidget* window, const std::function<bool()>& ready = {}, bool still = false,
                        int timeoutMs = 10000) {
    QRect lastFrame;
    QImage lastPicture;
    QElapsedTimer lastLook;
    return QTest::qWaitFor(
        [&] {
            const QRect frame = window->frameGeometry();
            const bool unmoved = frame == lastFrame;
            lastFrame = frame;
            if (!unmoved || !window->isVisible() || (ready && !ready()))
                return false;
            const auto views = window->findChildren<ZLXVideoView*>();
            if (!std::all_of(views.begin(), views.end(), [](ZLXVideoView* view) {
                    return !view->isVisible() || !view->hasPicture() ||
                           view->currentFrame().size() == view->size() * view->devicePixelRatioF();
                }))
                return false;
            if (!still)
                return true;
            if (lastLook.isValid() && lastLook.elapsed() < 50) // what the screen shows, a moment apart
                return false;
            lastLook.start();
            const QImage picture =
                window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
            const bool same = picture == lastPicture;
            lastPicture = picture;
            return same;
        },
        timeoutMs);
}

} // namespace daxo::test
