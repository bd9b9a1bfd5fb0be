// SPDX-License-Identifier: GPL-3.0-or-later
#include "GraphView.h"

#include "ZLXGraphGeometry.h"

#include <QPainter>
#include <QPainterPath>

namespace daxo {

GraphView::GraphView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphView::setGraphData(const std::vector<ZLXGSensor>& values) {
    m_values = values;
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

    painter.fillRect(rect(), QColor::fromRgbF(0.8f, 0.8f, 0.8f));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
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
    for (const auto& [axis, colour] : axes) {
        const auto points = geometry.polyline(m_values, axis);
        QPainterPath path(at(points.front().x, points.front().y));
        for (size_t k = 1; k < points.size(); ++k)
            path.lineTo(at(points[k].x, points[k].y));
        painter.setPen(QPen(colour, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRectF(at(geometry.timeBarX(m_timePosition), 8 + h), QSizeF(2, h)), Qt::white);
}

} // namespace daxo
