// SPDX-License-Identifier: GPL-3.0-or-later
// The controller of the main window: the menus, the recording table, the head strip, the
// side view, the zoom of the large picture and the loading indicator. It builds the two
// players and the playback that drives them; its playback commands are calls into that
// playback, and ZLXViewer connects what the playback reports to the window.
#pragma once

#include "app/CustomWindow.h"
#include "app/ZLXFrameCapture.h"
#include "app/playback/ZLXPlayback.h"
#include "presentation/ZLXZoom.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QSettings;

namespace Ui {
class MainMenu;
}

namespace daxo {

class ZLXMapWebView;
class ZLXMediaTableModel;
class ZLXTrackCache;
class ZLXCardImport;
class ZLXCardWatcher;
class ZLXPassesWindow;
class ZLXVideoView;

class ZLXAppDelegate : public QObject {
    Q_OBJECT
    Q_PROPERTY(int rightViewMode READ rightViewMode NOTIFY rightViewModeChanged)
public:
    // Makes the player that draws into a surface; the viewer's are libmpv players, tests may
    // put scripted ones in their place.
    using PlayerFactory = std::function<std::unique_ptr<ZLXMediaPlayer>(ZLXVideoView* view)>;

    ZLXAppDelegate(ZLXMediaList& mediaList, const PlayerFactory& playerFactory, ZLXPlaybackClock& clock,
                   QObject* parent = nullptr);
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

    // Saving and printing the frame of player 1.
    ZLXFrameCapture& frameCapture() const { return *m_capture; }
    void setCaptureChooser(ZLXFrameCapture::Chooser chooser) { m_capture->setChooser(std::move(chooser)); }
    QString captureFilePath() { return m_capture->captureFilePath(); }
    QPrinter* loadPrintInfo() { return m_capture->loadPrintInfo(); }
    void printPanelDidEnd(int returnCode) { m_capture->printPanelDidEnd(returnCode); }

    CustomWindow* window() const { return m_window.get(); }
    const Ui::MainMenu& ui() const { return *m_ui; }
    ZLXMediaList& mediaList() { return m_mediaList; }
    ZLXPlayback* playback() const { return m_playback.get(); }
    ZLXMediaTableModel* mediaTableModel() const { return m_tableModel; }
    int rightViewMode() const { return m_rightViewMode; }
    ZLXVideoView* video1View() const { return m_video1View; }
    ZLXVideoView* video2View() const { return m_video2View; }
    ZLXMapWebView* mapWebView() const { return m_mapWebView; }
    QWidget* lastDialogController() const { return m_lastDialogController.get(); }
    // A menu command by its object name ("exportGpxAction").
    QAction* action(const QString& name) const;
    QString headFolderText() const;
    QString headPlayingText() const;
    QString timeText() const;
    const ZLXZoom& zoom() const { return m_zoom; }

    void setVideoScaleIndex(int step);
    void layoutWindow();
    // The box geometry the window has now (for tests).
    QRect boxFrame(const QString& name) const;
    // The trips' list shares the side panel; their slider under the position slider takes room.
    void setTripListView(QWidget* tripList);
    // The tracks the trips read, shared with the clock window's check against GPS.
    void setTrackCache(std::shared_ptr<ZLXTrackCache> cache) { m_trackCache = std::move(cache); }
    void setTripSliderShown(bool shown);

    // The table shows a newly built list.
    void mediaListChanged();

    // What the playback reports, shown.
    void showRecordingChosen(int64_t index);
    void showRecordingLoaded();
    void showFailure();
    void showStopped();
    void showPosition(double position);
    void showTelemetry(const ZLXTelemetryDisplay& shown, double position);
    void showChannels(bool rearLarge, bool frontSmall);
    void showPartner(bool shown);
    void showPictures(bool first, bool second);
    void showAudio(int direction, uint64_t volume);
    void updateHeadStrip();
    void animateExchange();
    void showLoading();
    void showLoadingProgress(double progress);
    void hideLoading();

public slots:
    bool playAtIndex(int64_t index) { return m_playback->playAtIndex(index); }
    bool playNext() { return m_playback->playNext(); }
    void changeAndPlay(int row) { m_playback->changeAndPlay(row); }
    void clickPlayButton() { m_playback->clickPlayButton(); }
    void swapPlayer() { m_playback->swapPlayer(); }
    void videoPositionSliderMoved(double value) { m_playback->videoPositionSliderMoved(value); }
    void jumpForward() { m_playback->jumpForward(); }
    void jumpBackward() { m_playback->jumpBackward(); }
    // While paused: one frame on or back, both channels together.
    void nextFrame() { m_playback->stepFrame(1); }
    void previousFrame() { m_playback->stepFrame(-1); }
    void volumeSliderMoved(int value) { m_playback->setVolume(uint64_t(std::max(0, value))); }
    void volumeUp() { m_playback->volumeUp(); }
    void volumeDown() { m_playback->volumeDown(); }
    void increaseSpeed() { m_playback->increaseSpeed(); }
    void decreaseSpeed() { m_playback->decreaseSpeed(); }
    void stopPlay() { m_playback->stopPlay(); }
    void toggleAudioChoice();
    void toggleFullScreen();
    // The large picture back to its whole (the wheel over it zooms about the pointer).
    void resetZoom();
    void sizeUp();
    void sizeDown();
    void openMediaDirectoryDialog();
    // The folder chooser (the tests' own when set), starting in the open folder.
    QString chooseFolder(const QString& title);
    void clickMediaListViewButton();
    void clickMapViewButton();
    void clickTripViewButton();
    void closeWindow();
    void showSettingPanel();
    void showTimeSetupPanel();
    // File → Import Card…: a folder chosen, copied into the library in the background.
    void importCardDialog();
    // File → Open Library: the library's recordings, of every card and day, as a card's.
    void openLibrary();
    // File → Library Folder…: where imports go from now on (kept in the settings).
    void chooseLibraryFolder();
    // File → Library…: its days, their sizes, the room left, and Remove Day….
    void showLibraryWindow();
    // Tells of each card mounted (as UDisks2 on `bus` reports) that holds recordings the library
    // has not: Open, Import or Ignore.
    void watchCards(const QDBusConnection& bus);
    void noticeCard(const QString& mountPoint, const QString& label);
    // Every pass of the car through an area (marked on the map) across the library, in a
    // window of its own, newest first; a double-clicked row plays from that moment.
    void searchArea(double south, double west, double north, double east);
    // The same for a circle (a click on the map), its radius changeable in the window.
    void searchAround(double latitude, double longitude, double metres);
    ZLXPassesWindow* passesWindow() const;
    void captureVideo();
    void print();

signals:
    // A frame was saved at `path` (or could not be: `saved` false).
    void frameSaved(const QString& path, bool saved);
    void rightViewModeChanged(int mode);
    // The table shows a newly built list.
    void mediaListReloaded();
    // An import ended; `summary` is what its window said.
    void importFinished(const QString& summary);
    // A card went in with recordings the library has not; `text` is what the window says.
    void cardNoticed(const QString& text);
    // The passes through an area are shown.
    void passesShown(int count);

private:
    void setupControls();
    void setupSliders();
    void setupHeadStrip();
    void initMediaListTableView();
    void fitTableColumns(bool measure = true);
    bool zoomEvent(QEvent* event); // true when the event zoomed or panned
    void applyZoom(const ZLXZoom& zoom);
    void createMenus();
    void setRightViewMode(int mode);
    void updateSideViewButton();
    void layoutMapContainer();
    void layoutBodyBox();
    void selectPlayingRow();
    void setSliders(double position);
    bool eventFilter(QObject* watched, QEvent* event) override;

    ZLXMediaList& m_mediaList;
    std::unique_ptr<CustomWindow> m_window;
    std::unique_ptr<Ui::MainMenu> m_ui;
    std::unique_ptr<ZLXPlayback> m_playback;
    ZLXMediaTableModel* m_tableModel = nullptr;
    DirectoryChooser m_directoryChooser;
    ZLXFrameCapture* m_capture = nullptr;
    // What each column needs, measured when the list changes.
    std::array<int, 4> m_columnWidths{};
    std::shared_ptr<ZLXTrackCache> m_trackCache;
    ZLXCardImport* m_import = nullptr;
    ZLXCardWatcher* m_cardWatcher = nullptr;
    void startImport(const QString& card, bool eventsOnly = false);
    void tellCard(const QString& mountPoint, const QString& label, const struct ZLXCardNews& news);
    void openPasses(const struct ZLXBox& box, std::optional<struct ZLXCircle> circle);
    void runSearch(const struct ZLXBox& box, const struct ZLXPassFilter& filter);
    void playPass(const struct ZLXPass& pass, const QString& library);
    QPointer<ZLXPassesWindow> m_passesWindow;
    uint64_t m_searches = 0; // a search's answer is shown only if no later one was asked
    ZLXZoom m_zoom;
    std::optional<QPointF> m_panFrom; // where a drag over the zoomed picture started
    QLabel* m_headFolderLabel = nullptr;
    QLabel* m_headPlayingLabel = nullptr;
    QLabel* m_timeLabel = nullptr; // the position and length under the video
    QWidget* m_mediaListScrollView = nullptr;
    QWidget* m_tripListView = nullptr;
    bool m_tripSliderShown = false;
    ZLXVideoView* m_video1View = nullptr;
    ZLXVideoView* m_video2View = nullptr;
    ZLXMapWebView* m_mapWebView = nullptr;
    std::unique_ptr<QWidget> m_lastDialogController; // the settings or clock window last opened
    int m_rightViewMode = 0;
};

} // namespace daxo
