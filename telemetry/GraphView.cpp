// SPDX-License-Identifier: GPL-3.0-or-later
#include "telemetry/GraphView.h"

#include "telemetry/ZLXGraphGeometry.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace daxo {

GraphView::GraphView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphView::setGraphData(const std::vector<ZLXGSensor>& values) {
    m_values = values;
    update();
}

void GraphView::setImpactMarks(std::vector<double> positions) {
    m_impactMarks = std::move(positions);
    update();
}

void GraphView::updateTimePosition(double position) {
    m_timePosition = position;
    update();
}

void GraphView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const double H = height();
    const ZLXGraphGeometry geometry(width(), H);
    // The geometry counts y upwards from the bottom.
    auto at = [H](double x, double y) { return QPointF(x, H - y); };
    const double w = geometry.areaWidth();
    const double h = geometry.areaHeight();

    // Grey lines on a darker grey, where the white labels and the curves read well.
    painter.fillRect(rect(), backgroundGrey());
    painter.setPen(Qt::NoPen);
    painter.setBrush(gridGrey());
    for (int i = 0; i <= 4; ++i)
        painter.drawRect(QRectF(at(20, geometry.gridLineY(i) + 1), QSizeF(w, 1)));
    painter.drawRect(QRectF(at(20, 8 + h), QSizeF(1, h)));

    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QFontMetricsF metrics(font);
    static const char* const labels[] = {"-2", "-1", "0", "+1", "+2"};
    for (int i = 0; i <= 4; ++i) {
        const QString text = QString::fromLatin1(labels[i]);
        const double x = 20 - (metrics.horizontalAdvance(text) + 2);
        const double y = geometry.gridLineY(i) - (metrics.height() / 2 - 2);
        painter.drawText(at(x, y), text);
    }

    if (m_values.empty())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const std::pair<ZLXGraphAxis, QColor> axes[] = {
        {ZLXGraphAxis::X, Qt::red}, {ZLXGraphAxis::Y, Qt::green}, {ZLXGraphAxis::Z, Qt::blue}};
    // Values beyond ±2 g go past the graph area, up to the view's edge, where a stronger
    // blow runs along the edge instead of vanishing; the strongest value beyond is written.
    auto inView = [&](const ZLXGraphPoint& p) { return at(p.x, std::clamp(p.y, 0.5, H - 0.5)); };
    double peak = 0;
    ZLXGraphPoint peakAt;
    for (const auto& [axis, colour] : axes) {
        const auto points = geometry.polyline(m_values, axis);
        QPainterPath path(inView(points.front()));
        for (size_t k = 1; k < points.size(); ++k)
            path.lineTo(inView(points[k]));
        for (const ZLXGraphPoint& p : points) {
            const double g = (p.y - geometry.graphAreaZeroValuePoint().y) / geometry.unit();
            if (std::abs(g) > 2 && std::abs(g) > std::abs(peak))
                peak = g, peakAt = p;
        }
        painter.setPen(QPen(colour, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    }
    if (peak != 0) {
        painter.setPen(Qt::white);
        const QString text = QString::asprintf("%+.1f g", peak);
        const QPointF p = inView(peakAt);
        painter.drawText(QPointF(std::min(p.x() + 3, width() - metrics.horizontalAdvance(text) - 2),
                                 peak > 0 ? metrics.ascent() + 1 : H - metrics.descent() - 1), text);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    // impacts: a dark red band across the graph with a small flag at the top
    for (const double position : m_impactMarks) {
        const double x = geometry.timeBarX(position);
        painter.fillRect(QRectF(at(x - 1, 8 + h), QSizeF(3, h)), QColor(192, 0, 26, 170));
        painter.fillRect(QRectF(at(x - 4, 8 + h), QSizeF(9, 5)), QColor(192, 0, 26));
    }
    painter.fillRect(QRectF(at(geometry.timeBarX(m_timePosition), 8 + h), QSizeF(2, h)), Qt::white);
}

} // namespace daxo
