// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXAppDelegate.h"

#include "ZLXImages.h"
#include "ZLXLanguage.h"
#include "ZLXLog.h"
#include "ZLXMapWebView.h"
#include "ZLXMediaTableModel.h"
#include "ZLXSettingController.h"
#include "ZLXVlcMediaPlayer.h"
#include "ui_MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

namespace daxo {

ZLXAppDelegate::ZLXAppDelegate(PlayerFactory playerFactory, QObject* parent)
    : QObject(parent), m_window(std::make_unique<CustomWindow>()),
      m_ui(std::make_unique<Ui::MainMenu>()) {
    m_ui->setupUi(m_window.get());
    if (!playerFactory) {
        playerFactory = [](ZLXVideoView* view) -> std::unique_ptr<ZLXMediaPlayer> {
            return std::make_unique<ZLXVlcMediaPlayer>(view);
        };
    }
    awakeFromNib(playerFactory);
    setupInitialValues();
}

ZLXAppDelegate::~ZLXAppDelegate() {
    // The list goes first: a rebuild still running is cancelled before the window it would
    // report to is torn down.
    m_mediaList.reset();
    stopPlay();
    m_player1.reset();
    m_player2.reset();
}

namespace {

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

    // The finished list is handed over on this (the interface) thread; the queued call is
    // dropped if the controller is gone by then.
    m_mediaList = ZLXMediaList::mediaList([this](std::function<void()> install) {
        QMetaObject::invokeMethod(this, std::move(install), Qt::QueuedConnection);
    });
    m_mediaListScrollView = m_ui->mediaListTableView;
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

    // Box colours: the boxes are see-through, the partner video's box is black.
    QPalette black = m_ui->subVideoBox->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_ui->subVideoBox->setPalette(black);

    m_rightViewMode = 0;
    updateSideViewButton();

    m_video1View->hide();
    m_video2View->hide();

    m_mapWebView = new ZLXMapWebView(m_ui->mapContainerTopView);
    m_mapWebView->setObjectName(QStringLiteral("mapWebView"));
    m_ui->mapContainerTopView->layout()->addWidget(m_mapWebView);
    m_mapWebView->loadMapPage();

    m_window->setWindowTitle(qtTrId("window.title"));
    createMenus();
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
    QAction* list = view->addAction(qtTrId("menu.recordings"), this,
                                    &ZLXAppDelegate::clickMediaListViewButton);
    list->setObjectName(QStringLiteral("mediaListViewAction"));
    list->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    QAction* map = view->addAction(qtTrId("menu.map"), this, &ZLXAppDelegate::clickMapViewButton);
    map->setObjectName(QStringLiteral("mapViewAction"));
    map->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
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
    table->setTextElideMode(Qt::ElideMiddle);
}

void ZLXAppDelegate::updateTableColumnWithIndex(int index) {
    // Titles, alignment, tags and the cell font come from the model; the view sizes the
    // columns: mode, date and time to their contents, the file name takes what is left.
    QHeaderView* header = m_ui->mediaListTableView->horizontalHeader();
    header->setSectionResizeMode(index, index + 1 < m_tableModel->columnCount()
                                            ? QHeaderView::ResizeToContents
                                            : QHeaderView::Stretch);
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
        chosen = QFileDialog::getExistingDirectory(m_window.get(), qtTrId("dialog.choose_folder"),
                                                   QString(), QFileDialog::ShowDirsOnly);
    }
    if (chosen.isEmpty())
        return; // cancelled: nothing changes, playback goes on
    openMediaDirectory(chosen);
}

void ZLXAppDelegate::openMediaDirectory(const QString& directory) {
    stopPlay();
    m_mediaList->setDirectoryPath(QFile::encodeName(directory).toStdString());
}

void ZLXAppDelegate::mediaListChanged(ZLXMediaList&) {
    // Runs on the interface thread: the list hands its result over through the queue.
    setRightViewMode(0);
    m_tableModel->reload();
    emit mediaListReloaded();
}

void ZLXAppDelegate::clickMediaListViewButton() {
    if (m_rightViewMode != 0)
        setRightViewMode(0);
}

void ZLXAppDelegate::clickMapViewButton() {
    if (m_rightViewMode != 1)
        setRightViewMode(1);
}

void ZLXAppDelegate::setRightViewMode(int mode) {
    const bool changed = m_rightViewMode != mode;
    m_rightViewMode = mode;
    updateSideViewButton();
    if (changed)
        emit rightViewModeChanged(mode);
}

void ZLXAppDelegate::updateSideViewButton() {
    const bool table = m_rightViewMode == 0;
    m_ui->recordButtonImageView->setIcon(
        namedImage(table ? QStringLiteral("record_p.png") : QStringLiteral("record_n.png")));
    m_ui->informationButtonImageView->setIcon(namedImage(
        table ? QStringLiteral("information_n.png") : QStringLiteral("information_p.png")));
    m_ui->mapContainerView->setVisible(!table);
    m_mediaListScrollView->setVisible(table);
    layoutMapContainer();
}

void ZLXAppDelegate::layoutMapContainer() {
    if (m_window->isFullScreen())
        return;
    // The box's layout gives whichever of the two is visible the whole of mediaListBox.
    m_ui->mediaListBox->layout()->activate();
    m_ui->mapContainerView->layout()->activate();
}

void ZLXAppDelegate::closeWindow() {
    m_window->close();
}

void ZLXAppDelegate::showSettingPanel() {
    auto settings = std::make_unique<ZLXSettingController>();
    ZLXSettingController* window = settings.get();
    m_lastDialogController = std::move(settings); // the one opened before goes
    window->show();
    window->windowDidLoad();
}

void ZLXAppDelegate::stopPlay() {
    for (ZLXMediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        if (!player)
            continue;
        player->pause();
        player->setMedia(std::nullopt);
    }
}

} // namespace daxo
