// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXViewer.h"

#include "app/ZLXTripController.h"
#include "app/map/ZLXMapWebView.h"
#include "app/thumbnails/ZLXSliderPreview.h"
#include "app/thumbnails/ZLXThumbnailPreview.h"
#include "presentation/ZLXTimeText.h"
#include "telemetry/ZLXTrip.h"
#include "telemetry/GraphView.h"
#include "ui_MainMenu.h"

#include <QAction>
#include <QSlider>
#include <QSettings>

namespace daxo {

ZLXViewer::ZLXViewer(const ZLXAppDelegate::PlayerFactory& playerFactory, ZLXPlaybackClock& clock, QObject* parent)
    : QObject(parent) {
    // The finished list is handed over on this (the interface) thread; the queued call is
    // dropped if the viewer is gone by then.
    m_mediaList = ZLXMediaList::mediaList([this](std::function<void()> install) {
        QMetaObject::invokeMethod(this, std::move(install), Qt::QueuedConnection);
    });
    m_mediaList->setDelegate(this);
    m_app = std::make_unique<ZLXAppDelegate>(*m_mediaList, playerFactory, clock);
    const Ui::MainMenu& ui = m_app->ui();
    m_trips = std::make_unique<ZLXTripController>(playback(), *m_mediaList, ui.mediaListBox, ui.mediaControlBox,
                                                  m_app->window());
    // the tracks of the recordings read are kept for the next opening, in the index the
    // command-line tools share
    m_trips->setIndexPath(ZLXTrackIndex::defaultPath());
    m_app->setTripListView(m_trips->tripListView());
    m_app->setTrackCache(m_trips->sharedTrackCache());
    // pictures of the recordings, kept beside the index
    m_thumbnailer = std::make_unique<ZLXThumbnailer>();
    m_preview = new ZLXThumbnailPreview(m_app->window());
    m_trips->setThumbnails(*m_thumbnailer, *m_preview);
    for (QSlider* slider : {ui.videoPositionSlider, ui.videoPositionSliderForFullScreen})
        new ZLXSliderPreview(slider, *m_thumbnailer, *m_preview,
                             [this](double fraction) { return recordingMoment(fraction); });
    wire();
}

std::optional<ZLXSliderMoment> ZLXViewer::recordingMoment(double fraction) const {
    const ZLXMediaList::MediaPtr media = playback().playingMedia();
    const std::optional<double> length = playback().lengthSeconds();
    if (!media || !length || *length <= 0)
        return std::nullopt;
    const auto pair = m_mediaList->findMediaPairWithFileName(media->mediaName());
    ZLXSliderMoment moment;
    moment.front = QString::fromStdString(pair && pair->frontMedia ? pair->frontMedia->path()
                                          : media->isRearMedia()   ? std::string()
                                                                   : media->path());
    moment.rear = QString::fromStdString(pair && pair->rearMedia ? pair->rearMedia->path()
                                         : media->isRearMedia()  ? media->path()
                                                                 : std::string());
    moment.seconds = std::clamp(fraction, 0.0, 1.0) * *length;
    const std::optional<int64_t> start = civilSeconds(media->year(), media->month(), media->day(), media->hour(),
                                                      media->minute(), media->second());
    moment.timeText = start ? QString::fromStdString(civilDateTimeText(*start + int64_t(moment.seconds)))
                            : QString::fromStdString(ZLXTimeString(int64_t(moment.seconds * 1000)));
    return moment;
}

// The trips go first, then the window with its playback, then the list: whatever a rebuild
// still running reports is queued to this object, and dropped with it.
ZLXViewer::~ZLXViewer() = default;

void ZLXViewer::mediaListChanged(ZLXMediaList&) {
    m_app->mediaListChanged();
}

void ZLXViewer::wire() {
    ZLXAppDelegate* app = m_app.get();
    ZLXPlayback* playback = app->playback();
    ZLXTripController* trips = m_trips.get();

    // playback → window
    connect(playback, &ZLXPlayback::recordingChosen, app, &ZLXAppDelegate::showRecordingChosen);
    connect(playback, &ZLXPlayback::recordingLoaded, app, &ZLXAppDelegate::showRecordingLoaded);
    connect(playback, &ZLXPlayback::failed, app, &ZLXAppDelegate::showFailure);
    connect(playback, &ZLXPlayback::stopped, app, &ZLXAppDelegate::showStopped);
    connect(playback, &ZLXPlayback::positionChanged, app, &ZLXAppDelegate::showPosition);
    connect(playback, &ZLXPlayback::positionPreviewed, app, &ZLXAppDelegate::showPosition);
    connect(playback, &ZLXPlayback::telemetryAt, app, &ZLXAppDelegate::showTelemetry);
    connect(playback, &ZLXPlayback::channelsChanged, app, &ZLXAppDelegate::showChannels);
    connect(playback, &ZLXPlayback::partnerChanged, app, &ZLXAppDelegate::showPartner);
    connect(playback, &ZLXPlayback::picturesShown, app, &ZLXAppDelegate::showPictures);
    connect(playback, &ZLXPlayback::audioChanged, app, &ZLXAppDelegate::showAudio);
    connect(playback, &ZLXPlayback::nowPlayingChanged, app, &ZLXAppDelegate::updateHeadStrip);
    connect(playback, &ZLXPlayback::exchangeStarted, app, &ZLXAppDelegate::animateExchange);
    connect(playback, &ZLXPlayback::loadingShown, app, &ZLXAppDelegate::showLoading);
    connect(playback, &ZLXPlayback::loadingProgressChanged, app, &ZLXAppDelegate::showLoadingProgress);
    connect(playback, &ZLXPlayback::loadingHidden, app, &ZLXAppDelegate::hideLoading);
    // window → playback
    connect(app->window(), &CustomWindow::windowWillClose, playback, &ZLXPlayback::stopPlay);
    // playback → thumbnails: the background pictures wait while a picture larger than
    // full HD plays (its decoding takes the processor)
    connect(playback->playInfo(), &ZLXPlayInfo::isPlayingChanged, m_thumbnailer.get(), [this, playback](bool playing) {
        m_thumbnailer->setHeldBack(playing && playback->player1()->videoSize().height() > 1080);
    });

    // the recordings and playback → trips
    connect(app, &ZLXAppDelegate::mediaListReloaded, trips, &ZLXTripController::reload);
    connect(playback, &ZLXPlayback::started, trips, &ZLXTripController::playerStarted);
    connect(playback, &ZLXPlayback::positionChanged, trips, &ZLXTripController::positionChanged);
    // trips → window and map, and back
    connect(trips, &ZLXTripController::tripSliderShown, app, &ZLXAppDelegate::setTripSliderShown);
    connect(trips, &ZLXTripController::impactMarksChanged, app->ui().graphView, &GraphView::setImpactMarks);
    connect(trips, &ZLXTripController::routeChanged, app->mapWebView(), &ZLXMapWebView::showRoute);
    connect(app->mapWebView(), &ZLXMapWebView::routeClicked, trips, &ZLXTripController::playRouteAt);
    connect(app->mapWebView(), &ZLXMapWebView::areaChosen, app, &ZLXAppDelegate::searchArea);
    connect(app->mapWebView(), &ZLXMapWebView::placeChosen, app, &ZLXAppDelegate::searchAround);

    // the window's menu commands that belong to the trips
    const std::pair<const char*, void (ZLXTripController::*)()> commands[] = {
        {"exportGpxAction", &ZLXTripController::exportGpx},
        {"exportKmlAction", &ZLXTripController::exportKml},
        {"exportCsvAction", &ZLXTripController::exportCsv},
        {"exportClipAction", &ZLXTripController::exportClipWithDialog},
        {"incidentReportAction", &ZLXTripController::incidentReportWithDialog},
        {"tripGapAction", &ZLXTripController::chooseGap},
        {"markClipInAction", &ZLXTripController::markClipIn},
        {"markClipOutAction", &ZLXTripController::markClipOut},
    };
    for (const auto& [name, command] : commands)
        connect(app->action(QString::fromLatin1(name)), &QAction::triggered, trips, command);
    // a setting: the trips' times by GPS
    QAction* gpsTimes = app->action(QStringLiteral("tripGpsTimesAction"));
    gpsTimes->setCheckable(true);
    gpsTimes->setChecked(QSettings().value(QStringLiteral("trips/gpsTimes")).toBool());
    trips->setGpsTimes(gpsTimes->isChecked());
    connect(gpsTimes, &QAction::toggled, trips, [trips](bool on) {
        QSettings().setValue(QStringLiteral("trips/gpsTimes"), on);
        trips->setGpsTimes(on);
    });
}

} // namespace daxo
