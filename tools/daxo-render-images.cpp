// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the window's images from their SVG sources at build time, for ordinary screens
// (name.png) and for screens of twice the density (name@2x.png, which Qt picks there by
// itself), and the application's icon in the sizes desktops ask for (icons/NxN/).
//   daxo-render-images OUTPUT_DIR IMAGE.svg ...
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstring>

namespace {

bool render(QSvgRenderer& svg, QSize size, const QString& file) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p);
    p.end();
    return image.save(file, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("usage: daxo-render-images OUTPUT_DIR IMAGE.svg ...\n"
                   "Renders each SVG picture at 1x and 2x into OUTPUT_DIR (and the icon at its sizes).\n", stdout);
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: daxo-render-images OUTPUT_DIR IMAGE.svg ...\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(".")) {
        std::fprintf(stderr, "daxo-render-images: cannot create %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const QString source = QString::fromLocal8Bit(argv[i]);
        QSvgRenderer svg(source);
        if (!svg.isValid()) {
            std::fprintf(stderr, "daxo-render-images: %s is not an SVG picture\n", argv[i]);
            return 1;
        }
        const QString name = QFileInfo(source).completeBaseName();
        const QSize size = svg.defaultSize();
        bool ok = render(svg, size, out.filePath(name + ".png")) && render(svg, size * 2, out.filePath(name + "@2x.png"));
        if (name == QLatin1String("daxo-viewer")) {
            for (const int side : {16, 24, 32, 48, 64, 128, 256, 512}) {
                const QString folder = QStringLiteral("icons/%1x%1").arg(side);
                ok = ok && out.mkpath(folder) && render(svg, QSize(side, side), out.filePath(folder + "/daxo-viewer.png"));
            }
        }
        if (!ok) {
            std::fprintf(stderr, "daxo-render-images: cannot write the pictures of %s\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
