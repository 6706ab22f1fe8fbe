// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QTest>

#include "overlay/ContextSheet.h"
#include "overlay/UIHelpers.h"

namespace orvane {
namespace {

struct ComposeCase {
    const char* name;
    std::string company, role, notes, expected;
};

class Composing : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(Composing, GivesOneLinePerFilledInput) {
    EXPECT_EQ(ContextSheet::compose(GetParam().company, GetParam().role, GetParam().notes),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Composing,
    ::testing::Values(ComposeCase{"allEmpty", "", " \n", "\t", ""},
                      ComposeCase{"everything", "Acme", "SRE", "On-call heavy",
                                  "Company: Acme\nRole: SRE\nAdditional context:\nOn-call heavy"},
                      ComposeCase{"notesOnly", "", "", "Likes Go", "Additional context:\nLikes Go"},
                      ComposeCase{"companyTrimmed", "  Stripe  ", "", "", "Company: Stripe"},
                      ComposeCase{"companyAndNotes", "Acme", "", "one line",
                                  "Company: Acme\nAdditional context:\none line"},
                      ComposeCase{"paragraphsKept", "", "",
                                  "\n\nFirst.\n\nSecond \"quoted\" -- dash.\n\n",
                                  "Additional context:\nFirst.\n\nSecond \"quoted\" -- dash."}),
    [](const auto& info) { return std::string(info.param.name); });

class Sheet : public ::testing::Test {
protected:
    Sheet() {
        sheet.onSave = [this](const std::string& text) { saved.push_back(text); };
        sheet.show();
    }
    ContextSheet sheet;
    std::vector<std::string> saved;
};

TEST_F(Sheet, StartSessionHandsOnWhatWasTypedAndHides) {
    QTest::keyClicks(sheet.companyField(), " Initech ");
    QTest::keyClicks(sheet.roleField(), "Staff Engineer");
    QTest::keyClicks(sheet.notesField(), "Use \"straight\" quotes -- and dashes.");
    QTest::mouseClick(sheet.startButton(), Qt::LeftButton);
    EXPECT_EQ(saved, (std::vector<std::string>{
                         "Company: Initech\nRole: Staff Engineer\nAdditional context:\nUse "
                         "\"straight\" quotes -- and dashes."}));
    EXPECT_TRUE(sheet.isHidden());
}

TEST_F(Sheet, SkipHandsOnNothingWhateverWasTyped) {
    QTest::keyClicks(sheet.companyField(), "Initech");
    QTest::mouseClick(sheet.skipButton(), Qt::LeftButton);
    EXPECT_EQ(saved, (std::vector<std::string>{""}));
    EXPECT_TRUE(sheet.isHidden());

    // While a session runs, Cancel leaves the context in use as it was.
    ContextSheet during(ContextSheet::Mode::duringSession);
    during.onSave = [this](const std::string& text) { saved.push_back(text); };
    during.show();
    QTest::mouseClick(during.skipButton(), Qt::LeftButton);
    EXPECT_EQ(saved.size(), 1u);
    EXPECT_TRUE(during.isHidden());
}

TEST_F(Sheet, StartsEmptyWithItsPlaceholders) {
    EXPECT_TRUE(sheet.companyField()->text().isEmpty());
    EXPECT_EQ(sheet.companyField()->placeholderText(), "e.g. Stripe");
    EXPECT_EQ(sheet.roleField()->placeholderText(), "e.g. Senior Backend Engineer");
    EXPECT_TRUE(sheet.notesField()->toPlainText().isEmpty());
}

}  // namespace
}  // namespace orvane
