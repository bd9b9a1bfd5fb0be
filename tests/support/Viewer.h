// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer as main() builds it; the tests keep its window's controller at hand.
#pragma once

#include "app/ZLXTripController.h"
#include "app/ZLXViewer.h"

#include <memory>

namespace daxo::test {

inline ZLXAppDelegate* makeViewer(std::unique_ptr<ZLXViewer>& holder, const ZLXAppDelegate::PlayerFactory& players = {},
                                  ZLXPlaybackClock& clock = ZLXPlaybackClock::eventLoop()) {
    holder = std::make_unique<ZLXViewer>(players, clock);
    return &holder->app();
}

} // namespace daxo::test
