// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>

#include <filesystem>
#include <map>

#include "overlay/ContextSheet.h"
#include "overlay/UIHelpers.h"

namespace orvane {
namespace {

using ::testing::HasSubstr;

struct ComposeCase {
    const char* name;
    std::string company, role, notes, expected, cv = {}, job = {};
};

class Composing : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(Composing, GivesOneLinePerFilledInput) {
    EXPECT_EQ(ContextSheet::compose(GetParam().company, GetParam().role, GetParam().notes,
                                    GetParam().cv, GetParam().job),
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
                                  "Additional context:\nFirst.\n\nSecond \"quoted\" -- dash."},
                      ComposeCase{"documentsLast", "Acme", "", "",
                                  "Company: Acme\nCV:\nGo at Initech\n"
                                  "Job description:\nOwn the API",
                                  "\n Go at Initech \n", "Own the API"}),
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

// A CV or a job description is what the box shows: pasted or read, never past its limit, and a
// file that cannot be read changes nothing.
TEST_F(Sheet, DocumentsAreShownAsTheModelGetsThem) {
    auto* cv = sheet.cvBox();
    EXPECT_FALSE(cv->fileButton()->isVisibleTo(cv)) << "no reader, no files";
    std::map<std::string, DocumentReader::Result> files = {
        {"/cv.pdf", {"Built Kafka pipelines", ""}},
        {"/long.pdf", {std::string(7000, 'x'), ""}},
        {"/locked.pdf", {"", "locked.pdf is protected by a password."}}};
    std::function<void(DocumentReader::Result)> pending;
    sheet.readDocumentsWith([&](const std::filesystem::path& file, auto done) {
        pending = [done](auto result) { done(result); };
        if (file != "/slow.pdf") pending(files.at(file));
    });
    EXPECT_TRUE(cv->fileButton()->isVisibleTo(cv));

    cv->chooseFile = [] { return QString("/cv.pdf"); };
    QTest::mouseClick(cv->fileButton(), Qt::LeftButton);
    EXPECT_EQ(cv->text(), "Built Kafka pipelines");
    EXPECT_EQ(cv->statusLabel()->text(), "From cv.pdf: 21 of 6,000 characters.");
    cv->load("/locked.pdf");
    EXPECT_EQ(cv->text(), "Built Kafka pipelines");
    EXPECT_EQ(cv->statusLabel()->text(), UI::breakable("locked.pdf is protected by a password."));
    cv->load("/long.pdf");
    EXPECT_EQ(cv->text().size(), ContextSheet::maxDocumentCharacters);
    EXPECT_EQ(cv->statusLabel()->text(),
              "From long.pdf: cut to the first 6,000 characters, as shown.");

    // What is typed while a file is read is not thrown away for it.
    auto* job = sheet.jobBox();
    job->load("/slow.pdf");
    QTest::keyClicks(job->editor(), "Own the API");
    pending({"Something else", ""});
    EXPECT_EQ(job->text(), "Own the API");
    job->editor()->appendPlainText(QString(7000, 'y'));
    EXPECT_EQ(job->text().size(), ContextSheet::maxDocumentCharacters) << "pasted text too";

    sheet.handleSave();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_THAT(saved[0], HasSubstr("CV:\nxxx"));
    EXPECT_THAT(saved[0], HasSubstr("Job description:\nOwn the API"));
}

TEST_F(Sheet, StartsEmptyWithItsPlaceholders) {
    EXPECT_TRUE(sheet.companyField()->text().isEmpty());
    EXPECT_EQ(sheet.companyField()->placeholderText(), "e.g. Stripe");
    EXPECT_EQ(sheet.roleField()->placeholderText(), "e.g. Senior Backend Engineer");
    EXPECT_TRUE(sheet.notesField()->toPlainText().isEmpty());
}

}  // namespace
}  // namespace orvane
