// SPDX-License-Identifier: GPL-3.0-or-later
// The progress indicator: updates by whole steps, its text line, and its bar on the icon.
#include "../support/QtTestMain.h"
#include "widgets/PMProgressIndicator.h"

#include <QLabel>

using namespace daxo;

class ProgressIndicatorTest : public QObject {
    Q_OBJECT

private slots:
    void onlyANewWholeValueUpdatesTheBarAndTheText() {
        PMProgressIndicator indicator;
        QLabel text;
        indicator.setProgressText(&text);
        indicator.setDisplayPercentage(true);
        indicator.setDoubleValue(10.2);
        indicator.setDoubleValue(10.7);
        indicator.setDoubleValue(10.9);
        QCOMPARE(indicator.barUpdates(), 1);
        QCOMPARE(indicator.value(), 10);
        QCOMPARE(indicator.lastValue(), 10);
        QCOMPARE(text.text(), QStringLiteral("10 % completed"));
        indicator.setIndeterminate(true);
        indicator.setDoubleValue(20);
        QCOMPARE(text.text(), QString()); // an indeterminate bar has no text
    }

    void barsOverTheIconWhileAwayFromTheEnds() {
        auto& controller = PMProgressIndicatorController::sharedInstance();
        QWidget window; // with an icon of its own, as the main window has
        QImage white(128, 128, QImage::Format_ARGB32);
        white.fill(Qt::white);
        const QIcon own(QPixmap::fromImage(white));
        window.setWindowIcon(own);
        auto* inWindow = new PMProgressIndicator(&window);
        PMProgressIndicator& indicator = *inWindow;
        indicator.setDoubleValue(50);
        QCOMPARE(controller.numProgressIndicators(), 1);
        controller.drawProgressIndicators();
        const QImage withImages = controller.composedIcon();
        QCOMPARE(withImages.size(), QSize(128, 128));
        // on the icon the window shows: its own picture above the bar
        QCOMPARE(window.windowIcon().pixmap(128, 128).toImage().pixelColor(64, 20), QColor(Qt::white));
        QVERIFY(window.windowIcon().cacheKey() != own.cacheKey());
        // the bottom row: filled (blue) on the left half, the rest grey
        const QColor left = withImages.pixelColor(20, 128 - 8), right = withImages.pixelColor(100, 128 - 8);
        QVERIFY2(left.blue() > left.red() + 40, qPrintable(left.name()));
        QVERIFY2(qAbs(right.red() - right.blue()) < 30, qPrintable(right.name()));

        controller.useColourBands(); // no images: the colour bands stand in
        controller.drawProgressIndicators();
        const QColor band = controller.composedIcon().pixelColor(10, 128 - 1 - 0); // offset 0 band, bottom row
        QVERIFY2(band.blue() > band.red(), qPrintable(band.name()));

        PMProgressIndicator second;
        second.setDoubleValue(30);
        QCOMPARE(controller.numProgressIndicators(), 2);
        indicator.setDoubleValue(100); // at the end its bar goes
        QCOMPARE(controller.numProgressIndicators(), 1);
        second.setDrawDockProgress(false);
        QCOMPARE(controller.numProgressIndicators(), 0);
        controller.drawProgressIndicators();
        // the window has its very own icon back, not a transparent one
        QCOMPARE(window.windowIcon().cacheKey(), own.cacheKey());
    }
};

DAXO_QTEST_MAIN(ProgressIndicatorTest)
#include "tst_progress_indicator.moc"
