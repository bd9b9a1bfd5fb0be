// SPDX-License-Identifier: GPL-3.0-or-later
// What the playback logic needs of a media player. The viewer's players are libmpv players
// (ZLXMpvMediaPlayer); tests drive the same logic with scripted ones.
#pragma once

#include "library/ZLXMedia.h"

#include <QList>
#include <QFile>
#include <QObject>
#include <QSize>
#include <QString>
#include <optional>

namespace daxo {

class ZLXMediaPlayer : public QObject {
    Q_OBJECT
public:
    // The numbering the playback logic knows; Paused (6) is also how the end of a recording is
    // reported, with the position at 1.0 and no time remaining.
    enum State : int {
        Stopped = 0,
        Opening = 1,
        Buffering = 2,
        Ended = 3,
        Error = 4,
        Playing = 5,
        Paused = 6,
        ESAdded = 7,
    };
    Q_ENUM(State)

    using QObject::QObject;

    // The file loaded, if any, as the bytes the file system gave (names need not be UTF-8).
    virtual std::optional<QByteArray> mediaPath() const = 0;
    bool hasMedia() const { return mediaPath().has_value(); }
    // Loads a file; no path stops the player and empties it.
    virtual void setMedia(const std::optional<QByteArray>& path) = 0;
    void setMedia(const QString& path) { setMedia(std::optional<QByteArray>(QFile::encodeName(path))); }
    // The media's duration in milliseconds, 0 while unknown.
    virtual qint64 mediaLength() const = 0;

    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    virtual State state() const = 0;

    virtual float position() const = 0; // 0 to 1
    virtual void setPosition(float position) = 0;
    virtual qint64 time() const = 0; // milliseconds
    virtual void setTime(qint64 milliseconds) = 0;
    // Negative milliseconds left; 0 at the end.
    qint64 remainingTime() const { return time() - mediaLength(); }
    QString remainingTimeString() const;

    virtual float rate() const = 0;
    virtual void setRate(float rate) = 0;
    virtual void jumpForward(int seconds) = 0;
    virtual void jumpBackward(int seconds) = 0;

    virtual void setMute(bool mute) = 0;
    virtual bool isMuted() const = 0;
    virtual void setVolume(int volume) = 0; // 0 to 200
    virtual int volume() const = 0;
    virtual QList<int> audioTrackIndexes() const = 0;

    virtual bool hasVideoOut() const = 0;
    virtual QSize videoSize() const = 0;
    // Writes a JPEG of the picture shown; width and height 0 keep the video's own size.
    virtual bool saveVideoSnapshotAt(const QString& path, int width, int height) = 0;

    // The player stopped at the end of the recording (not merely paused near it).
    virtual bool isAtEnd() const = 0;
    // A held player stays on its frame without changing the state it reports: a pair holds
    // both players while they seek or load, so that they go on together from the same frame.
    virtual void setHeld(bool held) { Q_UNUSED(held) }
    // Nothing is loading or seeking: the frame at the time asked for is ready to be shown.
    virtual bool isSettled() const { return true; }
    // A factor on the rate, with which a partner catches up with the player it follows.
    virtual void setRateNudge(double factor) { Q_UNUSED(factor) }
    // How long one frame of the loaded video lasts, in milliseconds.
    virtual double frameDuration() const { return 40; }
    // The picture zoomed by `factor` and moved by the pan (fractions of the zoomed picture).
    virtual void setZoom(double factor, double panX, double panY) { Q_UNUSED(factor) Q_UNUSED(panX) Q_UNUSED(panY) }

    // The channel of the loaded file, by the end of its path.
    ZLXMediaDirection mediaDirection() const;
    bool isFrontMedia() const { return mediaDirection() == ZLXMediaDirection::Front; }
    bool isRearMedia() const { return mediaDirection() == ZLXMediaDirection::Rear; }

signals:
    // Always delivered on the interface thread.
    void mediaPlayerStateChanged(daxo::ZLXMediaPlayer* player);
    void mediaPlayerTimeChanged(daxo::ZLXMediaPlayer* player);
    // isSettled() became true.
    void mediaPlayerSettled(daxo::ZLXMediaPlayer* player);
};

} // namespace daxo
