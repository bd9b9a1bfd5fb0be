// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controller: launch frame, language step, recording table, side view.
#include "../support/Alerts.h"
#include "../support/FfmpegInput.h"
#include "app/playback/ZLXPlayback.h"
#include "app/ZLXLibraryWindow.h"
#include "app/ZLXPassesWindow.h"
#include "app/ZLXTripController.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QSpinBox>
#include "tools/ZLXCardMaker.h"
#include "../support/MediaFixtures.h"
#include "../support/QtTestMain.h"
#include "../support/Settled.h"
#include "../support/TempTree.h"
#include "app/ZLXViewer.h"
#include "app/ZLXLanguage.h"
#include "library/ZLXLog.h"
#include "app/map/ZLXMapWebView.h"
#include "app/player/ZLXVideoView.h"
#include "app/ZLXMediaTableModel.h"
#include "ui_MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QFileInfo>
#include <QPushButton>
#include <QLabel>
#include <filesystem>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

using namespace daxo;
using daxo::test::TempTree;

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    static void waitForReload(ZLXAppDelegate& controller, QSignalSpy& spy, int count = 1) {
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), count, 20000);
        Q_UNUSED(controller);
    }
    static QString cell(const ZLXAppDelegate& c, int row, int column, int role = Qt::DisplayRole) {
        const auto* model = c.mediaTableModel();
        return model->data(model->index(row, column), role).toString();
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(!installStringTable(*qApp, QStringLiteral("en")).isEmpty());
    }

    void launchShowsTheEmptyTableInACentredWindow() {
        QSettings settings;
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        CustomWindow* window = controller.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QCOMPARE(window->size(), QSize(1020, 640));
        const QRect visible = window->screen()->availableGeometry();
        const QPoint expected = visible.topLeft() + QPoint((visible.width() - 1020) / 2,
                                                           (visible.height() - 640) / 2);
        QCOMPARE(window->geometry().topLeft(), expected);
        QCOMPARE(controller.mediaTableModel()->rowCount(), 0);
        QVERIFY(controller.ui().mediaListTableView->isVisible());
        QVERIFY(!controller.ui().mapContainerView->isVisible());
        // the string table is loaded: header titles are texts, not keys
        QCOMPARE(controller.mediaTableModel()->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("File"));
    }

    void everyLaunchStoresEnglishAndLogsThePreviousList() {
        QSettings settings;
        settings.setValue(kLanguagesKey, QStringList{"de", "fr"});
        QStringList logged;
        setLogObserver([&](std::string_view line) { logged << QString::fromUtf8(line.data(), qsizetype(line.size())); });
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        setLogObserver({});
        QVERIFY(logged.contains("SUPPORT_LANGUAGE=de"));
        QVERIFY(logged.contains("SUPPORT_LANGUAGE=fr"));
        QCOMPARE(QSettings().value(kLanguagesKey).toStringList(), QStringList{"en"});
        QCOMPARE(preferredLanguage(QSettings()), QStringLiteral("en"));
    }

    void chosenFolderFillsTheTable() {
        TempTree tree;
        tree.touch("alwa_20200131_090507_R.mp4");
        tree.touch("DCIM/._alwa_20200101_120000_F.mp4");
        tree.touch("event_20201301_120000_F.MP4");
        tree.touch("readme.txt");
        QSettings settings;
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        QSignalSpy reloaded(&controller, &ZLXAppDelegate::mediaListReloaded);
        int dialogs = 0;
        controller.setDirectoryChooser([&](QWidget*) {
            ++dialogs;
            return QString::fromStdString(tree.path());
        });
        controller.window()->findChild<QAction*>("openMediaDirectoryAction")->trigger();
        QCOMPARE(dialogs, 1);
        waitForReload(controller, reloaded);

        const auto* model = controller.mediaTableModel();
        QCOMPARE(model->rowCount(), 3);
        // At the opening size the names are whole: the mode is its picture, the date has no
        // year, and their tooltips say the rest; all four columns fit the view.
        QTableView* table = controller.ui().mediaListTableView;
        QHeaderView* header = table->horizontalHeader();
        const auto needs = [&](int column) { return static_cast<QAbstractItemView*>(table)->sizeHintForColumn(column); };
        QVERIFY(header->sectionSize(3) >= needs(3));
        QVERIFY(header->length() <= table->viewport()->width());
        QVERIFY(header->sectionSize(0) >= table->iconSize().width() && header->sectionSize(1) >= needs(1) &&
                header->sectionSize(2) >= needs(2));
        QCOMPARE(cell(controller, 2, 0), QString());
        QCOMPARE(cell(controller, 2, 0, Qt::ToolTipRole), QStringLiteral("Normal"));
        QCOMPARE(cell(controller, 2, 1), QStringLiteral("01-31"));
        QCOMPARE(cell(controller, 2, 1, Qt::ToolTipRole), QStringLiteral("2020-01-31"));
        QCOMPARE(cell(controller, 2, 3, Qt::ToolTipRole), QString::fromStdString(tree.path() + "/alwa_20200131_090507_R.mp4"));

        // undated rows come first; a record with an Unknown channel has text and no image
        const int undated = cell(controller, 0, 3) == "._alwa_20200101_120000_F.mp4" ? 0 : 1;
        const int unknown = 1 - undated;
        QCOMPARE(cell(controller, undated, 0, Qt::ToolTipRole), QStringLiteral("Normal"));
        QCOMPARE(cell(controller, undated, 1), QString());
        QCOMPARE(cell(controller, undated, 2), QString());
        QVERIFY(!model->data(model->index(undated, 0), Qt::DecorationRole).value<QPixmap>().isNull());
        QCOMPARE(cell(controller, unknown, 0), QStringLiteral("Event"));
        QCOMPARE(cell(controller, unknown, 3), QStringLiteral("event_20201301_120000_F.MP4"));
        QVERIFY(!model->data(model->index(unknown, 0), Qt::DecorationRole).isValid());

        QCOMPARE(cell(controller, 2, 2), QStringLiteral("09:05:07"));
        QVERIFY(!model->data(model->index(2, 0), Qt::DecorationRole).value<QPixmap>().isNull());

        // a cancelled dialog changes nothing
        controller.setDirectoryChooser([](QWidget*) { return QString(); });
        controller.openMediaDirectoryDialog();
        controller.mediaList().waitForRebuilds();
        QCoreApplication::processEvents();
        QCOMPARE(reloaded.count(), 1);
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(controller.mediaList().directoryPath(), tree.path());
    }

    void sideViewSwitchesAndANewListReturnsToTheTable() {
        TempTree first, second;
        first.touch("alwa_20200101_120000_F.mp4");
        second.touch("alwa_20200101_120000_R.mp4");
        second.touch("motion_20200101_120000_R.mp4");
        QSettings settings;
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        QSignalSpy reloaded(&controller, &ZLXAppDelegate::mediaListReloaded);
        QSignalSpy modes(&controller, &ZLXAppDelegate::rightViewModeChanged);
        controller.openMediaDirectory(QString::fromStdString(first.path()));
        waitForReload(controller, reloaded);
        QCOMPARE(modes.count(), 0); // already the table

        const auto& ui = controller.ui();

        QTest::mouseClick(ui.informationButtonImageView, Qt::LeftButton);
        QCOMPARE(controller.rightViewMode(), 1);
        QVERIFY(ui.mapContainerView->isVisible());
        QVERIFY(!ui.mediaListTableView->isVisible());
        QCOMPARE(ui.mapContainerView->size(), ui.mediaListBox->size());
        controller.clickMapViewButton(); // no change, no notification
        QCOMPARE(modes.count(), 1);

        controller.openMediaDirectory(QString::fromStdString(second.path()));
        QCOMPARE(controller.rightViewMode(), 1); // the table keeps its rows until the list reports
        QCOMPARE(controller.mediaTableModel()->rowCount(), 1);
        waitForReload(controller, reloaded, 2);
        QCOMPARE(controller.rightViewMode(), 0);
        QVERIFY(ui.mediaListTableView->isVisible());
        QVERIFY(!ui.mapContainerView->isVisible());
        QCOMPARE(controller.mediaTableModel()->rowCount(), 2);
        QVERIFY(!controller.mediaList().findMediaPairWithFileName("alwa_20200101_120000_F.mp4")->frontMedia);

        controller.window()->findChild<QAction*>("mapViewAction")->trigger();
        QCOMPARE(controller.rightViewMode(), 1);
        controller.window()->findChild<QAction*>("mediaListViewAction")->trigger();
        QCOMPARE(controller.rightViewMode(), 0);
    }

    // An empty folder says there are no recordings and what the camera calls them; the speed
    // and size buttons say what they are; the G fields are not named twice.
    void whatTheWindowSaysOfItself() {
        TempTree empty;
        empty.touch("notes.txt");
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        QSettings settings;
        controller.applicationDidFinishLaunching(settings);
        QSignalSpy reloaded(&controller, &ZLXAppDelegate::mediaListReloaded);
        controller.openMediaDirectory(QString::fromStdString(empty.path()));
        waitForReload(controller, reloaded);
        QVERIFY2(controller.headFolderText().contains("no recordings") && controller.headFolderText().contains("_F.MP4"),
                 qPrintable(controller.headFolderText()));
        QVERIFY(!controller.ui().speedTextButton->toolTip().isEmpty());
        QVERIFY(!controller.ui().sizeTextButton->toolTip().isEmpty());
        QVERIFY(!controller.ui().gsensorXCaption->isVisibleTo(controller.window()));
        QVERIFY(controller.ui().gsensorXField->isVisibleTo(controller.window()));
    }

    // File → Import Card…: the chosen card copied into the library in the background, the end
    // told with what was copied; the library itself is never imported into itself.
    void aCardIsImportedIntoTheLibrary() {
        TempTree card, library;
        card.touch("alwa_20241003_081500_F.MP4");
        card.touch("event_20241003_082000_F.MP4");
        QSettings settings;
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        // File → Library Folder… names the library
        QString chosen = QString::fromStdString(library.path("DAXO"));
        controller.setDirectoryChooser([&](QWidget*) { return chosen; });
        controller.window()->findChild<QAction*>("chooseLibraryAction")->trigger();
        QCOMPARE(settings.value("library/folder").toString(), chosen);
        chosen = QString::fromStdString(card.path());
        QSignalSpy finished(&controller, &ZLXAppDelegate::importFinished);
        controller.window()->findChild<QAction*>("importCardAction")->trigger();
        QVERIFY(finished.wait(20000));
        QVERIFY2(finished.front().front().toString().startsWith("Copied 2, skipped 0, failed 0"),
                 qPrintable(finished.front().front().toString()));
        QVERIFY(QFile::exists(QString::fromStdString(library.path("DAXO/2024-10-03/event_20241003_082000_F.MP4"))));
        QMessageBox* told = test::alertOf(controller.window());
        QVERIFY(told);
        QCOMPARE(told->icon(), QMessageBox::Information);
        told->accept();
        // the library opens as a card does, its day folders and all
        QSignalSpy reloaded(&controller, &ZLXAppDelegate::mediaListReloaded);
        controller.window()->findChild<QAction*>("openLibraryAction")->trigger();
        waitForReload(controller, reloaded);
        QCOMPARE(controller.mediaTableModel()->rowCount(), 2);

        chosen = QString::fromStdString(library.path("DAXO/2024-10-03"));
        controller.importCardDialog();
        QMessageBox* refused = test::alertOf(controller.window());
        QVERIFY(refused && refused->informativeText().contains("the library itself"));
        refused->accept();
        settings.remove("library/folder");
    }

    // An area marked on the map: every pass through it across the library, in a window of its
    // own; a double-clicked pass opens the library and plays that recording.
    void theLibraryIsSearchedForAnArea() {
        TempTree library;
        const std::string input = library.path("input.mp4");
        QVERIFY(test::ffmpegMp4(input, 2, false));
        std::filesystem::create_directories(library.path("DAXO/2024-05-06"));
        tools::CardOptions options;
        options.groups = 4;
        options.recordsPerMinute = 10;
        options.frontInput = options.rearInput = input;
        options.frontBytes = options.rearBytes = 256 << 10;
        options.eventEvery = 2; // the second and fourth are event recordings, each with its jolt
        QVERIFY(tools::makeCard(library.path("DAXO/2024-05-06"), options).ok);
        library.touch(std::string("DAXO/") + kLibraryMarkName); // as an import leaves it
        QSettings settings;
        settings.setValue("library/folder", QString::fromStdString(library.path("DAXO")));
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        QSignalSpy shown(&controller, &ZLXAppDelegate::passesShown);
        controller.searchArea(37.0, 126.0, 38.0, 128.0); // every drive of the made card
        QVERIFY(shown.wait(20000));
        QCOMPARE(shown.front().front().toInt(), 4);
        auto* table = controller.window()->findChild<QTableWidget*>("passesTable");
        QVERIFY(table && table->isVisible());
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("event_20240506_070300_F.MP4 ●")); // the newest

        // the filters search again: event recordings, near an impact, faster than the drive
        ZLXPassesWindow* window = controller.passesWindow();
        window->eventsBox()->setChecked(true);
        QVERIFY(shown.wait(20000));
        QCOMPARE(shown.back().front().toInt(), 2);
        window->eventsBox()->setChecked(false);
        QVERIFY(shown.wait(20000));
        window->impactsBox()->setChecked(true);
        QVERIFY(shown.wait(20000));
        QCOMPARE(shown.back().front().toInt(), 2);
        window->impactsBox()->setChecked(false);
        QVERIFY(shown.wait(20000));
        window->fromBox()->setChecked(true);
        window->fromDate()->setDate(QDate(2024, 5, 7)); // the day after
        QTRY_COMPARE_WITH_TIMEOUT(shown.back().front().toInt(), 0, 20000);
        window->fromBox()->setChecked(false);
        QTRY_COMPARE_WITH_TIMEOUT(shown.back().front().toInt(), 4, 20000);
        // a circle of 300 m around the first drive's start, then of 2 km: the second's too
        controller.searchAround(37.5, 127.0, 300);
        QVERIFY(shown.wait(20000));
        QCOMPARE(shown.back().front().toInt(), 1);
        QVERIFY(window->radiusBox()->isVisible());
        window->radiusBox()->setValue(2000);
        emit window->radiusBox()->editingFinished();
        QVERIFY(shown.wait(20000));
        QCOMPARE(shown.back().front().toInt(), 2);
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT"))
            window->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-passes.png"));
        controller.searchArea(37.0, 126.0, 38.0, 128.0);
        QVERIFY(shown.wait(20000));
        QVERIFY(!window->radiusBox()->isVisible());
        QSignalSpy chosen(controller.playback(), &ZLXPlayback::recordingChosen);
        emit table->cellDoubleClicked(0, 0);
        QVERIFY(chosen.wait(20000));
        QCOMPARE(controller.mediaList().directoryPath(), library.path("DAXO"));
        // the side panel tells the library's days, recordings and room
        QLabel* summary = controllerObject.trips().librarySummary();
        QTRY_VERIFY_WITH_TIMEOUT(!summary->text().isEmpty(), 10000);
        QVERIFY2(summary->text().startsWith(QStringLiteral("Library: 1 day, 8 recordings (4 events)\n2 MB used, ")),
                 qPrintable(summary->text()));
        if (qEnvironmentVariableIsSet("DAXO_SCREENSHOT")) {
            controller.clickTripViewButton();
            QVERIFY(test::waitSettled(controller.window()));
            controller.window()->grab().save(QString(qEnvironmentVariable("DAXO_SCREENSHOT")).replace(".png", "-library.png"));
        }
        controller.searchArea(10, 10, 11, 11); // where the car never went
        QVERIFY(shown.wait(20000));
        QCOMPARE(shown.back().front().toInt(), 0);
        settings.remove("library/folder");
    }

    // File → Library…: the days newest first with their counts and sizes; Remove Day… asks, then
    // moves the day's files to the trash, never deletes them.
    void aDayOfTheLibraryGoesToTheTrashAfterAsking() {
        TempTree library;
        for (const char* file : {"2024-10-03/alwa_20241003_081500_F.MP4", "2024-10-03/event_20241003_081600_F.MP4",
                                 "2024-10-04/alwa_20241004_090000_F.MP4", "undated/holiday_F.MP4"})
            library.touch(file);
        QSettings settings;
        settings.setValue("library/folder", QString::fromStdString(library.path()));
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        controller.window()->findChild<QAction*>("libraryWindowAction")->trigger();
        auto* window = controller.window()->findChild<ZLXLibraryWindow*>("libraryWindow");
        QVERIFY(window && window->isVisible());
        auto* days = window->findChild<QTableWidget*>("libraryDays");
        QCOMPARE(days->rowCount(), 3);
        QCOMPARE(days->item(0, 0)->text(), QStringLiteral("2024-10-04"));
        QCOMPARE(days->item(1, 1)->text(), QStringLiteral("2"));
        QCOMPARE(days->item(1, 2)->text(), QStringLiteral("1")); // its event
        QCOMPARE(days->item(2, 0)->text(), QStringLiteral("undated"));
        QVERIFY(window->findChild<QLabel*>("libraryStorage")->text().contains("free"));

        days->selectRow(1);
        QSignalSpy removed(window, &ZLXLibraryWindow::dayRemoved);
        window->findChild<QPushButton*>("removeDayButton")->click();
        auto* ask = window->findChild<QMessageBox*>("removeDayQuestion");
        QVERIFY(ask && ask->text().contains("2 recordings of 2024-10-03"));
        const auto buttons = ask->buttons();
        const auto trash = std::find_if(buttons.begin(), buttons.end(), [](QAbstractButton* b) { return b->text() == "Move to Trash"; });
        QVERIFY(trash != buttons.end());
        (*trash)->click();
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.front().at(1).toInt(), 2);
        QCOMPARE(removed.front().at(2).toInt(), 0);
        QVERIFY(!QFileInfo::exists(QString::fromStdString(library.path("2024-10-03"))));
        QCOMPARE(days->rowCount(), 2);
        settings.remove("library/folder");
    }

    void eachSettingsWindowReplacesTheOneBefore() {
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        QAction* settings = controller.window()->findChild<QAction*>("showSettingPanelAction");
        // each opening makes a new settings window and drops the one before
        settings->trigger();
        QPointer<QWidget> first = controller.lastDialogController();
        QVERIFY(first && first->isVisible());
        settings->trigger();
        QVERIFY(!first);
        QVERIFY(controller.lastDialogController()->isVisible());
        // the clock window is a dialog of the same kind: it takes the settings window's place
        QPointer<QWidget> second = controller.lastDialogController();
        controller.window()->findChild<QAction*>("showTimeSetupPanelAction")->trigger();
        QVERIFY(!second);
        QCOMPARE(controller.lastDialogController()->objectName(), QStringLiteral("ZLXTimeSetupController"));
    }

    void closingTheWindowEndsTheProgram() {
        QSettings settings;
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        QVERIFY(QTest::qWaitForWindowExposed(controller.window()));
        QSignalSpy willClose(controller.window(), &CustomWindow::windowWillClose);
        // the program ends when its last window closes (the signal for it needs a running loop)
        QVERIFY(qApp->quitOnLastWindowClosed());
        QVERIFY(controller.window()->testAttribute(Qt::WA_QuitOnClose));
        controller.closeWindow();
        QCOMPARE(willClose.count(), 1);
        QVERIFY(!controller.window()->isVisible());
        const QWidgetList topLevels = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(topLevels.cbegin(), topLevels.cend(),
                             [](QWidget* w) { return w->isVisible(); }));
    }

    void playersAndTheMapPageComeWithTheWindowAndClosingEmptiesThePlayers() {
        QTemporaryDir dir;
        const QString file = dir.filePath("alwa_20240101_120000_F.mp4");
        const QString error = test::makeTestMp4(file, 3);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        QSettings settings;
        ZLXViewer controllerObject;
        ZLXAppDelegate& controller = controllerObject.app();
        controller.applicationDidFinishLaunching(settings);
        QVERIFY(controller.playback()->player1() && controller.playback()->player2());
        QVERIFY(!controller.video1View()->isVisible());
        QVERIFY(!controller.video2View()->isVisible());
        // the map's page (and the web engine's memory) is made when the map is first shown
        QVERIFY(!controller.mapWebView()->isStarted());
        controller.clickMapViewButton();
        QTRY_VERIFY_WITH_TIMEOUT(controller.mapWebView()->isPageLoaded(), 30000);
        QCOMPARE(controller.mapWebView()->url(), ZLXMapWebView::mapPageUrl());

        controller.playback()->player1()->setMedia(file);
        controller.playback()->player2()->setMedia(file);
        controller.playback()->player1()->play();
        controller.playback()->player2()->play();
        QTRY_VERIFY_WITH_TIMEOUT(controller.playback()->player1()->isPlaying() && controller.playback()->player2()->isPlaying(), 15000);
        controller.closeWindow();
        for (ZLXMediaPlayer* player : {controller.playback()->player1(), controller.playback()->player2()}) {
            QVERIFY(!player->hasMedia());
            QVERIFY(!player->isPlaying());
        }
    }
};

DAXO_QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
