// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-render-svg: renders an SVG to a PNG of the given pixel size, keeping its transparency.
// Used at build time to make the bitmap images the application ships from their SVG sources.
//   orvane-render-svg INPUT.svg OUTPUT.png WIDTH HEIGHT

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: orvane-render-svg INPUT.svg OUTPUT.png WIDTH HEIGHT\n";
        return 2;
    }
    // Drawing into an image needs no display; the build machine may have none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int width = QString(argv[3]).toInt();
    const int height = QString(argv[4]).toInt();
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid() || width <= 0 || height <= 0) {
        std::cerr << "orvane-render-svg: cannot render " << argv[1] << "\n";
        return 1;
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::cerr << "orvane-render-svg: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
