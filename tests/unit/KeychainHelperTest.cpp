// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "accounts/KeychainHelper.h"
#include "fakes/ScriptedAccounts.h"

namespace orvane::testing {
namespace {

class Keychain : public ::testing::Test {
protected:
    InMemorySecretStore store;
    KeychainHelper keychain{store};
};

TEST_F(Keychain, StoresTheApiKeyUnderTheAppsServiceAndAccount) {
    EXPECT_FALSE(keychain.apiKey());
    EXPECT_FALSE(keychain.hasAPIKey());
    keychain.setApiKey("sk-ant-123");
    EXPECT_EQ(keychain.apiKey(), "sk-ant-123");
    EXPECT_TRUE(keychain.hasAPIKey());
    ASSERT_EQ(store.items.size(), 1u);
    EXPECT_EQ(store.items.begin()->first,
              (std::pair<std::string, std::string>{"com.orvane.desktop", "anthropic-api-key"}));
}

TEST_F(Keychain, AnEmptyKeyIsStoredButDoesNotCount) {
    keychain.setApiKey("");
    EXPECT_EQ(keychain.apiKey(), "");
    EXPECT_FALSE(keychain.hasAPIKey());
    EXPECT_EQ(store.items.size(), 1u);
}

TEST_F(Keychain, SavingReplacesAndAbsentRemoves) {
    keychain.setApiKey(std::nullopt);  // nothing there: nothing happens
    keychain.setApiKey("a");
    keychain.setApiKey("b");
    EXPECT_EQ(keychain.apiKey(), "b");
    EXPECT_EQ(store.items.size(), 1u);
    keychain.setApiKey(std::nullopt);
    EXPECT_FALSE(keychain.apiKey());
    EXPECT_TRUE(store.items.empty());
}

TEST_F(Keychain, OtherServicesAreNeverSeen) {
    store.items[{"com.example.other", "anthropic-api-key"}] = {'x'};
    EXPECT_FALSE(keychain.apiKey());
}

TEST_F(Keychain, BytesThatAreNotUtf8ReadAsAbsent) {
    store.items[{"com.orvane.desktop", "anthropic-api-key"}] = {0xFF, 0xFE, 'k'};
    EXPECT_FALSE(keychain.apiKey());
    EXPECT_FALSE(keychain.hasAPIKey());
}

TEST_F(Keychain, ASaveThatFailsLeavesNoOldValueBehind) {
    keychain.setApiKey("old");
    store.refuseSaves = true;
    keychain.setApiKey("new");
    EXPECT_FALSE(keychain.apiKey());
}

}  // namespace
}  // namespace orvane::testing
