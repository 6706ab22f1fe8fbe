// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The panel's edges and background under a real window manager (Openbox on Xvfb, see
// tests/ui/CMakeLists.txt), driven by xdotool as a hand would: the window system resizes, and
// nothing flings the panel or leaves it off the screen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "fakes/SessionHarness.h"
#include "overlay/FloatingPanelWindow.h"

namespace orvane::testing {
namespace {

// Every other program is started with system(), not QProcess: a fork from this process, whose
// X connection runs a thread of its own, is what ThreadSanitizer can follow.
int run(const std::string& command) {
    return std::system(command.c_str());
}

class UnderAWindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
        if (run("command -v openbox >/dev/null") != 0) GTEST_SKIP() << "openbox is not installed";
        // Openbox runs its startup command once it manages windows.
        const auto ready = dir.filePath("ready").toStdString();
        run("openbox --sm-disable --startup 'touch " + ready + "' >/dev/null 2>&1 & echo $! > " +
            dir.filePath("pid").toStdString());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return QFile::exists(QString::fromStdString(ready)); }, 10000));
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
        run("kill $(cat " + dir.filePath("pid").toStdString() + ") 2>/dev/null");
    }
    // Presses at a point of the screen, moves by the offset in steps, and lets go, the panel
    // taking each step in as a hand's would be.
    static void drag(QPoint from, QPoint by) {
        const auto xdotool = [](const std::string& arguments) {
            run("xdotool " + arguments);
            QTest::qWait(60);
        };
        const auto at = [](QPoint p) {
            return "mousemove " + std::to_string(p.x()) + " " + std::to_string(p.y());
        };
        xdotool(at(from));
        xdotool("mousedown 1");
        for (int step = 1; step <= 6; ++step) xdotool(at(from + by * step / 6));
        xdotool("mouseup 1");
        QTest::qWait(400);
    }
    // Where the window system has the panel: what the user sees, whatever the toolkit was told.
    static QRect shown() {
        std::map<std::string, int> values;
        if (FILE* out =
                ::popen("xdotool search --name '^Orvane$' getwindowgeometry --shell", "r")) {
            char line[128];
            while (std::fgets(line, sizeof line, out)) {
                const std::string text(line);
                const auto equals = text.find('=');
                if (equals != std::string::npos)
                    values[text.substr(0, equals)] = std::atoi(text.c_str() + equals + 1);
            }
            ::pclose(out);
        }
        return {values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
    }
    bool onScreen() const { return panel->screen()->availableGeometry().contains(shown()); }

    QTemporaryDir dir;
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
