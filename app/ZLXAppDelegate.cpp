// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXAppDelegate.h"

#include "app/ZLXLanguage.h"
#include "app/ZLXCardImport.h"
#include "app/ZLXLibraryWindow.h"
#include "app/ZLXPassesWindow.h"
#include "card/ZLXCardWatcher.h"
#include "telemetry/ZLXPlaceIndex.h"
#include "telemetry/ZLXTrip.h"
#include "library/ZLXLog.h"
#include "widgets/ZLXAlert.h"
#include "app/ZLXMediaTableModel.h"
#include "app/map/ZLXMapWebView.h"
#include "app/player/ZLXMpvMediaPlayer.h"
#include "app/player/ZLXVideoView.h"
#include "card/ZLXTimeSetupController.h"
#include "config/ZLXSettingController.h"
#include "presentation/ZLXMediaTableText.h"
#include "telemetry/GraphView.h"
#include "widgets/PMProgressIndicator.h"
#include "widgets/TKPartImages.h"
#include "widgets/ZLXImages.h"
#include "widgets/ZLXLook.h"
#include "ui_MainMenu.h"

#include <QAction>
#include <QSettings>
#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QDialog>
#include <QtConcurrent>
#include <QTableWidget>
#include <QFutureWatcher>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

namespace daxo {
namespace {

constexpr double kSliderScale = 1000; // the position sliders run 0 to 1000

// A click on a slider's groove moves the handle there and goes on as a drag.
class ZLXClickToPositionStyle : public QProxyStyle {
public:
    explicit ZLXClickToPositionStyle(QObject* parent) : QProxyStyle() { setParent(parent); }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A player's surface fills its box and resizes with it.
ZLXVideoView* addVideoView(QWidget* box, const QString& name) {
    auto* view = new ZLXVideoView(box);
    view->setObjectName(name);
    auto* layout = box->layout() ? box->layout() : new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return view;
}

// The picture's scale on screen; none before a picture is known.
QString scaleText(double scale) {
    return scale > 0 ? QString::asprintf("%.2fx", scale) : QStringLiteral("-.--x");
}

// A menu's commands: a separator where `name` is null; no `run`: connected by whoever owns it.
struct MenuItem {
    const char* key;
    const char* name;
    QList<QKeySequence> shortcuts;
    std::function<void()> run;
};

void addMenuItems(QMenu* menu, QObject* context, std::initializer_list<MenuItem> items) {
    for (const MenuItem& item : items) {
        if (!item.name) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(qtTrId(item.key));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcuts(item.shortcuts);
        if (item.run)
            QObject::connect(action, &QAction::triggered, context, item.run);
    }
}

} // namespace

ZLXAppDelegate::ZLXAppDelegate(ZLXMediaList& mediaList, const PlayerFactory& playerFactory, ZLXPlaybackClock& clock,
                               QObject* parent)
    : QObject(parent), m_mediaList(mediaList), m_window(std::make_unique<CustomWindow>()),
      m_ui(std::make_unique<Ui::MainMenu>()) {
    m_ui->setupUi(m_window.get());
    const PlayerFactory make = playerFactory ? playerFactory : [](ZLXVideoView* view) -> std::unique_ptr<ZLXMediaPlayer> {
        return std::make_unique<ZLXMpvMediaPlayer>(view);
    };
    m_video1View = addVideoView(m_ui->player1BackgroundView, QStringLiteral("video1View"));
    m_video2View = addVideoView(m_ui->player2BackgroundView, QStringLiteral("video2View"));
    m_playback = std::make_unique<ZLXPlayback>(make(m_video1View), make(m_video2View), m_mediaList, clock);
    m_capture = new ZLXFrameCapture(m_window.get(), this);
    connect(m_capture, &ZLXFrameCapture::frameSaved, this, &ZLXAppDelegate::frameSaved);
    m_mediaListScrollView = m_ui->mediaListTableView;
    m_ui->mediaControlBoxForFullScreen->hide();
    showChannels(false, false);
    m_window->setWindowIcon(namedImage(QStringLiteral("daxo-viewer")));
    initMediaListTableView();
    setupControls();
}

ZLXAppDelegate::~ZLXAppDelegate() {
    // The window's teardown sends events; none may reach a half-destroyed controller.
    if (m_window->centralWidget())
        m_window->centralWidget()->removeEventFilter(this);
    m_ui->mediaListTableView->removeEventFilter(this);
    m_ui->mediaListTableView->viewport()->removeEventFilter(this);
    m_ui->videoContainerView->removeEventFilter(this);
    if (m_tripListView) {
        for (QAbstractItemView* list : m_tripListView->findChildren<QAbstractItemView*>())
            list->removeEventFilter(this);
    }
    m_video1View->removeEventFilter(this);
    m_playback.reset(); // the players before the surfaces they draw into
}

void ZLXAppDelegate::setupControls() {
    connect(m_ui->recordButtonImageView, &QToolButton::clicked, this, &ZLXAppDelegate::clickMediaListViewButton);
    connect(m_ui->informationButtonImageView, &QToolButton::clicked, this, &ZLXAppDelegate::clickMapViewButton);
    connect(m_ui->tripButtonImageView, &QToolButton::clicked, this, &ZLXAppDelegate::clickTripViewButton);
    m_ui->recordButtonImageView->setToolTip(qtTrId("side.recordings"));
    m_ui->informationButtonImageView->setToolTip(qtTrId("side.map"));
    m_ui->tripButtonImageView->setToolTip(qtTrId("side.trips"));

    // Box colours: the boxes are see-through, the partner video's box is black.
    QPalette black = m_ui->subVideoBox->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_ui->subVideoBox->setPalette(black);

    setupSliders();
    setupHeadStrip();
    ZLXPlayInfo* playInfo = m_playback->playInfo();
    connect(m_ui->playButton, &QAbstractButton::clicked, this, &ZLXAppDelegate::clickPlayButton);
    connect(m_ui->audioToggleButton, &QToolButton::clicked, this, &ZLXAppDelegate::toggleAudioChoice);
    connect(m_ui->speedTextButton, &QToolButton::clicked, this,
            [this, playInfo] { playInfo->speed() < 2 ? increaseSpeed() : decreaseSpeed(); });
    connect(m_ui->sizeTextButton, &QToolButton::clicked, this, &ZLXAppDelegate::sizeUp);
    m_ui->speedTextButton->setToolTip(qtTrId("tip.speed"));
    m_ui->sizeTextButton->setToolTip(qtTrId("tip.size"));
    // the G fields name their axis themselves ("X=+0.12")
    for (QWidget* caption : {m_ui->gsensorXCaption, m_ui->gsensorYCaption, m_ui->gsensorZCaption})
        caption->hide();
    m_ui->playButton->setImageName(QStringLiteral("icon_play_n"));
    m_ui->playButton->setFixedSize(28, 28);
    const QPixmap strip = namedImage(QStringLiteral("bottom-background"));
    m_ui->mediaControlBoxForFullScreen->setImagesLeft(strip, strip, strip);
    m_ui->player1BackgroundView->setBackgroundNineImageName(QStringLiteral("v1"));
    m_ui->player2BackgroundView->setBackgroundNineImageName(QStringLiteral("v2"));

    // The controls follow the observed state.
    connect(playInfo, &ZLXPlayInfo::speedChanged, this,
            [this](double speed) { m_ui->speedTextButton->setText(QString::asprintf("%.1fx", speed)); });
    connect(playInfo, &ZLXPlayInfo::scaleChanged, this,
            [this](double scale) { m_ui->sizeTextButton->setText(scaleText(scale)); });
    connect(playInfo, &ZLXPlayInfo::isPlayingChanged, this, [this](bool playing) {
        m_ui->playButton->setImageName(playing ? QStringLiteral("icon_pause_n") : QStringLiteral("icon_play_n"));
    });
    connect(m_window.get(), &CustomWindow::isFullScreenChanged, this, &ZLXAppDelegate::layoutWindow);
    m_window->centralWidget()->installEventFilter(this);
    m_ui->videoContainerView->installEventFilter(this); // the picture's scale follows its box
    m_playback->setVideoViewHeight(m_ui->videoContainerView->height());
    connect(m_ui->mediaListTableView, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { changeAndPlay(index.row()); });
    m_ui->mediaListTableView->installEventFilter(this);
    m_video1View->installEventFilter(this); // the wheel zooms, a drag pans

    m_ui->speedTextButton->setText(QStringLiteral("1.0x"));
    m_ui->sizeTextButton->setText(scaleText(0));
    m_ui->volumeSlider->setValue(int(m_playback->volume()));
    m_ui->progressIndicator->hide();
    m_ui->audioToggleButton->hide(); // until a recording with a partner plays
    m_video1View->hide();
    m_video2View->hide();

    m_mapWebView = new ZLXMapWebView(m_ui->mapContainerTopView);
    m_mapWebView->setObjectName(QStringLiteral("mapWebView"));
    m_mapWebView->setFocusPolicy(Qt::NoFocus); // a click on the map leaves the keys to playback
    m_ui->mapContainerTopView->layout()->addWidget(m_mapWebView); // its page is made when first shown
    m_timeLabel = new QLabel(m_ui->mediaButtonRow);
    m_timeLabel->setObjectName(QStringLiteral("timeText"));
    m_timeLabel->setMinimumWidth(m_timeLabel->fontMetrics().horizontalAdvance(QStringLiteral("0:00:00.000 / 0:00:00")) + 8);
    static_cast<QBoxLayout*>(m_ui->mediaButtonRow->layout())->insertWidget(2, m_timeLabel);
    connect(m_playback.get(), &ZLXPlayback::timeTextChanged, m_timeLabel, &QLabel::setText);
    m_timeLabel->setText(m_playback->timeText());
    updateSideViewButton();

    m_window->setWindowTitle(qtTrId("window.title"));
    createMenus();
    // The shortcuts keep working while the menu bar is hidden (full screen).
    for (QAction* menu : m_window->menuBar()->actions())
        m_window->addActions(menu->menu()->actions());
    layoutWindow();
}

void ZLXAppDelegate::setupSliders() {
    // The two position sliders show the published position; whatever the user does to them
    // (drag, click, wheel, keys) is a seek or a volume; a click on the groove puts the handle there.
    auto* sliderStyle = new ZLXClickToPositionStyle(m_window.get());
    ZLXPlayInfo* playInfo = m_playback->playInfo();
    for (QSlider* slider : {m_ui->videoPositionSlider, m_ui->videoPositionSliderForFullScreen}) {
        slider->setRange(0, int(kSliderScale));
        slider->setStyle(sliderStyle);
        connect(slider, &QSlider::sliderMoved, this, [this, playInfo](int value) {
            playInfo->setPosition(value / kSliderScale);
            videoPositionSliderMoved(value / kSliderScale);
        });
        connect(slider, &QAbstractSlider::actionTriggered, this, [this, slider, playInfo](int action) {
            if (action == QAbstractSlider::SliderNoAction || (action == QAbstractSlider::SliderMove && slider->isSliderDown()))
                return; // a drag reports itself through sliderMoved
            const double value = slider->sliderPosition() / kSliderScale;
            playInfo->setPosition(value);
            videoPositionSliderMoved(value);
        });
    }
    m_ui->volumeSlider->setRange(0, 200);
    m_ui->volumeSlider->setStyle(sliderStyle);
    connect(m_ui->volumeSlider, &QSlider::valueChanged, this, &ZLXAppDelegate::volumeSliderMoved);
}

void ZLXAppDelegate::setupHeadStrip() {
    m_headFolderLabel = new QLabel(m_ui->headBox);
    m_headFolderLabel->setObjectName(QStringLiteral("headFolderLabel"));
    m_headPlayingLabel = new QLabel(m_ui->headBox);
    m_headPlayingLabel->setObjectName(QStringLiteral("headPlayingLabel"));
    m_headPlayingLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel* label : {m_headFolderLabel, m_headPlayingLabel}) {
        QFont font = label->font();
        font.setPointSizeF(font.pointSizeF() * 1.1);
        label->setFont(font);
        label->setTextFormat(Qt::PlainText);
    }
    m_headFolderLabel->setText(qtTrId("head.no_folder"));
}

void ZLXAppDelegate::createMenus() {
    QMenuBar* bar = m_window->menuBar();
    const auto keys = [](auto... k) { return QList<QKeySequence>{QKeySequence(k)...}; };
    QKeySequence preferences(QKeySequence::Preferences);
    if (preferences.isEmpty())
        preferences = QKeySequence(Qt::CTRL | Qt::Key_Comma);
    addMenuItems(bar->addMenu(qtTrId("menu.file")), this,
                 {{"menu.open_folder", "openMediaDirectoryAction", keys(QKeySequence::Open), [this] { openMediaDirectoryDialog(); }},
                  {"menu.open_library", "openLibraryAction", keys(Qt::CTRL | Qt::Key_L), [this] { openLibrary(); }},
                  {"menu.choose_library", "chooseLibraryAction", {}, [this] { chooseLibraryFolder(); }},
                  {"menu.library", "libraryWindowAction", {}, [this] { showLibraryWindow(); }},
                  {nullptr, nullptr, {}, {}},
                  {"menu.settings", "showSettingPanelAction", {preferences}, [this] { showSettingPanel(); }},
                  {"menu.camera_clock", "showTimeSetupPanelAction", keys(Qt::CTRL | Qt::SHIFT | Qt::Key_T), [this] { showTimeSetupPanel(); }},
                  {"menu.import_card", "importCardAction", keys(Qt::CTRL | Qt::SHIFT | Qt::Key_I), [this] { importCardDialog(); }},
                  {"menu.import_events_at_once", "importEventsAtOnceAction", {}, {}},
                  {nullptr, nullptr, {}, {}},
                  {"menu.save_frame", "captureVideoAction", keys(QKeySequence::Save), [this] { captureVideo(); }},
                  {"menu.print_frame", "printAction", keys(QKeySequence::Print), [this] { print(); }},
                  {nullptr, nullptr, {}, {}},
                  {"menu.export_gpx", "exportGpxAction", keys(Qt::CTRL | Qt::Key_E), {}},
                  {"menu.export_kml", "exportKmlAction", keys(Qt::CTRL | Qt::SHIFT | Qt::Key_E), {}},
                  {"menu.export_csv", "exportCsvAction", {}, {}},
                  {"menu.export_clip", "exportClipAction", keys(Qt::CTRL | Qt::SHIFT | Qt::Key_X), {}},
                  {"menu.incident_report", "incidentReportAction", keys(Qt::CTRL | Qt::SHIFT | Qt::Key_R), {}},
                  {nullptr, nullptr, {}, {}},
                  {"menu.close_window", "closeWindowAction", keys(QKeySequence::Close), [this] { closeWindow(); }},
                  {"menu.quit", "quitAction", keys(QKeySequence::Quit), &QApplication::closeAllWindows}});
    action(QStringLiteral("showSettingPanelAction"))->setMenuRole(QAction::PreferencesRole);
    // a setting: a card's event recordings imported as soon as it goes in
    QAction* eventsAtOnce = action(QStringLiteral("importEventsAtOnceAction"));
    eventsAtOnce->setCheckable(true);
    eventsAtOnce->setChecked(QSettings().value(QStringLiteral("library/importEventsAtOnce")).toBool());
    connect(eventsAtOnce, &QAction::toggled, this,
            [](bool on) { QSettings().setValue(QStringLiteral("library/importEventsAtOnce"), on); });
    action(QStringLiteral("quitAction"))->setMenuRole(QAction::QuitRole);

    QMenu* view = bar->addMenu(qtTrId("menu.view"));
    view->setObjectName(QStringLiteral("viewMenu"));
    QMenu* playback = bar->addMenu(qtTrId("menu.playback"));
    addMenuItems(playback, this,
                 {{"menu.play_pause", "playPauseAction", keys(Qt::Key_Space), [this] { clickPlayButton(); }},
                  {"menu.jump_forward", "jumpForwardAction", keys(Qt::Key_Right), [this] { jumpForward(); }},
                  {"menu.jump_backward", "jumpBackwardAction", keys(Qt::Key_Left), [this] { jumpBackward(); }},
                  {"menu.volume_up", "volumeUpAction", keys(Qt::Key_Up), [this] { volumeUp(); }},
                  {"menu.volume_down", "volumeDownAction", keys(Qt::Key_Down), [this] { volumeDown(); }},
                  {"menu.faster", "increaseSpeedAction", keys(Qt::Key_BracketRight), [this] { increaseSpeed(); }},
                  {"menu.slower", "decreaseSpeedAction", keys(Qt::Key_BracketLeft), [this] { decreaseSpeed(); }},
                  {"menu.swap", "swapPlayerAction", keys(Qt::Key_S), [this] { swapPlayer(); }},
                  {"menu.next_frame", "nextFrameAction", keys(Qt::Key_Period), [this] { nextFrame(); }},
                  {"menu.previous_frame", "previousFrameAction", keys(Qt::Key_Comma), [this] { previousFrame(); }},
                  {"menu.audio_choice", "toggleAudioChoiceAction", keys(Qt::Key_A),
                   [this] {
                       if (m_ui->audioToggleButton->isVisible()) {
                           m_ui->audioToggleButton->toggle();
                           toggleAudioChoice();
                       }
                   }},
                  {nullptr, nullptr, {}, {}},
                  {"menu.mark_in", "markClipInAction", keys(Qt::Key_I), {}},
                  {"menu.mark_out", "markClipOutAction", keys(Qt::Key_O), {}}});
    addMenuItems(view, this,
                 {{"menu.recordings", "mediaListViewAction", keys(Qt::CTRL | Qt::Key_1), [this] { clickMediaListViewButton(); }},
                  {"menu.map", "mapViewAction", keys(Qt::CTRL | Qt::Key_2), [this] { clickMapViewButton(); }},
                  {"menu.trips", "tripViewAction", keys(Qt::CTRL | Qt::Key_3), [this] { clickTripViewButton(); }},
                  {"menu.trip_gap", "tripGapAction", {}, {}},
                  {"menu.trip_gps_times", "tripGpsTimesAction", {}, {}},
                  {nullptr, nullptr, {}, {}},
                  {"menu.full_screen", "toggleFullScreenAction", keys(Qt::Key_F), [this] { toggleFullScreen(); }},
                  {"menu.size_up", "sizeUpAction", keys(Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::Key_Equal), [this] { sizeUp(); }},
                  {"menu.size_down", "sizeDownAction", keys(Qt::CTRL | Qt::Key_Minus), [this] { sizeDown(); }},
                  {"menu.zoom_reset", "resetZoomAction", keys(Qt::Key_0), [this] { resetZoom(); }}});
}

QAction* ZLXAppDelegate::action(const QString& name) const {
    return m_window->menuBar()->findChild<QAction*>(name);
}

void ZLXAppDelegate::initMediaListTableView() {
    m_tableModel = new ZLXMediaTableModel(m_mediaList, this);
    QTableView* table = m_ui->mediaListTableView;
    table->setModel(m_tableModel);
    QHeaderView* header = table->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setFont(m_tableModel->cellFont());
    // Titles, alignment, tags and the cell font come from the model; the user may resize every
    // column, and fitTableColumns sizes them to what they show.
    header->setSectionResizeMode(QHeaderView::Interactive);
    table->verticalHeader()->setDefaultSectionSize(20);
    table->setIconSize(QSize(32, 16));
    // whole file names: the table scrolls sideways rather than cut a name
    table->setTextElideMode(Qt::ElideNone);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->viewport()->installEventFilter(this);
    fitTableColumns();
}

void ZLXAppDelegate::fitTableColumns(bool measure) {
    // Each column as wide as its title and texts (measured when the list changes, not at every
    // resize); the file name's column takes what room is left, and a name still too long is
    // scrolled to, its path in its tooltip.
    QTableView* table = m_ui->mediaListTableView;
    QHeaderView* header = table->horizontalHeader();
    const int last = m_tableModel->columnCount() - 1;
    if (measure) {
        const QFontMetrics titles(header->font());
        for (int i = 0; i <= last; ++i) {
            const int title = titles.horizontalAdvance(m_tableModel->columnNames().at(i)) + 12;
            // the mode's picture alone needs no room for the text margins
            const int cells = i == 0 ? table->iconSize().width() + 8
                                     : static_cast<QAbstractItemView*>(table)->sizeHintForColumn(i);
            m_columnWidths[size_t(i)] = std::max(cells, title);
        }
    }
    int used = 0;
    for (int i = 0; i < last; ++i) {
        header->resizeSection(i, m_columnWidths[size_t(i)]);
        used += m_columnWidths[size_t(i)];
    }
    header->resizeSection(last, std::max(m_columnWidths[size_t(last)], table->viewport()->width() - used));
}

// The head strip and the table --------------------------------------------------------------

QString ZLXAppDelegate::headFolderText() const {
    const auto folder = m_mediaList.directoryPath();
    if (!folder)
        return qtTrId("head.no_folder");
    QString name = QFile::decodeName(QByteArray::fromStdString(*folder)).section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
    if (name.isEmpty())
        name = QStringLiteral("/");
    // a folder without recordings says what the camera's names look like
    return QStringLiteral("%1  —  %2").arg(name, m_mediaList.count() == 0 ? qtTrId("head.no_recordings")
                                                                         : qtTrId("head.recordings", int(m_mediaList.count())));
}

QString ZLXAppDelegate::headPlayingText() const {
    const ZLXMediaList::MediaPtr media = m_playback->playingMedia();
    if (!media)
        return {};
    const QString channel = m_playback->player1()->isRearMedia() ? qtTrId("head.rear") : qtTrId("head.front");
    return QStringLiteral("%1  %2  ·  %3  ·  %4")
        .arg(QString::fromStdString(mediaDateText(*media)), QString::fromStdString(mediaTimeText(*media)),
             qtTrId(mediaModeKey(*media)), channel);
}

QString ZLXAppDelegate::timeText() const {
    return m_timeLabel->text();
}

void ZLXAppDelegate::updateHeadStrip() {
    m_headFolderLabel->setText(headFolderText());
    m_headPlayingLabel->setText(headPlayingText());
}

void ZLXAppDelegate::selectPlayingRow() {
    const int64_t index = m_playback->mediaIndex();
    if (index < 0)
        return;
    // The current index too: a table that gets the focus back keeps this row.
    const QModelIndex row = m_tableModel->index(int(index), 0);
    m_ui->mediaListTableView->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect |
                                                                         QItemSelectionModel::Rows);
    m_ui->mediaListTableView->scrollTo(row);
}

void ZLXAppDelegate::mediaListChanged() {
    // Runs on the interface thread: the list hands its result over through the queue.
    setRightViewMode(0);
    m_tableModel->reload();
    fitTableColumns();
    updateHeadStrip();
    emit mediaListReloaded();
}

// What the playback reports ----------------------------------------------------------------

void ZLXAppDelegate::showRecordingChosen(int64_t) {
    m_ui->player1BackgroundView->setMessage(QString());
    selectPlayingRow();
}

void ZLXAppDelegate::showRecordingLoaded() {
    m_ui->graphView->setGraphData(m_playback->blackBoxData().m_GSensors);
    setSliders(0);
    setVideoScaleIndex(0);
    updateSideViewButton();
    m_ui->gsensorXField->setText(QStringLiteral("X=+0.00"));
    m_ui->gsensorYField->setText(QStringLiteral("Y=+0.00"));
    m_ui->gsensorZField->setText(QStringLiteral("Z=+0.00"));
    m_ui->speedField->clear();
    m_ui->hdopField->clear();
    m_ui->sateliteField->clear();
}

void ZLXAppDelegate::showFailure() {
    m_ui->player1BackgroundView->setMessage(qtTrId(m_playback->failureReason().c_str()));
    // the other camera of that moment may be whole: offered, never started unasked
    const auto partner = m_playback->intactPartnerIndex();
    const auto media = partner ? m_mediaList.mediaAtIndex(*partner) : nullptr;
    if (!media)
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, qtTrId("window.title"), qtTrId(m_playback->failureReason().c_str()),
                                QMessageBox::NoButton, m_window.get());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("partnerOffer"));
    box->setInformativeText(qtTrId(media->isRearMedia() ? "player.partner_rear_whole" : "player.partner_front_whole"));
    QPushButton* play = box->addButton(qtTrId(media->isRearMedia() ? "player.play_rear" : "player.play_front"),
                                       QMessageBox::AcceptRole);
    box->addButton(QMessageBox::Close);
    box->setDefaultButton(play);
    box->setWindowModality(Qt::WindowModal);
    const int64_t row = *partner;
    connect(box, &QMessageBox::finished, this, [this, box, play, row] {
        if (box->clickedButton() == play)
            changeAndPlay(int(row));
    });
    box->show();
}

void ZLXAppDelegate::showStopped() {
    m_headPlayingLabel->clear();
    m_zoom = {};
    m_panFrom.reset();
}

void ZLXAppDelegate::setSliders(double position) {
    for (QSlider* slider : {m_ui->videoPositionSlider, m_ui->videoPositionSliderForFullScreen})
        slider->setValue(int(position * kSliderScale));
}

void ZLXAppDelegate::showPosition(double position) {
    if (position >= 1.0)
        setSliders(1);
    else if (!m_ui->videoPositionSlider->isSliderDown() && !m_ui->videoPositionSliderForFullScreen->isSliderDown())
        setSliders(position);
}

void ZLXAppDelegate::showTelemetry(const ZLXTelemetryDisplay& shown, double position) {
    m_ui->graphView->updateTimePosition(position);
    if (shown.x) {
        m_ui->gsensorXField->setText(QString::fromStdString(*shown.x));
        m_ui->gsensorYField->setText(QString::fromStdString(*shown.y));
        m_ui->gsensorZField->setText(QString::fromStdString(*shown.z));
    }
    if (shown.mapScript)
        m_mapWebView->runScript(*shown.mapScript);
    if (shown.speed)
        m_ui->speedField->setText(QString::fromStdString(*shown.speed));
    if (shown.hdop)
        m_ui->hdopField->setText(QString::fromStdString(*shown.hdop));
    if (shown.satellites)
        m_ui->sateliteField->setText(QString::fromStdString(*shown.satellites));
}

void ZLXAppDelegate::showChannels(bool rearLarge, bool frontSmall) {
    const QString large = rearLarge ? QStringLiteral("v1_rear_logo") : QStringLiteral("v1_front_logo");
    const QString small = frontSmall ? QStringLiteral("v2_front_logo") : QStringLiteral("v2_rear_logo");
    m_ui->player1BackgroundView->setLogoImage(namedImage(large), large);
    m_ui->player2BackgroundView->setLogoImage(namedImage(small), small);
    m_video1View->setLogo(namedImage(large));
    m_video2View->setLogo(namedImage(small));
}

void ZLXAppDelegate::showPartner(bool shown) {
    m_video2View->setHidden(!shown);
    m_ui->audioToggleButton->setHidden(!shown);
}

void ZLXAppDelegate::showPictures(bool first, bool second) {
    m_video1View->setVisible(first);
    m_video2View->setVisible(second);
}

void ZLXAppDelegate::showAudio(int direction, uint64_t volume) {
    if (direction == 0 || direction == 1) {
        m_ui->audioToggleButton->setChecked(direction == 1);
        // the button says whose sound is heard
        m_ui->audioToggleButton->setText(qtTrId(direction == 0 ? "audio.front" : "audio.rear"));
    } else if (direction == 2) {
        m_ui->audioToggleButton->hide();
    }
    m_ui->volumeSlider->setValue(int(volume));
}

void ZLXAppDelegate::toggleAudioChoice() {
    m_playback->setAudioMediaDirection(m_ui->audioToggleButton->isChecked() ? 1 : 0);
}

// The loading indicator: centred over the head strip while a recording starts.
void ZLXAppDelegate::showLoading() {
    PMProgressIndicator* indicator = m_ui->progressIndicator;
    indicator->setIndeterminate(true);
    indicator->setDoubleValue(indicator->minValue());
    indicator->move(m_ui->headBox->x() + (m_ui->headBox->width() - indicator->width()) / 2, indicator->y());
    indicator->show();
}

void ZLXAppDelegate::showLoadingProgress(double progress) {
    m_ui->progressIndicator->setDoubleValue(progress);
}

void ZLXAppDelegate::hideLoading() {
    PMProgressIndicator* indicator = m_ui->progressIndicator;
    indicator->setDoubleValue(indicator->minValue());
    indicator->setIndeterminate(false);
    indicator->hide();
}

// Zoom of the large picture -----------------------------------------------------------------

void ZLXAppDelegate::applyZoom(const ZLXZoom& zoom) {
    m_zoom = zoom;
    m_playback->player1()->setZoom(zoom.factor, zoom.panX, zoom.panY);
}

void ZLXAppDelegate::resetZoom() {
    applyZoom({});
}

bool ZLXAppDelegate::zoomEvent(QEvent* event) {
    const ZLXMediaPlayer* player = m_playback->player1();
    if (!player->hasMedia())
        return false;
    // the picture's shown rectangle: the video fitted into the view
    const QSizeF view = m_video1View->size(), video = player->videoSize();
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
        const QPointF at = fraction(wheel->position());
        applyZoom(zoomAbout(m_zoom, m_zoom.factor * std::pow(1.25, wheel->angleDelta().y() / 120.0), at.x(), at.y()));
        return true;
    }
    case QEvent::MouseButtonPress:
        if (m_zoom.factor <= 1 || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        m_panFrom = static_cast<QMouseEvent*>(event)->position();
        return true;
    case QEvent::MouseMove: {
        if (!m_panFrom)
            return false;
        const QPointF now = static_cast<QMouseEvent*>(event)->position();
        const QPointF moved = fraction(now) - fraction(*m_panFrom);
        m_panFrom = now;
        applyZoom(panBy(m_zoom, moved.x(), moved.y()));
        return true;
    }
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

bool ZLXAppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == m_window->centralWidget())
        layoutWindow();
    if (event->type() == QEvent::Resize && watched == m_ui->videoContainerView)
        m_playback->setVideoViewHeight(m_ui->videoContainerView->height());
    if (event->type() == QEvent::Resize && watched == m_ui->mediaListTableView->viewport())
        fitTableColumns(false);
    if (watched == m_video1View && zoomEvent(event))
        return true;
    if (qobject_cast<QAbstractItemView*>(watched) &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        // A focused list (the recordings, the trips) keeps the keys that move in it (Up, Down,
        // Home, End, pages) and Return, which plays the chosen row; Space, Left, Right and the
        // other playback keys act on playback wherever the focus is.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        static const QList<int> listKeys{Qt::Key_Up,     Qt::Key_Down,     Qt::Key_Home,  Qt::Key_End,
                                         Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Return, Qt::Key_Enter};
        if (event->type() == QEvent::ShortcutOverride && plain && listKeys.contains(key->key())) {
            event->accept();
            return true;
        }
        const bool play = plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        if (watched != m_ui->mediaListTableView)
            return QObject::eventFilter(watched, event);
        if (event->type() == QEvent::KeyPress && play && m_ui->mediaListTableView->currentIndex().isValid()) {
            changeAndPlay(m_ui->mediaListTableView->currentIndex().row());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// The window's commands ------------------------------------------------------------------------

void ZLXAppDelegate::applicationDidFinishLaunching(QSettings& settings) {
    forceEnglishLanguage(settings);
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        applyViewerLook(*app);
    const QRect frame = minWindowFrame();
    m_window->setGeometry(frame);
    m_window->show();
    m_window->setInitialFrame(frame);
}

QString ZLXAppDelegate::chooseFolder(const QString& title) {
    if (m_directoryChooser)
        return m_directoryChooser(m_window.get());
    // It starts in the folder that is open, else in the user's home.
    const QString open = QFile::decodeName(QByteArray::fromStdString(m_mediaList.directoryPath().value_or("")));
    return QFileDialog::getExistingDirectory(m_window.get(), title,
                                             open.isEmpty() || !QFileInfo(open).isDir() ? QDir::homePath() : open,
                                             QFileDialog::ShowDirsOnly);
}

void ZLXAppDelegate::openMediaDirectoryDialog() {
    const QString chosen = chooseFolder(qtTrId("dialog.choose_folder"));
    if (chosen.isEmpty())
        return; // cancelled: nothing changes, playback goes on
    openMediaDirectory(chosen);
}

void ZLXAppDelegate::showLibraryWindow() {
    const QString library = ZLXCardImport::libraryFolder();
    if (!QFileInfo(library).isDir()) {
        showAlert(m_window.get(), qtTrId("library.title"), qtTrId("library.none").arg(library));
        return;
    }
    if (QWidget* before = m_window->findChild<QDialog*>(QStringLiteral("libraryWindow")))
        before->close();
    auto* window = new ZLXLibraryWindow(library, m_window.get());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

void ZLXAppDelegate::chooseLibraryFolder() {
    const QString chosen = chooseFolder(qtTrId("library.choose"));
    if (chosen.isEmpty())
        return;
    QSettings().setValue(QStringLiteral("library/folder"), chosen);
}

void ZLXAppDelegate::openLibrary() {
    const QString library = ZLXCardImport::libraryFolder();
    if (!QFileInfo(library).isDir()) {
        showAlert(m_window.get(), qtTrId("import.title"), qtTrId("library.none").arg(library));
        return;
    }
    openMediaDirectory(library);
}

void ZLXAppDelegate::importCardDialog() {
    if (m_import && m_import->isRunning()) {
        showAlert(m_window.get(), qtTrId("import.title"), qtTrId("import.running"));
        return;
    }
    const QString card = chooseFolder(qtTrId("import.choose_card"));
    if (card.isEmpty())
        return;
    if (importRefusal(QFile::encodeName(card).toStdString(),
                      QFile::encodeName(ZLXCardImport::libraryFolder()).toStdString())) {
        showAlert(m_window.get(), qtTrId("import.title"), qtTrId("import.is_library").arg(card));
        return;
    }
    startImport(card);
}

void ZLXAppDelegate::startImport(const QString& card, bool eventsOnly) {
    if (!m_import) {
        m_import = new ZLXCardImport(m_window.get());
        connect(m_import, &ZLXCardImport::finished, this, &ZLXAppDelegate::importFinished);
    }
    if (!m_import->start(card, ZLXCardImport::libraryFolder(), {.eventsOnly = eventsOnly, .since = {}}))
        showAlert(m_window.get(), qtTrId("import.title"), qtTrId("import.running"));
}

void ZLXAppDelegate::searchArea(double south, double west, double north, double east) {
    openPasses(ZLXBox{south, west, north, east}, std::nullopt);
}

void ZLXAppDelegate::searchAround(double latitude, double longitude, double metres) {
    const ZLXCircle circle{latitude, longitude, metres};
    openPasses(boxAround(circle), circle);
}

ZLXPassesWindow* ZLXAppDelegate::passesWindow() const {
    return m_passesWindow;
}

void ZLXAppDelegate::openPasses(const ZLXBox& box, std::optional<ZLXCircle> circle) {
    const QString library = ZLXCardImport::libraryFolder();
    if (!QFileInfo(library).isDir()) {
        showAlert(m_window.get(), qtTrId("passes.title"), qtTrId("library.none").arg(library));
        return;
    }
    if (!m_passesWindow) {
        m_passesWindow = new ZLXPassesWindow(m_window.get());
        m_passesWindow->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_passesWindow, &ZLXPassesWindow::searchRequested, this, &ZLXAppDelegate::runSearch);
        connect(m_passesWindow, &ZLXPassesWindow::passChosen, this,
                [this](const ZLXPass& pass) { playPass(pass, ZLXCardImport::libraryFolder()); });
    }
    m_passesWindow->setArea(box, circle);
    const ZLXPassFilter filter = m_passesWindow->filter();
    runSearch(filter.around ? boxAround(*filter.around) : box, filter);
    m_passesWindow->show();
    m_passesWindow->raise();
}

void ZLXAppDelegate::runSearch(const ZLXBox& box, const ZLXPassFilter& filter) {
    const QString library = ZLXCardImport::libraryFolder();
    auto cache = m_trackCache ? m_trackCache : std::make_shared<ZLXTrackCache>();
    const uint64_t search = ++m_searches;
    auto* watcher = new QFutureWatcher<std::vector<ZLXPass>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, search] {
        std::vector<ZLXPass> passes = watcher->result();
        watcher->deleteLater();
        if (search != m_searches || !m_passesWindow)
            return; // asked again since, or closed
        const int count = int(passes.size());
        m_passesWindow->showPasses(std::move(passes));
        emit passesShown(count);
    });
    watcher->setFuture(QtConcurrent::run([folder = QFile::encodeName(library).toStdString(), cache, box, filter] {
        std::string why;
        const auto places = ZLXPlaceIndex::open(folder, &why);
        if (!places) {
            ZLXLog("no index of places in %s: %s", folder.c_str(), why.c_str());
            return std::vector<ZLXPass>{};
        }
        places->update(*cache); // the files are the truth
        return places->find(box, filter);
    }));
}

void ZLXAppDelegate::playPass(const ZLXPass& pass, const QString& library) {
    const std::string folder = QFile::encodeName(library).toStdString();
    if (m_mediaList.directoryPath() == folder) {
        m_playback->playAt(pass.recording, pass.seconds);
        return;
    }
    // the library first, then the recording from that moment
    connect(this, &ZLXAppDelegate::mediaListReloaded, this,
            [this, path = pass.recording, seconds = pass.seconds] { m_playback->playAt(path, seconds); },
            Qt::SingleShotConnection);
    openMediaDirectory(library);
}

void ZLXAppDelegate::watchCards(const QDBusConnection& bus) {
    delete m_cardWatcher;
    m_cardWatcher = new ZLXCardWatcher(bus, this);
    if (!m_cardWatcher->start())
        ZLXLog("cards going in are not noticed: no UDisks2 bus");
    connect(m_cardWatcher, &ZLXCardWatcher::cardMounted, this, &ZLXAppDelegate::noticeCard);
}

void ZLXAppDelegate::noticeCard(const QString& mountPoint, const QString& label) {
    // the card's walk, against the library, away from the window: a card is slow to read
    auto* watcher = new QFutureWatcher<ZLXCardNews>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, mountPoint, label] {
        watcher->deleteLater();
        tellCard(mountPoint, label, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([card = QFile::encodeName(mountPoint).toStdString(),
                                          library = QFile::encodeName(ZLXCardImport::libraryFolder()).toStdString()] {
        return cardNews(card, library);
    }));
}

void ZLXAppDelegate::tellCard(const QString& mountPoint, const QString& label, const ZLXCardNews& news) {
    if (news.events + news.others == 0)
        return; // nothing the library has not
    QString text = QString::fromStdString(cardNewsText(label.toStdString(), news));
    const bool eventsNow = news.events > 0 && QSettings().value(QStringLiteral("library/importEventsAtOnce")).toBool();
    if (eventsNow)
        text += QLatin1Char('\n') + qtTrId("card.importing_events");
    auto* notice = new QMessageBox(QMessageBox::Information, qtTrId("import.title"), text, QMessageBox::NoButton,
                                   m_window.get());
    notice->setObjectName(QStringLiteral("cardNotice"));
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setWindowModality(Qt::NonModal);
    QPushButton* open = notice->addButton(qtTrId("card.open"), QMessageBox::ActionRole);
    QPushButton* import = notice->addButton(qtTrId("card.import"), QMessageBox::AcceptRole);
    notice->addButton(qtTrId("card.ignore"), QMessageBox::RejectRole);
    notice->setDefaultButton(import);
    connect(notice, &QMessageBox::buttonClicked, this, [this, mountPoint, open, import](QAbstractButton* button) {
        if (button == open)
            openMediaDirectory(mountPoint);
        else if (button == import)
            startImport(mountPoint);
    });
    notice->show();
    if (eventsNow)
        startImport(mountPoint, true);
    emit cardNoticed(text);
}

void ZLXAppDelegate::openMediaDirectory(const QString& directory) {
    openMediaDirectory(QFile::encodeName(directory));
}

void ZLXAppDelegate::openMediaDirectory(const QByteArray& directory) {
    stopPlay();
    m_mediaList.setDirectoryPath(directory.toStdString());
}

void ZLXAppDelegate::clickMediaListViewButton() {
    if (m_rightViewMode != 0) {
        setRightViewMode(0);
        selectPlayingRow(); // the playing row stays chosen and in sight
    }
}

void ZLXAppDelegate::clickMapViewButton() {
    setRightViewMode(1);
}

void ZLXAppDelegate::clickTripViewButton() {
    setRightViewMode(2);
}

void ZLXAppDelegate::setRightViewMode(int mode) {
    const bool changed = m_rightViewMode != mode;
    m_rightViewMode = mode;
    // a list being hidden hands the focus to the window, whose keys then act on playback
    if (changed && m_ui->bodyRightBox->isAncestorOf(QApplication::focusWidget()))
        m_window->centralWidget()->setFocus();
    updateSideViewButton();
    if (changed)
        emit rightViewModeChanged(mode);
}

void ZLXAppDelegate::updateSideViewButton() {
    const bool table = m_rightViewMode == 0, map = m_rightViewMode == 1, trips = m_rightViewMode == 2;
    m_ui->recordButtonImageView->setIcon(namedImage(table ? QStringLiteral("record_p.png") : QStringLiteral("record_n.png")));
    m_ui->informationButtonImageView->setIcon(
        namedImage(map ? QStringLiteral("information_p.png") : QStringLiteral("information_n.png")));
    m_ui->tripButtonImageView->setIcon(namedImage(trips ? QStringLiteral("trip_p.png") : QStringLiteral("trip_n.png")));
    m_ui->mapContainerView->setVisible(map);
    if (map)
        m_mapWebView->start();
    m_mediaListScrollView->setVisible(table);
    if (m_tripListView)
        m_tripListView->setVisible(trips);
    layoutMapContainer();
}

void ZLXAppDelegate::captureVideo() {
    // the frame on screen, playing or paused (a driver steps to the frame with the plate)
    if (m_playback->player1()->hasMedia() && !m_playback->waitingForPlayStart())
        m_capture->save(*m_playback->player1(), m_video1View->size(), m_zoom);
}

void ZLXAppDelegate::print() {
    if (m_playback->player1()->hasMedia())
        m_capture->print(*m_playback->player1());
}

void ZLXAppDelegate::closeWindow() {
    m_window->close();
}

void ZLXAppDelegate::showTimeSetupPanel() {
    auto clock = std::make_unique<ZLXTimeSetupController>();
    ZLXTimeSetupController* window = clock.get();
    const QString folder = QFile::decodeName(QByteArray::fromStdString(m_mediaList.directoryPath().value_or("")));
    window->setMediaFolder(folder);
    m_lastDialogController = std::move(clock); // the one opened before goes
    window->show();
    window->windowDidLoad();
    window->checkClockOf(folder, m_trackCache);
}

void ZLXAppDelegate::showSettingPanel() {
    auto settings = std::make_unique<ZLXSettingController>();
    ZLXSettingController* window = settings.get();
    window->setMediaFolder(QFile::decodeName(QByteArray::fromStdString(m_mediaList.directoryPath().value_or(""))));
    m_lastDialogController = std::move(settings); // the one opened before goes
    window->show();
    window->windowDidLoad();
}

} // namespace daxo
