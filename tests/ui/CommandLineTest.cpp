// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

TEST(AppCommandLine, ALaunchWithoutArgumentsAsksTheRunningOneToComeForward) {
    const auto arguments = AppArguments::parse({});
    EXPECT_FALSE(arguments.error);
    EXPECT_FALSE(arguments.help || arguments.version);
    EXPECT_EQ(arguments.message(), "activate");
}

TEST(AppCommandLine, ARedirectURLIsHandedOver) {
    const auto arguments = AppArguments::parse({"com.example.app:/oauth2redirect/google?code=1"});
    EXPECT_EQ(arguments.message(), "open com.example.app:/oauth2redirect/google?code=1");
}

TEST(AppCommandLine, OptionsAndCommands) {
    auto arguments = AppArguments::parse(
        {"--trace-events", "/tmp/t.jsonl", "--api-base", "http://127.0.0.1:9000/"});
    EXPECT_EQ(arguments.traceEvents, "/tmp/t.jsonl");
    EXPECT_EQ(arguments.apiBase, "http://127.0.0.1:9000");
    EXPECT_EQ(AppArguments::parse({"--toggle-session"}).message(), "toggle-session");
    EXPECT_EQ(AppArguments::parse({"--sign-in"}).message(), "sign-in");
    EXPECT_EQ(AppArguments::parse({"--sign-out"}).message(), "sign-out");
    EXPECT_TRUE(AppArguments::parse({"--version"}).version);
    EXPECT_TRUE(AppArguments::parse({"--help"}).help);
    EXPECT_THAT(appVersionLine(), HasSubstr("0.2.0 (2)"));
}

TEST(AppCommandLine, NonsenseIsRefused) {
    EXPECT_TRUE(AppArguments::parse({"--frobnicate"}).error);
    EXPECT_TRUE(AppArguments::parse({"--trace-events"}).error);
    EXPECT_TRUE(AppArguments::parse({"a:/1", "b:/2"}).error);
    EXPECT_TRUE(AppArguments::parse({"--sign-in", "--sign-out"}).error);
    EXPECT_TRUE(AppArguments::parse({"--sign-out", "a:/1"}).error);
}

TEST(AppCommandLine, InstallingAModelTakesAFileOrAURLWithItsChecksum) {
    auto arguments = AppArguments::parse({"--install-model", "/tmp/ggml-tiny.en.bin"});
    EXPECT_FALSE(arguments.error);
    EXPECT_EQ(arguments.installModel, "/tmp/ggml-tiny.en.bin");
    EXPECT_FALSE(arguments.sha256);

    arguments = AppArguments::parse(
        {"--sha256", "ab12", "--install-model", "https://models.example/ggml-base.en.bin"});
    EXPECT_FALSE(arguments.error);
    EXPECT_EQ(arguments.installModel, "https://models.example/ggml-base.en.bin");
    EXPECT_EQ(arguments.sha256, "ab12");
}

TEST(AppCommandLine, InstallingAModelIsRefusedBesideOtherWork) {
    EXPECT_TRUE(AppArguments::parse({"--install-model"}).error);
    EXPECT_EQ(AppArguments::parse({"--sha256", "ab12"}).error,
              "--sha256 goes with --install-model");
    EXPECT_EQ(AppArguments::parse({"--install-model", "m.bin", "--toggle-session"}).error,
              "--install-model goes on its own");
    EXPECT_EQ(AppArguments::parse({"--install-model", "m.bin", "a:/1"}).error,
              "--install-model goes on its own");
    EXPECT_THAT(appUsage(), HasSubstr("--install-model NAME|FILE|URL"));
}

}  // namespace
}  // namespace orvane::testing
