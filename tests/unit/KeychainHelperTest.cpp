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

// The key lives under the app's service and account: saving replaces it, an empty one is kept
// but does not count, and absent removes it.
TEST_F(Keychain, StoresTheApiKeyUnderTheAppsServiceAndAccount) {
    EXPECT_FALSE(keychain.apiKey());
    EXPECT_FALSE(keychain.hasAPIKey());
    keychain.setApiKey(std::nullopt);  // nothing there: nothing happens
    keychain.setApiKey("sk-ant-old");
    keychain.setApiKey("sk-ant-123");
    EXPECT_EQ(keychain.apiKey(), "sk-ant-123");
    EXPECT_TRUE(keychain.hasAPIKey());
    ASSERT_EQ(store.items.size(), 1u);
    EXPECT_EQ(store.items.begin()->first,
              (std::pair<std::string, std::string>{"com.orvane.desktop", "anthropic-api-key"}));
    keychain.setApiKey("");
    EXPECT_EQ(keychain.apiKey(), "");
    EXPECT_FALSE(keychain.hasAPIKey());
    EXPECT_EQ(store.items.size(), 1u);
    keychain.setApiKey(std::nullopt);
    EXPECT_FALSE(keychain.apiKey());
    EXPECT_TRUE(store.items.empty());
}

// Another service's item, bytes that are not UTF-8, and a save that failed all read as no key.
TEST_F(Keychain, WhatIsNotAKeyOfOursReadsAsNone) {
    store.items[{"com.example.other", "anthropic-api-key"}] = {'x'};
    EXPECT_FALSE(keychain.apiKey());
    store.items[{"com.orvane.desktop", "anthropic-api-key"}] = {0xFF, 0xFE, 'k'};
    EXPECT_FALSE(keychain.apiKey());
    EXPECT_FALSE(keychain.hasAPIKey());
    keychain.setApiKey("old");
    store.refuseSaves = true;
    keychain.setApiKey("new");
    EXPECT_FALSE(keychain.apiKey()) << "a failed save leaves no old value behind";
}

}  // namespace
}  // namespace orvane::testing
