// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-screenshot: saves what the X display shows as a PNG, for the demo and end-to-end runs
// that look at Orvane on a virtual display.
//   orvane-screenshot OUTPUT.png

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: orvane-screenshot OUTPUT.png\n";
        return 2;
    }
    QGuiApplication app(argc, argv);
    auto* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::cerr << "orvane-screenshot: no screen\n";
        return 1;
    }
    const QPixmap shot = screen->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::cerr << "orvane-screenshot: cannot save " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
