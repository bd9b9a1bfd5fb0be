// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and printing the large video's frame, with libmpv playing a recording and a CUPS
// scheduler of the test's own taking the jobs.
#include "../support/Viewer.h"
#include "../support/Alerts.h"
#include "../support/FileBytes.h"
#include "../support/MediaFixtures.h"
#include "../support/PrivateCups.h"
#include "../support/QtTestMain.h"
#include "app/ZLXAppDelegate.h"
#include "app/playback/ZLXPlayInfo.h"
#include "app/ZLXLanguage.h"
#include "library/ZLXLog.h"
#include "app/CustomWindow.h"
#include "app/player/ZLXVideoView.h"

#include <QDesktopServices>
#include <QImageReader>
#include <QPrintDialog>
#include <QPrinter>
#include <QSettings>
#include <QSignalSpy>
#include <QUrl>
#include <QWheelEvent>

using namespace daxo;
using daxo::test::alertOf;
using daxo::test::fileBytes;

// Stands in for the desktop's picture viewer.
class Opened : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class FrameCaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    test::PrivateCups m_cups;
    std::unique_ptr<ZLXViewer> m_viewerObject;
    ZLXAppDelegate* m_controller = nullptr;
    Opened m_viewer;
    QStringList m_log;

    // Playing as the player says and as the window shows it.
    bool playing() { return ZLXPlayback::isPlaying(m_controller->playback()->player1()) && m_controller->playback()->playInfo()->isPlaying(); }
    bool paused() { return !ZLXPlayback::isPlaying(m_controller->playback()->player1()) && !m_controller->playback()->playInfo()->isPlaying(); }
    void pause() {
        if (!paused())
            m_controller->clickPlayButton();
        QTRY_VERIFY_WITH_TIMEOUT(paused(), 5000);
    }
    void play() {
        if (!playing())
            m_controller->clickPlayButton();
        QTRY_VERIFY_WITH_TIMEOUT(playing(), 5000);
    }
    // Prints the frame on `queue` as if the print dialog had been confirmed there.
    void printOn(const std::function<void(QPrinter&)>& choose) {
        m_controller->print(); // takes the snapshot and shows the dialog
        auto* dialog = m_controller->window()->findChild<QPrintDialog*>("printDialog");
        QVERIFY(dialog && dialog->isVisible());
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT"))
            dialog->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-print.png"));
        dialog->reject(); // a cancelled dialog prints nothing
        QTRY_VERIFY(!m_controller->window()->findChild<QPrintDialog*>("printDialog"));
        choose(*m_controller->loadPrintInfo());
        m_controller->printPanelDidEnd(QDialog::Accepted);
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        installStringTable(*qApp, QStringLiteral("en"));
        QString error;
        QVERIFY2(m_cups.start(&error), qPrintable(error));
        QVERIFY2(m_cups.addQueue("frames", "image/jpeg", &error), qPrintable(error));
        QVERIFY2(m_cups.addQueue("pdfonly", "application/pdf", &error), qPrintable(error));
        setLogObserver([this](std::string_view line) { m_log << QString::fromUtf8(line.data(), qsizetype(line.size())); });
        QDesktopServices::setUrlHandler("file", &m_viewer, "open");

        const QString card = m_dir.filePath("card");
        QDir().mkpath(card);
        for (const char* name : {"alwa_20240506_130709_F.mp4", "alwa_20240506_130709_R.mp4"}) {
            const QString failure = test::makeTestMp4(card + "/" + name, 40);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
        m_controller = test::makeViewer(m_viewerObject);
        QSettings settings;
        m_controller->applicationDidFinishLaunching(settings);
        QSignalSpy reloaded(m_controller, &ZLXAppDelegate::mediaListReloaded);
        m_controller->openMediaDirectory(card);
        QVERIFY(reloaded.wait(10000));
        QSignalSpy started(m_controller->playback(), &ZLXPlayback::started);
        QVERIFY(m_controller->playAtIndex(0));
        QVERIFY(started.wait(15000));
    }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler("file");
        setLogObserver({});
        (m_viewerObject.reset(), m_controller = nullptr);
    }

    void savesTheFrameAndNeverReplacesAFile() {
        int asked = 0;
        QString target = m_dir.filePath("frame.jpg");
        m_controller->setCaptureChooser([&](QWidget*) { return ++asked, target; });
        // paused, as when the driver has stepped to the frame with the plate: that frame is saved
        pause();
        m_controller->nextFrame();
        QSignalSpy saved(m_controller, &ZLXAppDelegate::frameSaved);
        m_controller->captureVideo();
        QCOMPARE(asked, 1);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(saved.front(), (QList<QVariant>{target, true}));
        QImageReader jpeg(target);
        QCOMPARE(jpeg.format(), QByteArray("jpeg"));
        QCOMPARE(jpeg.size(), QSize(320, 240)); // the video's own size
        QCOMPARE(m_viewer.urls.last(), QUrl::fromLocalFile(target)); // shown in the desktop's viewer
        // the snapshot lives in a folder only the user may enter, never in a shared /tmp name
        const QFileInfo folder(QFileInfo(m_controller->captureFilePath()).path());
        QVERIFY(folder.path() != QStringLiteral("/tmp") || folder.fileName().startsWith("daxo-viewer-"));
        QCOMPARE(folder.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther | QFile::ReadGroup |
                                         QFile::WriteGroup | QFile::ExeGroup),
                 QFileDevice::Permissions());

        play();
        // the same name again: the file stays as it was and the user is told
        const QByteArray before = fileBytes(target);
        m_controller->captureVideo();
        QCOMPARE(saved.last(), (QList<QVariant>{target, false}));
        QCOMPARE(fileBytes(target), before);
        QMessageBox* alert = alertOf(m_controller->window());
        QVERIFY(alert && alert->informativeText() == qtTrId("msg.frame_exists").arg(target));
        alert->accept();

        // a name ending in .png gets a PNG
        target = m_dir.filePath("frame.png");
        m_controller->captureVideo();
        QCOMPARE(saved.last(), (QList<QVariant>{target, true}));
        QImageReader png(target);
        QCOMPARE(png.format(), QByteArray("png"));
        QCOMPARE(png.size(), QSize(320, 240));
        // zoomed, what shows is saved, at the video's own resolution
        ZLXVideoView* view = m_controller->video1View();
        const QPointF centre(view->width() / 2.0, view->height() / 2.0);
        QWheelEvent wheel(centre, view->mapToGlobal(centre), QPoint(), QPoint(0, 360), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &wheel); // three notches: 1.25³ = 1.953125×
        target = m_dir.filePath("zoomed.jpg");
        m_controller->captureVideo();
        QCOMPARE(saved.last(), (QList<QVariant>{target, true}));
        const QSize zoomed = QImageReader(target).size();
        QVERIFY2(qAbs(zoomed.height() - 123) <= 1 && zoomed.width() <= 320 && zoomed.width() >= 163,
                 qPrintable(QStringLiteral("%1x%2").arg(zoomed.width()).arg(zoomed.height())));
        m_controller->resetZoom();
        // cancelled: nothing more
        target.clear();
        m_controller->captureVideo();
        QCOMPARE(saved.count(), 4);
    }

    void printsThePausedFrameOnACupsQueue() {
        pause();
        const int jobsBefore = int(m_cups.documents().size());
        printOn([](QPrinter& printer) {
            printer.setOutputFileName({});
            printer.setPrinterName("frames");
            printer.setCopyCount(2);
        });
        QTRY_COMPARE_WITH_TIMEOUT(int(m_cups.documents().size()), jobsBefore + 1, 10000);
        const QString document = m_cups.documents().last();
        QImageReader job(document);
        QCOMPARE(job.format(), QByteArray("jpeg"));
        QCOMPARE(job.size(), QSize(320, 240));
        // scaled to the page, with the dialog's choices
        QTRY_VERIFY2_WITH_TIMEOUT(m_cups.control(document).contains("fit-to-page"), qPrintable(m_cups.log()), 10000);
        QVERIFY(m_cups.control(document).contains("copies"));
    }

    // Print to File writes the PDF; whatever cannot print is told to the user, not only logged.
    void printingToAFileWritesThePdfAndEveryFailureIsTold() {
        const int jobsBefore = int(m_cups.documents().size());
        const auto toldThat = [this](const QString& text) {
            QMessageBox* alert = alertOf(m_controller->window());
            const bool told = alert && alert->informativeText() == text;
            if (alert)
                alert->accept();
            return told;
        };
        m_log.clear();
        printOn([](QPrinter& printer) { printer.setPrinterName("pdfonly"); });
        QVERIFY2(m_log.contains("MIME type image/jpeg isn't supported by the printer"), qPrintable(m_log.join('\n')));
        QVERIFY(toldThat(qtTrId("msg.print_failed").arg("pdfonly")));
        const QString pdf = m_dir.filePath("frame.pdf");
        printOn([&](QPrinter& printer) { printer.setOutputFileName(pdf); });
        QCOMPARE(fileBytes(pdf).left(5), QByteArray("%PDF-"));
        QVERIFY(QFileInfo(pdf).size() > 1000); // the picture is in it
        QCOMPARE(QDir(m_dir.path()).entryList({".*.part"}, QDir::Hidden | QDir::Files), QStringList());
        printOn([this](QPrinter& printer) { printer.setOutputFileName(m_dir.filePath("no/such/folder/frame.pdf")); });
        QVERIFY(toldThat(qtTrId("msg.print_file_failed").arg(m_dir.filePath("no/such/folder/frame.pdf"))));
        m_log.clear();
        // a queue that went away after it was chosen
        QString error;
        QVERIFY2(m_cups.addQueue("gone", "image/jpeg", &error), qPrintable(error));
        printOn([&](QPrinter& printer) {
            printer.setOutputFileName({});
            printer.setPrinterName("gone");
            QVERIFY(m_cups.removeQueue("gone"));
        });
        QVERIFY(!m_log.filter("Got an error from PMSessionGetCurrentPrinter (").isEmpty());
        QVERIFY(toldThat(qtTrId("msg.print_failed").arg("gone")));
        QCOMPARE(int(m_cups.documents().size()), jobsBefore);
    }
};

DAXO_QTEST_MAIN(FrameCaptureTest)
#include "tst_frame_capture.moc"
