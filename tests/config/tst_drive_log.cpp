// SPDX-License-Identifier: GPL-3.0-or-later
// The drive-information page of the settings window: the log of the open folder in the table,
// exported as CSV, and a record's place on the map.
#include "../support/Alerts.h"
#include "../support/FileBytes.h"
#include "../support/MapPage.h"
#include "../support/QtTestMain.h"
#include "widgets/ZLXLook.h"
#include "widgets/TKSegmentedControl.h"
#include "app/ZLXLanguage.h"
#include "app/map/ZLXMapWebView.h"
#include "app/map/ZLXMapWindowController.h"
#include "config/ZLXSettingController.h"
#include "config/pages/ZLXSettingForFlashDataViewController.h"
#include "card/ZLXVolumes.h"
#include "ui_SettingWindow.h"

#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

using namespace daxo;
using daxo::test::alertOf;
using daxo::test::evaluate;
using daxo::test::fileBytes;

namespace {

// A log laid out byte by byte: the count, eight other header bytes, then 44-byte records of
// (seq, day, kind, lat ddmm, lat fraction, battery).
QByteArray logBytes(uint32_t count, const std::vector<std::array<int, 6>>& records) {
    QByteArray bytes(12, '\x55');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(count >> (8 * i));
    for (const auto& r : records) {
        QByteArray record(44, '\0');
        const auto put16 = [&](int at, int v) { record[at] = char(v), record[at + 1] = char(v >> 8); };
        put16(0, r[0]);
        record[2] = char(r[1]);
        record[3] = char(r[2]);
        record[4] = char(124), record[5] = 10, record[6] = 3;
        put16(10, r[3]);
        put16(12, r[4]);
        put16(14, r[3] ? 12658 : 0);
        put16(16, r[3] ? 6740 : 0);
        put16(38, r[5]);
        bytes += record;
    }
    return bytes;
}

} // namespace

class DriveLogTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

    void writeLog(const QByteArray& bytes) {
        QDir(m_folder.path()).mkpath("DrvInfo");
        QFile file(m_folder.filePath("DrvInfo/daxo_000.drv"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    // The settings window without a card or settings, on the folder, turned to the log page.
    std::unique_ptr<ZLXSettingController> openLogPage() {
        auto window = std::make_unique<ZLXSettingController>();
        window->setMediaFolder(m_folder.path());
        window->resize(1000, 700);
        window->show();
        window->windowDidLoad(); // no config.bin in the folder: nothing to wait for
        window->ui().functionSegmentedControl->findChild<QToolButton*>("segment7")->click();
        return window;
    }
    static ZLXSettingForFlashDataViewController* page(ZLXSettingController& window) {
        return dynamic_cast<ZLXSettingForFlashDataViewController*>(window.targetController());
    }
    static QString cell(ZLXSettingForFlashDataViewController& page, int row, int column) {
        const QAbstractItemModel* model = page.tableView()->model();
        return model->data(model->index(row, column), Qt::DisplayRole).toString();
    }

private slots:
    void initTestCase() {
        installStringTable(*qApp, QStringLiteral("en"));
        applyViewerLook(*qApp); // as the viewer shows its windows
        setVolumeSource([] { return QByteArray("{\"blockdevices\": []}"); });
    }
    void cleanupTestCase() { setVolumeSource({}); }

    void theFoldersLogShowsAndExports() {
        writeLog(logBytes(3, {{1, 4, 1, 3731, 1234, 124}, {2, 7, 2, 0, 0, 5}, {3, 0, 0, 3733, 9780, 131}}));
        auto window = openLogPage();
        QVERIFY(window);
        auto* logPage = page(*window);
        QVERIFY(logPage);
        QSignalSpy loaded(logPage, &ZLXSettingForFlashDataViewController::flashDataLoaded);
        QVERIFY(loaded.count() || loaded.wait(10000));
        QCOMPARE(logPage->flashDataNum(), 3);
        QCOMPARE(logPage->tableView()->model()->columnCount(), 17);
        QCOMPARE(logPage->tableView()->model()->headerData(14, Qt::Horizontal).toString(), QStringLiteral("Battery"));
        QCOMPARE(cell(*logPage, 0, 5), QStringLiteral("3731.1234"));
        QCOMPARE(cell(*logPage, 1, 4), QStringLiteral("-"));
        QCOMPARE(cell(*logPage, 1, 14), QStringLiteral(" 0.5"));
        QCOMPARE(logPage->tableView()->model()->data(logPage->tableView()->model()->index(0, 3), Qt::TextAlignmentRole)
                     .toInt() & Qt::AlignRight, int(Qt::AlignRight));
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT"))
            window->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-drivelog.png"));

        // the CSV: the titles, then each row as the table shows it
        const QString csv = m_folder.filePath("out.csv");
        QFile(csv).open(QIODevice::WriteOnly); // an old file is replaced
        logPage->setSaveFileChooser([&](QWidget*) { return csv; });
        QSignalSpy written(logPage, &ZLXSettingForFlashDataViewController::csvWritten);
        logPage->findChild<QPushButton*>("exportButton")->click();
        QVERIFY(written.wait(10000));
        QCOMPARE(written.front().front().toBool(), true);
        QMessageBox* saved = alertOf(window.get());
        QVERIFY(saved);
        // it says what was done and where, not that the card's settings were saved
        QCOMPARE(saved->icon(), QMessageBox::Information);
        QCOMPARE(saved->text(), QStringLiteral("The drive log was exported to %1.").arg(csv));
        saved->accept();
        QCOMPARE(fileBytes(csv),
                 QByteArray("No.,Seq,Date,Time,Day,Latitude,Longitude,Distance,Speed,Max Speed,Kind,X,Y,Z,Battery,TTC,DTC\n"
                            "1,1,2024/10/03,00:00:00,THU,3731.1234,12658.6740,0.0,0,0,A,+0.00,+0.00,+0.00,12.4, 0.0, 0.0\n"
                            "2,2,2024/10/03,00:00:00,-,0000.0000,00000.0000,0.0,0,0,F,+0.00,+0.00,+0.00, 0.5, 0.0, 0.0\n"
                            "3,3,2024/10/03,00:00:00,SUN,3733.9780,12658.6740,0.0,0,0,V,+0.00,+0.00,+0.00,13.1, 0.0, 0.0\n"));
        // the command-line tool prints the same table from the same reader
        QProcess tool;
        tool.start(DAXO_DRVLOG_TOOL, {m_folder.filePath("DrvInfo/daxo_000.drv")});
        QVERIFY(tool.waitForFinished(10000) && tool.exitCode() == 0);
        QCOMPARE(tool.readAllStandardOutput(), fileBytes(csv));

        // a place that cannot be written is said so, and no "saved"
        logPage->setSaveFileChooser([&](QWidget*) { return m_folder.filePath("missing/out.csv"); });
        written.clear();
        logPage->onSaveCSVFile();
        QVERIFY(written.wait(10000));
        QCOMPARE(written.front().front().toBool(), false);
        QMessageBox* failed = alertOf(window.get());
        QVERIFY(failed && failed->informativeText().contains("missing/out.csv"));
        failed->accept();
    }

    void aDoubleClickPlacesTheRecordOnTheMapBesideTheWindow() {
        writeLog(logBytes(2, {{1, 4, 1, 3731, 1234, 124}, {2, 4, 1, 0, 0, 124}}));
        auto window = openLogPage();
        QVERIFY(window);
        auto* logPage = page(*window);
        QSignalSpy loaded(logPage, &ZLXSettingForFlashDataViewController::flashDataLoaded);
        QVERIFY(loaded.count() || loaded.wait(10000));
        logPage->doubleClickTableRow(5); // beyond the records: nothing
        QVERIFY(!logPage->mapWindowController());

        logPage->doubleClickTableRow(0);
        ZLXMapWindowController* map = logPage->mapWindowController();
        QVERIFY(map && map->isVisible());
        // beside the settings window where there is room, and whole on the screen
        const QRect screen = map->screen()->availableGeometry();
        QVERIFY2(screen.contains(map->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(map->x()).arg(map->y())
                                                                       .arg(map->frameGeometry().width()).arg(map->frameGeometry().height())));
        if (window->frameGeometry().right() + map->frameGeometry().width() < screen.right())
            QCOMPARE(map->pos().x(), window->frameGeometry().right() + 1);
        // placed once the page is there, though asked before
        QTRY_VERIFY_WITH_TIMEOUT(evaluate(*map->mapWebView(), "markerLatLng()").toList().size() == 2, 30000);
        QVariantList marker = evaluate(*map->mapWebView(), "markerLatLng()").toList();
        QVERIFY(std::abs(marker[0].toDouble() - (37 + 31.1234 / 60)) < 1e-6); // six places reach the page
        QVERIFY(std::abs(marker[1].toDouble() - (126 + 58.6740 / 60)) < 1e-6);
        // a record without a position shows the map but does not move it
        logPage->doubleClickTableRow(1);
        QCOMPARE(logPage->mapWindowController(), map);
        QCOMPARE(evaluate(*map->mapWebView(), "markerLatLng()").toList(), marker);
        // an export (or leaving the page) lets the map window go
        logPage->setSaveFileChooser([](QWidget*) { return QString(); });
        logPage->onSaveCSVFile();
        QVERIFY(!logPage->mapWindowController());
    }

    void aShortLogShowsWhatItHoldsAndSaysWhatIsMissing() {
        QByteArray bytes = logBytes(0xFFFFFFFF, {{1, 4, 1, 3731, 1234, 124}, {2, 4, 1, 3731, 1234, 124}});
        writeLog(bytes.left(bytes.size() - 10)); // the second record cut short
        auto window = openLogPage();
        QVERIFY(window);
        auto* logPage = page(*window);
        QSignalSpy loaded(logPage, &ZLXSettingForFlashDataViewController::flashDataLoaded);
        QVERIFY(loaded.count() || loaded.wait(10000));
        QCOMPARE(logPage->flashDataNum(), 1);
        QMessageBox* alert = alertOf(window.get());
        QVERIFY(alert);
        QVERIFY2(alert->informativeText().contains("4294967295") && alert->informativeText().contains("4294967294"),
                 qPrintable(alert->informativeText()));
        alert->accept();

        // an empty log: the table is empty and an export asks nothing
        writeLog(logBytes(0, {}));
        int asked = 0;
        logPage->setOpenFileChooser([&](QWidget*) { return m_folder.filePath("DrvInfo/daxo_000.drv"); });
        logPage->setSaveFileChooser([&](QWidget*) { return ++asked, QString(); });
        loaded.clear();
        logPage->findChild<QPushButton*>("openButton")->click();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(logPage->flashDataNum(), 0);
        logPage->onSaveCSVFile();
        QCOMPARE(asked, 0);
    }
};

DAXO_QTEST_MAIN(DriveLogTest)
#include "tst_drive_log.moc"
