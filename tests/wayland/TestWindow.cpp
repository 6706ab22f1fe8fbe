// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
//
// A plain window of one colour, for the desktop tests to put behind or over the panel:
//   orvane-test-window TITLE #RRGGBB WIDTH HEIGHT
// Prints "shown" once it is on screen.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <iostream>

namespace {

class ColourWindow : public QWidget {
public:
    explicit ColourWindow(QColor colour) : m_colour(colour) {}

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 5) {
        std::cerr << "usage: orvane-test-window TITLE #RRGGBB WIDTH HEIGHT\n";
        return 2;
    }
    ColourWindow window{QColor(QString::fromUtf8(argv[2]))};
    window.setWindowTitle(QString::fromUtf8(argv[1]));
    window.resize(std::atoi(argv[3]), std::atoi(argv[4]));
    window.show();
    QTimer::singleShot(200, [] { std::cout << "shown" << std::endl; });
    return QApplication::exec();
}
