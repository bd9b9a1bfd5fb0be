// SPDX-License-Identifier: GPL-3.0-or-later
// Drives in the main window: the trip list in the side panel, the trip's slider under the
// recording's, the route and impacts on the map and the G graph, and the route's exports.
#pragma once

#include "redaction/ZLXBoxTracker.h"

#include "app/thumbnails/ZLXSliderPreview.h"
#include "telemetry/ZLXClip.h"
#include "telemetry/ZLXClockCheck.h"
#include "telemetry/ZLXTrip.h"

#include <QObject>
#include <QSlider>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QProgressDialog;
class QSettings;
class QTreeWidget;
class QTreeWidgetItem;

namespace daxo {

class ZLXPlayback;
class ZLXMediaList;
class ZLXThumbnailer;
class ZLXThumbnailPreview;
class ZLXThumbnailStrip;

// The trip's slider: where the groups meet, and the impacts in red; a click goes there.
class ZLXTripSlider : public QSlider {
    Q_OBJECT
public:
    explicit ZLXTripSlider(QWidget* parent = nullptr);
    // Positions from 0 to 1 of the trip.
    void setMarks(std::vector<double> boundaries, std::vector<double> impacts);
    // The clip marked, as positions from 0 to 1 of the trip (none: not marked).
    void setClipRange(std::optional<double> in, std::optional<double> out);

signals:
    void seekRequested(double fraction);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::vector<double> m_boundaries, m_impacts;
    std::optional<double> m_in, m_out;
};

class ZLXClipExport;

class ZLXTripController : public QObject {
    Q_OBJECT
public:
    enum class Format { Gpx, Kml, Csv };
    // Asks where an export goes, proposing `suggested`; empty when cancelled. Tests put a
    // chooser of their own in place of the dialog.
    using ExportChooser = std::function<QString(QWidget* parent, const QString& suggested)>;

    // The list and the progress go into `panelParent`, the slider into `sliderBox`'s layout
    // (second from the top); dialogs open over `window`.
    ZLXTripController(ZLXPlayback& playback, const ZLXMediaList& mediaList, QWidget* panelParent, QWidget* sliderBox,
                      QWidget* window, QObject* parent = nullptr);
    ~ZLXTripController() override;

    // The side panel's trip view: the list and, while the figures are read, a progress bar.
    QWidget* tripListView() const { return m_panel; }
    QTreeWidget* tripTree() const { return m_tree; }
    // Over the trips of a library: its days, recordings and room (hidden for a card).
    QLabel* librarySummary() const { return m_librarySummary; }
    QProgressBar* progressBar() const { return m_progress; }
    ZLXTripSlider* tripSlider() const { return m_slider; }
    // Pictures of the trip: a strip of them over its slider, and the preview while the pointer
    // rests on the slider.
    void setThumbnails(ZLXThumbnailer& thumbnailer, ZLXThumbnailPreview& preview);
    ZLXThumbnailStrip* thumbnailStrip() const { return m_strip; }
    ZLXSliderPreview* sliderPreview() const { return m_sliderPreview; }
    // What stands at a fraction of the playing trip's slider; none while no trip plays.
    std::optional<ZLXSliderMoment> tripMoment(double fraction) const;
    const std::vector<ZLXDrive>& drives() const { return m_drives; }
    // True until every trip's route and impacts are read.
    bool isLoading() const { return m_loading; }
    // Whether this trip's route and impacts are read (its times and length are there at once).
    bool isComplete(size_t trip) const;
    // Where the tracks read are kept for the next opening; empty: nowhere. Takes effect at the
    // next reload.
    void setIndexPath(std::string path) { m_indexPath = std::move(path); }
    ZLXTrackCache& trackCache() const { return *m_cache; }
    std::shared_ptr<ZLXTrackCache> sharedTrackCache() const { return m_cache; }
    bool isSliderShown() const { return m_sliderShown; }
    std::optional<size_t> activeTrip() const { return m_active; }
    size_t activeGroup() const { return m_activeGroup; }

    // The longest pause inside one trip, in seconds (kept in the settings).
    double gapSeconds() const { return m_gapSeconds; }
    void setGapSeconds(double seconds);

    // Plays the trip from this time of its line: its group, at its position.
    bool playTrip(size_t trip, double seconds);
    // Seeks the trip playing now (a click on its slider or its route).
    void seekActiveTrip(double seconds);
    // The route of the trip playing (else the one chosen in the list) into `path`, written
    // whole or not at all. A message key when it fails.
    std::optional<QString> exportRoute(Format format, const QString& path);
    void setExportChooser(ExportChooser chooser) { m_exportChooser = std::move(chooser); }

    // The clip's start and end on the trip playing, in seconds of its line.
    std::optional<double> clipIn() const { return m_clipIn; }
    std::optional<double> clipOut() const { return m_clipOut; }
    // Exports the marked clip to `path` in the background; false with a message key when it
    // cannot start. `clipFinished` tells the end.
    bool exportClip(const ZLXClipOptions& options, const QString& path, QString* error = nullptr);
    ZLXClipExport* clipExport() const { return m_clip; }
    // The boxes hidden in the marked clip: drawn in the redaction window (from the clip dialog),
    // kept with the marks, followed through the clip before it is exported.
    const ZLXRedactionPlan& redactionPlan() const { return m_redactionPlan; }
    void setRedactionPlan(ZLXRedactionPlan plan);
    // The marked clip's channels, as the redaction reads them; none without a clip.
    std::optional<ZLXClipChannels> clipChannels() const;
    // Opens the redaction window on the marked clip; true when its boxes were taken.
    bool editRedaction(QWidget* parent);
    // Whether the report hides the clip's boxes, answered in tests instead of asked.
    void setReportRedactionAsker(std::function<bool(QWidget*)> asker) { m_reportRedactionAsker = std::move(asker); }
    // What the clip dialog offers, chosen in tests instead of shown.
    using ClipOptionsChooser = std::function<std::optional<ZLXClipOptions>(QWidget* parent)>;
    void setClipOptionsChooser(ClipOptionsChooser chooser) { m_clipOptionsChooser = std::move(chooser); }

public slots:
    void reload();
    // What the playback reports: a recording started, the published position.
    void playerStarted();
    void positionChanged(double position);
    // A click on the route of the trip the map shows, at `seconds` of its line.
    void playRouteAt(double seconds);
    void exportGpx() { exportWithDialog(Format::Gpx); }
    void exportKml() { exportWithDialog(Format::Kml); }
    void exportCsv() { exportWithDialog(Format::Csv); }
    void chooseGap();
    // The trips' times by GPS: less the camera clock's error, where the check finds one.
    void setGpsTimes(bool on);
    void markClipIn();
    void markClipOut();
    void exportClipWithDialog();
    // The incident report of the moment on screen, saved where the user says.
    void incidentReportWithDialog();

signals:
    // The trips are listed with their times and lengths; their figures follow.
    void tripsListed();
    // One trip's route and impacts are read (its item in the list shows them).
    void tripRead(qulonglong trip);
    // The trips and their figures are there (after each reload).
    void tripsLoaded();
    // The slider appeared or went (the window lays its boxes out again).
    void tripSliderShown(bool shown);
    // A report was written: its path and SHA-256.
    void reportSaved(const QString& path, const QString& sha256);
    // An export of a clip ended: `ok` when complete at `path`.
    void clipFinished(bool ok, const QString& path, const QString& message);
    // The impacts of the recording playing, as positions from 0 to 1 of it (for the G graph).
    void impactMarksChanged(std::vector<double> positions);
    // The map's script for the route of the trip playing (or for none).
    void routeChanged(const std::string& script);

private:
    void listed(std::vector<ZLXTrip> trips);
    void driveLoaded(size_t trip, ZLXDrive drive);
    void finishLoading();
    void fillTree();
    void fillItem(QTreeWidgetItem* item, size_t trip);
    void setActive(std::optional<size_t> trip, size_t group);
    void showSlider(bool show);
    void itemActivated(QTreeWidgetItem* item);
    std::optional<size_t> exportTrip() const;
    std::optional<double> activeTripTime() const;
    void updateClipMarks();
    void exportWithDialog(Format format);
    void showClipSaved(QWidget* window, const QString& file);

    ZLXPlayback& m_playback;
    const ZLXMediaList& m_mediaList;
    QWidget* m_window;
    QWidget* m_panel = nullptr;
    QTreeWidget* m_tree = nullptr;
    QProgressBar* m_progress = nullptr;
    ZLXTripSlider* m_slider = nullptr;
    ZLXThumbnailStrip* m_strip = nullptr;
    QLabel* m_librarySummary = nullptr;
    void showLibrarySummary(uint64_t generation);
    ZLXSliderPreview* m_sliderPreview = nullptr;
    ZLXThumbnailer* m_thumbnailer = nullptr;
    // shared with a load under way, which may outlive the controller by one recording
    std::shared_ptr<ZLXTrackCache> m_cache = std::make_shared<ZLXTrackCache>();
    std::vector<ZLXDrive> m_drives;
    bool m_gpsTimes = false;
    std::optional<std::optional<ZLXClockZone>> m_zone; // the open card's, once read
    bool m_loading = false;
    bool m_sliderShown = false;
    uint64_t m_generation = 0;
    std::shared_ptr<std::atomic<uint64_t>> m_current; // the generation a background load is for
    std::shared_ptr<std::atomic<int64_t>> m_wanted;   // the trip the load reads next (-1: in order)
    std::vector<bool> m_complete;                     // per trip: its tracks are read
    std::string m_indexPath;
    double m_gapSeconds = 180;
    std::optional<size_t> m_active;
    size_t m_activeGroup = 0;
    std::optional<size_t> m_routed; // the trip whose route the map shows
    ExportChooser m_exportChooser;
    ClipOptionsChooser m_clipOptionsChooser;
    std::optional<double> m_clipIn, m_clipOut;
    ZLXRedactionPlan m_redactionPlan;
    std::function<bool(QWidget*)> m_reportRedactionAsker;
    std::optional<ZLXRedactionPaths> m_redactionPaths; // of the plan and marks as they are
    std::optional<size_t> m_clipTrip;
    ZLXClipExport* m_clip = nullptr;
    QString m_clipPath;
    QProgressDialog* m_clipProgress = nullptr;
};

} // namespace daxo
