// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Runs inside a private D-Bus session with an unlocked GNOME Keyring (see
// scripts/with-test-keyring.sh), so it touches no real keyring.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "accounts/KeychainHelper.h"
#include "adapters/libsecret/LibsecretStore.h"

namespace orvane {
namespace {

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ::pclose(pipe);
    return output;
}

class Libsecret : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("ORVANE_TEST_KEYRING"))
            GTEST_SKIP() << "needs scripts/with-test-keyring.sh";
        store.remove("com.orvane.desktop", "it-account");
        store.remove("com.orvane.desktop", "anthropic-api-key");
    }
    LibsecretStore store;
};

TEST_F(Libsecret, SavesReadsReplacesAndRemoves) {
    EXPECT_FALSE(store.read("com.orvane.desktop", "it-account"));
    store.save("com.orvane.desktop", "it-account", bytes("first"));
    EXPECT_EQ(store.read("com.orvane.desktop", "it-account"), bytes("first"));
    store.save("com.orvane.desktop", "it-account", bytes("second"));
    EXPECT_EQ(store.read("com.orvane.desktop", "it-account"), bytes("second"));
    store.remove("com.orvane.desktop", "it-account");
    EXPECT_FALSE(store.read("com.orvane.desktop", "it-account"));
    store.remove("com.orvane.desktop", "it-account");  // twice is harmless
}

TEST_F(Libsecret, KeepsEmptyAndNonUtf8ValuesAsGiven) {
    store.save("com.orvane.desktop", "it-account", {});
    EXPECT_EQ(store.read("com.orvane.desktop", "it-account"), std::vector<std::uint8_t>{});
    const std::vector<std::uint8_t> raw = {0xFF, 0x00, 0xFE, 'k'};
    store.save("com.orvane.desktop", "it-account", raw);
    EXPECT_EQ(store.read("com.orvane.desktop", "it-account"), raw);
    KeychainHelper keychain(store);
    store.save("com.orvane.desktop", "anthropic-api-key", raw);
    EXPECT_FALSE(keychain.apiKey()) << "bytes that are not UTF-8 read as absent";
}

TEST_F(Libsecret, OtherServicesAreKeptApart) {
    store.save("com.example.other", "it-account", bytes("theirs"));
    store.save("com.orvane.desktop", "it-account", bytes("ours"));
    EXPECT_EQ(store.read("com.orvane.desktop", "it-account"), bytes("ours"));
    EXPECT_EQ(store.read("com.example.other", "it-account"), bytes("theirs"));
    store.remove("com.orvane.desktop", "it-account");
    EXPECT_EQ(store.read("com.example.other", "it-account"), bytes("theirs"));
    store.remove("com.example.other", "it-account");
}

TEST_F(Libsecret, AValueOutlivesTheProcessThatSavedIt) {
    KeychainHelper keychain(store);
    keychain.setApiKey("sk-ant-persisted");
    // Another program reads it from the Secret Service...
    EXPECT_EQ(run("secret-tool lookup service com.orvane.desktop account anthropic-api-key"),
              "sk-ant-persisted");
    // ...and a value saved by another Orvane process is read here.
    const auto self = std::filesystem::canonical("/proc/self/exe").string();
    run("ORVANE_TEST_SAVE_VALUE=sk-from-another-process " + self +
        " --gtest_filter=LibsecretHelper.SaveForAnotherProcess");
    EXPECT_EQ(store.read("com.orvane.desktop", "it-account"), bytes("sk-from-another-process"));
}

// Not a test on its own: the process that the test above starts to save a value and exit.
TEST(LibsecretHelper, SaveForAnotherProcess) {
    const char* value = std::getenv("ORVANE_TEST_SAVE_VALUE");
    if (!value) GTEST_SKIP() << "started by AValueOutlivesTheProcessThatSavedIt only";
    LibsecretStore().save("com.orvane.desktop", "it-account", bytes(value));
}

TEST(LibsecretWithoutService, ReadsAbsentAndWritesNothing) {
    if (!std::getenv("ORVANE_TEST_NO_SECRET_SERVICE")) GTEST_SKIP() << "run with no session bus";
    LibsecretStore store;
    store.save("com.orvane.desktop", "it-account", bytes("lost"));
    EXPECT_FALSE(store.read("com.orvane.desktop", "it-account"));
    store.remove("com.orvane.desktop", "it-account");
}

}  // namespace
}  // namespace orvane
