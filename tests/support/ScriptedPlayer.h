// SPDX-License-Identifier: GPL-3.0-or-later
// A player for the playback logic's tests.
#pragma once

#include "app/playback/ZLXMediaPlayer.h"

#include <algorithm>

namespace daxo::test {

// A player that does what it is told at once and reports like the real one: state changes
// and time notifications arrive queued; the end is paused at 1.0 with nothing remaining.
class ScriptedPlayer : public ZLXMediaPlayer {
public:
    std::optional<QByteArray> path;
    State playerState = Stopped;
    qint64 length = 20000, now = 0;
    float playerRate = 1;
    bool muted = false, audio = true, stuck = false, broken = false, held = false, settled = true;
    int playerVolume = 100;

    std::optional<QByteArray> mediaPath() const override { return path; }
    using ZLXMediaPlayer::setMedia;
    void setMedia(const std::optional<QByteArray>& p) override { path = p, playerState = Stopped, now = 0; }
    bool lengthKnown = true; // a real player learns the length a little after the start
    qint64 mediaLength() const override { return path && lengthKnown ? length : 0; }
    void play() override {
        if (broken)
            return report(Error); // a file cut short, without its index
        if (!path || stuck)
            return;
        if (now >= length)
            now = 0;
        report(Playing);
    }
    void pause() override {
        if (path)
            report(Paused);
    }
    void stop() override { playerState = Stopped; }
    bool isPlaying() const override { return playerState == Playing; }
    bool isAtEnd() const override { return path && playerState == Paused && now >= length; }
    State state() const override { return playerState; }
    float position() const override { return path && length ? float(now) / float(length) : 0; }
    void setPosition(float p) override { now = qint64(p * float(length)); }
    qint64 time() const override { return path ? now : 0; }
    void setTime(qint64 t) override {
        now = std::clamp<qint64>(t, 0, length);
        if (now >= length && playerState == Playing)
            report(Paused);
    }
    float rate() const override { return playerRate; }
    void setRate(float r) override { playerRate = r; }
    void jumpForward(int s) override { setTime(now + s * 1000); }
    void jumpBackward(int s) override { setTime(now - s * 1000); }
    void setMute(bool m) override { muted = m; }
    bool isMuted() const override { return muted; }
    void setVolume(int v) override { playerVolume = v; }
    int volume() const override { return playerVolume; }
    QList<int> audioTrackIndexes() const override { return path && audio ? QList<int>{1} : QList<int>{}; }
    bool hasVideoOut() const override { return path && (playerState == Playing || playerState == Paused); }
    QSize videoSize() const override { return QSize(640, 360); }
    bool saveVideoSnapshotAt(const QString&, int, int) override { return false; }
    double nudge = 1;
    void setHeld(bool h) override { held = h; }
    void setRateNudge(double f) override { nudge = f; }
    bool isSettled() const override { return settled; }
    void settle() {
        settled = true;
        emit mediaPlayerSettled(this);
    }

    // Playback moves on by `ms`; one time notification.
    void advance(qint64 ms) {
        if (playerState != Playing)
            return;
        now = std::min(now + ms, length);
        emit mediaPlayerTimeChanged(this);
        if (now >= length)
            report(Paused);
    }
    void report(State s) {
        playerState = s;
        QMetaObject::invokeMethod(this, [this] { emit mediaPlayerStateChanged(this); }, Qt::QueuedConnection);
    }
};

} // namespace daxo::test
