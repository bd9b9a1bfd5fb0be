// SPDX-License-Identifier: GPL-3.0-or-later
// A clock the test moves on by hand: what is due runs in the order it is due, with the
// queued reports of the players delivered after each step.
#pragma once

#include "app/playback/ZLXPlaybackClock.h"

#include <QCoreApplication>
#include <QPointer>
#include <cstdint>
#include <vector>

namespace daxo::test {

class StepClock final : public ZLXPlaybackClock {
public:
    void after(int milliseconds, QObject* context, std::function<void()> action) override {
        m_due.push_back({m_now + milliseconds, m_order++, context, std::move(action)});
    }

    // Moves the clock on by `milliseconds`, running everything that falls due meanwhile.
    void advance(int64_t milliseconds) {
        const int64_t end = m_now + milliseconds;
        QCoreApplication::processEvents();
        for (;;) {
            auto next = m_due.end();
            for (auto it = m_due.begin(); it != m_due.end(); ++it) {
                if (it->at <= end && (next == m_due.end() || it->at < next->at || (it->at == next->at && it->order < next->order)))
                    next = it;
            }
            if (next == m_due.end())
                break;
            Due due = std::move(*next);
            m_due.erase(next);
            m_now = due.at;
            if (due.context)
                due.action();
            QCoreApplication::processEvents();
        }
        m_now = end;
    }
    int64_t now() const { return m_now; }

private:
    struct Due {
        int64_t at;
        uint64_t order;
        QPointer<QObject> context;
        std::function<void()> action;
    };
    int64_t m_now = 0;
    uint64_t m_order = 0;
    std::vector<Due> m_due;
};

} // namespace daxo::test
