// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback/ZLXPlayback.h"

#include "app/playback/ZLXPlayerSync.h"
#include "library/ZLXLog.h"
#include "presentation/ZLXTimeText.h"
#include "telemetry/ZLXRoute.h"

#include <QFutureWatcher>
#include <QtConcurrent>
#include <algorithm>
#include <utility>
#include <cmath>
#include <unistd.h>

namespace daxo {
namespace {

QByteArray mediaPathText(const std::optional<QByteArray>& path) {
    return path ? *path : QByteArray();
}

constexpr int kWatchEvery = 1000;     // the end-of-recording watch, milliseconds
constexpr int kNextAfter = 1000;      // the next group starts this long after the end
constexpr int kLoadingTick = 300;     // the loading indicator's step
constexpr double kLoadingSeconds = 15; // a start not done by then has failed
constexpr double kLastSeekable = 0.997; // a seek asked for at the end stops just short of it

} // namespace

ZLXPlayback::ZLXPlayback(std::unique_ptr<ZLXMediaPlayer> player1, std::unique_ptr<ZLXMediaPlayer> player2,
                         const ZLXMediaList& mediaList, ZLXPlaybackClock& clock, QObject* parent)
    : QObject(parent), m_mediaList(mediaList), m_clock(clock), m_player1(std::move(player1)),
      m_player2(std::move(player2)),
      m_sync(std::make_unique<ZLXPlayerSync>(m_player1.get(), m_player2.get(), clock)),
      m_playInfo(new ZLXPlayInfo(this)), m_blackBoxData(std::make_unique<ZLXBlackBoxData>()) {
    // The players report through queued signals, always on this thread.
    for (ZLXMediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        connect(player, &ZLXMediaPlayer::mediaPlayerStateChanged, this, &ZLXPlayback::mediaPlayerStateChanged);
        connect(player, &ZLXMediaPlayer::mediaPlayerTimeChanged, this, &ZLXPlayback::mediaPlayerTimeChanged);
    }
    connect(m_playInfo, &ZLXPlayInfo::positionChanged, this, &ZLXPlayback::publishedPositionChanged);
    connect(m_playInfo, &ZLXPlayInfo::isPlayingChanged, this, &ZLXPlayback::updateTimeText);
    connect(m_playInfo, &ZLXPlayInfo::audioMediaDirectionChanged, this, &ZLXPlayback::applyAudio);
}

ZLXPlayback::~ZLXPlayback() {
    stopPlay();
    m_sync.reset();
    m_player1.reset();
    m_player2.reset();
}

bool ZLXPlayback::isPlaying(const ZLXMediaPlayer* player) {
    return player && player->hasMedia() && player->isPlaying() &&
           player->remainingTimeString() != QLatin1String("00:00");
}

bool ZLXPlayback::hasAudio(const ZLXMediaPlayer* player) const {
    return player && player->hasMedia() && !player->audioTrackIndexes().isEmpty();
}

ZLXMediaList::MediaPtr ZLXPlayback::playingMedia() const {
    return m_mediaIndex >= 0 && m_player1->hasMedia() ? m_mediaList.mediaAtIndex(m_mediaIndex) : nullptr;
}

std::optional<double> ZLXPlayback::currentSeconds() const {
    return m_player1->hasMedia() ? std::optional<double>(double(m_player1->time()) / 1000) : std::nullopt;
}

std::optional<double> ZLXPlayback::lengthSeconds() const {
    return m_player1->hasMedia() ? std::optional<double>(double(m_player1->mediaLength()) / 1000) : std::nullopt;
}

void ZLXPlayback::later(int milliseconds, std::function<void()> step) {
    m_clock.after(milliseconds, this, [this, step = std::move(step), generation = m_playGeneration] {
        if (generation == m_playGeneration)
            step();
    });
}

// Starting a recording ---------------------------------------------------------------------

bool ZLXPlayback::playAtIndex(int64_t index) {
    const auto count = int64_t(m_mediaList.count());
    if (count == 0 || m_waitingForPlayStart)
        return false;
    index = std::clamp<int64_t>(index, 0, count - 1);
    stopPlay();
    m_waitingForPlayStart = true;
    m_mediaIndex = index;
    m_failureReason.clear();
    emit recordingChosen(index);
    m_preparingPlayNext = false;
    watchForEnd(m_playGeneration);
    loadPair();
    showLoading();

    // The front channel's telemetry is read off this thread into a holder of its own; the
    // players start once it is handed over.
    const ZLXMediaPlayer* front = m_player1->isRearMedia() ? m_player2.get() : m_player1.get();
    const std::string path = mediaPathText(front->mediaPath()).toStdString();
    const uint64_t generation = ++m_startGeneration;
    auto* watcher = new QFutureWatcher<std::shared_ptr<ZLXBlackBoxData>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        auto extracted = watcher->result();
        watcher->deleteLater();
        if (generation != m_startGeneration || !m_waitingForPlayStart)
            return; // another start (or a stop) came in between, or this one already failed
        m_blackBoxData = std::make_unique<ZLXBlackBoxData>(std::move(*extracted));
        resetControls();
        m_sync->playTogether();
    });
    watcher->setFuture(QtConcurrent::run([path] {
        auto data = std::make_shared<ZLXBlackBoxData>();
        if (!path.empty())
            data->ExtractStreamInformation(path.c_str());
        return data;
    }));
    return true;
}

bool ZLXPlayback::playAt(const std::string& path, double seconds) {
    const auto media = playingMedia();
    const auto pair = media ? m_mediaList.findMediaPairWithFileName(media->mediaName()) : nullptr;
    const auto loaded = [&](const ZLXMediaList::MediaPtr& m) { return m && m->path() == path; };
    if (loaded(media) || (pair && (loaded(pair->frontMedia) || loaded(pair->rearMedia)))) {
        // still starting: the seek waits for the start
        if (m_waitingForPlayStart)
            m_pendingSeek = seconds;
        else
            seekToSeconds(seconds);
        return true;
    }
    const auto& medias = m_mediaList.medias();
    for (size_t i = 0; i < medias.size(); ++i) {
        if (medias[i]->path() != path)
            continue;
        if (!playAtIndex(int64_t(i)))
            return false;
        m_pendingSeek = seconds > 0.05 ? std::optional<double>(seconds) : std::nullopt;
        return true;
    }
    return false;
}

void ZLXPlayback::seekToSeconds(double seconds) {
    const auto length = lengthSeconds();
    if (!length)
        return;
    if (*length > 0) {
        videoPositionSliderMoved(std::clamp(seconds / *length, 0.0, kLastSeekable));
        return;
    }
    // the player does not know the length yet (it reads it a moment after the start): the
    // time itself, which needs none
    if (m_moving)
        return;
    m_moving = true;
    m_movingPosition = 0;
    m_sync->seekTogether(qint64(std::max(0.0, seconds) * 1000));
    syncVideoPositionDelay(300);
}

void ZLXPlayback::failStart() {
    // The recording cannot be played: the start ends here, the partner does not play on alone,
    // and the next row can be started.
    m_waitingForPlayStart = false;
    m_pendingSeek.reset();
    // what the file itself says of why: gone or unreadable (the card pulled out), no movie to
    // read (cut short), or no picture in it
    const QByteArray path = mediaPathText(m_player1->mediaPath());
    if (::access(path.constData(), R_OK) != 0) {
        m_failureReason = "player.cannot_play";
    } else {
        const ZLXMovieFacts facts = movieFacts(path.constData());
        m_failureReason = !facts.duration ? "player.cut_short" : !facts.hasVideo ? "player.no_picture" : "player.cannot_play";
    }
    // the other channel of the same moment, when its own file is whole
    m_intactPartner.reset();
    if (const auto media = m_mediaList.mediaAtIndex(m_mediaIndex)) {
        const auto pair = m_mediaList.findMediaPairWithFileName(media->mediaName());
        const ZLXMediaList::MediaPtr partner = !pair ? nullptr : media->isRearMedia() ? pair->frontMedia : pair->rearMedia;
        const ZLXMovieFacts facts = partner ? movieFacts(partner->path().c_str()) : ZLXMovieFacts{};
        for (int64_t i = 0; partner && facts.duration && facts.hasVideo; ++i) {
            const auto candidate = m_mediaList.mediaAtIndex(i);
            if (!candidate)
                break;
            if (candidate == partner) {
                m_intactPartner = i;
                break;
            }
        }
    }
    hideLoading();
    m_sync->cancel();
    m_player2->pause();
    m_player2->setMedia(std::nullopt);
    showPictures();
    m_playInfo->setIsPlaying(false);
    ZLXLog("cannot play:%s", mediaPathText(m_player1->mediaPath()).constData());
    emit failed();
}

void ZLXPlayback::loadPair() {
    const auto media = m_mediaList.mediaAtIndex(m_mediaIndex);
    if (!media)
        return;
    const auto pair = m_mediaList.findMediaPairWithFileName(media->mediaName());
    m_player1->setMedia(std::optional(QByteArray::fromStdString(media->path())));
    const ZLXMediaList::MediaPtr partner = !pair ? nullptr : media->isRearMedia() ? pair->frontMedia : pair->rearMedia;
    emit channelsChanged(media->isRearMedia(), media->isRearMedia());
    if (partner) {
        m_player2->setMedia(std::optional(QByteArray::fromStdString(partner->path())));
    } else {
        m_player2->stop();
        m_player2->setMedia(std::nullopt);
    }
    emit partnerChanged(m_player2->hasMedia());
}

void ZLXPlayback::resetControls() {
    m_waitingForPlayStart = true;
    m_shownPosition = 0;
    emit recordingLoaded();
    m_playInfo->setSpeed(1);
    m_player1->setRate(1);
    m_player2->setRate(1);
    m_playInfo->setPosition(0);
}

// What the players report ------------------------------------------------------------------

void ZLXPlayback::showPictures() {
    const bool p1 = m_player1->hasMedia() && m_player1->isPlaying();
    const bool p2 = m_player2->hasMedia() && m_player2->isPlaying();
    emit picturesShown(p1 || m_player1->state() == ZLXMediaPlayer::Paused,
                       p2 || m_player2->state() == ZLXMediaPlayer::Paused);
}

void ZLXPlayback::mediaPlayerStateChanged() {
    const bool p1 = m_player1->hasMedia() && m_player1->isPlaying();
    const bool p2 = m_player2->hasMedia() && m_player2->isPlaying();
    showPictures();
    // Player 1 decides whether a start ends as started or as failed; a partner that cannot
    // be played is as good as none.
    if (m_player1->state() == ZLXMediaPlayer::Error) {
        // failing to start, or failing while it plays (the card pulled out, a read error):
        // either way the viewer says so and stops showing it as playing
        if (m_waitingForPlayStart || m_playInfo->isPlaying())
            failStart();
        return;
    }
    const bool partner = m_player2->hasMedia() && m_player2->state() != ZLXMediaPlayer::Error;
    if (m_player2->hasMedia() && !partner)
        emit partnerChanged(false);
    auto startOrUpdate = [this] {
        if (m_waitingForPlayStart) {
            m_waitingForPlayStart = false;
            didStartPlayer();
        } else {
            applyAudio();
            updatePlayInfoScale(); // an exchange may bring a picture of another size
            emit nowPlayingChanged(); // an exchange changes the channel shown large
        }
    };
    if (m_player1->hasMedia() && partner) {
        if (m_player1->state() == ZLXMediaPlayer::Paused && m_player2->state() == ZLXMediaPlayer::Paused)
            didFinishPlay();
        else if (p1 && p2)
            startOrUpdate();
    } else if (m_player1->hasMedia()) {
        if (m_player1->state() == ZLXMediaPlayer::Paused)
            didFinishPlay();
        else if (p1)
            startOrUpdate();
    }
}

void ZLXPlayback::didStartPlayer() {
    if (!m_player1->hasMedia())
        return;
    emit nowPlayingChanged();
    m_playInfo->setSpeed(m_player1->rate());
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
    chooseAudioAuto();
    // Computed at every start: the window may have left full screen since the last one.
    if (m_player1->hasVideoOut() && m_player1->videoSize().width() > 0)
        updatePlayInfoScale();
    applyPendingSeek();
    emit started();
}

void ZLXPlayback::applyPendingSeek() {
    // A seek asked for during a start is made once the start is done.
    if (!m_pendingSeek || m_waitingForPlayStart)
        return;
    seekToSeconds(*std::exchange(m_pendingSeek, std::nullopt));
}

void ZLXPlayback::didFinishPlay() {
    m_playInfo->setPosition(m_player1->position());
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
}

QString ZLXPlayback::timeText() const {
    const bool loaded = m_player1->hasMedia();
    const bool paused = loaded && !m_playInfo->isPlaying();
    qint64 time = loaded ? m_player1->time() : 0;
    // paused, the time of the frame on screen (a step lands a quarter frame before it)
    if (const double frame = loaded ? m_player1->frameDuration() : 0; paused && frame > 0)
        time = qint64(std::llround(std::floor((double(time) + frame / 4) / frame) * frame));
    return QString::fromStdString(
        ZLXPositionString(loaded ? std::optional<int64_t>(time) : std::nullopt,
                          loaded ? std::optional<int64_t>(m_player1->mediaLength()) : std::nullopt, paused));
}

void ZLXPlayback::updateTimeText() {
    emit timeTextChanged(timeText());
}

void ZLXPlayback::mediaPlayerTimeChanged(ZLXMediaPlayer* player) {
    showPictures();
    m_preparingPlayNext = false;
    if (!m_stopVideoLoadingView) {
        hideLoading();
        chooseAudioAuto();
    }
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
    if (player == m_player1.get()) {
        applyPendingSeek();
        updateTimeText();
    }
    // The picture's size is known only once decoding has begun, a little after the start.
    if (m_playInfo->scale() == 0 && player == m_player1.get())
        updatePlayInfoScale();
    if (m_moving) {
        m_refreshCounter = -1;
        if (m_movingPosition > 0)
            m_playInfo->setPosition(m_movingPosition);
    } else if (player == m_player1.get()) {
        m_refreshCounter = (m_refreshCounter + 1) % 3;
        if (m_refreshCounter == 0)
            m_playInfo->setPosition(m_player1->position());
        if (!m_swapping)
            m_sync->follow();
    }
}

// The end of a recording and the next group -------------------------------------------------

void ZLXPlayback::watchForEnd(uint64_t generation) {
    m_clock.after(kWatchEvery, this, [this, generation] {
        if (generation != m_playGeneration)
            return; // the watch of what plays now runs on its own
        // A pause near the end is not the end: player 1 must report that it reached it.
        if (!m_preparingPlayNext && m_player1->state() == ZLXMediaPlayer::Paused && m_player1->position() >= 0.95f &&
            m_player1->isAtEnd()) {
            m_preparingPlayNext = true;
            later(kNextAfter, [this] { playNext(); });
        }
        watchForEnd(generation);
    });
}

bool ZLXPlayback::playNext() {
    const auto media = m_mediaList.mediaAtIndex(m_mediaIndex);
    if (!media)
        return false;
    // The group's rows are adjacent: the next group starts after the last of them, whichever
    // of them is playing.
    int64_t last = m_mediaIndex;
    while (const auto following = m_mediaList.mediaAtIndex(last + 1)) {
        if (following->mediaGroupName() != media->mediaGroupName())
            break;
        ++last;
    }
    const int64_t next = last + 1;
    if (next < int64_t(m_mediaList.count()))
        return playAtIndex(next);
    return false;
}

// The user's commands ------------------------------------------------------------------------

void ZLXPlayback::changeAndPlay(int64_t row) {
    ZLXLog("selectedRow=%ld,mediaIndex=%ld,isPlaying=%d,count=%ld", long(row), long(m_mediaIndex),
           int(m_player1->isPlaying()), long(m_mediaList.count()));
    // Resume only the recording that is loaded (in either player, after an exchange).
    const auto media = m_mediaList.mediaAtIndex(row);
    const auto loaded = [&](const ZLXMediaPlayer* p) {
        return media && p->mediaPath() && p->mediaPath()->toStdString() == media->path();
    };
    if (row != m_mediaIndex || !(loaded(m_player1.get()) || loaded(m_player2.get()))) {
        playAtIndex(row);
        return;
    }
    if (m_player1->state() == ZLXMediaPlayer::Paused) {
        m_player1->setPosition(0);
        m_player2->setPosition(0);
    }
    m_sync->playTogether();
    if (m_player2->hasMedia())
        syncVideoPositionDelay(100);
}

void ZLXPlayback::clickPlayButton() {
    if (!m_player1->hasMedia())
        return;
    if (m_playInfo->isPlaying()) {
        for (ZLXMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
            if (isPlaying(p))
                p->pause();
        }
        // each stops where its own pause reaches it: the partner then shows the leader's frame
        if (m_player2->hasMedia())
            later(200, [this] { m_sync->align(); });
        return;
    }
    if (m_player1->position() >= 0.998f) {
        if (m_shownPosition >= 0.998) {
            m_player1->setMedia(std::nullopt);
            m_player2->setMedia(std::nullopt);
            playAtIndex(m_mediaIndex);
        } else {
            const auto t = qint64(m_shownPosition * double(m_player1->mediaLength()));
            m_player1->setTime(t);
            m_player2->setTime(t);
            later(100, [this] { m_sync->playTogether(); });
        }
        return;
    }
    m_sync->playTogether();
    if (m_player2->hasMedia())
        syncVideoPositionDelay(300);
}

void ZLXPlayback::syncVideoPositionDelay(int milliseconds) {
    if (!m_player1->hasMedia() || !m_player2->hasMedia()) {
        m_moving = false;
        return;
    }
    // The partner goes to player 1's exact time, if the two are apart at all; frames stepped
    // meanwhile follow from where the seek landed.
    later(milliseconds, [this] {
        m_moving = false;
        m_sync->align();
        if (const int frames = std::exchange(m_pendingStep, 0))
            stepFrame(frames);
    });
}

void ZLXPlayback::videoPositionSliderMoved(double value) {
    ZLXLog("[%s] position slider moved:%lf <=> %lf", "D ", m_playInfo->position(), value);
    m_shownPosition = value;
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
    if (m_moving)
        return;
    if (value >= 0.998) {
        m_player1->setTime(m_player1->mediaLength());
        m_player2->setTime(m_player2->mediaLength());
        return;
    }
    m_moving = true;
    m_movingPosition = value;
    // Both to the same time, exactly, going on together.
    m_sync->seekTogether(qint64(value * double(m_player1->mediaLength())));
    syncVideoPositionDelay(300);
}

void ZLXPlayback::jumpForward() {
    ZLXLog("[%s] _player1.time=%s,remainingTime.stringValue=%s", "D ",
           ZLXTimeString(m_player1->time()).c_str(), qUtf8Printable(m_player1->remainingTimeString()));
    if (m_moving || !m_player1->hasMedia())
        return;
    if (m_player1->remainingTime() / 1000 > -10) {
        m_player1->setTime(m_player1->mediaLength());
        m_player2->setTime(m_player2->mediaLength());
        return;
    }
    m_moving = true;
    const double length = double(m_player1->mediaLength()) / 1000;
    m_movingPosition = m_player1->position() + (length > 0 ? 10 / length : 0);
    m_shownPosition = m_movingPosition;
    emit positionPreviewed(m_movingPosition);
    m_sync->seekTogether(m_player1->time() + 10000);
    syncVideoPositionDelay(300);
}

void ZLXPlayback::jumpBackward() {
    if (m_moving || !m_player1->hasMedia())
        return;
    if (m_player1->time() < 10000) {
        m_player1->setTime(0);
        m_player2->setTime(0);
    } else {
        m_moving = true;
        m_movingPosition = m_shownPosition;
        m_sync->seekTogether(m_player1->time() - 10000);
        syncVideoPositionDelay(300);
    }
    applyAudio();
}

void ZLXPlayback::stepFrame(int frames) {
    if (!m_player1->hasMedia() || m_playInfo->isPlaying() || m_waitingForPlayStart)
        return;
    if (m_moving) { // a seek is landing: the step is taken from where it lands
        m_pendingStep += frames;
        return;
    }
    // An exact seek shows the first frame at or after the time asked for: a quarter frame
    // before the wanted frame's start lands on it, on both channels.
    const double frame = m_player1->frameDuration();
    const qint64 shown = qint64(std::floor((double(m_player1->time()) + frame / 4) / frame));
    const qint64 last = std::max<qint64>(0, qint64(double(m_player1->mediaLength()) / frame) - 1);
    const qint64 target = std::clamp<qint64>(shown + frames, 0, last);
    const double at = std::max(0.0, (double(target) - 0.25) * frame);
    m_sync->seekTogether(qint64(at));
    if (const double length = double(m_player1->mediaLength()); length > 0) {
        m_shownPosition = at / length;
        emit positionPreviewed(m_shownPosition);
    }
}

void ZLXPlayback::swapPlayer() {
    if (!isPlaying(m_player1.get()) || !isPlaying(m_player2.get()) || m_swapping)
        return;
    m_swapping = true;
    emit exchangeStarted(); // the large picture changes channel
    // Each file opens in the other player at the time the pair had, and both go on together.
    const float p = m_player1->position();
    const qint64 t = m_player1->time();
    const auto first = m_player1->mediaPath(), second = m_player2->mediaPath();
    m_sync->together([&] {
        m_player1->pause();
        m_player2->pause();
        m_player1->setMedia(second);
        m_player2->setMedia(first);
        m_player1->setTime(t);
        m_player2->setTime(t);
        m_player1->play();
        m_player2->play();
    });
    emit channelsChanged(m_player1->isRearMedia(), m_player2->isFrontMedia());
    m_moving = true;
    m_movingPosition = p;
    m_player1->setMute(true);
    m_player2->setMute(true);
    // The delayed steps belong to this recording: another start drops them.
    later(800, [this] {
        m_moving = false;
        m_sync->align();
    });
    later(1700, [this] {
        m_swapping = false;
        applyAudio();
    });
}

void ZLXPlayback::stopPlay() {
    ++m_startGeneration; // a start whose telemetry is still being read will not start
    ++m_playGeneration;  // nor do the delayed steps of what played
    m_waitingForPlayStart = false;
    m_pendingSeek.reset();
    m_swapping = false;
    m_moving = false;
    m_pendingStep = 0;
    m_preparingPlayNext = false;
    if (!m_stopVideoLoadingView)
        hideLoading();
    if (m_sync)
        m_sync->cancel();
    for (ZLXMediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        if (!player)
            continue;
        player->setZoom(1, 0, 0); // the output keeps its zoom from one file to the next
        player->pause();
        player->setMedia(std::nullopt);
    }
    emit stopped();
}

// Sound ------------------------------------------------------------------------------------

void ZLXPlayback::chooseAudioAuto() {
    if (!hasAudio(m_player1.get()) && !hasAudio(m_player2.get())) {
        m_playInfo->setAudioMediaDirection(2);
        return;
    }
    const ZLXMediaPlayer* heard = hasAudio(m_player1.get()) ? m_player1.get() : m_player2.get();
    m_playInfo->setAudioMediaDirection(heard->hasMedia() ? int(heard->mediaDirection()) : 2);
}

void ZLXPlayback::setAudioMediaDirection(int direction) {
    m_playInfo->setAudioMediaDirection(direction);
}

void ZLXPlayback::applyAudio() {
    const int direction = m_playInfo->audioMediaDirection();
    ZLXMediaPlayer* heard = nullptr;
    if (direction == 0 || direction == 1) {
        const auto wanted = direction == 0 ? ZLXMediaDirection::Front : ZLXMediaDirection::Rear;
        for (ZLXMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
            if (!heard && p->mediaDirection() == wanted)
                heard = p;
        }
    }
    for (ZLXMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
        if (p == heard) {
            p->setMute(false);
            p->setVolume(int(m_volume));
        } else {
            p->setMute(true);
        }
    }
    emit audioChanged(direction, m_volume);
}

void ZLXPlayback::setVolume(uint64_t volume) {
    m_volume = std::min<uint64_t>(volume, 200);
    applyAudio();
}

void ZLXPlayback::volumeUp() {
    setVolume(m_volume + 10);
}

void ZLXPlayback::volumeDown() {
    setVolume(m_volume >= 10 ? m_volume - 10 : 0);
}

// Rate and scale ---------------------------------------------------------------------------

void ZLXPlayback::increaseSpeed() {
    if (m_playInfo->speed() + 1 > 2)
        return;
    m_sync->changeRateTogether(+1);
    m_playInfo->setSpeed(m_playInfo->speed() + 1);
}

void ZLXPlayback::decreaseSpeed() {
    if (m_playInfo->speed() <= 1)
        return;
    m_sync->changeRateTogether(-1);
    m_playInfo->setSpeed(m_playInfo->speed() - 1);
}

void ZLXPlayback::setVideoViewHeight(int height) {
    m_viewHeight = height;
    updatePlayInfoScale();
}

void ZLXPlayback::updatePlayInfoScale() {
    // playing or paused: the window may change size either way
    if (m_player1->hasMedia() && m_player1->hasVideoOut() && m_player1->videoSize().height() > 0)
        m_playInfo->setScale(double(m_viewHeight) / m_player1->videoSize().height());
}

// The telemetry at the published position --------------------------------------------------

void ZLXPlayback::publishedPositionChanged(double position) {
    m_shownPosition = std::min(1.0, std::floor(position * 1000) / 1000);
    emit positionChanged(position);
    // One look-up of the samples at this position serves the graph, the texts and the map.
    emit telemetryAt(telemetryDisplayAt(*m_blackBoxData, position), position);
}

// The loading indicator --------------------------------------------------------------------

void ZLXPlayback::showLoading() {
    m_stopVideoLoadingView = false;
    m_progress = 0;
    emit loadingShown();
    const uint64_t generation = ++m_loadingGeneration;
    m_clock.after(kLoadingTick, this, [this, generation] {
        if (generation == m_loadingGeneration)
            updateLoadingWindow(kLoadingSeconds);
    });
}

void ZLXPlayback::updateLoadingWindow(double seconds) {
    m_progress += 100 / (seconds / (kLoadingTick / 1000.0));
    emit loadingProgressChanged(m_progress);
    if (m_progress < 100 && !m_stopVideoLoadingView) {
        const uint64_t generation = m_loadingGeneration;
        m_clock.after(kLoadingTick, this, [this, seconds, generation] {
            if (generation == m_loadingGeneration) // a newer start has its own ticks
                updateLoadingWindow(seconds);
        });
        return;
    }
    // Run out without a start: the recording did not play; others may be started again.
    if (!m_stopVideoLoadingView && m_waitingForPlayStart)
        failStart();
    m_stopVideoLoadingView = true;
    emit loadingHidden();
}

void ZLXPlayback::hideLoading() {
    m_stopVideoLoadingView = true;
}

} // namespace daxo
