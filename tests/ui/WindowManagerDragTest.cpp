// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The panel's edges and background under a real window manager (Openbox on Xvfb, see
// tests/ui/CMakeLists.txt), driven by xdotool as a hand would: the window system resizes, and
// nothing flings the panel or leaves it off the screen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "fakes/SessionHarness.h"
#include "overlay/FloatingPanelWindow.h"

namespace orvane::testing {
namespace {

class UnderAWindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
        // Openbox runs its startup command once it manages windows.
        const auto ready = QDir::temp().filePath(
            QStringLiteral("orvane-openbox-%1").arg(QCoreApplication::applicationPid()));
        QFile::remove(ready);
        wm.start("openbox", {"--sm-disable", "--startup", "touch " + ready});
        if (!wm.waitForStarted(5000)) GTEST_SKIP() << "openbox is not installed";
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(ready); }, 10000));
        QFile::remove(ready);
        QTest::qWait(500);
        panel = std::make_unique<FloatingPanelWindow>(h.session, h.mainQueue, h.workspace);
        panel->move(300, 200);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
        // Placed and framed by the window manager.
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown().width() >= 400; }));
        QTest::qWait(300);
    }
    void TearDown() override {
        panel.reset();
        wm.terminate();
        wm.waitForFinished(3000);
    }
    // Presses at a point of the screen, moves by the offset in steps, and lets go, the panel
    // taking each step in as a hand's would be.
    static void drag(QPoint from, QPoint by) {
        const auto xdotool = [](QStringList arguments) {
            QProcess::execute("xdotool", arguments);
            QTest::qWait(60);
        };
        const auto at = [](QPoint p) {
            return QStringList{"mousemove", QString::number(p.x()), QString::number(p.y())};
        };
        xdotool(at(from));
        xdotool({"mousedown", "1"});
        for (int step = 1; step <= 6; ++step) xdotool(at(from + by * step / 6));
        xdotool({"mouseup", "1"});
        QTest::qWait(400);
    }
    // Where the window system has the panel: what the user sees, whatever the toolkit was told.
    static QRect shown() {
        QProcess xdotool;
        xdotool.start("xdotool", {"search", "--name", "^Orvane$", "getwindowgeometry", "--shell"});
        xdotool.waitForFinished(5000);
        QMap<QString, int> values;
        for (const auto& line : QString::fromUtf8(xdotool.readAllStandardOutput()).split('\n')) {
            const auto pair = line.split('=');
            if (pair.size() == 2) values[pair[0]] = pair[1].toInt();
        }
        return {values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
    }
    bool onScreen() const { return panel->screen()->availableGeometry().contains(shown()); }

    QProcess wm;
    SessionHarness h;
    std::unique_ptr<FloatingPanelWindow> panel;
};

TEST_F(UnderAWindowManager, EdgeAndCornerDragsResizeInPlaceAndTheBackgroundKeepsItOnScreen) {
    const auto start = shown();
    drag({start.right() - 2, start.center().y()}, {60, 0});
    EXPECT_NEAR(shown().left(), start.left(), 2) << "the right edge moved, not the panel";
    EXPECT_NEAR(shown().width(), start.width() + 60, 8);

    const auto wider = shown();
    drag({wider.right() - 2, wider.bottom() - 2}, {900, 700});
    EXPECT_NEAR(shown().left(), wider.left(), 2);
    EXPECT_TRUE(onScreen()) << "no sliver left past the screen's edge";

    drag({shown().center().x(), shown().top() + 40}, {1500, 0});
    EXPECT_TRUE(onScreen()) << "dragged past the edge, it stays in view";
}

}  // namespace
}  // namespace orvane::testing

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
