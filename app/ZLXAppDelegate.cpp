// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXAppDelegate.h"

#include "ZLXImages.h"
#include "ZLXLanguage.h"
#include "ZLXLog.h"
#include "ZLXLook.h"
#include "ZLXMapWebView.h"
#include "ZLXTripController.h"
#include "ZLXTimeText.h"
#include "ZLXMediaTableModel.h"
#include "ZLXMediaTableText.h"
#include "ZLXSettingController.h"
#include "ZLXTimeSetupController.h"
#include "ZLXWindowLayout.h"
#include "TKPartImages.h"
#include "PMProgressIndicator.h"
#include "GraphView.h"
#include "ZLXMpvMediaPlayer.h"
#include "ZLXPlayerSync.h"
#include "ZLXVideoView.h"
#include "ui_MainMenu.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QProxyStyle>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QSlider>
#include <QTableView>
#include <QTemporaryDir>
#include <QPrinter>
#include <QVBoxLayout>

namespace daxo {

ZLXAppDelegate::ZLXAppDelegate(PlayerFactory playerFactory, QObject* parent)
    : QObject(parent), m_window(std::make_unique<CustomWindow>()),
      m_ui(std::make_unique<Ui::MainMenu>()) {
    m_ui->setupUi(m_window.get());
    if (!playerFactory) {
        playerFactory = [](ZLXVideoView* view) -> std::unique_ptr<ZLXMediaPlayer> {
            return std::make_unique<ZLXMpvMediaPlayer>(view);
        };
    }
    awakeFromNib(playerFactory);
    setupInitialValues();
}

ZLXAppDelegate::~ZLXAppDelegate() {
    // The window's teardown sends events; none may reach a half-destroyed controller.
    if (m_window->centralWidget())
        m_window->centralWidget()->removeEventFilter(this);
    m_ui->mediaListTableView->removeEventFilter(this);
    m_ui->mediaListTableView->viewport()->removeEventFilter(this);
    m_video1View->removeEventFilter(this);
    // The list goes first: a rebuild still running is cancelled before the window it would
    // report to is torn down.
    m_mediaList.reset();
    stopPlay();
    m_sync.reset();
    m_player1.reset();
    m_player2.reset();
}

namespace {

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
ZLXVideoView* addVideoView(QWidget* box) {
    auto* view = new ZLXVideoView(box);
    auto* layout = box->layout() ? box->layout() : new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return view;
}

} // namespace

void ZLXAppDelegate::awakeFromNib(const PlayerFactory& playerFactory) {
    m_video1View = addVideoView(m_ui->player1BackgroundView);
    m_video1View->setObjectName(QStringLiteral("video1View"));
    m_player1 = playerFactory(m_video1View);
    m_video2View = addVideoView(m_ui->player2BackgroundView);
    m_video2View->setObjectName(QStringLiteral("video2View"));
    m_player2 = playerFactory(m_video2View);
    m_sync = std::make_unique<ZLXPlayerSync>(m_player1.get(), m_player2.get());

    // The finished list is handed over on this (the interface) thread; the queued call is
    // dropped if the controller is gone by then.
    m_mediaList = ZLXMediaList::mediaList([this](std::function<void()> install) {
        QMetaObject::invokeMethod(this, std::move(install), Qt::QueuedConnection);
    });
    m_mediaListScrollView = m_ui->mediaListTableView;
    m_playInfo = new ZLXPlayInfo(this);
    m_blackBoxData = std::make_unique<ZLXBlackBoxData>();
    m_ui->mediaControlBoxForFullScreen->hide();
    setLogos(false, false);
    m_window->setWindowIcon(namedImage(QStringLiteral("daxo-viewer")));
    initMediaListTableView();
}

void ZLXAppDelegate::setupInitialValues() {
    m_mediaList->setDelegate(this);
    connect(m_window.get(), &CustomWindow::windowWillClose, this, &ZLXAppDelegate::stopPlay);
    connect(m_ui->recordButtonImageView, &QToolButton::clicked, this,
            &ZLXAppDelegate::clickMediaListViewButton);
    connect(m_ui->informationButtonImageView, &QToolButton::clicked, this,
            &ZLXAppDelegate::clickMapViewButton);
    m_ui->recordButtonImageView->setToolTip(qtTrId("side.recordings"));
    m_ui->informationButtonImageView->setToolTip(qtTrId("side.map"));
    connect(m_ui->tripButtonImageView, &QToolButton::clicked, this, &ZLXAppDelegate::clickTripViewButton);
    m_ui->tripButtonImageView->setToolTip(qtTrId("side.trips"));

    // Box colours: the boxes are see-through, the partner video's box is black.
    QPalette black = m_ui->subVideoBox->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_ui->subVideoBox->setPalette(black);

    // The players report through queued signals, always on this thread.
    for (ZLXMediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        connect(player, &ZLXMediaPlayer::mediaPlayerStateChanged, this, &ZLXAppDelegate::mediaPlayerStateChanged);
        connect(player, &ZLXMediaPlayer::mediaPlayerTimeChanged, this, &ZLXAppDelegate::mediaPlayerTimeChanged);
    }
    connect(&m_playStopTimer, &QTimer::timeout, this, &ZLXAppDelegate::timerPlayNext);

    // The two position sliders show playInfo.position; moving one seeks.
    // Whatever the user does to them (drag, click, wheel, keys) is a seek or a volume; a click
    // on the groove puts the handle there.
    auto* sliderStyle = new ZLXClickToPositionStyle(m_window.get());
    for (QSlider* slider : {m_ui->videoPositionSlider, m_ui->videoPositionSliderForFullScreen}) {
        slider->setRange(0, 1000);
        slider->setEnabled(true);
        slider->setStyle(sliderStyle);
        connect(slider, &QSlider::sliderMoved, this, [this](int value) {
            m_playInfo->setPosition(value / 1000.0);
            videoPositionSliderMoved(value / 1000.0);
        });
        connect(slider, &QAbstractSlider::actionTriggered, this, [this, slider](int action) {
            if (action == QAbstractSlider::SliderNoAction || (action == QAbstractSlider::SliderMove && slider->isSliderDown()))
                return; // a drag reports itself through sliderMoved
            const double value = slider->sliderPosition() / 1000.0;
            m_playInfo->setPosition(value);
            videoPositionSliderMoved(value);
        });
    }
    m_ui->volumeSlider->setRange(0, 200);
    m_ui->volumeSlider->setStyle(sliderStyle);
    connect(m_ui->volumeSlider, &QSlider::valueChanged, this, &ZLXAppDelegate::volumeSliderMoved);
    connect(m_ui->playButton, &QAbstractButton::clicked, this, &ZLXAppDelegate::clickPlayButton);
    connect(m_ui->audioToggleButton, &QToolButton::clicked, this, &ZLXAppDelegate::toggleAudioChoice);
    connect(m_ui->speedTextButton, &QToolButton::clicked, this, [this] {
        m_playInfo->speed() < 2 ? increaseSpeed() : decreaseSpeed();
    });
    connect(m_ui->sizeTextButton, &QToolButton::clicked, this, &ZLXAppDelegate::sizeUp);
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
    m_ui->playButton->setImageName(QStringLiteral("icon_play_n"));
    m_ui->playButton->setFixedSize(28, 28);
    const QPixmap strip = namedImage(QStringLiteral("bottom-background"));
    m_ui->mediaControlBoxForFullScreen->setImagesLeft(strip, strip, strip);
    m_ui->player1BackgroundView->setBackgroundNineImageName(QStringLiteral("v1"));
    m_ui->player2BackgroundView->setBackgroundNineImageName(QStringLiteral("v2"));

    // Reactions to the observed state.
    connect(m_playInfo, &ZLXPlayInfo::speedChanged, this, [this](double speed) {
        m_ui->speedTextButton->setText(QString::asprintf("%.1fx", speed));
    });
    connect(m_playInfo, &ZLXPlayInfo::scaleChanged, this, [this](double scale) {
        m_ui->sizeTextButton->setText(QString::asprintf("%.2fx", scale));
    });
    connect(m_playInfo, &ZLXPlayInfo::isPlayingChanged, this, [this](bool playing) {
        m_ui->playButton->setImageName(playing ? QStringLiteral("icon_pause_n") : QStringLiteral("icon_play_n"));
    });
    connect(m_playInfo, &ZLXPlayInfo::positionChanged, this, &ZLXAppDelegate::playInfoPositionChanged);
    connect(m_playInfo, &ZLXPlayInfo::audioMediaDirectionChanged, this, &ZLXAppDelegate::updateAudioUI);
    connect(m_window.get(), &CustomWindow::isFullScreenChanged, this, &ZLXAppDelegate::layoutWindow);
    m_window->centralWidget()->installEventFilter(this);
    connect(m_ui->mediaListTableView, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { changeAndPlay(index.row()); });
    m_ui->mediaListTableView->installEventFilter(this);
    m_video1View->installEventFilter(this); // the wheel zooms, a drag pans

    m_rightViewMode = 0;
    updateSideViewButton();
    m_volume = 70;
    m_playInfo->setIsPlaying(false);
    m_playInfo->setSpeed(1);
    m_playInfo->setScale(0);
    m_ui->volumeSlider->setValue(int(m_volume));
    m_ui->progressIndicator->hide();

    m_video1View->hide();
    m_video2View->hide();

    m_mapWebView = new ZLXMapWebView(m_ui->mapContainerTopView);
    m_mapWebView->setObjectName(QStringLiteral("mapWebView"));
    m_ui->mapContainerTopView->layout()->addWidget(m_mapWebView);
    m_mapWebView->loadMapPage();
    m_timeLabel = new QLabel(m_ui->mediaButtonRow);
    m_timeLabel->setObjectName(QStringLiteral("timeText"));
    m_timeLabel->setMinimumWidth(m_timeLabel->fontMetrics().horizontalAdvance(QStringLiteral("0:00:00.000 / 0:00:00")) + 8);
    static_cast<QBoxLayout*>(m_ui->mediaButtonRow->layout())->insertWidget(2, m_timeLabel);
    connect(m_playInfo, &ZLXPlayInfo::isPlayingChanged, this, &ZLXAppDelegate::updateTimeText);
    updateTimeText();
    m_trips = new ZLXTripController(*this);
    connect(m_trips, &ZLXTripController::tripSliderShown, this, [this] { layoutWindow(); });
    updateSideViewButton();

    m_window->setWindowTitle(qtTrId("window.title"));
    createMenus();
    createPlaybackMenus();
    // The shortcuts keep working while the menu bar is hidden (full screen).
    for (QAction* menu : m_window->menuBar()->actions())
        m_window->addActions(menu->menu()->actions());
    layoutWindow();
}

void ZLXAppDelegate::createPlaybackMenus() {
    QMenuBar* bar = m_window->menuBar();
    QMenu* playback = bar->addMenu(qtTrId("menu.playback"));
    struct Item {
        const char* key;
        const char* name;
        QKeySequence shortcut;
        void (ZLXAppDelegate::*slot)();
    };
    const Item items[] = {
        {"menu.play_pause", "playPauseAction", QKeySequence(Qt::Key_Space), &ZLXAppDelegate::clickPlayButton},
        {"menu.jump_forward", "jumpForwardAction", QKeySequence(Qt::Key_Right), &ZLXAppDelegate::jumpForward},
        {"menu.jump_backward", "jumpBackwardAction", QKeySequence(Qt::Key_Left), &ZLXAppDelegate::jumpBackward},
        {"menu.volume_up", "volumeUpAction", QKeySequence(Qt::Key_Up), &ZLXAppDelegate::volumeUp},
        {"menu.volume_down", "volumeDownAction", QKeySequence(Qt::Key_Down), &ZLXAppDelegate::volumeDown},
        {"menu.faster", "increaseSpeedAction", QKeySequence(Qt::Key_BracketRight), &ZLXAppDelegate::increaseSpeed},
        {"menu.slower", "decreaseSpeedAction", QKeySequence(Qt::Key_BracketLeft), &ZLXAppDelegate::decreaseSpeed},
        {"menu.swap", "swapPlayerAction", QKeySequence(Qt::Key_S), &ZLXAppDelegate::swapPlayer},
        {"menu.next_frame", "nextFrameAction", QKeySequence(Qt::Key_Period), &ZLXAppDelegate::nextFrame},
        {"menu.previous_frame", "previousFrameAction", QKeySequence(Qt::Key_Comma), &ZLXAppDelegate::previousFrame},
        {"menu.audio_choice", "toggleAudioChoiceAction", QKeySequence(Qt::Key_A), nullptr},
    };
    for (const Item& item : items) {
        QAction* action = playback->addAction(qtTrId(item.key));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcut(item.shortcut);
        if (item.slot) {
            connect(action, &QAction::triggered, this, item.slot);
        } else {
            connect(action, &QAction::triggered, this, [this] {
                if (m_ui->audioToggleButton->isVisible()) {
                    m_ui->audioToggleButton->toggle();
                    toggleAudioChoice();
                }
            });
        }
    }
    playback->addSeparator();
    QAction* markIn = playback->addAction(qtTrId("menu.mark_in"), m_trips, &ZLXTripController::markClipIn);
    markIn->setObjectName(QStringLiteral("markClipInAction"));
    markIn->setShortcut(QKeySequence(Qt::Key_I));
    QAction* markOut = playback->addAction(qtTrId("menu.mark_out"), m_trips, &ZLXTripController::markClipOut);
    markOut->setObjectName(QStringLiteral("markClipOutAction"));
    markOut->setShortcut(QKeySequence(Qt::Key_O));
    QMenu* view = bar->findChild<QMenu*>(QStringLiteral("viewMenu"));
    const Item viewItems[] = {
        {"menu.full_screen", "toggleFullScreenAction", QKeySequence(Qt::Key_F), &ZLXAppDelegate::toggleFullScreen},
        {"menu.size_up", "sizeUpAction", QKeySequence(Qt::CTRL | Qt::Key_Plus), &ZLXAppDelegate::sizeUp},
        {"menu.size_down", "sizeDownAction", QKeySequence(Qt::CTRL | Qt::Key_Minus), &ZLXAppDelegate::sizeDown},
        {"menu.zoom_reset", "resetZoomAction", QKeySequence(Qt::Key_0), &ZLXAppDelegate::resetZoom},
    };
    view->addSeparator();
    for (const Item& item : viewItems) {
        QAction* action = view->addAction(qtTrId(item.key), this, item.slot);
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcut(item.shortcut);
    }
    view->findChild<QAction*>(QStringLiteral("sizeUpAction"))
        ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
}

void ZLXAppDelegate::createMenus() {
    QMenuBar* bar = m_window->menuBar();
    QMenu* file = bar->addMenu(qtTrId("menu.file"));
    QAction* open = file->addAction(qtTrId("menu.open_folder"), this,
                                    &ZLXAppDelegate::openMediaDirectoryDialog);
    open->setObjectName(QStringLiteral("openMediaDirectoryAction"));
    open->setShortcut(QKeySequence::Open);
    file->addSeparator();
    QAction* settings = file->addAction(qtTrId("menu.settings"), this,
                                        &ZLXAppDelegate::showSettingPanel);
    settings->setObjectName(QStringLiteral("showSettingPanelAction"));
    settings->setShortcut(QKeySequence::Preferences);
    if (settings->shortcut().isEmpty())
        settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    QAction* clock = file->addAction(qtTrId("menu.camera_clock"), this, &ZLXAppDelegate::showTimeSetupPanel);
    clock->setObjectName(QStringLiteral("showTimeSetupPanelAction"));
    clock->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    file->addSeparator();
    QAction* saveFrame = file->addAction(qtTrId("menu.save_frame"), this, &ZLXAppDelegate::captureVideo);
    saveFrame->setObjectName(QStringLiteral("captureVideoAction"));
    saveFrame->setShortcut(QKeySequence::Save);
    QAction* printFrame = file->addAction(qtTrId("menu.print_frame"), this, &ZLXAppDelegate::print);
    printFrame->setObjectName(QStringLiteral("printAction"));
    printFrame->setShortcut(QKeySequence::Print);
    file->addSeparator();
    QAction* gpx = file->addAction(qtTrId("menu.export_gpx"), m_trips, &ZLXTripController::exportGpx);
    gpx->setObjectName(QStringLiteral("exportGpxAction"));
    gpx->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    QAction* kml = file->addAction(qtTrId("menu.export_kml"), m_trips, &ZLXTripController::exportKml);
    kml->setObjectName(QStringLiteral("exportKmlAction"));
    kml->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    QAction* csv = file->addAction(qtTrId("menu.export_csv"), m_trips, &ZLXTripController::exportCsv);
    csv->setObjectName(QStringLiteral("exportCsvAction"));
    QAction* clip = file->addAction(qtTrId("menu.export_clip"), m_trips, &ZLXTripController::exportClipWithDialog);
    clip->setObjectName(QStringLiteral("exportClipAction"));
    clip->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    QAction* report = file->addAction(qtTrId("menu.incident_report"), m_trips, &ZLXTripController::incidentReportWithDialog);
    report->setObjectName(QStringLiteral("incidentReportAction"));
    report->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    file->addSeparator();
    QAction* close = file->addAction(qtTrId("menu.close_window"), this,
                                     &ZLXAppDelegate::closeWindow);
    close->setObjectName(QStringLiteral("closeWindowAction"));
    close->setShortcut(QKeySequence::Close);
    QAction* quit = file->addAction(qtTrId("menu.quit"), qApp, &QApplication::closeAllWindows);
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* view = bar->addMenu(qtTrId("menu.view"));
    view->setObjectName(QStringLiteral("viewMenu"));
    QAction* list = view->addAction(qtTrId("menu.recordings"), this,
                                    &ZLXAppDelegate::clickMediaListViewButton);
    list->setObjectName(QStringLiteral("mediaListViewAction"));
    list->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    QAction* map = view->addAction(qtTrId("menu.map"), this, &ZLXAppDelegate::clickMapViewButton);
    map->setObjectName(QStringLiteral("mapViewAction"));
    map->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    QAction* tripView = view->addAction(qtTrId("menu.trips"), this, &ZLXAppDelegate::clickTripViewButton);
    tripView->setObjectName(QStringLiteral("tripViewAction"));
    tripView->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_3));
    QAction* gap = view->addAction(qtTrId("menu.trip_gap"), m_trips, &ZLXTripController::chooseGap);
    gap->setObjectName(QStringLiteral("tripGapAction"));
}

void ZLXAppDelegate::initMediaListTableView() {
    m_tableModel = new ZLXMediaTableModel(*m_mediaList, this);
    QTableView* table = m_ui->mediaListTableView;
    table->setModel(m_tableModel);
    QHeaderView* header = table->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setFont(m_tableModel->cellFont());
    for (int i = 0; i < m_tableModel->columnCount(); ++i)
        updateTableColumnWithIndex(i);
    table->verticalHeader()->setDefaultSectionSize(20);
    table->setIconSize(QSize(32, 16));
    // whole file names: the table scrolls sideways rather than cut a name
    table->setTextElideMode(Qt::ElideNone);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->viewport()->installEventFilter(this);
    fitTableColumns();
}

void ZLXAppDelegate::updateTableColumnWithIndex(int index) {
    // Titles, alignment, tags and the cell font come from the model; the user may resize
    // every column, and fitTableColumns sizes them to what they show.
    m_ui->mediaListTableView->horizontalHeader()->setSectionResizeMode(index, QHeaderView::Interactive);
}

QString ZLXAppDelegate::headFolderText() const {
    const auto folder = m_mediaList->directoryPath();
    if (!folder)
        return qtTrId("head.no_folder");
    QString name = QFile::decodeName(QByteArray::fromStdString(*folder)).section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
    if (name.isEmpty())
        name = QStringLiteral("/");
    return QStringLiteral("%1  —  %2").arg(name, qtTrId("head.recordings", int(m_mediaList->count())));
}

QString ZLXAppDelegate::timeText() const {
    return m_timeLabel->text();
}

QString ZLXAppDelegate::headPlayingText() const {
    const ZLXMediaList::MediaPtr media = m_mediaIndex >= 0 ? m_mediaList->mediaAtIndex(m_mediaIndex) : nullptr;
    if (!media || !m_player1->hasMedia())
        return {};
    const QString channel = m_player1->isRearMedia() ? qtTrId("head.rear") : qtTrId("head.front");
    return QStringLiteral("%1  %2  ·  %3  ·  %4")
        .arg(QString::fromStdString(mediaDateText(*media)), QString::fromStdString(mediaTimeText(*media)),
             qtTrId(mediaModeKey(*media)), channel);
}

void ZLXAppDelegate::updateHeadStrip() {
    m_headFolderLabel->setText(headFolderText());
    m_headPlayingLabel->setText(headPlayingText());
}

void ZLXAppDelegate::fitTableColumns(bool measure) {
    // Each column as wide as its title and texts (measured when the list changes, not at every
    // resize); the file name's column also takes what room is left, so that a wide window shows
    // long names whole.
    QTableView* table = m_ui->mediaListTableView;
    QHeaderView* header = table->horizontalHeader();
    const int last = m_tableModel->columnCount() - 1;
    int used = 0;
    for (int i = 0; i <= last; ++i) {
        if (measure) {
            table->resizeColumnToContents(i);
            header->resizeSection(i, std::max(header->sectionSize(i), header->sectionSizeHint(i)));
            if (i == last)
                m_nameColumnWidth = header->sectionSize(i);
        }
        if (i < last)
            used += header->sectionSize(i);
    }
    header->resizeSection(last, std::max(m_nameColumnWidth, table->viewport()->width() - used));
}

QRect ZLXAppDelegate::minWindowFrame() const {
    const QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    const QRect visible = screen ? screen->availableGeometry() : QRect(0, 0, 1020, 640);
    const QSize size = minWindowSize();
    return QRect(visible.topLeft() + QPoint((visible.width() - size.width()) / 2,
                                            (visible.height() - size.height()) / 2),
                 size);
}

void ZLXAppDelegate::applicationDidFinishLaunching(QSettings& settings) {
    forceEnglishLanguage(settings);
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        applyViewerLook(*app);
    const QRect frame = minWindowFrame();
    m_window->setGeometry(frame);
    m_window->show();
    m_window->setInitialFrame(frame);
    m_mediaIndex = -1;
}

void ZLXAppDelegate::openMediaDirectoryDialog() {
    QString chosen;
    if (m_directoryChooser) {
        chosen = m_directoryChooser(m_window.get());
    } else {
        // It starts in the folder that is open, else in the user's home.
        const QString open = QFile::decodeName(QByteArray::fromStdString(m_mediaList->directoryPath().value_or("")));
        chosen = QFileDialog::getExistingDirectory(m_window.get(), qtTrId("dialog.choose_folder"),
                                                   open.isEmpty() || !QFileInfo(open).isDir() ? QDir::homePath() : open,
                                                   QFileDialog::ShowDirsOnly);
    }
    if (chosen.isEmpty())
        return; // cancelled: nothing changes, playback goes on
    openMediaDirectory(chosen);
}

void ZLXAppDelegate::openMediaDirectory(const QString& directory) {
    openMediaDirectory(QFile::encodeName(directory));
}

void ZLXAppDelegate::openMediaDirectory(const QByteArray& directory) {
    stopPlay();
    m_mediaList->setDirectoryPath(directory.toStdString());
}

void ZLXAppDelegate::mediaListChanged(ZLXMediaList&) {
    // Runs on the interface thread: the list hands its result over through the queue.
    setRightViewMode(0);
    m_tableModel->reload();
    fitTableColumns();
    updateHeadStrip();
    emit mediaListReloaded();
}

void ZLXAppDelegate::clickMediaListViewButton() {
    if (m_rightViewMode != 0) {
        setRightViewMode(0);
        selectPlayingRow(); // the playing row stays chosen and in sight
    }
}

void ZLXAppDelegate::clickMapViewButton() {
    if (m_rightViewMode != 1)
        setRightViewMode(1);
}

void ZLXAppDelegate::clickTripViewButton() {
    if (m_rightViewMode != 2)
        setRightViewMode(2);
}

void ZLXAppDelegate::setRightViewMode(int mode) {
    const bool changed = m_rightViewMode != mode;
    m_rightViewMode = mode;
    updateSideViewButton();
    if (changed)
        emit rightViewModeChanged(mode);
}

void ZLXAppDelegate::updateSideViewButton() {
    const bool table = m_rightViewMode == 0, map = m_rightViewMode == 1, trips = m_rightViewMode == 2;
    m_ui->recordButtonImageView->setIcon(
        namedImage(table ? QStringLiteral("record_p.png") : QStringLiteral("record_n.png")));
    m_ui->informationButtonImageView->setIcon(
        namedImage(map ? QStringLiteral("information_p.png") : QStringLiteral("information_n.png")));
    m_ui->tripButtonImageView->setIcon(namedImage(trips ? QStringLiteral("trip_p.png") : QStringLiteral("trip_n.png")));
    m_ui->mapContainerView->setVisible(map);
    m_mediaListScrollView->setVisible(table);
    if (m_trips)
        m_trips->tripListView()->setVisible(trips);
    layoutMapContainer();
}

void ZLXAppDelegate::closeWindow() {
    m_window->close();
}

void ZLXAppDelegate::showTimeSetupPanel() {
    auto clock = std::make_unique<ZLXTimeSetupController>();
    ZLXTimeSetupController* window = clock.get();
    m_lastDialogController = std::move(clock); // the one opened before goes
    window->show();
    window->windowDidLoad();
}

void ZLXAppDelegate::showSettingPanel() {
    auto settings = std::make_unique<ZLXSettingController>();
    ZLXSettingController* window = settings.get();
    window->setMediaFolder(QFile::decodeName(QByteArray::fromStdString(m_mediaList->directoryPath().value_or(""))));
    m_lastDialogController = std::move(settings); // the one opened before goes
    window->show();
    window->windowDidLoad();
}

void ZLXAppDelegate::stopPlay() {
    if (m_headPlayingLabel)
        m_headPlayingLabel->clear();
    m_zoom = {};
    m_panFrom.reset();
    if (m_player1)
        m_player1->setZoom(1, 0, 0); // the output keeps its zoom from one file to the next
    ++m_startGeneration; // a start whose telemetry is still being read will not start
    ++m_playGeneration;  // nor do the delayed steps of what played
    m_waitingForPlayStart = false;
    m_swapping = false;
    m_moving = false;
    m_preparingPlayNext = false;
    if (!m_stopVideoLoadingView)
        hideLoading();
    if (m_sync)
        m_sync->cancel();
    for (ZLXMediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        if (!player)
            continue;
        player->pause();
        player->setMedia(std::nullopt);
    }
}

} // namespace daxo
