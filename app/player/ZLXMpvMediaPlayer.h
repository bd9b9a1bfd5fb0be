// SPDX-License-Identifier: GPL-3.0-or-later
// A media player on libmpv, drawing through the render API into a ZLXVideoView. libmpv
// reports from its own threads; its wake-up callback only posts to the interface thread,
// where every event is read, so state and time changes reach the rest of the program there.
// Seeks are exact: the time reported is the time of the frame on the surface.
#pragma once

#include "app/playback/ZLXMediaPlayer.h"

#include <QByteArray>
#include <QPointer>
#include <atomic>
#include <utility>
#include <vector>

struct mpv_handle;
struct mpv_event;

namespace daxo {

class ZLXVideoView;

class ZLXMpvMediaPlayer : public ZLXMediaPlayer {
    Q_OBJECT
public:
    // Options given to libmpv before it starts, after the player's own ("ao", "null").
    using Options = std::vector<std::pair<QByteArray, QByteArray>>;

    // The player draws into the view when one is given; without, video is decoded only.
    explicit ZLXMpvMediaPlayer(ZLXVideoView* videoView = nullptr, const Options& options = {},
                               QObject* parent = nullptr);
    ~ZLXMpvMediaPlayer() override;

    std::optional<QByteArray> mediaPath() const override { return m_path; }
    using ZLXMediaPlayer::setMedia;
    void setMedia(const std::optional<QByteArray>& path) override;
    qint64 mediaLength() const override;

    void play() override;
    void pause() override;
    void stop() override;
    bool isPlaying() const override { return state() == Playing; }
    State state() const override;

    float position() const override;
    void setPosition(float position) override;
    qint64 time() const override;
    void setTime(qint64 milliseconds) override;

    float rate() const override { return m_rate; }
    void setRate(float rate) override;
    void jumpForward(int seconds) override;
    void jumpBackward(int seconds) override;

    void setMute(bool mute) override;
    bool isMuted() const override { return m_muted; }
    void setVolume(int volume) override;
    int volume() const override { return m_volume; }
    QList<int> audioTrackIndexes() const override { return m_audioTracks; }

    bool hasVideoOut() const override { return m_videoSize.isValid() && !m_videoSize.isEmpty(); }
    QSize videoSize() const override { return m_videoSize; }
    bool saveVideoSnapshotAt(const QString& path, int width, int height) override;

    bool isAtEnd() const override { return m_ended; }
    void setHeld(bool held) override;
    bool isSettled() const override;
    void setRateNudge(double factor) override;
    double frameDuration() const override { return m_fps > 1 ? 1000.0 / m_fps : 40.0; }
    void setZoom(double factor, double panX, double panY) override;

    bool isValid() const { return m_mpv != nullptr; }
    // How the file playing is decoded: the hardware decoder's name ("vaapi", "nvdec"...), or
    // "software"; empty until the picture is decoded.
    QString decoder() const { return m_decoder; }
    // Frames the decoder and the output let go to keep time, since the file was loaded.
    int64_t droppedFrames() const;

private:
    static void onWakeup(void* self);
    void readEvents();
    void handleEvent(const mpv_event& event);
    void applyPause();
    void applySpeed();
    void seekTo(qint64 milliseconds);
    void reachEnd();
    void reportState();
    void reportTime(bool always);

    mpv_handle* m_mpv = nullptr;
    QPointer<ZLXVideoView> m_videoView;
    std::atomic<bool> m_wakeupQueued{false};

    std::optional<QByteArray> m_path;
    int64_t m_entryId = -1;   // libmpv's playlist entry of the loaded file
    bool m_current = false;   // the events read belong to the loaded file
    bool m_fileOpen = false;  // libmpv has opened it
    bool m_loaded = false;    // and decoded the first frame
    bool m_error = false;
    bool m_ended = false;     // paused at the end, reported at 1.0
    bool m_stopped = false;
    bool m_wantPlay = false;  // play() asked for, no pause() since
    bool m_held = false;
    QString m_decoder;
    std::optional<qint64> m_pendingSeek; // asked for before the file was open
    std::optional<float> m_pendingFraction; // a position asked for before the length was known
    qint64 m_seekTarget = 0;
    // Seeks are numbered; a seek is done when playback restarts after libmpv took the last one.
    uint64_t m_seekSerial = 0, m_seekTaken = 0;
    bool m_seeking = false;
    double m_duration = 0; // seconds
    double m_fps = 0;
    QSize m_videoSize;
    QList<int> m_audioTracks;
    State m_reportedState = Stopped;
    qint64 m_lastTimeReport = 0;

    float m_rate = 1.0f;
    double m_nudge = 1.0;
    bool m_muted = false;
    int m_volume = 100;
};

} // namespace daxo
