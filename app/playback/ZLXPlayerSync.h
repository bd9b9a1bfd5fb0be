// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps a partner player on the frame of the player it follows. Every change that moves the
// pictures (a start, a resume, a seek, a rate change, new files) is made with both players
// held: they go on together once both have the frame at the new time ready, the partner first
// set to the leader's exact time if they are more than half a frame apart. While they play, a
// partner that drifts more than a frame away is nudged up to a tenth faster or slower, and one
// that is far off is brought back with a held seek.
#pragma once

#include "app/playback/ZLXMediaPlayer.h"
#include "app/playback/ZLXPlaybackClock.h"

#include <QObject>
#include <functional>

namespace daxo {

class ZLXPlayerSync : public QObject {
    Q_OBJECT
public:
    ZLXPlayerSync(ZLXMediaPlayer* leader, ZLXMediaPlayer* partner,
                  ZLXPlaybackClock& clock = ZLXPlaybackClock::eventLoop(), QObject* parent = nullptr);

    // Runs `change` with both players held; they go on together once both are ready.
    void together(const std::function<void()>& change);
    // Both play, starting on the same frame.
    void playTogether();
    // Both go to `milliseconds` exactly; they keep playing if they were.
    void seekTogether(qint64 milliseconds);
    // Both change their rate by `step` and go on from the leader's frame, exactly.
    void changeRateTogether(float step);
    // The partner goes to the leader's time when they are more than a frame apart (paused: more
    // than half a frame, so that both show the same picture).
    void align();
    // Drops whatever is waiting (a new recording, a stop) and lets both players go.
    void cancel();
    // Looks at the gap while both play; the leader's time notifications call it.
    void follow();

    // The partner's time minus the leader's, in milliseconds.
    qint64 gap() const;
    // Both players are held for a change (until both are ready, at most 3 s).
    bool isHolding() const { return m_waiting; }

private:
    void tryRelease();
    void release();
    bool bothHaveMedia() const;

    ZLXMediaPlayer* m_leader;
    ZLXMediaPlayer* m_partner;
    bool m_waiting = false;
    bool m_aligned = false; // the partner was set to the leader's time in this round
    double m_nudge = 1.0;
    ZLXPlaybackClock& m_clock;
    uint64_t m_round = 0;   // counts holds; players that never settle are let go all the same
};

} // namespace daxo
