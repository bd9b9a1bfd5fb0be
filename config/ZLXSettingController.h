// SPDX-License-Identifier: GPL-3.0-or-later
// The settings window: finds the camera's card, loads its config.bin behind a loading sheet,
// shows one page at a time and saves the record back.
#pragma once

#include "card/TKUSBDiskEntity.h"
#include "config/filedata/ZLXFileData.h"
#include "config/ZLXSettingControllerDelegate.h"

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QTimer;

namespace Ui {
class SettingWindow;
}

namespace daxo {

class ZLXCardOperations;
class ZLXFormatWindowController;

class ZLXSettingController : public QDialog {
    Q_OBJECT
public:
    // Makes the page for a segment; the default makes empty pages until the real ones exist.
    using PageFactory = std::function<std::unique_ptr<ZLXSettingControllerDelegate>(int index)>;
    // Asks where to save when there is no card; empty when cancelled.
    using SaveLocationChooser = std::function<QString(QWidget* parent)>;

    static constexpr int kPageCount = 8;
    static constexpr int kGpsPageIndex = 2;

    explicit ZLXSettingController(QWidget* parent = nullptr, PageFactory pages = {});
    ~ZLXSettingController() override;

    // Centres the window, loads the card's file and shows the first page.
    void windowDidLoad();

    _FILEDATA* filedata() { return &m_FileData; }
    const std::optional<QString>& settingFilePath() const { return m_SettingFilePath; }
    const std::optional<TKUSBDiskEntity>& selectedUSBDisk() const { return m_selectedUSBDisk; }
    int lastSelectedTabIndex() const { return m_lastSelectedTabIndex; }
    ZLXSettingControllerDelegate* targetController() const { return m_targetController; }
    bool isLoading() const { return m_loadingSheet != nullptr; }
    const Ui::SettingWindow& ui() const { return *m_ui; }
    void setSaveLocationChooser(SaveLocationChooser chooser) { m_saveLocationChooser = std::move(chooser); }
    // The folder open in the main window: without a card, a 500-byte config.bin there is the
    // one edited (a card's copy kept on disk, the demo card). Set before windowDidLoad.
    void setMediaFolder(const QString& folder) { m_mediaFolder = folder; }
    // What the format window formats with; the computer's own disks unless set.
    void setCardOperations(std::shared_ptr<ZLXCardOperations> operations) { m_cardOperations = std::move(operations); }
    ZLXFormatWindowController* lastDialogController() const { return m_lastDialogController.get(); }

    // The sheet over the window while a file is read or written.
    void showLoading(const QString& title);
    void hideLoading();

public slots:
    void clickFunctionSegmentedControl(int index);
    void changeViewController(int index);
    void onSave();
    void onSaveDefaultSetting();
    void onFormat();
    void onDiskUtil();
    void onCloseCmd();

signals:
    // The background load has finished and the window shows its result.
    void settingFileLoaded(bool fromCard);

private:
    void onInitDIalog();
    void findUSBVolume();
    bool loadSettingFile();
    std::optional<QString> validateUserInput();
    void fitPage();
    bool populate();
    void titleWindow();
    void updateLoadingWindow(int steps);
    // Below the GPS page: the camera's clock checked against GPS (once a window, in the
    // background) and, when the zone or daylight saving looks wrong, the setting that agrees
    // with the clock, set on the page for the user to save.
    void addClockOffer(class ZLXSettingPage* page);
    void showClockOffer();

    std::unique_ptr<Ui::SettingWindow> m_ui;
    PageFactory m_pageFactory;
    SaveLocationChooser m_saveLocationChooser;
    _FILEDATA m_FileData{};
    std::optional<QString> m_SettingFilePath;
    QString m_mediaFolder;
    std::optional<TKUSBDiskEntity> m_selectedUSBDisk;
    QString m_strVersion;
    int m_lastSelectedTabIndex = -1;
    ZLXSettingControllerDelegate* m_targetController = nullptr;
    std::unique_ptr<ZLXSettingControllerDelegate> m_page;                // pages 0 to 6, made anew
    std::unique_ptr<ZLXSettingControllerDelegate> m_driveInfoController; // page 7, made once
    ZLXSettingControllerDelegate* createDriveInfoController();
    std::shared_ptr<const struct ZLXClockCheck> m_clockCheck;
    bool m_clockChecking = false;

    std::shared_ptr<ZLXCardOperations> m_cardOperations;
    std::unique_ptr<ZLXFormatWindowController> m_lastDialogController; // the format window

    QPointer<QDialog> m_loadingSheet;
    QProgressBar* m_loadingIndicator = nullptr;
    double m_progress = 0;
    bool m_stopLoadingWindow = false;
};

} // namespace daxo
