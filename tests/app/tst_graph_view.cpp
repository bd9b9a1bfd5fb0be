// SPDX-License-Identifier: GPL-3.0-or-later
// The G-sensor graph as drawn: grid, curves and the time bar.
#include "../support/QtTestMain.h"
#include "telemetry/GraphView.h"

#include <QImage>

using namespace daxo;

class GraphViewTest : public QObject {
    Q_OBJECT

    static QImage render(GraphView& view) {
        QImage image(view.size(), QImage::Format_RGB32);
        view.render(&image);
        return image;
    }

private slots:
    void curvesAndTheBarFollowTheData() {
        GraphView view;
        view.resize(400, 100);
        // X at +1 g everywhere, Y at -1 g, Z at 0
        view.setGraphData(std::vector<ZLXGSensor>(500, ZLXGSensor(1, -1, 0)));
        view.updateTimePosition(0.5);
        QCOMPARE(view.values().size(), 500u);
        const QImage image = render(view);
        QCOMPARE(image.pixelColor(201, 100 - 60), QColor(Qt::white)); // the bar at x = 200
        // each curve is a coloured line at its value (the line may straddle two rows)
        auto tint = [&](int ySpec, auto channel) {
            int best = 0;
            for (int row = 100 - ySpec - 1; row <= 100 - ySpec; ++row) {
                const QColor c = image.pixelColor(100, row);
                best = std::max(best, channel(c));
            }
            return best;
        };
        QVERIFY(tint(71, [](const QColor& c) { return c.red() - c.green(); }) > 60);   // X, red
        QVERIFY(tint(29, [](const QColor& c) { return c.green() - c.red(); }) > 60);   // Y, green
        QVERIFY(tint(50, [](const QColor& c) { return c.blue() - c.red(); }) > 60);    // Z, blue
        view.setGraphData({});
        QCOMPARE(render(view).pixelColor(201, 100 - 60), GraphView::backgroundGrey());
    }

    void aBlowBeyondTwoGReachesTheEdgeInsteadOfVanishing() {
        GraphView view;
        view.resize(400, 100);
        std::vector<ZLXGSensor> values(400, ZLXGSensor(0, 0, 1));
        for (int i = 190; i < 210; ++i)
            values[size_t(i)] = ZLXGSensor(4.3f, 0, 1); // far above the +2 g line
        view.setGraphData(values);
        const QImage image = render(view);
        int redOnTopRow = 0;
        for (int x = 180; x < 230; ++x)
            redOnTopRow += image.pixelColor(x, 0).red() - image.pixelColor(x, 0).green() > 60;
        QVERIFY2(redOnTopRow > 5, qPrintable(QString::number(redOnTopRow)));
    }
};

DAXO_QTEST_MAIN(GraphViewTest)
#include "tst_graph_view.moc"
