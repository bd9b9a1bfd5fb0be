// SPDX-License-Identifier: GPL-3.0-or-later
// The controller of the main window: the recording table, the folder choice, the side view.
#pragma once

#include "CustomWindow.h"
#include "ZLXMediaList.h"
#include "ZLXMediaPlayer.h"
#include "ZLXZoom.h"
#include "ZLXPlayInfo.h"
#include "ZLXBlackBoxData.h"
#include "ZLXTelemetryText.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QPrinter;
class QSettings;
class QTemporaryDir;

namespace Ui {
class MainMenu;
}

namespace daxo {

class ZLXMapWebView;
class ZLXMediaTableModel;
class ZLXPlayerSync;
class ZLXTripController;
class ZLXVideoView;

class ZLXAppDelegate : public QObject, public ZLXMediaListDelegate {
    Q_OBJECT
    Q_PROPERTY(int rightViewMode READ rightViewMode NOTIFY rightViewModeChanged)
public:
    // Makes the player that draws into a surface; the viewer's are libmpv players, tests may
    // put scripted ones in their place.
    using PlayerFactory = std::function<std::unique_ptr<ZLXMediaPlayer>(ZLXVideoView* view)>;

    explicit ZLXAppDelegate(QObject* parent = nullptr) : ZLXAppDelegate(PlayerFactory(), parent) {}
    explicit ZLXAppDelegate(PlayerFactory playerFactory, QObject* parent = nullptr);
    ~ZLXAppDelegate() override;

    // Forces the language preference, shows the window at its launch frame.
    void applicationDidFinishLaunching(QSettings& settings);

    static QSize minWindowSize() { return {1020, 640}; }
    // minWindowSize centred in the visible area of the window's screen.
    QRect minWindowFrame() const;

    // Sets a folder on the media list (what the folder dialog does once a folder is chosen).
    void openMediaDirectory(const QString& directory);
    // The same with the folder's path as the file system's bytes (names need not be UTF-8).
    void openMediaDirectory(const QByteArray& directory);

    // The folder dialog; tests put a chooser of their own in its place. An empty result means
    // the dialog was cancelled.
    using DirectoryChooser = std::function<QString(QWidget* parent)>;
    void setDirectoryChooser(DirectoryChooser chooser) { m_directoryChooser = std::move(chooser); }

    // Where a saved frame goes; tests put a chooser of their own in its place. Empty: cancelled.
    using CaptureChooser = std::function<QString(QWidget* parent)>;
    void setCaptureChooser(CaptureChooser chooser) { m_captureChooser = std::move(chooser); }
    // The snapshot of player 1, in a folder of this program's own that only the user can enter.
    QString captureFilePath();
    QPrinter* loadPrintInfo();
    void printPanelDidEnd(int returnCode);

    CustomWindow* window() const { return m_window.get(); }
    const Ui::MainMenu& ui() const { return *m_ui; }
    ZLXMediaList& mediaList() { return *m_mediaList; }
    ZLXMediaTableModel* mediaTableModel() const { return m_tableModel; }
    int rightViewMode() const { return m_rightViewMode; }
    int64_t mediaIndex() const { return m_mediaIndex; }
    ZLXMediaPlayer* player1() const { return m_player1.get(); }
    ZLXMediaPlayer* player2() const { return m_player2.get(); }
    ZLXVideoView* video1View() const { return m_video1View; }
    ZLXVideoView* video2View() const { return m_video2View; }
    ZLXPlayerSync* playerSync() const { return m_sync.get(); }
    ZLXMapWebView* mapWebView() const { return m_mapWebView; }
    ZLXTripController* trips() const { return m_trips; }
    QWidget* lastDialogController() const { return m_lastDialogController.get(); }
    QString headFolderText() const;
    QString headPlayingText() const;
    QString timeText() const;

    // Playback.
    bool playAtIndex(int64_t index);
    bool playNext();
    static bool isPlaying(const ZLXMediaPlayer* player); // has media, plays, time left
    bool hasAudio(const ZLXMediaPlayer* player) const;
    ZLXPlayInfo* playInfo() const { return m_playInfo; }
    const ZLXBlackBoxData& blackBoxData() const { return *m_blackBoxData; }
    uint64_t volume() const { return m_volume; }
    bool waitingForPlayStart() const { return m_waitingForPlayStart; }
    bool isMoving() const { return m_moving; }
    bool isSwapping() const { return m_swapping; }
    bool preparingPlayNext() const { return m_preparingPlayNext; }
    bool stopVideoLoadingView() const { return m_stopVideoLoadingView; }
    double loadingProgress() const { return m_progress; }
    void setVolume(uint64_t volume);
    void setVideoScaleIndex(int step);
    void layoutWindow();
    // The box geometry the window has now (for tests).
    QRect boxFrame(const QString& name) const;

public slots:
    void changeAndPlay(int row);
    void clickPlayButton();
    void swapPlayer();
    void toggleFullScreen();
    void videoPositionSliderMoved(double value);
    void jumpForward();
    void jumpBackward();
    // While paused: one frame on or back, both channels together.
    void nextFrame() { stepFrame(1); }
    // The large picture back to its whole (the wheel over it zooms about the pointer).
    void resetZoom();
    const ZLXZoom& zoom() const { return m_zoom; }
    void previousFrame() { stepFrame(-1); }
    void volumeSliderMoved(int value);
    void volumeUp();
    void volumeDown();
    void increaseSpeed();
    void decreaseSpeed();
    void sizeUp();
    void sizeDown();
    void toggleAudioChoice();
    void openMediaDirectoryDialog();
    void clickMediaListViewButton();
    void clickMapViewButton();
    void clickTripViewButton();
    void closeWindow();
    void stopPlay();
    void showSettingPanel();
    void showTimeSetupPanel();
    void captureVideo();
    void print();

signals:
    // A frame was saved at `path` (or could not be: `saved` false).
    void frameSaved(const QString& path, bool saved);
    // Playback started (the first state change with the players running).
    void playerStarted();
    // The recording asked for could not be played; the next one can be started.
    void playerFailed();
    void rightViewModeChanged(int mode);
    // The table shows a newly built list.
    void mediaListReloaded();

private:
    void mediaListChanged(ZLXMediaList& list) override;

    void awakeFromNib(const PlayerFactory& playerFactory);
    void setupInitialValues();
    void initMediaListTableView();
    void updateTableColumnWithIndex(int index);
    void fitTableColumns(bool measure = true);
    void stepFrame(int frames);
    bool zoomEvent(QEvent* event); // true when the event zoomed or panned
    void applyZoom(const ZLXZoom& zoom);
    void cropToZoom(const QString& snapshot) const;
    // The head strip: the folder and its recordings on the left, what plays on the right.
    void updateHeadStrip();
    void updateTimeText();
    void createMenus();
    void setRightViewMode(int mode);
    void updateSideViewButton();
    void layoutMapContainer();
    void layoutBodyBox();
    bool eventFilter(QObject* watched, QEvent* event) override;

    void selectPlayingRow();
    void failStart();
    void updateVideoUI();
    void initMediaControlView();
    void didStartPlayer();
    void didFinishPlay();
    void startTimerPlayNext();
    void timerPlayNext();
    void syncVideoPositionDelay(double seconds);
    void chooseAudioAuto();
    void updateAudioUI();
    void updatePlayInfoScale();
    void updateVideoViewVisibility();
    void mediaPlayerStateChanged(ZLXMediaPlayer* player);
    void mediaPlayerTimeChanged(ZLXMediaPlayer* player);
    void playInfoPositionChanged(double position);
    void updateGsensorUIByPlayPositon(const ZLXTelemetryDisplay& shown);
    void updateGpsUIByPlayPosition(const ZLXTelemetryDisplay& shown);
    void setLogos(bool rearLarge, bool frontSmall);
    void showLoading(const QString& text);
    void updateLoadingWindow(double seconds);
    void hideLoading();
    void createPlaybackMenus();

    std::unique_ptr<CustomWindow> m_window;
    std::unique_ptr<Ui::MainMenu> m_ui;
    std::unique_ptr<ZLXMediaList> m_mediaList;
    ZLXMediaTableModel* m_tableModel = nullptr;
    DirectoryChooser m_directoryChooser;
    CaptureChooser m_captureChooser;
    std::unique_ptr<QTemporaryDir> m_captureFolder;
    std::unique_ptr<QPrinter> m_printInfo; // the print settings, kept from one print to the next
    int m_nameColumnWidth = 0; // what the longest file name needs
    ZLXZoom m_zoom;
    std::optional<QPointF> m_panFrom; // where a drag over the zoomed picture started
    QLabel* m_headFolderLabel = nullptr;
    QLabel* m_headPlayingLabel = nullptr;
    QLabel* m_timeLabel = nullptr; // the position and length under the video
    QWidget* m_mediaListScrollView = nullptr;
    ZLXVideoView* m_video1View = nullptr;
    ZLXVideoView* m_video2View = nullptr;
    std::unique_ptr<ZLXMediaPlayer> m_player1;
    std::unique_ptr<ZLXMediaPlayer> m_player2;
    std::unique_ptr<ZLXPlayerSync> m_sync; // keeps player 2 on player 1's frame
    ZLXMapWebView* m_mapWebView = nullptr;
    ZLXTripController* m_trips = nullptr;
    std::unique_ptr<QWidget> m_lastDialogController; // the settings or clock window last opened

    ZLXPlayInfo* m_playInfo = nullptr;
    std::unique_ptr<ZLXBlackBoxData> m_blackBoxData;
    QTimer m_playStopTimer;
    int64_t m_mediaIndex = -1;
    int m_rightViewMode = 0;
    bool m_preparingPlayNext = false;
    double m_progress = 0;
    bool m_stopVideoLoadingView = true;
    bool m_waitingForPlayStart = false;
    bool m_swapping = false;
    bool m_moving = false;
    double m_movingPosition = 0;
    uint64_t m_volume = 70;
    int32_t m_refreshCounter = -1; // every third time notification publishes the position
    uint64_t m_loadingGeneration = 0;
    uint64_t m_startGeneration = 0; // counts starts; a late hand-back of an older one is dropped
    uint64_t m_playGeneration = 0;  // counts starts and stops; delayed steps of an older one are dropped
};

} // namespace daxo
