// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback/ZLXPlaybackClock.h"

#include <QTimer>

namespace daxo {
namespace {

class ZLXEventLoopClock final : public ZLXPlaybackClock {
public:
    void after(int milliseconds, QObject* context, std::function<void()> action) override {
        QTimer::singleShot(milliseconds, context, std::move(action));
    }
};

} // namespace

ZLXPlaybackClock& ZLXPlaybackClock::eventLoop() {
    static ZLXEventLoopClock clock;
    return clock;
}

} // namespace daxo
