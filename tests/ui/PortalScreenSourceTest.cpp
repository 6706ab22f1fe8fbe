// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Screenshots through a stand-in screenshot portal on a private D-Bus daemon: the request goes
// out as real D-Bus messages from a background thread, as the capture queue makes it, and the
// answer comes back as desktops give it (a file, a refusal, no portal at all).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QImage>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include <future>

#include "adapters/qt/PortalScreenSource.h"
#include "ui/PrivateBus.h"

namespace orvane {
namespace {

using ::testing::HasSubstr;

// What a desktop's screenshot portal does, as far as a client can see.
class FakeScreenshotPortal : public FakePortal {
public:
    FakeScreenshotPortal(QDBusConnection bus, QString directory)
        : FakePortal(std::move(bus)), m_directory(std::move(directory)) {}

    // 0 a picture, 1 the user cancelled, 2 refused.
    uint response = 0;
    QSize size{800, 500};
    // Runs when the picture is taken: what is on screen then.
    std::function<void()> onPicture;
    QVariantMap options;
    QString written;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        if (message.interface() != "org.freedesktop.portal.Screenshot") return false;
        options = qdbus_cast<QVariantMap>(message.arguments().last());
        const auto request = acceptRequest(message, options);
        if (onPicture) onPicture();
        QVariantMap results;
        if (response == 0) {
            written = m_directory + "/Screenshot.png";
            QImage picture(size, QImage::Format_RGB32);
            picture.fill(QColor(30, 144, 255));
            picture.save(written);
            results.insert("uri", QUrl::fromLocalFile(written).toString());
        }
        respond(request, response, results);
        return true;
    }

private:
    QString m_directory;
};

class ScreenshotPortal : public ::testing::Test {
protected:
    ~ScreenshotPortal() override {
        source.reset();
        portal.reset();
        bus.disconnectAll();
    }
    void startPortal() {
        portal = std::make_unique<FakeScreenshotPortal>(bus.connect("portal"), files.path());
    }
    void startSource() { source = std::make_unique<PortalScreenSource>(bus.connect("client")); }
    // Takes a picture from a background thread, running the GUI thread meanwhile.
    ScreenPicture capture(std::vector<WindowInfo> excluded = {}, QSize limit = {1440, 900}) {
        auto picture = std::async(std::launch::async, [&] {
            return source->capturePNG({1, limit.width(), limit.height(), 1},
                                      {limit.width(), limit.height(), false}, excluded);
        });
        const bool answered = QTest::qWaitFor(
            [&] { return picture.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        EXPECT_TRUE(answered) << "the capture waited for an answer that was not coming";
        return picture.get();
    }

    QTemporaryDir files;
    PrivateBus bus;
    std::unique_ptr<FakeScreenshotPortal> portal;
    std::unique_ptr<PortalScreenSource> source;
};

QImage decoded(const ScreenPicture& picture) {
    return QImage::fromData(picture.png.data(), static_cast<int>(picture.png.size()), "PNG");
}

// No dialog, the left-out window hidden only for the picture, no file left behind, and a picture
// shrunk to the settings' size but never enlarged.
TEST_F(ScreenshotPortal, ThePictureIsReadFromTheDesktopsFileWithTheLeftOutWindowHidden) {
    startPortal();
    startSource();
    QWidget panel;
    panel.resize(200, 100);
    panel.show();
    bool panelShownDuringPicture = true;
    portal->onPicture = [&] { panelShownDuringPicture = panel.isVisible(); };
    const auto picture = capture({WindowInfo{static_cast<std::uint32_t>(panel.winId())}});
    ASSERT_TRUE(picture) << picture.message;
    EXPECT_FALSE(panelShownDuringPicture);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_FALSE(portal->options.value("interactive").toBool()) << "no dialog mid-interview";
    const auto image = decoded(picture);
    EXPECT_EQ(image.size(), QSize(800, 500)) << "a smaller picture is never enlarged";
    EXPECT_EQ(image.pixelColor(10, 10), QColor(30, 144, 255));
    EXPECT_FALSE(QFile::exists(portal->written)) << "no screenshot is left on disk";

    portal->size = {2880, 1800};
    const auto larger = capture({}, {1440, 900});
    ASSERT_TRUE(larger) << larger.message;
    EXPECT_EQ(decoded(larger).size(), QSize(1440, 900));
}

TEST_F(ScreenshotPortal, ACancelOrARefusalSaysSoAndShowsTheWindowAgain) {
    startPortal();
    startSource();
    QWidget panel;
    panel.show();
    portal->response = 1;
    auto picture = capture({WindowInfo{static_cast<std::uint32_t>(panel.winId())}});
    EXPECT_EQ(picture.failure, ScreenPicture::Failure::permissionDenied);
    EXPECT_EQ(picture.message, "The screenshot was cancelled.");
    EXPECT_TRUE(panel.isVisible());

    portal->response = 2;
    picture = capture();
    EXPECT_EQ(picture.failure, ScreenPicture::Failure::permissionDenied);
    EXPECT_THAT(picture.message, HasSubstr("privacy settings"));
}

TEST_F(ScreenshotPortal, NoPortalIsSaidAtOnceWithWhatToInstall) {
    startSource();
    const auto picture = capture();
    EXPECT_EQ(picture.failure, ScreenPicture::Failure::unavailable);
    EXPECT_THAT(picture.message, HasSubstr("xdg-desktop-portal"));
}

}  // namespace
}  // namespace orvane
