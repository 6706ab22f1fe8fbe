// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QFontDatabase>

#include <QFile>
#include <QFontInfo>
#include <QTest>

#include <cmath>

#include "overlay/SymbolIcons.h"
#include "overlay/UIHelpers.h"

namespace orvane {
namespace {

// One test, because registering the faces cannot be undone within the process. Whether the
// machine has Ubuntu fonts of its own does not matter: before registration the helpers give a
// font of the asked size and weight, monospaced where asked; after it, the bundled faces.
TEST(Fonts, GiveTheAskedSizeAndWeightAndTheBundledFacesOnceRegistered) {
    const auto before = UI::ubuntu(14, QFont::Bold);
    EXPECT_EQ(before.weight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(before.pointSizeF(), 14);
    const auto monoBefore = UI::ubuntuMono(11);
    EXPECT_TRUE(QFontInfo(monoBefore).fixedPitch());
    EXPECT_DOUBLE_EQ(monoBefore.pointSizeF(), 11);

    EXPECT_EQ(registerBundledFonts(), 5);
    EXPECT_EQ(registerBundledFonts(), 5) << "registering again adds nothing";

    const std::vector<std::pair<QFont::Weight, QFont::Weight>> faces = {
        {QFont::Black, QFont::Bold},    {QFont::ExtraBold, QFont::Bold},
        {QFont::Bold, QFont::Bold},     {QFont::DemiBold, QFont::Medium},
        {QFont::Medium, QFont::Medium}, {QFont::Normal, QFont::Normal},
        {QFont::Light, QFont::Light},   {QFont::ExtraLight, QFont::Light},
        {QFont::Thin, QFont::Light}};
    for (const auto& [asked, face] : faces) {
        const auto font = UI::ubuntu(18, asked);
        EXPECT_EQ(font.family(), "Ubuntu") << asked;
        EXPECT_EQ(font.weight(), face) << asked;
        EXPECT_EQ(QFontInfo(font).family(), "Ubuntu") << "the face is really there";
    }
    EXPECT_EQ(UI::ubuntuMono(10).family(), "Ubuntu Mono");
    EXPECT_EQ(QFontInfo(UI::ubuntuMono(10)).family(), "Ubuntu Mono");
}

// Text tones are drawn over the panel's fill (itself over a dark desktop) and must read at
// WCAG AA's 4.5:1.
TEST(Palette, TextTonesReachFourAndAHalfToOneOnThePanel) {
    const auto over = [](const QColor& top, const QColor& below) {
        const auto mix = [&](double a, double b) {
            return a * top.alphaF() + b * (1 - top.alphaF());
        };
        return QColor::fromRgbF(mix(top.redF(), below.redF()), mix(top.greenF(), below.greenF()),
                                mix(top.blueF(), below.blueF()));
    };
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const auto panel = over(UI::panelBg(), QColor(Qt::black));
    for (const auto& tone :
         {UI::labelColor(), UI::secondaryLabelColor(), UI::tertiaryLabelColor()}) {
        const auto text = over(tone, panel);
        EXPECT_GE((luminance(text) + 0.05) / (luminance(panel) + 0.05), 4.5) << tone.alphaF();
    }
}

TEST(Symbols, KnownNamesDrawTintedAndUnknownNamesGiveNothingNotEvenOnAButton) {
    for (const char* name : {"chevron.left", "chevron.right", "paperplane.fill", "play.fill",
                             "stop.fill", "eye", "eye.slash", "gearshape"}) {
        EXPECT_TRUE(SymbolIcons::resourceFor(name)) << name;
    }
    EXPECT_FALSE(SymbolIcons::resourceFor("no.such.symbol"));
    EXPECT_FALSE(SymbolIcons::icon("no.such.symbol", 13, Qt::white));

    const auto image = SymbolIcons::pixmap("play.fill", 13, UI::bookCloth(), 2.0)->toImage();
    EXPECT_EQ(image.width(), 26);
    bool tinted = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > 200 && std::abs(pixel.red() - 204) < 3 &&
                std::abs(pixel.green() - 120) < 3 && std::abs(pixel.blue() - 92) < 3) {
                tinted = true;
            }
        }
    }
    EXPECT_TRUE(tinted) << "the icon is drawn in the tint";

    std::unique_ptr<QToolButton> known(UI::iconButton("gearshape", 13, Qt::white));
    std::unique_ptr<QToolButton> unknown(UI::iconButton("gear.fancy", 13, Qt::white));
    EXPECT_FALSE(known->icon().isNull());
    EXPECT_TRUE(unknown->icon().isNull());
    EXPECT_TRUE(QFile::exists(":/fonts/UBUNTU-FONT-LICENCE.txt")) << "the licences travel along";
    EXPECT_TRUE(QFile::exists(":/icons/LUCIDE-LICENSE.txt"));
}

class Clicks : public ::testing::Test {
protected:
    Clicks() {
        view.resize(100, 40);
        view.onClick = [this] { ++clicks; };
        view.show();
    }
    ClickableView view;
    int clicks = 0;
};

TEST_F(Clicks, AClickReleasedInsideCountsAndOneDraggedOutDoesNot) {
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(50, 20));
    EXPECT_EQ(clicks, 1);
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(50, 20));
    QEvent leave(QEvent::Leave);  // dragged out of the view
    QCoreApplication::sendEvent(&view, &leave);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(150, 20));
    EXPECT_EQ(clicks, 1);
    QTest::qWait(ClickableView::releaseFade + 60);
    EXPECT_NEAR(view.opacity(), view.isHovered() ? 0.85 : 1.0, 0.01)
        << "the look follows the hover state at release";
}

TEST_F(Clicks, HoverAndPressFade) {
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QCoreApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(view.isHovered());
    QTest::qWait(ClickableView::hoverFade + 60);
    EXPECT_NEAR(view.opacity(), 0.85, 0.01);

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(50, 20));
    QTest::qWait(ClickableView::pressFade + 60);
    EXPECT_NEAR(view.opacity(), 0.7, 0.01);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(50, 20));
    QTest::qWait(ClickableView::releaseFade + 60);
    EXPECT_NEAR(view.opacity(), 0.85, 0.01) << "released while hovered";

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_FALSE(view.isHovered());
    QTest::qWait(ClickableView::hoverFade + 60);
    EXPECT_NEAR(view.opacity(), 1.0, 0.01);
}

}  // namespace
}  // namespace orvane
