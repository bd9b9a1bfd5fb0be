// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the viewer's named images into a folder at build time, so that no picture is kept in
// the repository as a binary. Usage: daxo-draw-images OUTPUT_DIR
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>
#include <string>

namespace {

QImage canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A small car seen from the side; the camera marker sits at its front or its back.
QImage car(bool front, const QColor& mode) {
    QImage image = canvas(40, 20);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath body;
    body.moveTo(4, 14);
    body.lineTo(4, 10);
    body.lineTo(11, 9);
    body.lineTo(15, 4);
    body.lineTo(26, 4);
    body.lineTo(31, 9);
    body.lineTo(36, 10);
    body.lineTo(36, 14);
    body.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(mode);
    p.drawPath(body);
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QPointF(11, 15), 3, 3);
    p.drawEllipse(QPointF(29, 15), 3, 3);
    p.setBrush(QColor(255, 220, 40));
    p.setPen(Qt::NoPen);
    const QPointF eye = front ? QPointF(35, 11.5) : QPointF(5, 11.5);
    p.drawEllipse(eye, 2.5, 2.5);
    return image;
}

QImage sideButton(bool pressed, bool list) {
    QImage image = canvas(166, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(pressed ? QColor(46, 110, 190) : QColor(70, 70, 74));
    p.drawRoundedRect(QRectF(0.5, 0.5, 165, 31), 4, 4);
    const QColor ink = pressed ? Qt::white : QColor(190, 190, 190);
    p.setPen(QPen(ink, 2));
    if (list) {
        for (int row = 0; row < 3; ++row)
            p.drawLine(QPointF(73, 10 + row * 6), QPointF(93, 10 + row * 6));
    } else {
        // a map pin
        p.setBrush(Qt::NoBrush);
        QPainterPath pin;
        pin.moveTo(83, 27);
        pin.cubicTo(75, 17, 75, 6, 83, 6);
        pin.cubicTo(91, 6, 91, 17, 83, 27);
        p.drawPath(pin);
        p.drawEllipse(QPointF(83, 13), 2.5, 2.5);
    }
    return image;
}

// The bars drawn over the application's icon while something loads: 16 points high.
QImage bar(const QColor& top, const QColor& bottom, int width = 128) {
    QImage image = canvas(width, 16);
    QPainter p(&image);
    QLinearGradient g(0, 2, 0, 14);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(bottom.darker(130), 1));
    p.setBrush(g);
    p.setOpacity(0.85);
    p.drawRect(QRectF(0.5, 2.5, width - 1, 11));
    return image;
}

QImage barberBar() {
    QImage image = bar(QColor(150, 200, 255), QColor(70, 140, 220), 160);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 110));
    for (int x = -16; x < 160; x += 32) {
        QPolygonF stripe;
        stripe << QPointF(x, 14) << QPointF(x + 12, 14) << QPointF(x + 24, 2) << QPointF(x + 12, 2);
        p.drawPolygon(stripe);
    }
    return image;
}

// A channel's name on the background of its video area.
QImage logo(const QString& text, int height) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(height / 2);
    const QFontMetrics metrics(font);
    QImage image = canvas(metrics.horizontalAdvance(text) + height, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(image.rect().adjusted(1, 1, -1, -1), height / 4, height / 4);
    p.setFont(font);
    p.setPen(QColor(220, 220, 220));
    p.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

// state: 0 normal, 1 under the pointer, 2 pressed
QImage playIcon(bool pause, int state = 0) {
    QImage image = canvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (state > 0) { // a round highlight behind the symbol
        p.setBrush(state == 1 ? QColor(255, 255, 255, 40) : QColor(255, 255, 255, 80));
        p.drawEllipse(QRectF(0.5, 0.5, 23, 23));
    }
    p.setBrush(state == 2 ? QColor(255, 255, 255) : QColor(222, 224, 228)); // light on the dark window
    if (pause) {
        p.drawRect(QRectF(6, 5, 4, 14));
        p.drawRect(QRectF(14, 5, 4, 14));
    } else {
        QPolygonF triangle;
        triangle << QPointF(7, 4) << QPointF(20, 12) << QPointF(7, 20);
        p.drawPolygon(triangle);
    }
    return image;
}

// One piece of the frame around a video: 8 × 8 blocks of a dark surface with a lighter rim on
// the outer edges, `row` and `column` 0 to 2 from the top left.
QImage framePiece(int row, int column, bool large) {
    const int block = 8;
    QImage image(block, block, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(24, 26, 30));
    QPainter p(&image);
    const QColor rim = large ? QColor(70, 76, 86) : QColor(58, 62, 70);
    p.setPen(Qt::NoPen);
    p.setBrush(rim);
    if (row == 0)
        p.drawRect(0, 0, block, 1);
    if (row == 2)
        p.drawRect(0, block - 1, block, 1);
    if (column == 0)
        p.drawRect(0, 0, 1, block);
    if (column == 2)
        p.drawRect(block - 1, 0, 1, block);
    return image;
}

// The full-screen control strip's background: a dark band, lighter at its top edge.
QImage stripBackground() {
    QImage image(8, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    QLinearGradient shade(0, 0, 0, 40);
    shade.setColorAt(0, QColor(58, 60, 66, 235));
    shade.setColorAt(1, QColor(22, 24, 28, 235));
    p.fillRect(image.rect(), shade);
    p.fillRect(QRect(0, 0, 8, 1), QColor(110, 114, 122));
    return image;
}

// A piece of an information button's bezel: left and right ends rounded, the centre plain.
QImage bezelPiece(int piece, bool pressed) {
    const int width = piece == 1 ? 4 : 8;
    QImage image = canvas(width, 22);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(120, 124, 130));
    p.setBrush(pressed ? QColor(170, 174, 180) : QColor(232, 234, 238));
    const QRectF whole(0.5, 0.5, 15, 21);
    p.drawRoundedRect(whole.translated(piece == 0 ? 0 : piece == 1 ? -6 : -8, 0), 5, 5);
    return image;
}

QImage appIcon() {
    QImage image = canvas(256, 256);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(32, 36, 44));
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);
    // a camera lens
    p.setBrush(QColor(46, 110, 190));
    p.drawEllipse(QPointF(128, 118), 72, 72);
    p.setBrush(QColor(20, 24, 30));
    p.drawEllipse(QPointF(128, 118), 44, 44);
    p.setBrush(QColor(220, 60, 50));
    p.drawEllipse(QPointF(196, 52), 14, 14);
    // a road
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(40, 206, 176, 10));
    return image;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: daxo-draw-images OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(".")) {
        std::fprintf(stderr, "daxo-draw-images: cannot create %s\n", argv[1]);
        return 1;
    }
    struct Named {
        const char* name;
        std::function<QImage()> draw;
    };
    const QColor always(90, 170, 90), motion(80, 140, 220), event(220, 80, 70);
    const Named images[] = {
        {"car_front_alwa", [&] { return car(true, always); }},
        {"car_front_motion", [&] { return car(true, motion); }},
        {"car_front_event", [&] { return car(true, event); }},
        {"car_rear_alwa", [&] { return car(false, always); }},
        {"car_rear_motion", [&] { return car(false, motion); }},
        {"car_rear_event", [&] { return car(false, event); }},
        {"record_p", [] { return sideButton(true, true); }},
        {"record_n", [] { return sideButton(false, true); }},
        {"information_p", [] { return sideButton(true, false); }},
        {"information_n", [] { return sideButton(false, false); }},
        {"daxo-viewer", appIcon},
        {"blueProgress", [] { return bar(QColor(129, 204, 255), QColor(59, 120, 185)); }},
        {"greyProgress", [] { return bar(QColor(241, 241, 241), QColor(160, 160, 160)); }},
        {"barberProgress", barberBar},
        {"v1_front_logo", [] { return logo(QStringLiteral("FRONT"), 64); }},
        {"v1_rear_logo", [] { return logo(QStringLiteral("REAR"), 64); }},
        {"v2_front_logo", [] { return logo(QStringLiteral("FRONT"), 32); }},
        {"v2_rear_logo", [] { return logo(QStringLiteral("REAR"), 32); }},
        {"icon_play_n", [] { return playIcon(false); }},
        {"icon_pause_n", [] { return playIcon(true); }},
        {"icon_play_f", [] { return playIcon(false, 1); }},
        {"icon_pause_f", [] { return playIcon(true, 1); }},
        {"icon_play_p", [] { return playIcon(false, 2); }},
        {"icon_pause_p", [] { return playIcon(true, 2); }},
        {"bottom-background", stripBackground},
        {"bg_bt_info_left", [] { return bezelPiece(0, false); }},
        {"bg_bt_info_center", [] { return bezelPiece(1, false); }},
        {"bg_bt_info_right", [] { return bezelPiece(2, false); }},
        {"bg_bt_info_left_pressed", [] { return bezelPiece(0, true); }},
        {"bg_bt_info_center_pressed", [] { return bezelPiece(1, true); }},
        {"bg_bt_info_right_pressed", [] { return bezelPiece(2, true); }},
    };
    static const char* const kPieces[3][3] = {
        {"top_left_corner", "top_edge_fill", "top_right_corner"},
        {"left_edge_fill", "center_fill", "right_edge_fill"},
        {"bottom_left_corner", "bottom_edge_fill", "bottom_right_corner"}};
    for (const char* base : {"v1", "v2"}) {
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                const QString file = out.filePath(QStringLiteral("%1_%2.png").arg(QLatin1String(base), QLatin1String(kPieces[row][column])));
                if (!framePiece(row, column, base == std::string("v1")).save(file, "PNG")) {
                    std::fprintf(stderr, "daxo-draw-images: cannot write %s\n", qPrintable(file));
                    return 1;
                }
            }
        }
    }
    for (const Named& image : images) {
        const QString file = out.filePath(QString::fromLatin1(image.name) + ".png");
        if (!image.draw().save(file, "PNG")) {
            std::fprintf(stderr, "daxo-draw-images: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
