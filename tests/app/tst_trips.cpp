// SPDX-License-Identifier: GPL-3.0-or-later
// Trips in the viewer, on the demo card with libmpv and the map page: the trip list with its
// event, the route drawn and clicked, the trip's slider, the exports. Under an X server a
// screenshot of the trip panel is kept (DAXO_SCREENSHOT).
#include "../support/Settled.h"
#include "../support/Viewer.h"
#include "../support/MapPage.h"
#include "../support/QtTestMain.h"
#include "telemetry/GraphView.h"
#include "app/ZLXAppDelegate.h"
#include "app/ZLXLanguage.h"
#include "app/map/ZLXMapWebView.h"
#include "app/playback/ZLXPlayerSync.h"
#include "app/ZLXTripController.h"
#include "app/export/ZLXOverlayPainter.h"
#include "app/redaction/ZLXRedactionEditor.h"
#include "app/thumbnails/ZLXThumbnailPreview.h"
#include "app/thumbnails/ZLXThumbnailStrip.h"
#include "app/thumbnails/ZLXThumbnailer.h"
#include "config/filedata/ZLXFileData.h"
#include "app/player/ZLXVideoView.h"
#include "ui_MainMenu.h"

#include <QAction>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QPushButton>
#include <QSignalSpy>
#include <QThreadPool>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QDir>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <QProgressDialog>
#include "app/export/ZLXClipExport.h"
#include <QWebEnginePage>
#include <QWebEngineProfile>

using namespace daxo;

class FolderOpened : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TripsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_card;
    std::unique_ptr<ZLXViewer> m_viewerObject;
    ZLXAppDelegate* m_viewer = nullptr;

    QVariant evaluate(const QString& script) { return test::evaluate(*m_viewer->mapWebView(), script); }
    // With DAXO_SCREENSHOT set (under an X server), the picture of `what` beside it.
    static QString picturePath(const QString& what) {
        QString path = qEnvironmentVariable("DAXO_SCREENSHOT");
        return path.isEmpty() ? QString() : path.replace(QStringLiteral(".png"), QLatin1Char('-') + what + QStringLiteral(".png"));
    }
    void grabWindow(const QString& path) {
        CustomWindow* window = m_viewer->window();
        const QRect frame = window->frameGeometry();
        QVERIFY(window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path));
    }
    QString playingName() const {
        return QString::fromStdString(m_viewer->mediaList().mediaAtIndex(m_viewer->playback()->mediaIndex())->fileName());
    }
    double playingSeconds() const { return double(m_viewer->playback()->player1()->time()) / 1000; }
    // Plays the first trip from `seconds` of its line, pauses, and goes back there exactly: on a
    // busy machine the pause may come late, or while the first seek is still settling.
    void pauseAt(double seconds) {
        QSignalSpy started(m_viewer->playback(), &ZLXPlayback::started);
        const size_t group = m_viewerObject->trips().drives()[0].trip.placeAt(seconds).group;
        const bool playing = m_viewerObject->trips().activeTrip() == std::optional<size_t>(0) &&
                             m_viewerObject->trips().activeGroup() == group; // then it is a seek
        QVERIFY(m_viewerObject->trips().playTrip(0, seconds));
        QVERIFY(playing || started.wait(20000));
        // a pause pressed while the pair is held for the seek would be lost
        const auto settled = [&] { return !m_viewer->playback()->isMoving() && !m_viewer->playback()->playerSync()->isHolding(); };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 5000);
        if (m_viewer->playback()->playInfo()->isPlaying())
            m_viewer->clickPlayButton();
        QTRY_VERIFY_WITH_TIMEOUT(!m_viewer->playback()->playInfo()->isPlaying() && settled(), 5000);
        QVERIFY(m_viewerObject->trips().playTrip(0, seconds)); // the same recording: a seek, still paused
        const double inRecording = m_viewerObject->trips().drives()[0].trip.placeAt(seconds).seconds;
        QTRY_VERIFY_WITH_TIMEOUT(settled() && std::abs(playingSeconds() - inRecording) < 0.1, 10000);
        QVERIFY(!m_viewer->playback()->playInfo()->isPlaying());
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        installStringTable(*qApp, QStringLiteral("en"));
        m_card = m_dir.filePath("card");
        QProcess make;
        make.start(DAXO_DEMO_CARD_TOOL, {m_card});
        QVERIFY(make.waitForFinished(120000) && make.exitCode() == 0);
        m_viewer = test::makeViewer(m_viewerObject);
        QSettings settings;
        m_viewer->applicationDidFinishLaunching(settings);
        QSignalSpy loaded((&m_viewerObject->trips()), &ZLXTripController::tripsLoaded);
        QSignalSpy mapLoaded(m_viewer->mapWebView(), &ZLXMapWebView::mapPageLoaded);
        m_viewer->openMediaDirectory(m_card);
        m_viewer->clickMapViewButton();
        QVERIFY(loaded.wait(60000));
        QVERIFY(m_viewer->mapWebView()->isPageLoaded() || mapLoaded.wait(30000));
    }

    // One morning drive of four groups with its event, and the car park's recording.
    void theTripListShowsTheMorningDriveWithItsEvent() {
        m_viewer->window()->findChild<QAction*>(QStringLiteral("tripViewAction"))->trigger();
        QCOMPARE(m_viewer->rightViewMode(), 2);
        QTreeWidget* tree = m_viewerObject->trips().tripTree();
        QVERIFY(m_viewerObject->trips().tripListView()->isVisible());
        QVERIFY(!m_viewer->ui().mediaListTableView->isVisible());
        QCOMPARE(m_viewerObject->trips().tripListView()->size(), m_viewer->ui().mediaListBox->size());
        QCOMPARE(m_viewer->boxFrame("mediaControlBox").height(), 72); // no trip playing: one slider
        QCOMPARE(tree->topLevelItemCount(), 2); // the drive, the car park
        QTreeWidgetItem* drive = tree->topLevelItem(0);
        QCOMPARE(drive->text(0), QStringLiteral("3 Oct 2024  08:15\u201308:16\n1:20 \u00b7 1.0 km \u00b7 top 80 km/h \u00b7 1 impact"));
        QCOMPARE(drive->childCount(), 1);
        QVERIFY2(drive->child(0)->text(0).startsWith(QStringLiteral("08:16:08  Event 4.3 g")), qPrintable(drive->child(0)->text(0)));
        QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("3 Oct 2024  12:02\u201312:02\n0:20 \u00b7 0.0 km \u00b7 top 0 km/h \u00b7 0 impacts"));

        // by GPS (View → Trip Times by GPS): a card set to +01:00 whose clock kept UTC shows
        // its trips an hour later, marked so; its own clock's times come back when unchecked
        const std::string config = QFile::encodeName(m_card + "/config.bin").toStdString();
        _FILEDATA settings{};
        QVERIFY(LoadFileData(config, &settings));
        const _FILEDATA kept = settings;
        settings.time_gmt = 15;
        QVERIFY(!SaveFileData(&settings, config));
        QAction* gps = m_viewer->window()->findChild<QAction*>(QStringLiteral("tripGpsTimesAction"));
        gps->trigger();
        QVERIFY(drive->text(0).startsWith(QStringLiteral("3 Oct 2024  09:15\u201309:16 GPS\n")));
        QVERIFY(drive->child(0)->text(0).startsWith(QStringLiteral("09:16:08")));
        gps->trigger();
        QVERIFY(drive->text(0).startsWith(QStringLiteral("3 Oct 2024  08:15\u201308:16\n")));
        QVERIFY(!SaveFileData(&kept, config));
    }

    // A click on the event plays its group from 5 s before it; the route is drawn, the map
    // fitted to it, the event marked on it, on the graph and on the trip's slider.
    void theEventPlaysFromFiveSecondsBefore() {
        QTreeWidget* tree = m_viewerObject->trips().tripTree();
        QSignalSpy started(m_viewer->playback(), &ZLXPlayback::started);
        QTreeWidgetItem* event = tree->topLevelItem(0)->child(0);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(event).center());
        QVERIFY(started.wait(20000));
        QCOMPARE(playingName(), QStringLiteral("event_20241003_081600_F.MP4"));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(playingSeconds() - 3.4) < 0.6, 10000);
        QCOMPARE(m_viewerObject->trips().activeTrip(), std::optional<size_t>(0));
        QVERIFY(m_viewerObject->trips().tripSlider()->isVisible());
        // the controls grow by the trip's slider and its strip of pictures, the video gives the room
        QVERIFY(m_viewerObject->trips().thumbnailStrip()->isVisible());
        QCOMPARE(m_viewer->boxFrame("mediaControlBox").height(), 130);
        QCOMPARE(m_viewer->boxFrame("gsensorBox").bottom() + 4 + 130, m_viewer->boxFrame("mediaControlBox").bottom());
        QCOMPARE(m_viewer->ui().graphView->impactMarks().size(), size_t(1));
        QVERIFY(std::abs(m_viewer->ui().graphView->impactMarks()[0] - 0.42) < 0.01);
        // the slider: past the three recordings before it (60 s of 80) and 3 s into the event's
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(m_viewerObject->trips().tripSlider()->value() - 8000) < 300, 5000);

        QTRY_VERIFY_WITH_TIMEOUT(evaluate("routeInfo().marks").toInt() == 1, 10000);
        QVERIFY(evaluate("routeInfo().points").toInt() > 70); // a point per fix over 80 s
        QCOMPARE(evaluate("routeInfo().lines").toInt(), 1);
        // fitted: the whole route in view
        // fitted to the whole route once the map is in sight
        m_viewer->clickMapViewButton();
        QTRY_VERIFY_WITH_TIMEOUT(evaluate("routeInfo().inView").toBool(), 5000);
        QVERIFY(evaluate("routeInfo().clearOfControls").toBool()); // not under the scale and legend
        QVERIFY(evaluate("document.querySelector('.legend') !== null").toBool());
    }

    // A click on the route goes to the moment the car was there, in another group.
    void clickingTheRouteSeeksThere() {
        // the first fix after the drive started: the first group, near its start
        QSignalSpy started(m_viewer->playback(), &ZLXPlayback::started);
        evaluate("clickRouteAt(37.566305, 126.977897)");
        QVERIFY(started.wait(20000));
        QCOMPARE(playingName(), QStringLiteral("alwa_20241003_081500_F.MP4"));
        QVERIFY(playingSeconds() < 2);
        // the event's mark: back to 5 s before it
        started.clear();
        evaluate("clickMark(0)");
        QVERIFY(started.wait(20000));
        QCOMPARE(playingName(), QStringLiteral("event_20241003_081600_F.MP4"));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(playingSeconds() - 3.4) < 0.6, 10000);
        // the trip's slider: a click at a quarter of it is 20 s in, the second group's start
        started.clear();
        emit m_viewerObject->trips().tripSlider()->seekRequested(0.3); // 24 s: 4 s into the second
        QVERIFY(started.wait(20000));
        QCOMPARE(playingName(), QStringLiteral("alwa_20241003_081520_F.MP4"));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(playingSeconds() - 4) < 0.6, 10000);

        if (const QString shot = qEnvironmentVariable("DAXO_SCREENSHOT"); !shot.isEmpty()) {
            m_viewer->clickTripViewButton();
            CustomWindow* window = m_viewer->window();
            QVERIFY(test::waitSettled(window, [&] { return m_viewerObject->trips().tripListView()->isVisible(); }));
            const QRect frame = window->frameGeometry();
            QVERIFY(window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(shot));
            m_viewer->clickMapViewButton();
            QVERIFY(test::waitSettled(window, [&] { return evaluate("routeInfo().inView").toBool(); }));
            QString mapShot = shot;
            mapShot.replace(QStringLiteral(".png"), QStringLiteral("-map.png"));
            QVERIFY(window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(mapShot));
            // larger, and in full screen (the video and its strip only), with the trip playing
            window->move(0, 0); // the whole of it on the screen
            window->resize(1260, 780);
            QVERIFY(test::waitSettled(window, [&] { return window->size() == QSize(1260, 780); }));
            grabWindow(picturePath(QStringLiteral("resized")));
            m_viewer->toggleFullScreen();
            QVERIFY(test::waitSettled(window, [&] { return window->isFullScreen(); }));
            grabWindow(picturePath(QStringLiteral("fullscreen")));
            m_viewer->toggleFullScreen();
            QVERIFY(test::waitSettled(window, [&] { return !window->isFullScreen(); }));
        }
    }

    // The pointer resting on the trip's slider previews both channels of that moment without
    // moving playback; the pictures are made once, then found; the strip shows the trip.
    void hoveringTheTripSliderPreviewsBothChannels() {
        ZLXTripSlider* slider = m_viewerObject->trips().tripSlider();
        ZLXThumbnailer& thumbnailer = m_viewerObject->thumbnailer();
        ZLXThumbnailPreview& preview = m_viewerObject->thumbnailPreview();
        pauseAt(24); // 4 s into the second recording: the preview must not move it
        const QString playing = playingName();
        const double position = playingSeconds();
        // 0.6 of 80 s: 8 s into the third recording (08:15:40)
        const auto [left, right] = ZLXSliderPreview::handleRun(slider);
        const int x = left + int(std::lround(0.6 * (slider->width() - left - right)));
        QTest::mouseMove(slider, QPoint(x, slider->height() / 2));
        QTRY_VERIFY_WITH_TIMEOUT(preview.isVisible(), 5000);
        const int at = int(ZLXSliderPreview::fractionAt(slider, x) * 80); // the trip starts at 08:15:00
        QVERIFY(at >= 47 && at <= 48);
        QCOMPARE(preview.timeText(), QStringLiteral("2024-10-03 08:15:%1").arg(at));
        QTRY_VERIFY_WITH_TIMEOUT(!preview.front().isNull() && preview.rear() && !preview.rear()->isNull(), 20000);
        QCOMPARE(preview.front().width(), kThumbnailWidth);
        QVERIFY(preview.front() != ZLXThumbnailer::unreadable());
        QCOMPARE(playingName(), playing); // playback did not move
        QCOMPARE(playingSeconds(), position);
        if (const QString path = picturePath(QStringLiteral("preview")); !path.isEmpty()) {
            QVERIFY(test::waitSettled(m_viewer->window(), {}, true));
            grabWindow(path);
        }
        // away and back: both pictures found, nothing decoded again
        QTRY_VERIFY_WITH_TIMEOUT(!thumbnailer.isBusy(), 20000);
        const int decodes = thumbnailer.decodes();
        m_viewerObject->trips().sliderPreview()->hide();
        m_viewerObject->trips().sliderPreview()->hoverAt(x);
        QVERIFY(!preview.front().isNull() && preview.rear() && !preview.rear()->isNull());
        QCOMPARE(thumbnailer.decodes(), decodes);
        m_viewerObject->trips().sliderPreview()->hide();
        QVERIFY(!preview.isVisible());
        // the strip: a picture per tile, once made
        ZLXThumbnailStrip* strip = m_viewerObject->trips().thumbnailStrip();
        QVERIFY(strip->tileCount() >= 4);
        QTRY_VERIFY_WITH_TIMEOUT(!thumbnailer.isBusy() && !strip->grab().isNull(), 30000);
        for (int tile = 0; tile < strip->tileCount(); ++tile) {
            const auto moment = m_viewerObject->trips().tripMoment(strip->tileFraction(tile));
            QVERIFY(moment);
            QTRY_VERIFY_WITH_TIMEOUT(!thumbnailer.thumbnail(moment->front, moment->seconds).isNull(), 20000);
        }
    }

    // The exports write the trip playing, the same text daxo-telemetry writes; a folder that
    // cannot be written is told and leaves nothing behind.
    void theTripExportsAsGpxKmlAndCsv() {
        QString suggested;
        m_viewerObject->trips().setExportChooser([&](QWidget*, const QString& proposal) {
            suggested = proposal;
            return m_dir.filePath("drive.gpx");
        });
        m_viewer->window()->findChild<QAction*>(QStringLiteral("exportGpxAction"))->trigger();
        QVERIFY2(suggested.endsWith(QStringLiteral("/trip_20241003_081500.gpx")), qPrintable(suggested));
        QFile gpx(m_dir.filePath("drive.gpx"));
        QVERIFY(gpx.open(QIODevice::ReadOnly));
        const QByteArray written = gpx.readAll();
        QProcess cli;
        cli.start(DAXO_TELEMETRY_TOOL, {"--gpx", "--trip", "1", m_card});
        QVERIFY(cli.waitForFinished(60000) && cli.exitCode() == 0);
        const QByteArray fromTool = cli.readAllStandardOutput();
        QCOMPARE(written.count("<trkpt "), fromTool.count("<trkpt "));
        QVERIFY(written.contains("<name>Event 4.3 g</name>"));

        QCOMPARE(m_viewerObject->trips().exportRoute(ZLXTripController::Format::Kml, m_dir.filePath("drive.kml")),
                 std::optional<QString>());
        QCOMPARE(m_viewerObject->trips().exportRoute(ZLXTripController::Format::Csv, m_dir.filePath("drive.csv")),
                 std::optional<QString>());
        QFile csv(m_dir.filePath("drive.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().count('\n'), 401); // a header and 4 × 100 records
        QCOMPARE(m_viewerObject->trips().exportRoute(ZLXTripController::Format::Gpx, m_dir.filePath("none/drive.gpx")),
                 std::optional<QString>(QStringLiteral("msg.export_failed")));
        QVERIFY(!QFile::exists(m_dir.filePath("none")));
    }

    // Marked across two recordings from the menus, the clip has both channels side by side and
    // the marked length to a frame; a cancelled export leaves no file.
    void aClipAcrossTwoRecordingsHasBothChannels() {
        pauseAt(14.0); // 14 s into the first recording, paused to mark exactly
        // paused, the time text has milliseconds; a frame on is 40 ms later (25 frames a second)
        const QRegularExpression paused(QStringLiteral("^00:1\\d\\.(\\d{3}) / 00:20$"));
        QTRY_VERIFY2_WITH_TIMEOUT(paused.match(m_viewer->timeText()).hasMatch(), qPrintable(m_viewer->timeText()), 5000);
        const QString before = m_viewer->timeText();
        m_viewer->nextFrame();
        QTRY_VERIFY_WITH_TIMEOUT(m_viewer->timeText() != before, 5000);
        const auto ms = [](const QString& text) { return text.mid(0, 2).toInt() * 60000 + text.mid(3, 2).toInt() * 1000 + text.mid(6, 3).toInt(); };
        QVERIFY2(std::abs(ms(m_viewer->timeText()) - ms(before) - 40) <= 1, qPrintable(before + " -> " + m_viewer->timeText()));
        if (const QString zoomed = picturePath(QStringLiteral("zoom")); !zoomed.isEmpty()) {
            m_viewer->clickMediaListViewButton();
            const QImage unzoomed = m_viewer->video1View()->currentFrame();
            const QPoint centre = m_viewer->video1View()->rect().center();
            for (int i = 0; i < 3; ++i) { // three wheel steps in, about the picture's centre
                QWheelEvent wheel(centre, m_viewer->video1View()->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                                  Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(m_viewer->video1View(), &wheel);
            }
            QVERIFY(test::waitSettled(m_viewer->window(), [&] {
                return !m_viewer->playback()->playerSync()->isHolding() && m_viewer->video1View()->currentFrame() != unzoomed;
            }, true));
            grabWindow(zoomed);
            m_viewer->resetZoom();
        }
        m_viewer->window()->findChild<QAction*>(QStringLiteral("markClipInAction"))->trigger();
        QVERIFY(m_viewerObject->trips().clipIn().has_value());
        const double in = *m_viewerObject->trips().clipIn();
        pauseAt(27.5); // 7.5 s into the second
        m_viewer->window()->findChild<QAction*>(QStringLiteral("markClipOutAction"))->trigger();
        const double out = *m_viewerObject->trips().clipOut();
        QVERIFY2(out - in > 12 && out - in < 15, qPrintable(QString::number(out - in)));

        // the dialog offers the four pictures and the captions; cancelled, nothing is asked more
        QStringList offered;
        bool captionsOffered = false;
        QTimer::singleShot(300, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (auto* box = dialog->findChild<QComboBox*>())
                for (int i = 0; i < box->count(); ++i)
                    offered << box->itemText(i);
            captionsOffered = dialog->findChild<QCheckBox*>() && dialog->findChild<QCheckBox*>()->isChecked();
            if (const QString shot = picturePath(QStringLiteral("clip-dialog")); !shot.isEmpty())
                dialog->grab().save(shot);
            dialog->reject();
        });
        m_viewer->window()->findChild<QAction*>(QStringLiteral("exportClipAction"))->trigger();
        QCOMPARE(offered, QStringList({"Front, rear inset", "Front and rear side by side", "Front only",
                                       "Original quality, one channel"}));
        QVERIFY(captionsOffered);
        m_viewerObject->trips().setClipOptionsChooser([](QWidget*) {
            ZLXClipOptions options;
            options.layout = ZLXClipLayout::SideBySide;
            options.captions = true;
            return std::optional<ZLXClipOptions>(options);
        });
        m_viewerObject->trips().setExportChooser([&](QWidget*, const QString&) { return m_dir.filePath("clip.mp4"); });
        QSignalSpy finished((&m_viewerObject->trips()), &ZLXTripController::clipFinished);
        m_viewer->window()->findChild<QAction*>(QStringLiteral("exportClipAction"))->trigger();
        auto* progress = m_viewer->window()->findChild<QProgressDialog*>(QStringLiteral("clipProgress"));
        QVERIFY(progress);
        if (const QString shot = picturePath(QStringLiteral("clip-progress")); !shot.isEmpty()) {
            QVERIFY(QTest::qWaitFor([&] { return progress->value() > 0 || finished.count(); }, 10000));
            if (!finished.count())
                progress->grab().save(shot);
        }
        QVERIFY(finished.wait(120000));
        QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][2].toString()));
        // the end is told, with where the clip is and a way to it
        QMessageBox* saved = m_viewer->window()->findChild<QMessageBox*>(QStringLiteral("clipSaved"));
        QVERIFY(saved && saved->isVisible());
        QVERIFY(saved->text().contains(m_dir.filePath("clip.mp4")));
        QTRY_VERIFY(!m_viewer->window()->findChild<QProgressDialog*>(QStringLiteral("clipProgress")));
        FolderOpened opened;
        QDesktopServices::setUrlHandler("file", &opened, "open");
        saved->findChild<QPushButton*>(QStringLiteral("showInFolderButton"))->click();
        QDesktopServices::unsetUrlHandler("file");
        // without a file manager on the session bus (as here), the folder is opened
        const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        if (!bus || !bus->isServiceRegistered(QStringLiteral("org.freedesktop.FileManager1")))
            QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(m_dir.path())});
        saved->close();
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-show_entries", "format=duration:stream=codec_type,width,height", "-of",
                                "csv=p=0", m_dir.filePath("clip.mp4")});
        QVERIFY(probe.waitForFinished(30000));
        const QStringList lines = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().split('\n');
        QVERIFY2(lines.contains(QStringLiteral("video,1920,540")), qPrintable(lines.join('|')));
        QVERIFY(lines.contains(QStringLiteral("audio")));
        QVERIFY2(std::abs(lines.last().toDouble() - (out - in)) <= 0.04 + 0.001, qPrintable(lines.last()));
        // the right half is the rear picture, not black
        QProcess frame;
        frame.start("ffmpeg", {"-v", "error", "-y", "-ss", "2", "-i", m_dir.filePath("clip.mp4"), "-frames:v", "1",
                               m_dir.filePath("frame.png")});
        QVERIFY(frame.waitForFinished(30000) && frame.exitCode() == 0);
        const QImage picture(m_dir.filePath("frame.png"));
        QSet<QRgb> colours;
        for (int x = 1000; x < 1900; x += 40)
            colours.insert(picture.pixel(x, 100));
        QVERIFY(colours.size() > 4);
        if (const QString clip = picturePath(QStringLiteral("clip")); !clip.isEmpty()) {
            QFile::remove(clip);
            QVERIFY(QFile::copy(m_dir.filePath("frame.png"), clip));
        }

        // original quality: the front's picture and sound copied, nothing else of the file
        finished.clear();
        ZLXClipOptions original;
        original.layout = ZLXClipLayout::Original;
        QVERIFY(m_viewerObject->trips().exportClip(original, m_dir.filePath("original.mp4")));
        QVERIFY(finished.wait(60000));
        QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][2].toString()));
        probe.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_type,codec_name,width", "-of", "csv=p=0",
                                m_dir.filePath("original.mp4")});
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed().split('\n'),
                 QStringList({"h264,video,640", "aac,audio"}));

        // cancelled half-way: nothing at the name, nothing beside it
        finished.clear();
        QString error;
        ZLXClipOptions slow;
        slow.layout = ZLXClipLayout::PictureInPicture;
        QVERIFY2(m_viewerObject->trips().exportClip(slow, m_dir.filePath("cancelled.mp4"), &error), qPrintable(error));
        m_viewerObject->trips().clipExport()->cancel();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished[0][0].toBool(), false);
        QCOMPARE(finished[0][2].toString(), QString());
        QVERIFY(QDir(m_dir.path()).entryList({"*cancelled*"}, QDir::Files | QDir::Hidden).isEmpty());
    }

    // On the clip marked above: a box drawn on the picture, corrected at another moment, ended,
    // followed, previewed hidden; the clip exported through the window's path has it hidden.
    void boxesDrawnInTheRedactionWindowAreHiddenInTheClip() {
        ZLXTripController& trips = m_viewerObject->trips();
        const auto channels = trips.clipChannels();
        QVERIFY(channels && channels->bounds.front.width == 640 && !channels->rear.empty());
        ZLXRedactionEditor editor(*channels, {}, m_viewer->window());
        QSignalSpy shown(&editor, &ZLXRedactionEditor::pictureShown);
        editor.show();
        QVERIFY(shown.wait(20000));
        ZLXRedactionView* view = editor.view();
        // the mean step between neighbouring pixels of the view's picture in a box
        const auto detail = [&](const ZLXBoxRect& box) {
            const QImage picture = view->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
            const double ratio = picture.devicePixelRatio(); // the grab is in device pixels
            const QRect r = QRectF(view->toWidget(box.x, box.y) * ratio, view->toWidget(box.right(), box.bottom()) * ratio)
                                .toAlignedRect();
            double sum = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x < r.right(); ++x)
                    sum += std::abs(picture.pixelColor(x, y).value() - picture.pixelColor(x + 1, y).value());
            return sum / std::max(1, r.width() * r.height());
        };
        const auto drag = [&](QPointF from, QPointF to) {
            QTest::mousePress(view, Qt::LeftButton, {}, from.toPoint());
            QTest::mouseMove(view, to.toPoint());
            QTest::mouseRelease(view, Qt::LeftButton, {}, to.toPoint());
        };
        drag(view->toWidget(110, 300), view->toWidget(530, 346)); // over the burned-in time

        QCOMPARE(editor.plan().boxes.size(), size_t(1));
        const ZLXRedactionKey first = editor.plan().boxes[0].keys.at(0);
        QCOMPARE(first.t, 0.0);
        QVERIFY2(std::abs(first.rect.x - 110) < 3 && std::abs(first.rect.w - 420) < 4, qPrintable(QString::number(first.rect.x)));

        // previewed, the box's pixels lose their detail
        const ZLXBoxRect inner{first.rect.x + 4, first.rect.y + 4, first.rect.w - 8, first.rect.h - 8};
        const double sharp = detail(inner);
        editor.findChild<QCheckBox*>(QStringLiteral("redactPreview"))->setChecked(true);
        const double hidden = detail(inner);
        if (const QString shot = picturePath(QStringLiteral("redaction-preview")); !shot.isEmpty())
            editor.grab().save(shot);
        QVERIFY2(hidden < sharp / 3, qPrintable(QString("%1 -> %2").arg(sharp).arg(hidden)));
        editor.findChild<QCheckBox*>(QStringLiteral("redactPreview"))->setChecked(false);

        // corrected at 5 s: a second key where it was put; ended at 8 s
        editor.setMoment(5);
        QVERIFY(shown.wait(20000));
        drag(view->toWidget(300, 320), view->toWidget(340, 320));
        QCOMPARE(editor.plan().boxes[0].keys.size(), size_t(2));
        QCOMPARE(editor.plan().boxes[0].keys[1].t, 5.0);
        QVERIFY(std::abs(editor.plan().boxes[0].keys[1].rect.x - (first.rect.x + 40)) < 3);
        editor.setMoment(8);
        QVERIFY(shown.wait(20000));
        for (QPushButton* button : editor.findChildren<QPushButton*>())
            if (button->text() == qtTrId("redact.end"))
                button->click();
        QVERIFY(editor.plan().boxes[0].keys.back().end);

        // followed: present in every frame up to its end, none after
        QVERIFY(editor.follow());
        QVERIFY(editor.paths());
        const ZLXBoxPath& path = editor.paths()->paths[0];
        for (int64_t f = 0; f < editor.paths()->frames; ++f)
            QVERIFY2(path[size_t(f)].rect.has_value() == (f < 8 * 30), qPrintable(QString::number(f)));
        if (const QString shot = picturePath(QStringLiteral("redaction")); !shot.isEmpty()) {
            editor.setMoment(2);
            QVERIFY(shown.wait(20000));
            editor.grab().save(shot);
        }

        // the clip through the window's path: followed already, the box's pixels smoothed
        trips.setRedactionPlan(editor.plan());
        QSignalSpy finished(&trips, &ZLXTripController::clipFinished);
        ZLXClipOptions options;
        options.layout = ZLXClipLayout::Front;
        options.audio = false;
        // the overlay away from the box: drawn over the hidden picture, never hidden itself
        options.overlay = ZLXOverlayOptions{true, true, true, true, ZLXOverlayOptions::Place::TopRight};
        QString error;
        QVERIFY2(trips.exportClip(options, m_dir.filePath("redacted.mp4"), &error), qPrintable(error));
        QVERIFY(finished.wait(120000));
        QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][2].toString()));
        const auto stepIn = [&](const QString& clip, const QRect& r) {
            QProcess frame;
            frame.start("ffmpeg", {"-v", "error", "-ss", "1", "-i", clip, "-frames:v", "1", "-f", "image2pipe", "-c:v", "png", "-"});
            frame.waitForFinished(30000);
            const QImage picture = QImage::fromData(frame.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_Grayscale8);
            double sum = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x < r.right(); ++x)
                    sum += std::abs(picture.pixelColor(x, y).value() - picture.pixelColor(x + 1, y).value());
            return sum / (r.width() * r.height());
        };
        // the front's 640 x 360 at twice its size: the box's inside, and the rest beside it
        const QRect box(int(first.rect.x * 2) + 16, int(first.rect.y * 2) + 16, int(first.rect.w * 2) - 32,
                        int(first.rect.h * 2) - 32);
        trips.setRedactionPlan({});
        finished.clear();
        QVERIFY2(trips.exportClip(options, m_dir.filePath("plain.mp4"), &error), qPrintable(error));
        QVERIFY(finished.wait(120000));
        const double plain = stepIn(m_dir.filePath("plain.mp4"), box), redacted = stepIn(m_dir.filePath("redacted.mp4"), box);
        QVERIFY2(redacted < plain / 3, qPrintable(QString("%1 -> %2").arg(plain).arg(redacted)));
        if (const QString shot = picturePath(QStringLiteral("clip-redacted")); !shot.isEmpty()) {
            QFile::remove(shot);
            QProcess frame;
            frame.start("ffmpeg", {"-v", "error", "-ss", "1", "-i", m_dir.filePath("redacted.mp4"), "-frames:v", "1", shot});
            QVERIFY(frame.waitForFinished(30000) && frame.exitCode() == 0);
        }
    }

    // The overlay burned into a clip is the program's own drawing of each moment (compared where
    // the drawing is opaque), its speed changing as the car's does; the original-quality copy
    // refuses it with the reason.
    void aClipCarriesTheOverlayOfEachMoment() {
        const ZLXDrive& drive = m_viewerObject->trips().drives()[0];
        const double from = 20, to = 60; // across two recordings, from 08:15:20
        ZLXClipOptions options;
        options.layout = ZLXClipLayout::PictureInPicture;
        options.audio = false;
        options.overlay = ZLXOverlayOptions{true, true, true, true, ZLXOverlayOptions::Place::BottomLeft};
        ZLXClipExport exporter;
        QString error;
        const QString clip = m_dir.filePath("overlay.mp4");
        QVERIFY2(exporter.start(drive, from, to, options, clip, &error), qPrintable(error));
        QVERIFY2(exporter.waitForFinished(), qPrintable(error));

        const ZLXOverlayTimeline timeline(drive, from, true);
        const ZLXOverlayRect r = overlayRect(*options.overlay, 1280, 720);
        const auto decoded = [&](double seconds) {
            QProcess ffmpeg;
            ffmpeg.start("ffmpeg", {"-v", "error", "-ss", QString::number(seconds, 'f', 3), "-i", clip, "-frames:v", "1",
                                    "-f", "image2pipe", "-c:v", "png", "-"});
            ffmpeg.waitForFinished(30000);
            return QImage::fromData(ffmpeg.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32).copy(
                r.x, r.y, r.width, r.height);
        };
        // the mean difference over the pixels the drawing covers wholly
        const auto difference = [](const QImage& drawn, const QImage& seen, const QRect& within) {
            double sum = 0;
            int n = 0;
            for (int y = within.top(); y <= within.bottom(); ++y)
                for (int x = within.left(); x <= within.right(); ++x) {
                    const QColor d = drawn.pixelColor(x, y), v = seen.pixelColor(x, y);
                    if (d.alpha() < 255)
                        continue;
                    sum += std::abs(d.red() - v.red()) + std::abs(d.green() - v.green()) + std::abs(d.blue() - v.blue());
                    ++n;
                }
            return n > 0 ? sum / (3 * n) : 1e9;
        };
        // where two drawings of the speed differ, the two pictures differ as much
        const QRect speedCell(2 * r.height, 0, r.height, r.height);
        const auto speedChange = [&](const QImage& drawnA, const QImage& drawnB, const QImage& seenA, const QImage& seenB) {
            double sum = 0;
            int n = 0;
            for (int y = speedCell.top(); y <= speedCell.bottom(); ++y)
                for (int x = speedCell.left(); x <= speedCell.right(); ++x) {
                    if (std::abs(drawnA.pixelColor(x, y).lightness() - drawnB.pixelColor(x, y).lightness()) < 128)
                        continue;
                    sum += std::abs(seenA.pixelColor(x, y).lightness() - seenB.pixelColor(x, y).lightness());
                    ++n;
                }
            return n > 20 ? sum / n : 0.0;
        };
        std::optional<QImage> slower, slowerSeen;
        std::optional<long> slowerSpeed;
        int changes = 0;
        for (const double t : {5.0, 25.0, 35.0}) { // 0.04 s after the picture's change: one frame in
            const ZLXOverlayMoment moment = timeline.momentAt(t);
            const QImage drawn = paintOverlay(*options.overlay, timeline, moment, QSize(r.width, r.height));
            const QImage seen = decoded(t + 0.04);
            QVERIFY(!seen.isNull());
            QVERIFY2(difference(drawn, seen, drawn.rect()) < 40, qPrintable(QString::number(t)));
            QVERIFY(moment.speed);
            if (slowerSpeed && std::lround(*moment.speed) != *slowerSpeed) { // another speed, other pixels
                QVERIFY(speedChange(*slower, drawn, *slowerSeen, seen) > 60);
                ++changes;
            }
            slower = drawn;
            slowerSeen = seen;
            slowerSpeed = std::lround(*moment.speed);
        }
        QVERIFY(changes > 0); // the drive's speed changed over the clip

        options.layout = ZLXClipLayout::Original;
        QVERIFY(!exporter.start(drive, from, to, options, m_dir.filePath("refused.mp4"), &error));
        QVERIFY2(error.contains("original-quality copy"), qPrintable(error));
        QVERIFY(!QFile::exists(m_dir.filePath("refused.mp4")));
    }

    // The report of the event's moment: three pages with the facts, and the SHA-256 of each
    // source file and of the report itself as sha256sum gives them.
    void theIncidentReportListsTheSourcesHashes() {
        pauseAt(68.4); // the event's moment
        const QString pdf = m_dir.filePath("report.pdf");
        m_viewerObject->trips().setExportChooser([&](QWidget*, const QString&) { return pdf; });
        QSignalSpy saved((&m_viewerObject->trips()), &ZLXTripController::reportSaved);
        // the alert that tells the report's SHA-256 is closed as a user would
        auto closeAlerts = [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    box->accept();
        };
        QTimer closer;
        connect(&closer, &QTimer::timeout, closeAlerts);
        closer.start(200);
        m_viewer->window()->findChild<QAction*>(QStringLiteral("incidentReportAction"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 60000);
        closer.stop();

        auto run = [](const QString& program, const QStringList& args) {
            QProcess p;
            p.start(program, args);
            return p.waitForFinished(60000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
        };
        QCOMPARE(saved[0][1].toString(), run("sha256sum", {pdf}).split(' ').first());
        QVERIFY(run("pdfinfo", {pdf}).contains(QRegularExpression("Pages:\\s+3\\n")));
        const QString text = run("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(text.contains("Date and time: 2024-10-03 08:16:08"));
        QVERIFY2(text.contains("GPS time: 2024-10-03 08:16:0") && text.contains("against it in the card's time zone 00:00"),
                 qPrintable(text));
        QVERIFY(text.contains("Position: 37.570"));
        QVERIFY(text.contains("Event of 4.3 g"));
        QVERIFY(text.contains("Driving impact thresholds: X 0.45 g"));
        // every file within 30 s: the event's pair and the third recording's
        for (const QString name : {"event_20241003_081600_F.MP4", "event_20241003_081600_R.MP4",
                                   "alwa_20241003_081540_F.MP4", "alwa_20241003_081540_R.MP4"}) {
            const QString sum = run("sha256sum", {m_card + "/" + name}).split(' ').first();
            QVERIFY2(text.contains(name) && text.contains("SHA-256 " + sum), qPrintable(name));
        }
        QVERIFY(!text.contains("alwa_20241003_081500"));

        // the command line writes the same report and prints its SHA-256
        const QString cli = run(DAXO_EXPORT_TOOL, {"report", m_card + "/event_20241003_081600_F.MP4", "--at", "8.4",
                                                   "-o", m_dir.filePath("cli.pdf")});
        QCOMPARE(cli.split(' ').first(), run("sha256sum", {m_dir.filePath("cli.pdf")}).split(' ').first());
        QVERIFY(run("pdftotext", {m_dir.filePath("cli.pdf"), "-"}).contains("SHA-256"));

        // with the front picture's top half hidden: said on the first page, the picture smoothed
        // there, the hashes still those of the source files
        QFile boxes(m_dir.filePath("report-boxes.json"));
        QVERIFY(boxes.open(QIODevice::WriteOnly));
        boxes.write(R"({"version": 1, "boxes": [{"channel": "front", "track": false,
                        "keys": [{"t": 0, "x": 0, "y": 0, "w": 640, "h": 180}]}]})");
        boxes.close();
        QVERIFY(!run(DAXO_EXPORT_TOOL, {"report", m_card + "/event_20241003_081600_F.MP4", "--at", "8.4", "-o",
                                       m_dir.filePath("redacted.pdf"), "--redact", boxes.fileName(), "--from", "5"})
                     .isEmpty());
        const QString redacted = run("pdftotext", {"-layout", m_dir.filePath("redacted.pdf"), "-"});
        QVERIFY2(redacted.contains("Pictures: redacted, 1 area blurred as asked; the SHA-256 listed are those of the"),
                 qPrintable(redacted));
        const QRegularExpression hashes("SHA-256 [0-9a-f]{64}");
        QStringList plainHashes, redactedHashes;
        for (auto it = hashes.globalMatch(run("pdftotext", {m_dir.filePath("cli.pdf"), "-"})); it.hasNext();)
            plainHashes << it.next().captured();
        for (auto it = hashes.globalMatch(redacted); it.hasNext();)
            redactedHashes << it.next().captured();
        QVERIFY(!plainHashes.isEmpty());
        QCOMPARE(redactedHashes, plainHashes);
        // the front picture, the first image of each report: its top half loses its detail, the rest keeps it
        const auto frontPicture = [&](const QString& report, const QString& stem) {
            run("pdfimages", {"-png", "-f", "1", "-l", "1", report, m_dir.filePath(stem)});
            return QImage(m_dir.filePath(stem + "-000.png")).convertToFormat(QImage::Format_Grayscale8);
        };
        // the sharp steps between neighbouring pixels: edges, lines, letters
        const auto detail = [](const QImage& picture, int top, int bottom) {
            int steps = 0;
            for (int y = top; y < bottom; ++y)
                for (int x = 0; x + 1 < picture.width(); ++x)
                    steps += std::abs(picture.pixelColor(x, y).value() - picture.pixelColor(x + 1, y).value()) > 24;
            return steps;
        };
        const QImage plainFront = frontPicture(m_dir.filePath("cli.pdf"), "plain"),
                     hiddenFront = frontPicture(m_dir.filePath("redacted.pdf"), "hidden");
        QCOMPARE(hiddenFront.size(), QSize(640, 360));
        QVERIFY2(detail(hiddenFront, 0, 170) * 10 < detail(plainFront, 0, 170),
                 qPrintable(QString("%1 %2").arg(detail(hiddenFront, 0, 170)).arg(detail(plainFront, 0, 170))));
        QCOMPARE(detail(hiddenFront, 190, 360), detail(plainFront, 190, 360));

        // from the window: the moment in the marked clip, the clip's boxes hidden when the user says so
        m_viewer->window()->findChild<QAction*>(QStringLiteral("markClipInAction"))->trigger();
        pauseAt(70);
        m_viewer->window()->findChild<QAction*>(QStringLiteral("markClipOutAction"))->trigger();
        ZLXRedactionPlan plan;
        ZLXRedactionBox whole;
        whole.track = false;
        whole.keys = {{0, {0, 0, 640, 180}}};
        plan.boxes = {whole};
        m_viewerObject->trips().setRedactionPlan(plan);
        bool asked = false;
        m_viewerObject->trips().setReportRedactionAsker([&](QWidget*) { return asked = true; });
        const QString windowPdf = m_dir.filePath("window-redacted.pdf");
        m_viewerObject->trips().setExportChooser([&](QWidget*, const QString&) { return windowPdf; });
        closer.start(200);
        m_viewer->window()->findChild<QAction*>(QStringLiteral("incidentReportAction"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 2, 60000);
        closer.stop();
        QVERIFY(asked);
        QVERIFY(run("pdftotext", {windowPdf, "-"}).contains("Pictures: redacted, 1 area blurred"));
        m_viewerObject->trips().setRedactionPlan({});
        if (QString page = picturePath(QStringLiteral("report")); !page.isEmpty()) {
            QFile::remove(page);
            page.chop(4); // pdftoppm adds the extension
            run("pdftoppm", {"-png", "-r", "60", "-f", "1", "-l", "1", "-singlefile", pdf, page});
            QVERIFY(QFile::exists(page + ".png"));
        }
    }

    // A gap of four hours makes the morning and the car park one trip; the list is read again.
    void theGapIsAPreference() {
        QSignalSpy loaded((&m_viewerObject->trips()), &ZLXTripController::tripsLoaded);
        m_viewerObject->trips().setGapSeconds(4 * 3600);
        QVERIFY(loaded.wait(30000));
        QCOMPARE(m_viewerObject->trips().tripTree()->topLevelItemCount(), 1);
        QVERIFY(m_viewerObject->trips().tripTree()->topLevelItem(0)->text(0).contains(QStringLiteral("\n1:40 ")));
        QCOMPARE(QSettings().value("trips/gapSeconds").toDouble(), 4 * 3600.0);
        m_viewerObject->trips().setGapSeconds(180);
        QVERIFY(loaded.wait(30000));
    }

    // A card of three long drives: the trips are listed with their times and lengths before any
    // telemetry is read; the trip the user plays is read next, ahead of those before it; a
    // second opening finds every track in the index and reads no recording.
    void tripsAreListedFirstAndTheOnePlayedIsReadNext() {
        QTemporaryDir cache;
        const QString folder = m_dir.filePath("three drives");
        QVERIFY(QDir().mkpath(folder));
        for (int trip = 0; trip < 3; ++trip) {
            for (int i = 0; i < 60; ++i) {
                const QDateTime at = QDateTime(QDate(2024, 10, 5 + trip), QTime(7, 0)).addSecs(20 * i);
                QVERIFY(QFile::link(m_card + "/alwa_20241003_081520_F.MP4",
                                    folder + at.toString("'/alwa_'yyyyMMdd_HHmmss'_F.MP4'")));
            }
        }
        const auto open = [&](std::unique_ptr<ZLXViewer>& viewer, QList<qulonglong>& order, bool playLast) {
            viewer = std::make_unique<ZLXViewer>();
            ZLXTripController& trips = viewer->trips();
            trips.setIndexPath(cache.filePath("tracks.sqlite").toStdString());
            QSettings settings;
            viewer->app().applicationDidFinishLaunching(settings);
            connect(&trips, &ZLXTripController::tripRead, &trips, [&order](qulonglong t) { order << t; });
            connect(&trips, &ZLXTripController::tripsListed, &trips, [&trips, playLast] {
                QCOMPARE(trips.tripTree()->topLevelItemCount(), 3);
                const QString text = trips.tripTree()->topLevelItem(2)->text(0);
                QVERIFY2(text.startsWith(QStringLiteral("7 Oct 2024  07:00\u201307:20\n")), qPrintable(text));
                if (playLast) {
                    QVERIFY2(text.endsWith(QStringLiteral("reading the route\u2026")), qPrintable(text));
                    QVERIFY(trips.playTrip(2, 0));
                }
            });
            QSignalSpy loaded(&trips, &ZLXTripController::tripsLoaded);
            viewer->app().openMediaDirectory(folder);
            QVERIFY(loaded.wait(60000));
        };
        std::unique_ptr<ZLXViewer> viewer;
        QList<qulonglong> order;
        open(viewer, order, true);
        QCOMPARE(order.size(), 3);
        QVERIFY2(order.indexOf(2) < order.indexOf(1), qPrintable(QString::number(order.indexOf(2))));
        QVERIFY(viewer->trips().tripTree()->topLevelItem(2)->text(0).contains(QStringLiteral(" km \u00b7 top ")));
        QCOMPARE(viewer->trips().trackCache().filesRead(), size_t(180));
        viewer.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));

        order.clear();
        open(viewer, order, false);
        QCOMPARE(viewer->trips().trackCache().filesRead(), size_t(0));
        QCOMPARE(viewer->trips().drives()[1].tracks.size(), size_t(60));
        viewer.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
    }

    // A viewer closed while it reads a long drive's telemetry: the reading stops at the next
    // recording and touches nothing of the viewer (the sanitizers' build checks that).
    void closingWhileTripsAreReadIsSafe() {
        const QString folder = m_dir.filePath("long");
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < 120; ++i) {
            const QString name = QDateTime(QDate(2024, 10, 4), QTime(6, 0)).addSecs(20 * i).toString("'alwa_'yyyyMMdd_HHmmss");
            QVERIFY(QFile::link(m_card + "/alwa_20241003_081520_F.MP4", folder + "/" + name + "_F.MP4"));
        }
        auto viewer = std::make_unique<ZLXViewer>();
        QSettings settings;
        viewer->app().applicationDidFinishLaunching(settings);
        QSignalSpy reloaded(&viewer->app(), &ZLXAppDelegate::mediaListReloaded);
        viewer->app().openMediaDirectory(folder);
        QVERIFY(reloaded.wait(20000));
        QVERIFY(viewer->trips().isLoading());
        viewer.reset();
        // the background reading ends on its own, and its last reports find nobody
        QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
        QCoreApplication::processEvents();
    }

    // The map's tiles go to a cache on disk that outlives the program, under the user's cache.
    void mapTilesAreKeptOnDisk() {
        QWebEngineProfile* profile = ZLXMapWebView::mapProfile();
        QCOMPARE(m_viewer->mapWebView()->page()->profile(), profile);
        QVERIFY(!profile->isOffTheRecord());
        QCOMPARE(profile->httpCacheType(), QWebEngineProfile::DiskHttpCache);
        QVERIFY(profile->cachePath().startsWith(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)));
        QVERIFY(QFileInfo(profile->cachePath()).isDir());
    }

    void cleanupTestCase() { (m_viewerObject.reset(), m_viewer = nullptr); }
};

DAXO_QTEST_MAIN(TripsTest)
#include "tst_trips.moc"
