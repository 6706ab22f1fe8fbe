// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "integration/ProcessRun.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

ProcessRun listen(const std::string& arguments) {
    return runProcess(std::string(ORVANE_LISTEN_PATH) + " " + arguments);
}

TEST(OrvaneListen, AFileIsHeardOnTheAudiosOwnClock) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("orvane-listen-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto d = dir.string();
    // Two questions 2.5 s apart: stereo 44.1 kHz, to exercise the conversion. (A lone word after
    // them would test the utterance rule, but synthetic speech is sometimes heard as two short
    // words under load; the rule has its own tests.)
    ASSERT_EQ(std::system(("espeak-ng -v en-us -w " + d +
                           "/a.wav 'What is a binary search tree' && "
                           "espeak-ng -v en-us -w " +
                           d +
                           "/b.wav 'Tell me about a project you are proud of' && "
                           "sox " +
                           d + "/a.wav " + d +
                           "/a2.wav pad 0 2.5 && "
                           "sox -D " +
                           d + "/a2.wav " + d + "/b.wav -r 44100 -c 2 " + d + "/all.wav")
                              .c_str()),
              0);
    const auto run = listen("--wav " + d + "/all.wav --fast");
    std::filesystem::remove_all(dir);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::vector<std::string> questions;
    int transcripts = 0;
    for (const auto& event : run.events) {
        if (event["event"] == "question") questions.push_back(event["text"]);
        if (event["event"] == "transcript") ++transcripts;
        EXPECT_NE(event["event"], "error") << event.dump();
    }
    EXPECT_EQ(questions.size(), 2u) << run.output;
    EXPECT_GT(transcripts, 4) << "the transcript grows as the words come";
}

TEST(OrvaneListen, ArgumentsAreChecked) {
    EXPECT_EQ(listen("--help").exitCode, 0);
    EXPECT_THAT(listen("--help").output, HasSubstr("--fast"));
    EXPECT_EQ(listen("").exitCode, 2);
    EXPECT_EQ(listen("--fast").exitCode, 2);
    EXPECT_EQ(listen("--wav /nonexistent.wav --fast").exitCode, 2);
    EXPECT_EQ(listen("--bogus").exitCode, 2);
}

}  // namespace
}  // namespace orvane::testing
