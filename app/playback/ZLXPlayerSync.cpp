// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback/ZLXPlayerSync.h"

#include <algorithm>
#include <cmath>

namespace daxo {
namespace {

constexpr qint64 kFarApart = 400;   // beyond this the partner is set to the leader's time
constexpr double kCatchUpMs = 1000; // a gap is made up over about this much playing time
constexpr double kMaxNudge = 0.1;   // but the partner's rate never changes by more than this
constexpr int kGiveUpAfter = 3000;  // milliseconds

} // namespace

ZLXPlayerSync::ZLXPlayerSync(ZLXMediaPlayer* leader, ZLXMediaPlayer* partner, ZLXPlaybackClock& clock,
                             QObject* parent)
    : QObject(parent), m_leader(leader), m_partner(partner), m_clock(clock) {
    for (ZLXMediaPlayer* player : {m_leader, m_partner})
        connect(player, &ZLXMediaPlayer::mediaPlayerSettled, this, &ZLXPlayerSync::tryRelease);
}

bool ZLXPlayerSync::bothHaveMedia() const {
    return m_leader->hasMedia() && m_partner->hasMedia();
}

qint64 ZLXPlayerSync::gap() const {
    return m_partner->time() - m_leader->time();
}

void ZLXPlayerSync::together(const std::function<void()>& change) {
    m_waiting = true;
    m_aligned = false;
    m_nudge = 1.0;
    m_partner->setRateNudge(1.0);
    m_leader->setHeld(true);
    m_partner->setHeld(true);
    change();
    m_clock.after(kGiveUpAfter, this, [this, round = ++m_round] {
        if (round == m_round && m_waiting)
            release();
    });
    tryRelease();
}

void ZLXPlayerSync::playTogether() {
    together([this] {
        m_leader->play();
        if (m_partner->hasMedia())
            m_partner->play();
    });
}

void ZLXPlayerSync::seekTogether(qint64 milliseconds) {
    together([this, milliseconds] {
        m_leader->setTime(milliseconds);
        if (m_partner->hasMedia())
            m_partner->setTime(milliseconds);
    });
}

void ZLXPlayerSync::changeRateTogether(float step) {
    // A new rate restarts the sound of a player that has some, which holds its picture for a
    // moment: both seek to where they are, so that they go on together once both are ready.
    together([this, step] {
        const qint64 now = m_leader->time();
        for (ZLXMediaPlayer* player : {m_leader, m_partner}) {
            player->setRate(player->rate() + step);
            if (player->hasMedia())
                player->setTime(now);
        }
    });
}

void ZLXPlayerSync::align() {
    if (!bothHaveMedia() || m_waiting)
        return;
    // Playing, a frame apart is left to the nudge; paused, the two pictures are the same frame.
    const double frame = m_leader->frameDuration();
    if (std::abs(double(gap())) <= (m_leader->state() == ZLXMediaPlayer::Playing ? frame : frame / 2))
        return;
    together([] {});
}

void ZLXPlayerSync::tryRelease() {
    if (!m_waiting || !m_leader->isSettled() || !m_partner->isSettled())
        return;
    // Both hold their frames now: the partner goes to the leader's exact time if they differ,
    // once a round (a shorter partner may never reach it).
    if (!m_aligned && bothHaveMedia() && m_leader->state() != ZLXMediaPlayer::Error &&
        m_partner->state() != ZLXMediaPlayer::Error &&
        std::abs(double(gap())) > m_leader->frameDuration() / 2) {
        m_aligned = true;
        m_partner->setTime(m_leader->time());
        if (!m_partner->isSettled())
            return;
    }
    release();
}

void ZLXPlayerSync::release() {
    ++m_round;
    m_waiting = false;
    m_leader->setHeld(false);
    m_partner->setHeld(false);
}

void ZLXPlayerSync::cancel() {
    m_nudge = 1.0;
    m_partner->setRateNudge(1.0);
    release();
}

void ZLXPlayerSync::follow() {
    if (m_waiting || !bothHaveMedia() || m_leader->state() != ZLXMediaPlayer::Playing ||
        m_partner->state() != ZLXMediaPlayer::Playing)
        return;
    const double apart = double(gap());
    const double frame = m_leader->frameDuration();
    double nudge = m_nudge;
    if (std::abs(apart) > kFarApart) {
        together([] {});
        return;
    }
    if (std::abs(apart) > frame) // ahead: slower; behind: faster
        nudge = 1.0 - std::clamp(apart / kCatchUpMs, -kMaxNudge, kMaxNudge);
    else if (std::abs(apart) <= frame / 2)
        nudge = 1.0;
    if (nudge != m_nudge) {
        m_nudge = nudge;
        m_partner->setRateNudge(nudge);
    }
}

} // namespace daxo
