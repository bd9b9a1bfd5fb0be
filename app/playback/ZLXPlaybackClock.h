// SPDX-License-Identifier: GPL-3.0-or-later
// The waits of the playback logic: the watch for the end of a recording, the steps after an
// exchange or a seek, the loading indicator's ticks and a pair's wait for both players. The
// viewer's clock runs them on the event loop; tests step a clock of their own instead of
// sleeping.
#pragma once

#include <QObject>
#include <functional>

namespace daxo {

class ZLXPlaybackClock {
public:
    virtual ~ZLXPlaybackClock() = default;
    // Calls `action` once, `milliseconds` from now, on the interface thread; never once
    // `context` is gone.
    virtual void after(int milliseconds, QObject* context, std::function<void()> action) = 0;

    // The event loop's clock, shared by everything that is given no other.
    static ZLXPlaybackClock& eventLoop();
};

} // namespace daxo
