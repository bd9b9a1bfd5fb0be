// SPDX-License-Identifier: GPL-3.0-or-later
// A media player on libVLC 3. libVLC reports from its own threads; every report is turned into
// a queued call here, so state and time changes reach the rest of the program on the
// interface thread and nothing else ever touches a player from another thread.
#pragma once

#include "ZLXMediaPlayer.h"

#include <QPointer>
#include <QWidget>
#include <atomic>

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_event_t;

namespace daxo {

// The media library, initialised once per process. Without native windows (the offscreen
// platform) video is decoded but not drawn. DAXO_VLC_ARGS adds options ("--aout=dummy").
class ZLXVlcLibrary {
public:
    static libvlc_instance_t* sharedLibrary();
    // Whether players can draw into native child windows on this platform.
    static bool drawsIntoWindows();
};

// The surface one player draws into: a native child window filled with the picture.
class ZLXVideoView : public QWidget {
    Q_OBJECT
public:
    explicit ZLXVideoView(QWidget* parent = nullptr);
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {}
};

class ZLXVlcMediaPlayer : public ZLXMediaPlayer {
    Q_OBJECT
public:
    // initWithVideoView: the player draws into the view when the platform allows it.
    explicit ZLXVlcMediaPlayer(ZLXVideoView* videoView = nullptr, QObject* parent = nullptr);
    ~ZLXVlcMediaPlayer() override;

    std::optional<QString> mediaPath() const override { return m_path; }
    void setMedia(const std::optional<QString>& path) override;
    qint64 mediaLength() const override;

    void play() override;
    void pause() override;
    void stop() override;
    bool isPlaying() const override;
    State state() const override { return m_state; }

    float position() const override;
    void setPosition(float position) override;
    qint64 time() const override;
    void setTime(qint64 milliseconds) override;

    float rate() const override;
    void setRate(float rate) override;
    void jumpForward(int seconds) override;
    void jumpBackward(int seconds) override;

    void setMute(bool mute) override;
    // What was asked of the player: not every audio output can report it back.
    bool isMuted() const override { return m_muted; }
    void setVolume(int volume) override;
    int volume() const override { return m_volume; }
    QList<int> audioTrackIndexes() const override;

    bool hasVideoOut() const override;
    QSize videoSize() const override;
    bool saveVideoSnapshotAt(const QString& path, int width, int height) override;

private:
    static void onVlcEvent(const libvlc_event_t* event, void* self);
    void handleEvent(int type);
    void applyAudio();

    libvlc_media_player_t* m_player = nullptr;
    QPointer<ZLXVideoView> m_videoView;
    bool m_surfaceBound = false;
    // Counts media changes; a report made for an earlier media is dropped on arrival.
    std::atomic<unsigned> m_generation{0};
    std::optional<QString> m_path;
    State m_state = Stopped;
    // libVLC closes a recording at its end; the end is then reported as paused at 1.0, and a
    // seek asked for in that state is kept until the recording is opened again.
    bool m_ended = false;
    std::optional<float> m_pendingPosition;
    std::optional<qint64> m_pendingTime;
    qint64 m_endLength = 0;
    bool m_muted = false;
    int m_volume = 100;
    float m_rate = 1.0f;
};

} // namespace daxo
