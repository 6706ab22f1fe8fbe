// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "accounts/AuthManager.h"

namespace orvane {
namespace {

TEST(AuthManagerState, StartsSignedOut) {
    AuthManager auth;
    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_FALSE(auth.userName());
    EXPECT_FALSE(auth.lastError());
}

TEST(AuthManagerState, AnyAccessTokenSignsInEvenAnEmptyOne) {
    AuthManager auth;
    auth.setAccessToken("");
    EXPECT_TRUE(auth.isAuthenticated());
}

TEST(AuthManagerState, UserNameIsTheStringFirstNameOnly) {
    AuthManager auth;
    auth.setUser(nlohmann::json{{"id", 7}, {"firstName", "Ada"}, {"name", "Ada Lovelace"}});
    EXPECT_EQ(auth.userName(), "Ada");
    auth.setUser(nlohmann::json{{"firstName", ""}});
    EXPECT_EQ(auth.userName(), "");
    auth.setUser(nlohmann::json{{"firstName", 42}});
    EXPECT_FALSE(auth.userName());
    auth.setUser(nlohmann::json{{"name", "Ada"}, {"first_name", "Ada"}});
    EXPECT_FALSE(auth.userName());
    auth.setUser(nlohmann::json::array({"Ada"}));
    EXPECT_FALSE(auth.userName());
}

TEST(AuthManagerState, SignOutForgetsTokensAndUserButKeepsTheLastError) {
    AuthManager auth;
    auth.setAccessToken("a");
    auth.setRefreshToken("r");
    auth.setUser(nlohmann::json{{"firstName", "Ada"}});
    auth.setLastError("Sign-in failed");
    auth.signOut();
    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_FALSE(auth.refreshToken());
    EXPECT_FALSE(auth.user());
    EXPECT_EQ(auth.lastError(), "Sign-in failed");
    auth.signOut();  // while signed out: nothing changes
    EXPECT_FALSE(auth.isAuthenticated());
    EXPECT_EQ(auth.lastError(), "Sign-in failed");
}

TEST(AuthManagerState, SharedIsOneInstanceThatStartsSignedOut) {
    EXPECT_EQ(&AuthManager::shared(), &AuthManager::shared());
    EXPECT_FALSE(AuthManager::shared().isAuthenticated());
}

}  // namespace
}  // namespace orvane
