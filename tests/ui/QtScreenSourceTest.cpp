// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Runs under Xvfb (see tests/CMakeLists.txt): real X11 screen grabs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <future>

#include "adapters/qt/QtScreenSource.h"
#include "adapters/std/WorkerQueue.h"

namespace orvane {
namespace {

QImage decode(const std::vector<std::uint8_t>& png) {
    QImage image;
    image.loadFromData(png.data(), static_cast<int>(png.size()), "PNG");
    return image;
}

class Grabs : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
        redWindow.setStyleSheet("background: rgb(255, 0, 0);");
        redWindow.setGeometry(100, 100, 200, 150);
        redWindow.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&redWindow));
        QTest::qWait(200);
    }
    // The capture as ScreenshotCapture makes it: from a background thread.
    ScreenPicture captureFromBackground(std::vector<WindowInfo> excluded, double scale = 1) {
        auto result = std::async(std::launch::async, [&] {
            const auto content = source.shareableContent();
            const auto& display = content->displays.front();
            return source.capturePNG(display,
                                     {static_cast<int>(scale * display.width),
                                      static_cast<int>(scale * display.height), false},
                                     excluded);
        });
        while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
            QCoreApplication::processEvents();
        }
        return result.get();
    }

    QtScreenSource source;
    QWidget redWindow;
};

TEST_F(Grabs, TheFirstScreenAtItsOwnPixelSizeAsPng) {
    const auto content = source.shareableContent();
    ASSERT_TRUE(content);
    ASSERT_FALSE(content->displays.empty());
    const auto& display = content->displays.front();
    EXPECT_DOUBLE_EQ(display.pixelsPerPoint, 1.0) << "Xvfb is a plain 96 dpi screen";
    const auto png = captureFromBackground({});
    ASSERT_TRUE(png);
    const auto image = decode(png.png);
    EXPECT_EQ(image.width(), display.width);
    EXPECT_EQ(image.height(), display.height);
    EXPECT_EQ(image.pixelColor(200, 175).red(), 255) << "the red window is in the picture";
}

TEST_F(Grabs, APictureIsShrunkToTheSizeAskedButNeverEnlarged) {
    const auto display = source.shareableContent()->displays.front();
    const auto enlarged = decode(captureFromBackground({}, 2.0).png);
    EXPECT_EQ(enlarged.size(), QSize(display.width, display.height));
    const auto halved = decode(captureFromBackground({}, 0.5).png);
    EXPECT_EQ(halved.size(), QSize(display.width / 2, display.height / 2));
}

TEST_F(Grabs, AnExcludedWindowIsLeftOutAndComesBack) {
    const auto id = static_cast<std::uint32_t>(redWindow.winId());
    const auto content = source.shareableContent();
    EXPECT_TRUE(std::any_of(content->windows.begin(), content->windows.end(),
                            [&](const WindowInfo& w) { return w.windowID == id; }));
    const auto png = captureFromBackground({WindowInfo{id}});
    ASSERT_TRUE(png);
    const auto pixel = decode(png.png).pixelColor(200, 175);
    EXPECT_FALSE(pixel.red() == 255 && pixel.green() == 0) << "the window was left out";
    EXPECT_DOUBLE_EQ(redWindow.windowHandle()->opacity(), 1.0);
    EXPECT_TRUE(redWindow.isVisible());
}

// Quitting while a screenshot waits for the GUI thread: the GUI thread drains the background
// queue without running its event loop again, so the grab has to give up rather than wait.
TEST_F(Grabs, AGrabWaitingForTheGuiThreadGivesUpWhenItCloses) {
    const auto display = source.shareableContent()->displays.front();
    ScreenPicture png = ScreenPicture::taken({1});
    std::atomic<bool> asked{false};
    const auto started = std::chrono::steady_clock::now();
    {
        WorkerQueue background;
        background.async([&] {
            asked = true;
            png = source.capturePNG(display, {display.width, display.height, false}, {});
        });
        while (!asked) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        source.close();
    }
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_LT(waited, QtScreenSource::guiWait);
    EXPECT_FALSE(png) << "no picture, and no hang";
    EXPECT_EQ(png.failure, ScreenPicture::Failure::unavailable);
    EXPECT_FALSE(png.message.empty());
    QCoreApplication::processEvents();  // the abandoned grab does not run late either
    EXPECT_TRUE(redWindow.isVisible());
}

}  // namespace
}  // namespace orvane

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
