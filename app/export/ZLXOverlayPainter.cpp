// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/export/ZLXOverlayPainter.h"

#include "telemetry/ZLXRoute.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace daxo {

namespace {

const QColor kGround(0, 0, 0, 150);
const QColor kText(255, 255, 255);

void drawTime(QPainter& p, const QRect& cell, const ZLXOverlayMoment& moment) {
    const QString text = QString::fromStdString(moment.time);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, cell.height() / 5));
    p.setFont(font);
    p.drawText(cell.adjusted(0, cell.height() / 8, 0, -cell.height() / 2), Qt::AlignCenter, text.left(10));
    font.setPixelSize(std::max(10, cell.height() / 3));
    font.setBold(true);
    p.setFont(font);
    p.drawText(cell.adjusted(0, cell.height() / 2 - cell.height() / 10, 0, -cell.height() / 10), Qt::AlignCenter,
               text.mid(11));
}

void drawSpeed(QPainter& p, const QRect& cell, const ZLXOverlayMoment& moment, bool kmh) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(std::max(10, cell.height() * 2 / 5));
    p.setFont(font);
    const QString number = moment.speed ? QString::number(std::lround(*moment.speed)) : QStringLiteral("–");
    p.drawText(cell.adjusted(0, 0, 0, -cell.height() / 3), Qt::AlignHCenter | Qt::AlignBottom, number);
    font.setBold(false);
    font.setPixelSize(std::max(8, cell.height() / 6));
    p.setFont(font);
    p.drawText(cell.adjusted(0, cell.height() * 2 / 3, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
               kmh ? QStringLiteral("km/h") : QStringLiteral("mph"));
}

void drawTrace(QPainter& p, const QRect& cell, const ZLXOverlayMoment& moment) {
    // 0 to 2 g, the last seconds from left to right; the moment is the right end
    const QRect plot = cell.adjusted(cell.width() / 10, cell.height() / 4, -cell.width() / 10, -cell.height() / 10);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(QPoint(plot.left(), plot.center().y()), QPoint(plot.right(), plot.center().y()));
    if (!moment.trace.empty()) {
        QPainterPath line;
        const double step = moment.trace.size() > 1 ? double(plot.width()) / double(moment.trace.size() - 1) : 0;
        for (size_t i = 0; i < moment.trace.size(); ++i) {
            const double g = std::clamp(double(moment.trace[i]), 0.0, 2.0);
            const QPointF at(plot.left() + step * double(i), plot.bottom() - g / 2.0 * plot.height());
            i == 0 ? line.moveTo(at) : line.lineTo(at);
        }
        p.setPen(QPen(QColor(255, 200, 40), std::max(1, cell.height() / 60)));
        p.drawPath(line);
        p.setBrush(QColor(255, 80, 60));
        p.setPen(Qt::NoPen);
        const double r = std::max(2, cell.height() / 30);
        p.drawEllipse(line.currentPosition(), r, r);
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, cell.height() / 6));
    p.setFont(font);
    p.setPen(kText);
    const double now = moment.trace.empty() ? 0 : moment.trace.back();
    p.drawText(cell.adjusted(0, cell.height() / 30, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("%1 g").arg(now, 0, 'f', 1));
}

void drawMap(QPainter& p, const QRect& cell, const ZLXOverlayTimeline& timeline, const ZLXOverlayMoment& moment) {
    const auto& route = timeline.route();
    const QRect area = cell.adjusted(cell.width() / 12, cell.height() / 12, -cell.width() / 12, -cell.height() / 6);
    if (route.empty())
        return;
    // the whole drive fitted, north up; a degree of longitude shrinks with the latitude
    double south = 90, north = -90, west = 180, east = -180;
    for (const auto& [lat, lon] : route) {
        south = std::min(south, lat), north = std::max(north, lat);
        west = std::min(west, lon), east = std::max(east, lon);
    }
    const double shrink = std::cos((south + north) / 2 * M_PI / 180);
    const double spanX = std::max((east - west) * shrink, 1e-6), spanY = std::max(north - south, 1e-6);
    const double scale = std::min(area.width() / spanX, area.height() / spanY); // pixels a degree of latitude
    const QPointF centre = QRectF(area).center();
    const auto at = [&](const std::pair<double, double>& fix) {
        return QPointF(centre.x() + ((fix.second - (west + east) / 2) * shrink) * scale,
                       centre.y() - (fix.first - (south + north) / 2) * scale);
    };
    QPainterPath path;
    for (size_t i = 0; i < moment.routeSoFar && i < route.size(); ++i)
        i == 0 ? path.moveTo(at(route[i])) : path.lineTo(at(route[i]));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    QPainterPath whole;
    for (size_t i = 0; i < route.size(); ++i)
        i == 0 ? whole.moveTo(at(route[i])) : whole.lineTo(at(route[i]));
    p.drawPath(whole);
    p.setPen(QPen(QColor(60, 160, 255), std::max(2, cell.height() / 40)));
    p.drawPath(path);
    if (moment.car) {
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(QColor(220, 40, 40));
        const double r = std::max(3, cell.height() / 22);
        p.drawEllipse(at(*moment.car), r, r);
    }
    // the scale bar: a round distance near a third of the cell's width
    const double metresPerPixel = 111320.0 / scale;
    const double target = metresPerPixel * area.width() / 3;
    double bar = std::pow(10, std::floor(std::log10(std::max(target, 1.0))));
    for (const double k : {2.0, 5.0})
        if (bar * k <= target)
            bar = std::pow(10, std::floor(std::log10(std::max(target, 1.0)))) * k;
    const int barPixels = int(std::lround(bar / metresPerPixel));
    const int y = cell.bottom() - cell.height() / 12;
    p.setPen(QPen(kText, 2));
    p.drawLine(QPoint(area.left(), y), QPoint(area.left() + barPixels, y));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(7, cell.height() / 9));
    p.setFont(font);
    p.drawText(QPoint(area.left() + barPixels + 4, y + font.pixelSize() / 3),
               bar >= 1000 ? QStringLiteral("%1 km").arg(bar / 1000) : QStringLiteral("%1 m").arg(bar));
}

} // namespace

QImage paintOverlay(const ZLXOverlayOptions& options, const ZLXOverlayTimeline& timeline,
                    const ZLXOverlayMoment& moment, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const int side = size.height();
    int x = 0;
    auto cell = [&](int squares) {
        const QRect r(x, 0, side * squares, side);
        x += side * squares;
        p.fillRect(r.adjusted(1, 1, -1, -1), kGround);
        p.setPen(kText);
        p.setBrush(Qt::NoBrush);
        return r;
    };
    if (options.time)
        drawTime(p, cell(2), moment);
    if (options.speed)
        drawSpeed(p, cell(1), moment, timeline.kmh());
    if (options.g)
        drawTrace(p, cell(1), moment);
    if (options.map)
        drawMap(p, cell(1), timeline, moment);
    p.end();
    return image.convertToFormat(QImage::Format_RGBA8888);
}

} // namespace daxo
