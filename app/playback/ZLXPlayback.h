// SPDX-License-Identifier: GPL-3.0-or-later
// Playback without a window: the two players and their synchronisation, the recording being
// played, its telemetry and the playback state. It starts, fails, watches for the end, goes
// on to the next group, exchanges the channels, jumps, steps, changes rate, volume and the
// channel heard. What it shows is published: one clock (`positionChanged`), the telemetry at
// that position, and typed signals for everything the window draws.
#pragma once

#include "app/playback/ZLXMediaPlayer.h"
#include "app/playback/ZLXPlayInfo.h"
#include "app/playback/ZLXPlaybackClock.h"
#include "library/ZLXMediaList.h"
#include "presentation/ZLXTelemetryText.h"
#include "telemetry/ZLXBlackBoxData.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>

namespace daxo {

class ZLXPlayerSync;

class ZLXPlayback : public QObject {
    Q_OBJECT
public:
    // Player 1 shows the large picture, player 2 the partner channel.
    ZLXPlayback(std::unique_ptr<ZLXMediaPlayer> player1, std::unique_ptr<ZLXMediaPlayer> player2,
                const ZLXMediaList& mediaList, ZLXPlaybackClock& clock = ZLXPlaybackClock::eventLoop(),
                QObject* parent = nullptr);
    ~ZLXPlayback() override;

    ZLXMediaPlayer* player1() const { return m_player1.get(); }
    ZLXMediaPlayer* player2() const { return m_player2.get(); }
    ZLXPlayerSync* playerSync() const { return m_sync.get(); }
    ZLXPlayInfo* playInfo() const { return m_playInfo; }
    const ZLXBlackBoxData& blackBoxData() const { return *m_blackBoxData; }
    int64_t mediaIndex() const { return m_mediaIndex; }
    // The record of mediaIndex while player 1 holds it.
    ZLXMediaList::MediaPtr playingMedia() const;
    uint64_t volume() const { return m_volume; }
    bool waitingForPlayStart() const { return m_waitingForPlayStart; }
    bool isMoving() const { return m_moving; }
    bool isSwapping() const { return m_swapping; }
    bool preparingPlayNext() const { return m_preparingPlayNext; }
    bool stopVideoLoadingView() const { return m_stopVideoLoadingView; }
    double loadingProgress() const { return m_progress; }
    // Why the last recording asked for could not be played: a message key ("player.cannot_play"
    // and, where the file tells, "player.cut_short" or "player.no_picture"); empty after a start.
    const std::string& failureReason() const { return m_failureReason; }
    // After a failure: the row of the failed recording's partner channel when its file holds a
    // picture to play (it plays alone: its partner cannot).
    std::optional<int64_t> intactPartnerIndex() const { return m_intactPartner; }
    // The position and length under the video ("0:00:12.480 / 0:01:00" while paused).
    QString timeText() const;
    // Where player 1 is and how long its recording lasts, in seconds (nothing loaded: none).
    std::optional<double> currentSeconds() const;
    std::optional<double> lengthSeconds() const;

    static bool isPlaying(const ZLXMediaPlayer* player); // has media, plays, time left
    bool hasAudio(const ZLXMediaPlayer* player) const;

    bool playAtIndex(int64_t index);
    bool playNext();
    // Plays the recording at `path` from `seconds` in it: a seek when it is the one loaded.
    bool playAt(const std::string& path, double seconds);
    // Both players to `seconds` in the recording loaded, short of its very end.
    void seekToSeconds(double seconds);
    // A row chosen in the table: resumes the recording loaded, else starts it.
    void changeAndPlay(int64_t row);
    void clickPlayButton();
    void stopPlay();
    void videoPositionSliderMoved(double value);
    void jumpForward();
    void jumpBackward();
    // While paused: `frames` on (or back), both channels together.
    void stepFrame(int frames);
    void swapPlayer();
    void increaseSpeed();
    void decreaseSpeed();
    void setVolume(uint64_t volume);
    void volumeUp();
    void volumeDown();
    // 0 front, 1 rear heard.
    void setAudioMediaDirection(int direction);
    // The height the large picture has on screen; the scale is the picture's against it.
    void setVideoViewHeight(int height);

signals:
    // A recording was chosen (its row, `mediaIndex`); it is loading.
    void recordingChosen(int64_t index);
    // The players hold their new files: the controls go back to their start and the graph
    // shows the telemetry read (`blackBoxData`).
    void recordingLoaded();
    // Playback started (the first state change with the players running).
    void started();
    // The recording asked for could not be played; the next one can be started.
    void failed();
    // Nothing plays any more (a stop, a new folder, a new recording about to load).
    void stopped();
    // The one clock: the published position, 0 to 1 of the recording.
    void positionChanged(double position);
    // The telemetry at the published position.
    void telemetryAt(const daxo::ZLXTelemetryDisplay& shown, double position);
    // A position to show on the slider before it is published (a jump, a frame step).
    void positionPreviewed(double position);
    void timeTextChanged(const QString& text);
    // Which channel plays large (the rear after an exchange) and which one small.
    void channelsChanged(bool rearLarge, bool frontSmall);
    // Whether there is a partner channel to show and to choose the sound of.
    void partnerChanged(bool shown);
    // Whether each picture has something to show.
    void picturesShown(bool first, bool second);
    // The channel heard (0 front, 1 rear, 2 none) or the volume changed.
    void audioChanged(int direction, uint64_t volume);
    // What plays changed: another recording, or the channels exchanged.
    void nowPlayingChanged();
    // An exchange of the channels began; its steps follow over 1.7 s.
    void exchangeStarted();
    // The loading indicator: shown at a start, its progress, hidden when it ends.
    void loadingShown();
    void loadingProgressChanged(double progress);
    void loadingHidden();

private:
    void failStart();
    void loadPair();
    void resetControls();
    void didStartPlayer();
    void didFinishPlay();
    void applyPendingSeek();
    void watchForEnd(uint64_t generation);
    void syncVideoPositionDelay(int milliseconds);
    void chooseAudioAuto();
    void applyAudio();
    void updatePlayInfoScale();
    void updateTimeText();
    void showPictures();
    void mediaPlayerStateChanged();
    void mediaPlayerTimeChanged(ZLXMediaPlayer* player);
    void publishedPositionChanged(double position);
    void showLoading();
    void updateLoadingWindow(double seconds);
    void hideLoading();
    // Runs `step` after `milliseconds` unless another recording started or playback stopped.
    void later(int milliseconds, std::function<void()> step);

    const ZLXMediaList& m_mediaList;
    ZLXPlaybackClock& m_clock;
    std::unique_ptr<ZLXMediaPlayer> m_player1;
    std::unique_ptr<ZLXMediaPlayer> m_player2;
    std::unique_ptr<ZLXPlayerSync> m_sync; // keeps player 2 on player 1's frame
    ZLXPlayInfo* m_playInfo = nullptr;
    std::unique_ptr<ZLXBlackBoxData> m_blackBoxData;
    int64_t m_mediaIndex = -1;
    std::optional<double> m_pendingSeek; // seconds to go to once the recording asked for starts
    std::string m_failureReason;
    std::optional<int64_t> m_intactPartner;
    bool m_preparingPlayNext = false;
    double m_progress = 0;
    bool m_stopVideoLoadingView = true;
    bool m_waitingForPlayStart = false;
    bool m_swapping = false;
    bool m_moving = false;
    int m_pendingStep = 0; // frames asked for while a seek was landing
    double m_movingPosition = 0;
    double m_shownPosition = 0; // what the position slider shows
    uint64_t m_volume = 70;
    int m_viewHeight = 0;
    int32_t m_refreshCounter = -1; // every third time notification publishes the position
    uint64_t m_loadingGeneration = 0;
    uint64_t m_startGeneration = 0; // counts starts; a late hand-back of an older one is dropped
    uint64_t m_playGeneration = 0;  // counts starts and stops; delayed steps of an older one are dropped
};

} // namespace daxo
