// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ZLXSettingController.h"

#include "card/ZLXFormatWindowController.h"

#include "config/pages/ZLXSettingPage.h"
#include "config/pages/ZLXSettingForFlashDataViewController.h"

#include "widgets/ZLXAlert.h"
#include "library/ZLXLog.h"
#include "config/ZLXSettingUi.h"
#include "telemetry/ZLXClockCheck.h"
#include "telemetry/ZLXTrackIndex.h"
#include "telemetry/ZLXTrip.h"
#include "card/ZLXVolumes.h"
#include "ui_SettingWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QPushButton>
#include <QtConcurrent>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace daxo {
namespace {

constexpr const char* kLabelKeys[ZLXSettingController::kPageCount] = {
    "setting.video", "setting.basic", "setting.gps",   "setting.aux",
    "setting.park",  "setting.adas",  "setting.audio", "setting.driveinfoview"};
constexpr const char* kTitleKeys[ZLXSettingController::kPageCount] = {
    "setting.video",  "setting.basic", "setting.gps",   "setting.aux",
    "setting.motion", "setting.adas",  "setting.audio", "setting.information"};

QString configPathOn(const TKUSBDiskEntity& volume) {
    return QString::fromStdString(volume.mountedURL()) + QStringLiteral("/config.bin");
}

} // namespace

ZLXSettingController::ZLXSettingController(QWidget* parent, PageFactory pages)
    : QDialog(parent), m_ui(std::make_unique<Ui::SettingWindow>()), m_pageFactory(std::move(pages)) {
    m_ui->setupUi(this);
    setWindowModality(Qt::NonModal);
    setAttribute(Qt::WA_DeleteOnClose, false);
    if (!m_pageFactory) {
        m_pageFactory = [](int index) -> std::unique_ptr<ZLXSettingControllerDelegate> {
            if (auto model = makeSettingPageModel(index))
                return std::make_unique<ZLXSettingPage>(std::move(model));
            return std::make_unique<ZLXSettingForFlashDataViewController>();
        };
    }
    QStringList labels;
    for (const char* key : kLabelKeys)
        labels << qtTrId(key);
    setSegmentLabels(m_ui->functionSegmentedControl, labels);
    m_ui->sdcardFormatButton->setText(qtTrId("setting.sdcardformat"));
    m_ui->resetButton->setText(qtTrId("setting.initialize"));
    m_ui->saveButton->setText(qtTrId("save"));
    m_ui->cancelButton->setText(qtTrId("cancel"));
    connect(m_ui->functionSegmentedControl, &TKSegmentedControl::segmentClicked, this,
            &ZLXSettingController::clickFunctionSegmentedControl);
    connect(m_ui->sdcardFormatButton, &QPushButton::clicked, this, &ZLXSettingController::onFormat);
    connect(m_ui->resetButton, &QPushButton::clicked, this, &ZLXSettingController::onSaveDefaultSetting);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &ZLXSettingController::onSave);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &ZLXSettingController::onCloseCmd);
    m_saveLocationChooser = [](QWidget* parentWindow) {
        // On the Desktop when there is one, else in the user's home.
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        return QFileDialog::getSaveFileName(parentWindow, QStringLiteral("Save Settings"),
                                            QDir(folder).filePath(QStringLiteral("config.bin")));
    };
}

ZLXSettingController::~ZLXSettingController() {
    if (m_targetController && m_targetController->view())
        m_targetController->view()->setParent(nullptr);
    if (m_driveInfoController && m_driveInfoController->view())
        m_driveInfoController->view()->setParent(nullptr);
}

void ZLXSettingController::windowDidLoad() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect visible = screen->availableGeometry();
        move(visible.topLeft() + QPoint((visible.width() - width()) / 2, (visible.height() - height()) / 2));
    }
    onInitDIalog();
    changeViewController(0);
}

void ZLXSettingController::onInitDIalog() {
    InitFileData(&m_FileData);
    loadSettingFile();
}

void ZLXSettingController::findUSBVolume() {
    const auto volumes = mountedVolumes(); // one look at the system for the whole decision
    if (usbVolumeURLs(volumes).isEmpty()) {
        ZLXLog("no removable devices");
        return;
    }
    m_SettingFilePath.reset();
    m_selectedUSBDisk.reset();
    auto card = daxo::findCardDisk(volumes);
    if (!card)
        return;
    const QFileInfo config(configPathOn(*card));
    if (!config.isFile() || config.size() != qint64(kFileDataSize))
        return;
    if (card->volumeName() != "DAXO") {
        QString error;
        if (renameVolume(*card, QStringLiteral("DAXO"), &error)) {
            if (auto renamed = daxo::findCardDisk())
                card = renamed;
        } else {
            ZLXLog("error=%s", qUtf8Printable(error));
        }
    }
    m_SettingFilePath = configPathOn(*card);
    m_selectedUSBDisk = card;
}

void ZLXSettingController::titleWindow() {
    QString title = QStringLiteral("%1[Ver %2]").arg(qtTrId("setting.window_title"), m_strVersion);
    if (m_SettingFilePath)
        title += QStringLiteral(" : ") + *m_SettingFilePath;
    setWindowTitle(title);
}

bool ZLXSettingController::loadSettingFile() {
    findUSBVolume();
    if (!m_SettingFilePath && !m_mediaFolder.isEmpty()) {
        const QFileInfo config(QDir(m_mediaFolder).filePath(QStringLiteral("config.bin")));
        if (config.isFile() && config.size() == qint64(kFileDataSize))
            m_SettingFilePath = config.absoluteFilePath();
    }
    m_strVersion = QCoreApplication::applicationVersion();
    if (!m_SettingFilePath || !QFileInfo::exists(*m_SettingFilePath)) {
        titleWindow();
        return false;
    }
    showLoading(QStringLiteral("Loading..."));
    // The read works on its own copy; the window's record changes only here, on this thread.
    const std::string path = m_SettingFilePath->toStdString();
    const _FILEDATA start = m_FileData;
    auto* watcher = new QFutureWatcher<std::optional<_FILEDATA>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const std::optional<_FILEDATA> loaded = watcher->result();
        watcher->deleteLater();
        hideLoading();
        if (loaded) {
            m_FileData = *loaded;
        } else {
            InitFileData(&m_FileData);
            m_SettingFilePath.reset();
            m_FileData.time_gmt = FindLocalTimeZoneIndex();
        }
        titleWindow();
        if (m_targetController)
            m_targetController->setFileData(&m_FileData); // shown again from what was read
        emit settingFileLoaded(loaded.has_value());
    });
    watcher->setFuture(QtConcurrent::run([path, start]() -> std::optional<_FILEDATA> {
        _FILEDATA record = start;
        if (!LoadFileData(path, &record))
            return std::nullopt;
        return record;
    }));
    return true;
}

void ZLXSettingController::clickFunctionSegmentedControl(int index) {
    changeViewController(index);
}

ZLXSettingControllerDelegate* ZLXSettingController::createDriveInfoController() {
    if (m_driveInfoController)
        return m_driveInfoController.get();
    m_driveInfoController = m_pageFactory(kPageCount - 1);
    if (auto* page = dynamic_cast<ZLXSettingForFlashDataViewController*>(m_driveInfoController.get())) {
        // the card's log, else (without a card) the one in the folder open in the viewer
        const QString relative = QStringLiteral("DrvInfo/daxo_000.drv");
        QString log;
        if (m_selectedUSBDisk)
            log = QDir(QString::fromStdString(m_selectedUSBDisk->mountedURL())).filePath(relative);
        else if (!m_mediaFolder.isEmpty())
            log = QDir(m_mediaFolder).filePath(relative);
        if (!log.isEmpty() && QFileInfo(log).isFile())
            page->setFlashDataFilePath(log);
    }
    return m_driveInfoController.get();
}

void ZLXSettingController::changeViewController(int index) {
    if (index == m_lastSelectedTabIndex || index < 0 || index >= kPageCount)
        return;
    if (m_targetController) {
        if (const auto message = m_targetController->validateUserInput()) {
            m_ui->functionSegmentedControl->setSelectedSegment(m_lastSelectedTabIndex);
            showAlert(this, QStringLiteral("DAXO"), *message);
            return;
        }
        if (!m_targetController->populate())
            return;
        m_targetController->onHide();
        if (QWidget* view = m_targetController->view()) {
            m_ui->targetView->layout()->removeWidget(view);
            view->hide();
            view->setParent(nullptr);
        }
        m_targetController = nullptr;
        m_page.reset();
    }
    ZLXSettingControllerDelegate* page = nullptr;
    if (index == kPageCount - 1) {
        page = createDriveInfoController();
    } else {
        m_page = m_pageFactory(index);
        page = m_page.get();
    }
    m_targetController = page;
    if (index == kGpsPageIndex)
        if (auto* settings = dynamic_cast<ZLXSettingPage*>(page))
            addClockOffer(settings);
    if (QWidget* view = page->view()) {
        view->setWindowTitle(qtTrId(kTitleKeys[index]));
        m_ui->targetView->layout()->addWidget(view);
        view->show();
    }
    page->setMainController(this);
    page->setFileData(&m_FileData);
    fitPage();
    layout()->activate();
    m_lastSelectedTabIndex = index;
    m_ui->functionSegmentedControl->setSelectedSegment(index);
}

void ZLXSettingController::addClockOffer(ZLXSettingPage* page) {
    auto* footer = new QWidget(page);
    footer->setObjectName(QStringLiteral("clockOffer"));
    auto* row = new QHBoxLayout(footer);
    auto* label = new QLabel(footer);
    label->setObjectName(QStringLiteral("clockOfferLabel"));
    label->setWordWrap(true);
    auto* button = new QPushButton(footer);
    button->setObjectName(QStringLiteral("clockOfferButton"));
    button->hide();
    row->addWidget(label, 1);
    row->addWidget(button);
    page->addFooter(footer);
    showClockOffer();
    if (m_clockCheck || m_clockChecking)
        return;
    const QString folder = m_selectedUSBDisk ? QString::fromStdString(m_selectedUSBDisk->mountedURL()) : m_mediaFolder;
    if (folder.isEmpty()) {
        footer->hide();
        return;
    }
    m_clockChecking = true;
    label->setText(qtTrId("time.gps_checking"));
    auto* watcher = new QFutureWatcher<ZLXClockCheck>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        m_clockCheck = std::make_shared<const ZLXClockCheck>(watcher->result());
        watcher->deleteLater();
        m_clockChecking = false;
        showClockOffer();
    });
    watcher->setFuture(QtConcurrent::run([dir = QFile::encodeName(folder).toStdString()] {
        // the index the viewer keeps makes a card seen before quick
        ZLXTrackCache cache(ZLXTrackIndex::open(ZLXTrackIndex::defaultPath()));
        return checkFolderClock(dir, cache);
    }));
}

void ZLXSettingController::showClockOffer() {
    auto* page = dynamic_cast<ZLXSettingPage*>(m_targetController);
    QWidget* footer = page ? page->findChild<QWidget*>(QStringLiteral("clockOffer")) : nullptr;
    if (!footer || !m_clockCheck)
        return;
    const ZLXClockCheck& check = *m_clockCheck;
    footer->findChild<QLabel*>(QStringLiteral("clockOfferLabel"))->setText(QString::fromStdString(clockVerdictText(check)));
    auto* button = footer->findChild<QPushButton*>(QStringLiteral("clockOfferButton"));
    button->disconnect();
    if (check.suggestedSummerTime)
        button->setText(qtTrId(*check.suggestedSummerTime ? "setting.gps.summer_on" : "setting.gps.summer_off"));
    else if (check.suggestedZone)
        button->setText(qtTrId("setting.gps.use_zone").arg(QString::fromStdString(zoneText(*zoneOffsetSeconds(*check.suggestedZone)))));
    button->setVisible(check.suggestedSummerTime || check.suggestedZone);
    connect(button, &QPushButton::clicked, page, [page, button, check] {
        if (check.suggestedSummerTime)
            page->model().state("summerTimeChk").checked = *check.suggestedSummerTime;
        else if (check.suggestedZone)
            page->model().state("timeGmtCombo").selected = *check.suggestedZone;
        page->refresh();
        button->hide();
    });
}

// The window grows (within its screen) until the page shown fits whole: no row is cut.
void ZLXSettingController::fitPage() {
    QWidget* view = m_targetController ? m_targetController->view() : nullptr;
    if (!view)
        return;
    // A page scrolls down, never sideways: the window is made as wide as its widest row needs.
    int extra = 0;
    if (const auto* scroll = view->findChild<QScrollArea*>(); scroll && scroll->widget()) {
        scroll->widget()->ensurePolished();
        extra = scroll->widget()->minimumSizeHint().width() + scroll->verticalScrollBar()->sizeHint().width() -
                scroll->viewport()->width();
    }
    const QSize wanted = size() + QSize(std::max(0, extra), 0);
    const QScreen* screen = this->screen();
    resize(screen ? wanted.boundedTo(screen->availableGeometry().size()) : wanted);
}

std::optional<QString> ZLXSettingController::validateUserInput() {
    return m_targetController ? m_targetController->validateUserInput() : std::nullopt;
}

bool ZLXSettingController::populate() {
    return m_targetController ? m_targetController->populate() : true;
}

void ZLXSettingController::onSave() {
    if (const auto message = validateUserInput()) {
        showAlert(this, QStringLiteral("DAXO"), *message);
        return;
    }
    populate();
    FinalizeFileData(&m_FileData);

    QString path;
    if (m_selectedUSBDisk && QFileInfo::exists(configPathOn(*m_selectedUSBDisk))) {
        path = configPathOn(*m_selectedUSBDisk);
    } else if (m_SettingFilePath && !m_selectedUSBDisk) {
        path = *m_SettingFilePath; // the copy in the open folder it was read from
    } else if (const auto card = daxo::findCardDisk()) {
        path = configPathOn(*card);
    } else {
        path = m_saveLocationChooser ? m_saveLocationChooser(this) : QString();
        if (path.isEmpty())
            return;
    }
    if (SaveFileData(&m_FileData, QFile::encodeName(path).toStdString())) {
        showAlert(this, QStringLiteral("Warn"), qtTrId("msg.write_protected_disk"));
        return;
    }
    showNoticeSheet(this, windowTitle(), qtTrId("msg.saved"), path, [this] { onCloseCmd(); });
}

void ZLXSettingController::onSaveDefaultSetting() {
    InitFileData(&m_FileData);
    if (m_targetController)
        m_targetController->setFileData(&m_FileData);
}

void ZLXSettingController::onFormat() {
    if (m_lastDialogController && m_lastDialogController->isFormatting()) {
        m_lastDialogController->raise();
        m_lastDialogController->activateWindow();
        return; // a format is under way: that window stays
    }
    m_lastDialogController = std::make_unique<ZLXFormatWindowController>(this, m_cardOperations);
    m_lastDialogController->setWindowFlag(Qt::Window);
    m_lastDialogController->show();
    m_lastDialogController->windowDidLoad();
}

void ZLXSettingController::onDiskUtil() {
    for (const char* tool : {"gnome-disks", "kdepartitionmanager"}) {
        if (!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() &&
            QProcess::startDetached(QString::fromLatin1(tool), {}))
            return;
    }
    showAlert(this, QStringLiteral("DAXO"), qtTrId("msg.no_disk_utility"));
}

void ZLXSettingController::onCloseCmd() {
    close();
}

void ZLXSettingController::showLoading(const QString& title) {
    if (!m_loadingSheet) {
        m_loadingSheet = new QDialog(this);
        m_loadingSheet->setObjectName(QStringLiteral("loadingSheet"));
        m_loadingSheet->setWindowModality(Qt::WindowModal);
        auto* layout = new QVBoxLayout(m_loadingSheet);
        auto* label = new QLabel(title, m_loadingSheet);
        label->setObjectName(QStringLiteral("loadingTitle"));
        m_loadingIndicator = new QProgressBar(m_loadingSheet);
        m_loadingIndicator->setRange(0, 100);
        m_loadingIndicator->setTextVisible(false);
        m_loadingIndicator->setMinimumWidth(260);
        layout->addWidget(label);
        layout->addWidget(m_loadingIndicator);
    }
    m_stopLoadingWindow = false;
    m_progress = 0;
    m_loadingIndicator->setValue(0);
    QTimer::singleShot(500, this, [this] { updateLoadingWindow(15); });
    m_loadingSheet->open();
}

void ZLXSettingController::updateLoadingWindow(int steps) {
    if (!m_loadingSheet)
        return;
    m_progress += 100.0 / (2.0 * steps);
    m_loadingIndicator->setValue(int(m_progress));
    if (m_progress >= 100 || m_stopLoadingWindow) {
        m_loadingIndicator->setValue(0);
        m_loadingSheet->done(QDialog::Accepted);
        m_loadingSheet->deleteLater();
        m_loadingSheet = nullptr;
        m_loadingIndicator = nullptr;
        m_stopLoadingWindow = true;
        return;
    }
    QTimer::singleShot(500, this, [this, steps] { updateLoadingWindow(steps); });
}

void ZLXSettingController::hideLoading() {
    m_stopLoadingWindow = true;
}

} // namespace daxo
