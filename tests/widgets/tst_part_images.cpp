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
};

DAXO_QTEST_MAIN(PartImagesTest)
#include "tst_part_images.moc"
