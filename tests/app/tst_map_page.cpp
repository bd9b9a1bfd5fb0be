// SPDX-License-Identifier: GPL-3.0-or-later
// The map page in the web engine: the two script calls the program makes.
#include "../support/MapPage.h"
#include "app/player/ZLXVideoView.h"
#include "presentation/ZLXMapScript.h"
#include "app/map/ZLXMapWebView.h"
#include "app/map/ZLXMapWindowController.h"

#include <QApplication>
#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <unistd.h>
#include <QWebEnginePage>

using namespace daxo;
using daxo::test::evaluate;

class MapPageTest : public QObject {
    Q_OBJECT

    static bool loadPage(ZLXMapWebView& view) {
        QSignalSpy loaded(&view, &ZLXMapWebView::mapPageLoaded);
        view.loadMapPage();
        return loaded.wait(30000) && loaded.front().front().toBool();
    }

private slots:
    void scriptTextsAreInTheAgreedForm() {
        QCOMPARE(mapSetLatLagScript(127.25, 37.5), std::string("setLatLag('127.250000','37.500000')"));
        QCOMPARE(mapSetLatLagScript(-0.1275, -51.5), std::string("setLatLag('-0.127500','-51.500000')"));
        QCOMPARE(mapDebugScript("it's\\ok\n</script>"),
                 std::string("ZLXDebug('it\\x27s\\x5cok\\x0a\\x3c/script>')"));
    }

    void markerFollowsSetLatLag() {
        ZLXMapWebView view;
        view.resize(334, 300);
        view.show();
        view.updateMapLat(1, 2);
        view.runScript("clearPosition()"); // asked later, before the page is there: wins
        QVERIFY(loadPage(view));
        QCOMPARE(evaluate(view, "markerLatLng()"), QVariant()); // no position yet
        QCOMPARE(evaluate(view, "typeof L"), QVariant("object")); // Leaflet came with the page

        view.runScript(mapSetLatLagScript(127.25, 37.5));
        const QVariantList marker = evaluate(view, "markerLatLng()").toList();
        QCOMPARE(marker.size(), 2);
        QCOMPARE(marker[0].toDouble(), 37.5);
        QCOMPARE(marker[1].toDouble(), 127.25);
        const QVariantList centre = evaluate(view, "mapCenter()").toList();
        QVERIFY(qAbs(centre[0].toDouble() - 37.5) < 1e-3);
        QVERIFY(qAbs(centre[1].toDouble() - 127.25) < 1e-3);
        QCOMPARE(evaluate(view, "document.getElementById('position').textContent"),
                 QVariant("37.500000, 127.250000"));
        QVERIFY(evaluate(view, "document.querySelector('.leaflet-control-attribution').textContent")
                    .toString().contains("OpenStreetMap"));

        view.updateMapLat(-33.8688, 151.2093); // map window's order: latitude, longitude
        const QVariantList moved = evaluate(view, "markerLatLng()").toList();
        QCOMPARE(moved[0].toDouble(), -33.8688);
        QCOMPARE(moved[1].toDouble(), 151.2093);
    }

    // On a window system without a graphics device the viewer never loads OpenGL: the page is
    // drawn by Qt Quick's software renderer, and no rasteriser (with its tens of megabytes of
    // compiler) is in the process. (Run under Xvfb as the viewer starts; offscreen there is
    // no OpenGL to avoid.)
    void theMapDrawsWithoutOpenGLWhereThereIsNoGraphicsDevice() {
        if (!qEnvironmentVariableIsSet("DAXO_TEST_AS_VIEWER"))
            QSKIP("run as tst_map_page_x, under Xvfb with the viewer's graphics");
        QVERIFY(!hasGraphicsDevice()); // this machine: the case under test
        ZLXMapWebView view;
        view.resize(334, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(loadPage(view));
        view.updateMapLat(37.5, 127.25);
        const auto colours = [&] {
            const QImage shot = view.grab().toImage();
            QSet<QRgb> seen;
            for (int y = 0; y < shot.height(); y += 7)
                for (int x = 0; x < shot.width(); x += 7)
                    seen.insert(shot.pixel(x, y));
            return seen.size();
        };
        // the page's first frames: controls, marker, scale
        QTRY_VERIFY2_WITH_TIMEOUT(colours() > 8, "the map's page is not drawn", 10000);
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QVERIFY(!mapped.contains("libLLVM"));
        QVERIFY(!mapped.contains("swrast_dri"));
    }

    // Shift and a drag marks an area, and the host is told its corners.
    void aShiftDragMarksAnAreaToSearch() {
        ZLXMapWebView view;
        view.resize(334, 300);
        view.show();
        QVERIFY(loadPage(view));
        view.runScript(mapSetLatLagScript(127.0, 37.5));
        QSignalSpy chosen(&view, &ZLXMapWebView::areaChosen);
        QWidget* surface = view.focusProxy();
        QVERIFY(surface);
        QTRY_VERIFY_WITH_TIMEOUT(evaluate(view, "typeof qt").toString() == "object", 5000);
        QTest::mousePress(surface, Qt::LeftButton, Qt::ShiftModifier, QPoint(60, 60));
        QTest::mouseRelease(surface, Qt::LeftButton, Qt::ShiftModifier, QPoint(220, 200));
        QVERIFY(chosen.wait(5000));
        const QList<QVariant> corners = chosen.front();
        const double south = corners[0].toDouble(), west = corners[1].toDouble(), north = corners[2].toDouble(),
                     east = corners[3].toDouble();
        QVERIFY(south < 37.5 && 37.5 < north && west < 127.0 && 127.0 < east); // around the car, at the centre
        QCOMPARE(evaluate(view, "markedArea()").toList().size(), 4);

        // Shift and a click: a circle of 100 m around the place clicked
        QSignalSpy place(&view, &ZLXMapWebView::placeChosen);
        QTest::mouseClick(surface, Qt::LeftButton, Qt::ShiftModifier, QPoint(167, 150));
        QVERIFY(place.wait(5000));
        QVERIFY(std::abs(place.front()[0].toDouble() - 37.5) < 0.001 && std::abs(place.front()[1].toDouble() - 127.0) < 0.001);
        QCOMPARE(place.front()[2].toDouble(), 100.0);
        QCOMPARE(evaluate(view, "markedCircle()").toList().size(), 3);
        QCOMPARE(chosen.size(), 1); // no area asked for
    }

    void debugTextShowsInTheStatusLine() {
        ZLXMapWebView view;
        QVERIFY(loadPage(view));
        view.updateMapLat(37.5, 127.25);
        view.runScript(kMapNoGpsScript);
        QCOMPARE(evaluate(view, "document.getElementById('message').textContent"),
                 QVariant("GPS Data Count=Zero"));
        // a recording without GPS leaves no marker of the one before
        QCOMPARE(evaluate(view, "markerLatLng()"), QVariant());
        QCOMPARE(evaluate(view, "document.getElementById('position').textContent"), QVariant(""));
        view.runScript(mapDebugScript("quote ' and <b>tag</b>"));
        QCOMPARE(evaluate(view, "document.getElementById('message').textContent"),
                 QVariant("quote ' and <b>tag</b>"));
        QCOMPARE(evaluate(view, "document.getElementsByTagName('b').length"), QVariant(0));
    }

    void mapWindowOpensBesideItsOpener() {
        ZLXMapWindowController window;
        window.resize(500, 500);
        window.moveWindowRightBy(QRect(100, 200, 800, 600));
        QCOMPARE(window.pos(), QPoint(900, 200)); // left edge on the right edge, tops level
        QCOMPARE(window.size(), QSize(500, 500));
        window.show();
        QSignalSpy loaded(window.mapWebView(), &ZLXMapWebView::mapPageLoaded);
        window.windowDidLoad();
        QVERIFY(loaded.wait(30000));
        window.updateMapLat(37.5, 127.25);
        QVariant result;
        bool done = false;
        window.mapWebView()->page()->runJavaScript("markerLatLng()", [&](const QVariant& v) { result = v, done = true; });
        QVERIFY(QTest::qWaitFor([&] { return done; }, 10000));
        QCOMPARE(result.toList().value(0).toDouble(), 37.5);
        QCOMPARE(result.toList().value(1).toDouble(), 127.25);
    }

    void callsBeforeTheFunctionsExistDoNoHarm() {
        ZLXMapWebView view;
        view.page()->runJavaScript(QString::fromStdString(mapSetLatLagScript(10, 20)));
        view.page()->runJavaScript(kMapNoGpsScript);
        QVERIFY(loadPage(view));
        QCOMPARE(evaluate(view, "markerLatLng()"), QVariant());
    }
};

// As the viewer starts (tst_map_page_x) or as every suite does.
int main(int argc, char** argv) {
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsSet("DAXO_TEST_AS_VIEWER"))
        prepareGraphics(false);
    else
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    MapPageTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_map_page.moc"
