// SPDX-License-Identifier: GPL-3.0-or-later
// Two players in step, the telemetry shown while they play, the window's geometry and the
// loading indicator.
#include "ZLXAppDelegate.h"

#include "GraphView.h"
#include "PMProgressIndicator.h"
#include "TKPartImages.h"
#include <cmath>
#include <QMouseEvent>
#include <QWheelEvent>
#include "ZLXImages.h"
#include "ZLXLog.h"
#include "ZLXMapWebView.h"
#include "ZLXMediaTableModel.h"
#include "ZLXTelemetryText.h"
#include "ZLXTimeText.h"
#include "ZLXPlayerSync.h"
#include "ZLXTripController.h"
#include "ZLXVideoView.h"
#include "ZLXWindowLayout.h"
#include "ui_MainMenu.h"

#include <QFile>
#include <QKeyEvent>
#include <QMenuBar>
#include <QItemSelectionModel>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>
#include <QtConcurrent>

namespace daxo {
namespace {

constexpr double kSliderScale = 1000; // the position sliders run 0 to 1000

QByteArray mediaPathText(const std::optional<QByteArray>& path) {
    return path ? *path : QByteArray();
}

} // namespace

bool ZLXAppDelegate::isPlaying(const ZLXMediaPlayer* player) {
    return player && player->hasMedia() && player->isPlaying() &&
           player->remainingTimeString() != QLatin1String("00:00");
}

bool ZLXAppDelegate::hasAudio(const ZLXMediaPlayer* player) const {
    return player && player->hasMedia() && !player->audioTrackIndexes().isEmpty();
}

// Starting a recording ---------------------------------------------------------------------

bool ZLXAppDelegate::playAtIndex(int64_t index) {
    const auto count = int64_t(m_mediaList->count());
    if (count == 0 || m_waitingForPlayStart)
        return false;
    index = std::clamp<int64_t>(index, 0, count - 1);
    stopPlay();
    m_waitingForPlayStart = true;
    m_ui->player1BackgroundView->setMessage(QString());
    m_mediaIndex = index;
    selectPlayingRow();
    m_preparingPlayNext = false;
    startTimerPlayNext();
    updateVideoUI();
    showLoading(QStringLiteral("Loading..."));

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
        m_ui->graphView->setGraphData(m_blackBoxData->m_GSensors);
        initMediaControlView();
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

void ZLXAppDelegate::selectPlayingRow() {
    if (m_mediaIndex < 0)
        return;
    // The current index too: a table that gets the focus back keeps this row.
    const QModelIndex row = m_tableModel->index(int(m_mediaIndex), 0);
    m_ui->mediaListTableView->selectionModel()->setCurrentIndex(
        row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_ui->mediaListTableView->scrollTo(row);
}

void ZLXAppDelegate::failStart() {
    // The recording cannot be played: the start ends here, the partner does not play on alone,
    // and the next row can be started.
    m_waitingForPlayStart = false;
    hideLoading();
    m_sync->cancel();
    m_player2->pause();
    m_player2->setMedia(std::nullopt);
    updateVideoViewVisibility();
    m_playInfo->setIsPlaying(false);
    m_ui->player1BackgroundView->setMessage(qtTrId("player.cannot_play"));
    ZLXLog("cannot play:%s", mediaPathText(m_player1->mediaPath()).constData());
    emit playerFailed();
}

void ZLXAppDelegate::setLogos(bool rearLarge, bool frontSmall) {
    const QString large = rearLarge ? QStringLiteral("v1_rear_logo") : QStringLiteral("v1_front_logo");
    const QString small = frontSmall ? QStringLiteral("v2_front_logo") : QStringLiteral("v2_rear_logo");
    m_ui->player1BackgroundView->setLogoImage(namedImage(large), large);
    m_ui->player2BackgroundView->setLogoImage(namedImage(small), small);
    m_video1View->setLogo(namedImage(large));
    m_video2View->setLogo(namedImage(small));
}

void ZLXAppDelegate::updateVideoUI() {
    const auto media = m_mediaList->mediaAtIndex(m_mediaIndex);
    if (!media)
        return;
    const auto pair = m_mediaList->findMediaPairWithFileName(media->mediaName());
    m_player1->setMedia(std::optional(QByteArray::fromStdString(media->path())));
    ZLXMediaList::MediaPtr partner;
    if (media->isRearMedia()) {
        setLogos(true, true);
        partner = pair ? pair->frontMedia : nullptr;
    } else {
        setLogos(false, false);
        partner = pair ? pair->rearMedia : nullptr;
    }
    if (partner) {
        m_player2->setMedia(std::optional(QByteArray::fromStdString(partner->path())));
    } else {
        m_player2->stop();
        m_player2->setMedia(std::nullopt);
    }
    m_video2View->setHidden(!m_player2->hasMedia());
    m_ui->audioToggleButton->setHidden(!m_player2->hasMedia());
}

void ZLXAppDelegate::initMediaControlView() {
    m_waitingForPlayStart = true;
    m_ui->videoPositionSlider->setValue(0);
    m_ui->videoPositionSliderForFullScreen->setValue(0);
    setVideoScaleIndex(0);
    updateSideViewButton();
    m_playInfo->setSpeed(1);
    m_player1->setRate(1);
    m_player2->setRate(1);
    m_playInfo->setPosition(0);
    m_ui->gsensorXField->setText(QStringLiteral("X=+0.00"));
    m_ui->gsensorYField->setText(QStringLiteral("Y=+0.00"));
    m_ui->gsensorZField->setText(QStringLiteral("Z=+0.00"));
    m_ui->speedField->clear();
    m_ui->hdopField->clear();
    m_ui->sateliteField->clear();
}

// What the players report ------------------------------------------------------------------

void ZLXAppDelegate::updateVideoViewVisibility() {
    const bool p1 = m_player1->hasMedia() && m_player1->isPlaying();
    const bool p2 = m_player2->hasMedia() && m_player2->isPlaying();
    m_video1View->setVisible(p1 || m_player1->state() == ZLXMediaPlayer::Paused);
    m_video2View->setVisible(p2 || m_player2->state() == ZLXMediaPlayer::Paused);
}

void ZLXAppDelegate::mediaPlayerStateChanged(ZLXMediaPlayer*) {
    const bool p1 = m_player1->hasMedia() && m_player1->isPlaying();
    const bool p2 = m_player2->hasMedia() && m_player2->isPlaying();
    updateVideoViewVisibility();
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
    if (m_player2->hasMedia() && !partner) {
        m_video2View->hide();
        m_ui->audioToggleButton->hide();
    }
    auto startOrUpdate = [this] {
        if (m_waitingForPlayStart) {
            m_waitingForPlayStart = false;
            didStartPlayer();
        } else {
            updateAudioUI();
            updateHeadStrip(); // an exchange changes the channel shown large
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

void ZLXAppDelegate::didStartPlayer() {
    if (!m_player1->hasMedia())
        return;
    updateHeadStrip();
    m_playInfo->setSpeed(m_player1->rate());
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
    chooseAudioAuto();
    // Computed at every start: the window may have left full screen since the last one.
    if (m_player1->hasVideoOut() && m_player1->videoSize().width() > 0)
        updatePlayInfoScale();
    emit playerStarted();
}

void ZLXAppDelegate::didFinishPlay() {
    m_playInfo->setPosition(m_player1->position());
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
}

void ZLXAppDelegate::updateTimeText() {
    const bool loaded = m_player1->hasMedia();
    const bool paused = loaded && !m_playInfo->isPlaying();
    qint64 time = loaded ? m_player1->time() : 0;
    // paused, the time of the frame on screen (a step lands a quarter frame before it)
    if (const double frame = loaded ? m_player1->frameDuration() : 0; paused && frame > 0)
        time = qint64(std::llround(std::floor((double(time) + frame / 4) / frame) * frame));
    m_timeLabel->setText(QString::fromStdString(
        ZLXPositionString(loaded ? std::optional<int64_t>(time) : std::nullopt,
                          loaded ? std::optional<int64_t>(m_player1->mediaLength()) : std::nullopt, paused)));
}

void ZLXAppDelegate::mediaPlayerTimeChanged(ZLXMediaPlayer* player) {
    updateVideoViewVisibility();
    m_preparingPlayNext = false;
    if (!m_stopVideoLoadingView) {
        hideLoading();
        chooseAudioAuto();
    }
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
    if (player == m_player1.get())
        updateTimeText();
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

void ZLXAppDelegate::startTimerPlayNext() {
    m_playStopTimer.start(1000);
}

void ZLXAppDelegate::timerPlayNext() {
    // A pause near the end is not the end: player 1 must report that it reached it.
    if (!m_preparingPlayNext && m_player1->state() == ZLXMediaPlayer::Paused && m_player1->position() >= 0.95f &&
        m_player1->isAtEnd()) {
        m_preparingPlayNext = true;
        QTimer::singleShot(1000, this, [this, generation = m_playGeneration] {
            if (generation == m_playGeneration)
                playNext();
        });
    }
}

bool ZLXAppDelegate::playNext() {
    const auto media = m_mediaList->mediaAtIndex(m_mediaIndex);
    if (!media)
        return false;
    // The group's rows are adjacent: the next group starts after the last of them, whichever
    // of them is playing.
    int64_t last = m_mediaIndex;
    while (const auto following = m_mediaList->mediaAtIndex(last + 1)) {
        if (following->mediaGroupName() != media->mediaGroupName())
            break;
        ++last;
    }
    const int64_t next = last + 1;
    if (next < int64_t(m_mediaList->count()))
        return playAtIndex(next);
    return false;
}

// The user's commands ------------------------------------------------------------------------

void ZLXAppDelegate::changeAndPlay(int row) {
    ZLXLog("selectedRow=%ld,mediaIndex=%ld,isPlaying=%d,count=%ld", long(row), long(m_mediaIndex),
           int(m_player1->isPlaying()), long(m_mediaList->count()));
    // Resume only the recording that is loaded (in either player, after an exchange).
    const auto media = m_mediaList->mediaAtIndex(row);
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
        syncVideoPositionDelay(0.1);
}

void ZLXAppDelegate::clickPlayButton() {
    if (!m_player1->hasMedia())
        return;
    if (m_playInfo->isPlaying()) {
        for (ZLXMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
            if (isPlaying(p))
                p->pause();
        }
        return;
    }
    if (m_player1->position() >= 0.998f) {
        const double slider = m_ui->videoPositionSlider->value() / kSliderScale;
        if (slider >= 0.998) {
            m_player1->setMedia(std::nullopt);
            m_player2->setMedia(std::nullopt);
            playAtIndex(m_mediaIndex);
        } else {
            const auto t = qint64(slider * double(m_player1->mediaLength()));
            m_player1->setTime(t);
            m_player2->setTime(t);
            QTimer::singleShot(100, this, [this, generation = m_playGeneration] {
                if (generation == m_playGeneration)
                    m_sync->playTogether();
            });
        }
        return;
    }
    m_sync->playTogether();
    if (m_player2->hasMedia())
        syncVideoPositionDelay(0.3);
}

void ZLXAppDelegate::syncVideoPositionDelay(double seconds) {
    if (!m_player1->hasMedia() || !m_player2->hasMedia()) {
        m_moving = false;
        return;
    }
    // The partner goes to player 1's exact time, if the two are apart at all.
    QTimer::singleShot(int(seconds * 1000), this, [this, generation = m_playGeneration] {
        if (generation != m_playGeneration)
            return; // another recording started meanwhile
        m_moving = false;
        m_sync->align();
    });
}

void ZLXAppDelegate::videoPositionSliderMoved(double value) {
    ZLXLog("[%s] position slider moved:%lf <=> %lf", "D ", m_playInfo->position(), value);
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
    syncVideoPositionDelay(0.3);
}

void ZLXAppDelegate::jumpForward() {
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
    m_ui->videoPositionSlider->setValue(int(m_movingPosition * kSliderScale));
    m_sync->seekTogether(m_player1->time() + 10000);
    syncVideoPositionDelay(0.3);
}

void ZLXAppDelegate::stepFrame(int frames) {
    if (m_moving || !m_player1->hasMedia() || m_playInfo->isPlaying() || m_waitingForPlayStart)
        return;
    // An exact seek shows the first frame at or after the time asked for: a quarter frame
    // before the wanted frame's start lands on it, on both channels.
    const double frame = m_player1->frameDuration();
    const qint64 shown = qint64(std::floor((double(m_player1->time()) + frame / 4) / frame));
    const qint64 last = std::max<qint64>(0, qint64(double(m_player1->mediaLength()) / frame) - 1);
    const qint64 target = std::clamp<qint64>(shown + frames, 0, last);
    const double at = std::max(0.0, (double(target) - 0.25) * frame);
    m_sync->seekTogether(qint64(at));
    const double length = double(m_player1->mediaLength());
    if (length > 0)
        m_ui->videoPositionSlider->setValue(int(at / length * kSliderScale));
}

void ZLXAppDelegate::applyZoom(const ZLXZoom& zoom) {
    m_zoom = zoom;
    m_player1->setZoom(zoom.factor, zoom.panX, zoom.panY);
}

void ZLXAppDelegate::resetZoom() {
    applyZoom({});
}

bool ZLXAppDelegate::zoomEvent(QEvent* event) {
    if (!m_player1->hasMedia())
        return false;
    // the picture's shown rectangle: the video fitted into the view
    const QSizeF view = m_video1View->size(), video = m_player1->videoSize();
    if (video.isEmpty() || view.isEmpty())
        return false;
    const double scale = std::min(view.width() / video.width(), view.height() / video.height());
    const QSizeF shown = video * scale;
    const auto fraction = [&](QPointF at) {
        return QPointF((at.x() - view.width() / 2) / shown.width(), (at.y() - view.height() / 2) / shown.height());
    };
    switch (event->type()) {
    case QEvent::Wheel: {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const double notches = wheel->angleDelta().y() / 120.0;
        const QPointF at = fraction(wheel->position());
        applyZoom(zoomAbout(m_zoom, m_zoom.factor * std::pow(1.25, notches), at.x(), at.y()));
        return true;
    }
    case QEvent::MouseButtonPress:
        if (m_zoom.factor <= 1 || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        m_panFrom = static_cast<QMouseEvent*>(event)->position();
        return true;
    case QEvent::MouseMove:
        if (!m_panFrom)
            return false;
        {
            const QPointF now = static_cast<QMouseEvent*>(event)->position();
            const QPointF moved = fraction(now) - fraction(*m_panFrom);
            m_panFrom = now;
            applyZoom(panBy(m_zoom, moved.x(), moved.y()));
        }
        return true;
    case QEvent::MouseButtonRelease:
        if (!m_panFrom)
            return false;
        m_panFrom.reset();
        return true;
    case QEvent::MouseButtonDblClick:
        if (m_zoom.factor <= 1)
            return false;
        resetZoom();
        return true;
    default:
        return false;
    }
}

void ZLXAppDelegate::jumpBackward() {
    if (m_moving || !m_player1->hasMedia())
        return;
    if (m_player1->time() < 10000) {
        m_player1->setTime(0);
        m_player2->setTime(0);
    } else {
        m_moving = true;
        m_movingPosition = m_ui->videoPositionSlider->value() / kSliderScale;
        m_sync->seekTogether(m_player1->time() - 10000);
        syncVideoPositionDelay(0.3);
    }
    updateAudioUI();
}

void ZLXAppDelegate::swapPlayer() {
    if (!isPlaying(m_player1.get()) || !isPlaying(m_player2.get()) || m_swapping)
        return;
    m_swapping = true;
    resetZoom(); // the large picture changes channel
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
    setLogos(m_player1->isRearMedia(), m_player2->isFrontMedia());
    m_moving = true;
    m_movingPosition = p;

    // Both pictures grow into their places: the large one from the right edge, the small one
    // from the bottom.
    auto* group = new QParallelAnimationGroup(this);
    const QRect large = m_video1View->parentWidget()->rect(), small = m_video2View->parentWidget()->rect();
    for (auto [view, from, to] : {std::tuple{static_cast<QWidget*>(m_video1View), QRect(large.width(), 0, 0, 0), large},
                                  std::tuple{static_cast<QWidget*>(m_video2View), QRect(0, small.height(), 0, 0), small}}) {
        auto* animation = new QPropertyAnimation(view, "geometry", group);
        animation->setDuration(1500);
        animation->setEasingCurve(QEasingCurve::OutCubic);
        animation->setStartValue(from);
        animation->setEndValue(to);
        group->addAnimation(animation);
    }
    group->start(QAbstractAnimation::DeleteWhenStopped);

    m_player1->setMute(true);
    m_player2->setMute(true);
    // The delayed steps belong to this recording: another start drops them.
    QTimer::singleShot(800, this, [this, generation = m_playGeneration] {
        if (generation != m_playGeneration)
            return;
        m_moving = false;
        m_sync->align();
    });
    QTimer::singleShot(1700, this, [this, generation = m_playGeneration] {
        if (generation != m_playGeneration)
            return;
        m_swapping = false;
        updateAudioUI();
    });
}

// Sound ------------------------------------------------------------------------------------

void ZLXAppDelegate::chooseAudioAuto() {
    if (!hasAudio(m_player1.get()) && !hasAudio(m_player2.get())) {
        m_playInfo->setAudioMediaDirection(2);
        return;
    }
    const ZLXMediaPlayer* heard = hasAudio(m_player1.get()) ? m_player1.get() : m_player2.get();
    m_playInfo->setAudioMediaDirection(heard->hasMedia() ? int(heard->mediaDirection()) : 2);
}

void ZLXAppDelegate::toggleAudioChoice() {
    m_playInfo->setAudioMediaDirection(m_ui->audioToggleButton->isChecked() ? 1 : 0);
}

void ZLXAppDelegate::updateAudioUI() {
    const int direction = m_playInfo->audioMediaDirection();
    ZLXMediaPlayer* heard = nullptr;
    if (direction == 0 || direction == 1) {
        m_ui->audioToggleButton->setChecked(direction == 1);
        // the button says whose sound is heard
        m_ui->audioToggleButton->setText(qtTrId(direction == 0 ? "audio.front" : "audio.rear"));
        const auto wanted = direction == 0 ? ZLXMediaDirection::Front : ZLXMediaDirection::Rear;
        for (ZLXMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
            if (!heard && p->mediaDirection() == wanted)
                heard = p;
        }
    } else if (direction == 2) {
        m_ui->audioToggleButton->hide();
    }
    for (ZLXMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
        if (p == heard) {
            p->setMute(false);
            p->setVolume(int(m_volume));
        } else {
            p->setMute(true);
        }
    }
    m_ui->volumeSlider->setValue(int(m_volume));
}

void ZLXAppDelegate::setVolume(uint64_t volume) {
    m_volume = std::min<uint64_t>(volume, 200);
    updateAudioUI();
}

void ZLXAppDelegate::volumeSliderMoved(int value) {
    setVolume(uint64_t(std::max(0, value)));
}

void ZLXAppDelegate::volumeUp() {
    setVolume(std::min<uint64_t>(m_volume + 10, 200));
}

void ZLXAppDelegate::volumeDown() {
    setVolume(m_volume >= 10 ? m_volume - 10 : 0);
}

// Rate and size ----------------------------------------------------------------------------

void ZLXAppDelegate::increaseSpeed() {
    if (m_playInfo->speed() + 1 > 2)
        return;
    m_sync->changeRateTogether(+1);
    m_playInfo->setSpeed(m_playInfo->speed() + 1);
}

void ZLXAppDelegate::decreaseSpeed() {
    if (m_playInfo->speed() <= 1)
        return;
    m_sync->changeRateTogether(-1);
    m_playInfo->setSpeed(m_playInfo->speed() - 1);
}

void ZLXAppDelegate::updatePlayInfoScale() {
    if (isPlaying(m_player1.get()) && m_player1->hasVideoOut() && m_player1->videoSize().height() > 0)
        m_playInfo->setScale(double(m_ui->videoContainerView->height()) / m_player1->videoSize().height());
}

void ZLXAppDelegate::sizeUp() {
    if (m_player1->isPlaying())
        setVideoScaleIndex(1);
}

void ZLXAppDelegate::sizeDown() {
    if (m_player1->isPlaying())
        setVideoScaleIndex(-1);
}

void ZLXAppDelegate::setVideoScaleIndex(int step) {
    const QSize min = minWindowSize();
    QSize size = m_window->size() + QSize(int(step * 0.2 * min.width()), int(step * 0.2 * min.height()));
    const QScreen* screen = m_window->screen();
    if (step > 0) {
        if (m_window->isFullScreen())
            return;
        if (screen && (size.width() > screen->geometry().width() || size.height() > screen->geometry().height() - 100)) {
            m_window->enterFullscreen();
            return;
        }
    } else if (m_window->isFullScreen()) {
        m_window->leaveFullscreen();
        return;
    }
    if (size.width() < min.width() || size.height() < min.height())
        size = min;
    m_window->resize(size);
}

void ZLXAppDelegate::toggleFullScreen() {
    if (m_window->isFullScreen())
        m_window->leaveFullscreen();
    else
        m_window->enterFullscreen();
}

// The telemetry at the published position --------------------------------------------------

void ZLXAppDelegate::playInfoPositionChanged(double position) {
    if (position >= 1.0) {
        m_ui->videoPositionSlider->setValue(int(kSliderScale));
        m_ui->videoPositionSliderForFullScreen->setValue(int(kSliderScale));
    } else if (!m_ui->videoPositionSlider->isSliderDown() && !m_ui->videoPositionSliderForFullScreen->isSliderDown()) {
        m_ui->videoPositionSlider->setValue(int(position * kSliderScale));
        m_ui->videoPositionSliderForFullScreen->setValue(int(position * kSliderScale));
    }
    // One look-up of the samples at this position serves both updates.
    const ZLXTelemetryDisplay shown = telemetryDisplayAt(*m_blackBoxData, position);
    updateGsensorUIByPlayPositon(shown);
    updateGpsUIByPlayPosition(shown);
}

void ZLXAppDelegate::updateGsensorUIByPlayPositon(const ZLXTelemetryDisplay& shown) {
    m_ui->graphView->updateTimePosition(double(m_player1->position()));
    if (shown.x) {
        m_ui->gsensorXField->setText(QString::fromStdString(*shown.x));
        m_ui->gsensorYField->setText(QString::fromStdString(*shown.y));
        m_ui->gsensorZField->setText(QString::fromStdString(*shown.z));
    }
}

void ZLXAppDelegate::updateGpsUIByPlayPosition(const ZLXTelemetryDisplay& shown) {
    if (shown.mapScript)
        m_mapWebView->runScript(*shown.mapScript);
    if (shown.speed)
        m_ui->speedField->setText(QString::fromStdString(*shown.speed));
    if (shown.hdop)
        m_ui->hdopField->setText(QString::fromStdString(*shown.hdop));
    if (shown.satellites)
        m_ui->sateliteField->setText(QString::fromStdString(*shown.satellites));
}

// Geometry ---------------------------------------------------------------------------------

namespace {
constexpr int kTripSliderHeight = 20; // the trip's slider and the space above it
void place(QWidget* w, const ZLXRect& r) {
    w->setGeometry(r.x, r.y, r.width, r.height);
}
} // namespace

void ZLXAppDelegate::layoutWindow() {
    const bool full = m_window->isFullScreen();
    const QSize content = m_window->centralWidget()->size();
    const ZLXWindowLayout l = daxo::layoutWindow(content.width(), content.height(), full, m_rightViewMode,
                                                 m_trips && m_trips->isSliderShown() ? kTripSliderHeight : 0);
    m_window->menuBar()->setVisible(!full);
    m_ui->headBox->setVisible(!full);
    m_ui->bodyRightBox->setVisible(!full);
    m_ui->gsensorBox->setVisible(!full);
    m_ui->mediaControlBox->setVisible(!full);
    m_ui->mediaControlBoxForFullScreen->setVisible(full);
    place(m_ui->headBox, l.headBox);
    place(m_ui->bodyBox, l.bodyBox);
    place(m_ui->bodyLeftBox, l.bodyLeftBox);
    place(m_ui->bodyRightBox, l.bodyRightBox);
    place(m_ui->videoBox, l.videoBox);
    place(m_ui->gsensorBox, l.gsensorBox);
    place(m_ui->mediaControlBox, l.mediaControlBox);
    place(m_ui->mediaControlBoxForFullScreen, l.mediaControlBoxForFullScreen);
    place(m_ui->sideButtonBox, l.sideButtonBox);
    place(m_ui->mediaListBox, l.mediaListBox);
    place(m_ui->subVideoBox, l.subVideoBox);
    layoutBodyBox();
}

void ZLXAppDelegate::layoutBodyBox() {
    // The loading indicator stays centred over the head strip, the texts at its two ends.
    PMProgressIndicator* indicator = m_ui->progressIndicator;
    indicator->move((m_ui->headBox->width() - indicator->width()) / 2, indicator->y());
    const int half = m_ui->headBox->width() / 2 - 12;
    m_headFolderLabel->setGeometry(12, 0, half, m_ui->headBox->height());
    m_headPlayingLabel->setGeometry(m_ui->headBox->width() - 12 - half, 0, half, m_ui->headBox->height());
    layoutMapContainer();
}

void ZLXAppDelegate::layoutMapContainer() {
    if (m_window->isFullScreen())
        return;
    const QSize content = m_window->centralWidget()->size();
    const ZLXWindowLayout l = daxo::layoutWindow(content.width(), content.height(), false, m_rightViewMode);
    if (m_rightViewMode == 0) {
        place(m_mediaListScrollView, l.mediaListScrollView);
    } else if (m_rightViewMode == 2) {
        if (m_trips)
            place(m_trips->tripListView(), l.tripListView);
    } else {
        place(m_ui->mapContainerView, l.mapContainerView);
        place(m_ui->mapContainerTopView, l.mapContainerTopView);
        place(m_ui->mapContainerBottomView, l.mapContainerBottomView);
    }
}

QRect ZLXAppDelegate::boxFrame(const QString& name) const {
    const QWidget* w = m_window->findChild<QWidget*>(name);
    return w && w->isVisible() ? w->geometry() : QRect();
}

bool ZLXAppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == m_window->centralWidget()) {
        layoutWindow();
        updatePlayInfoScale();
    }
    if (event->type() == QEvent::Resize && watched == m_ui->mediaListTableView->viewport())
        fitTableColumns(false);
    if (watched == m_video1View && zoomEvent(event))
        return true;
    if (watched == m_ui->mediaListTableView && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        // The focused table keeps its own keys (arrows, Space, Home, End, pages); Return plays
        // the chosen row. The playback keys work everywhere else.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        const bool tableKey = plain && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down || key->key() == Qt::Key_Left ||
                                        key->key() == Qt::Key_Right || key->key() == Qt::Key_Space || key->key() == Qt::Key_Home ||
                                        key->key() == Qt::Key_End || key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown);
        const bool play = plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        if (event->type() == QEvent::ShortcutOverride && (tableKey || play)) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress && play && m_ui->mediaListTableView->currentIndex().isValid()) {
            changeAndPlay(m_ui->mediaListTableView->currentIndex().row());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// The loading indicator --------------------------------------------------------------------

void ZLXAppDelegate::showLoading(const QString&) {
    PMProgressIndicator* indicator = m_ui->progressIndicator;
    indicator->setIndeterminate(true);
    m_stopVideoLoadingView = false;
    m_progress = 0;
    indicator->setDoubleValue(indicator->minValue());
    indicator->move(m_ui->headBox->x() + (m_ui->headBox->width() - indicator->width()) / 2, indicator->y());
    indicator->show();
    const uint64_t generation = ++m_loadingGeneration;
    QTimer::singleShot(300, this, [this, generation] {
        if (generation == m_loadingGeneration)
            updateLoadingWindow(15);
    });
}

void ZLXAppDelegate::updateLoadingWindow(double seconds) {
    m_progress += 100 / (seconds / 0.3);
    PMProgressIndicator* indicator = m_ui->progressIndicator;
    indicator->setDoubleValue(m_progress);
    if (m_progress < 100 && !m_stopVideoLoadingView) {
        const uint64_t generation = m_loadingGeneration;
        QTimer::singleShot(300, this, [this, seconds, generation] {
            if (generation == m_loadingGeneration) // a newer start has its own ticks
                updateLoadingWindow(seconds);
        });
        return;
    }
    // Run out without a start: the recording did not play; others may be started again.
    if (!m_stopVideoLoadingView && m_waitingForPlayStart)
        failStart();
    indicator->setDoubleValue(indicator->minValue());
    indicator->setIndeterminate(false);
    indicator->hide();
    m_stopVideoLoadingView = true;
}

void ZLXAppDelegate::hideLoading() {
    m_stopVideoLoadingView = true;
}

} // namespace daxo
