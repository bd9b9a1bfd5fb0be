// SPDX-License-Identifier: GPL-3.0-or-later
// The image-drawn controls rendered offscreen and read back at a few pixels.
#include "../support/QtTestMain.h"
#include "widgets/TKPartImages.h"
#include "widgets/ZLXImages.h"

#include <QDir>
#include <QEnterEvent>
#include <QImageReader>
#include <QRegularExpression>
#include <QPainter>

using namespace daxo;

namespace {

QRgb centre(const QImage& image) {
    return image.pixel(image.width() / 2, image.height() / 2);
}

} // namespace

class PartImagesTest : public QObject {
    Q_OBJECT

private slots:
    void theButtonShowsItsImageForEachState() {
        TKImageButton button;
        button.setImageName("icon_play_n");
        button.resize(24, 24);
        const QImage active = namedImage("icon_play_n").toImage(), rollover = namedImage("icon_play_f").toImage(),
                     pressed = namedImage("icon_play_p").toImage();
        QVERIFY(!active.isNull() && !rollover.isNull() && !pressed.isNull());
        // the symbol is opaque: its pixels come through as they are; around it, the highlight
        const QPoint symbol(11, 12), rim(3, 12);
        QCOMPARE(button.grab().toImage().pixel(symbol), active.pixel(symbol));
        const QRgb plainRim = button.grab().toImage().pixel(rim);

        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(&button, &enter);
        QCOMPARE(button.shownImage(), QStringLiteral("rollover"));
        QCOMPARE(button.grab().toImage().pixel(symbol), rollover.pixel(symbol));
        const QRgb hoverRim = button.grab().toImage().pixel(rim);
        QVERIFY(hoverRim != plainRim); // the highlight shows
        button.setDown(true);
        QCOMPARE(button.grab().toImage().pixel(symbol), pressed.pixel(symbol));
        QVERIFY(button.grab().toImage().pixel(rim) != hoverRim);
        button.setDown(false);
        button.setEnabled(false); // pointer inside, disabled: the inactive image
        QCOMPARE(button.shownImage(), QStringLiteral("inactive"));
        QCOMPARE(button.grab().toImage().pixel(rim), plainRim);
        button.setEnabled(true);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&button, &leave);
        QCoreApplication::sendEvent(&button, &leave); // a missed enter
        QCOMPARE(button.numberOfCaptures(), 0);
        QCOMPARE(button.shownImage(), QStringLiteral("active"));
    }

    void nineBlocksGoToTheirCornersEdgesAndCentre() {
        // a 30 × 30 image of nine coloured 10 × 10 blocks, drawn over 100 × 40
        QImage image(30, 30, QImage::Format_RGB32);
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                QPainter(&image).fillRect(column * 10, row * 10, 10, 10, QColor(row * 100, column * 100, 50));
        NinePartLayer layer;
        layer.setImage(image);
        QCOMPARE(layer.blockSize(), QSizeF(10, 10));
        QImage out(100, 40, QImage::Format_RGB32);
        out.fill(Qt::white);
        QPainter painter(&out);
        layer.draw(painter, QRectF(0, 0, 100, 40));
        painter.end();
        QCOMPARE(QColor(out.pixel(2, 2)), QColor(0, 0, 50));        // top left corner
        QCOMPARE(QColor(out.pixel(97, 37)), QColor(200, 200, 50));  // bottom right corner
        QCOMPARE(QColor(out.pixel(50, 20)), QColor(100, 100, 50));  // the centre, stretched
        QCOMPARE(QColor(out.pixel(50, 2)), QColor(0, 100, 50));     // top edge, stretched across
        QCOMPARE(QColor(out.pixel(2, 25)), QColor(100, 0, 50));     // left edge, stretched down
    }

    void theVideoBackgroundDrawsItsFrameAndLogo() {
        TKVideoBackgroundImageView view;
        view.resize(200, 120);
        view.setBackgroundNineImageName("v1");
        const QPixmap logo = namedImage("v1_front_logo");
        view.setLogoImage(logo, "v1_front_logo");
        const QImage shown = view.grab().toImage();
        QCOMPARE(shown.pixel(0, 0), namedImage("v1_top_left_corner").toImage().pixel(0, 0));
        QCOMPARE(shown.pixel(199, 60), namedImage("v1_right_edge_fill").toImage().pixel(7, 4));
        // the logo in the middle, over the centre's fill
        QImage expected(logo.size(), QImage::Format_RGB32);
        expected.fill(namedImage("v1_center_fill").toImage().pixel(4, 4));
        QPainter(&expected).drawPixmap(0, 0, logo);
        QCOMPARE(centre(shown), centre(expected));
        // the rim of the frame is lighter than its inside
        QVERIFY(QColor(shown.pixel(100, 0)).lightness() > QColor(shown.pixel(100, 5)).lightness());
    }

    // Every picture comes for ordinary screens and for screens of twice the density, where Qt
    // picks the second by itself.
    void everyPictureHasItsDoubleDensityTwin() {
        const QStringList pictures = QDir(":/images").entryList({"*.png"}).filter(QRegularExpression("^[^@]+\\.png$"));
        QVERIFY(pictures.size() >= 49);
        for (const QString& name : pictures) {
            const QSize single = QImageReader(":/images/" + name).size();
            const QSize twice = QImageReader(":/images/" + QString(name).replace(".png", "@2x.png")).size();
            QVERIFY2(!single.isEmpty() && twice == single * 2, qPrintable(name));
        }
    }

    void theInformationBezelIsPressedWhileDownOrOff() {
        auto bezel = [](bool on, bool highlighted) {
            QImage image(120, 22, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter p(&image);
            drawImageButtonBezel(p, image.rect(), on, highlighted);
            return image;
        };
        const QImage up = bezel(true, false), down = bezel(true, true), off = bezel(false, false);
        QCOMPARE(up.pixel(60, 11), namedImage("bg_bt_info_center").toImage().pixel(2, 11)); // the middle, stretched
        QCOMPARE(down.pixel(60, 11), namedImage("bg_bt_info_center_pressed").toImage().pixel(2, 11));
        QCOMPARE(off.pixel(60, 11), down.pixel(60, 11));
        QCOMPARE(up.pixel(116, 11), namedImage("bg_bt_info_right").toImage().pixel(4, 11)); // the right end, as it is
    }

    void stripsAndFills() {
        TKThreePartImageView strip;
        strip.resize(300, 40);
        strip.setAutoFillBackground(true); // the strip is translucent: over one colour
        const QPixmap piece = namedImage("bottom-background");
        strip.setImagesLeft(piece, piece, piece);
        const QImage shown = strip.grab().toImage();
        // the same band at the left end, in the stretched middle and at the right end
        const auto near = [](QRgb a, QRgb b) { return qAbs(QColor(a).lightness() - QColor(b).lightness()) <= 2; };
        for (const int y : {0, 20, 39})
            QVERIFY2(near(shown.pixel(150, y), shown.pixel(2, y)) && near(shown.pixel(297, y), shown.pixel(2, y)),
                     qPrintable(QStringLiteral("y %1: %2 %3 %4").arg(y).arg(QColor(shown.pixel(2, y)).name(),
                                QColor(shown.pixel(150, y)).name(), QColor(shown.pixel(297, y)).name())));
        QVERIFY(QColor(shown.pixel(150, 0)).lightness() > QColor(shown.pixel(150, 20)).lightness());

        CustomBackgroundBox box;
        box.resize(10, 10);
        QCOMPARE(QColor(box.grab().toImage().pixel(5, 5)), QColor(106, 95, 91));
        TKColorBackgroundView fill;
        fill.resize(10, 10);
        fill.setBackgroundColor(QColor(12, 34, 56));
        QCOMPARE(QColor(fill.grab().toImage().pixel(5, 5)), QColor(12, 34, 56));
    }
};

DAXO_QTEST_MAIN(PartImagesTest)
#include "tst_part_images.moc"
