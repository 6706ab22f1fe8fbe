// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace orvane::testing {
namespace {

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
    EXPECT_NE(appVersionLine().find("0.2.0 (2)"), std::string::npos);
}

TEST(AppCommandLine, NonsenseIsRefused) {
    EXPECT_TRUE(AppArguments::parse({"--frobnicate"}).error);
    EXPECT_TRUE(AppArguments::parse({"--trace-events"}).error);
    EXPECT_TRUE(AppArguments::parse({"a:/1", "b:/2"}).error);
    EXPECT_TRUE(AppArguments::parse({"--sign-in", "--sign-out"}).error);
    EXPECT_TRUE(AppArguments::parse({"--sign-out", "a:/1"}).error);
}

}  // namespace
}  // namespace orvane::testing
