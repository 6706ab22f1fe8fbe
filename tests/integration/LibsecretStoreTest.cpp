// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Runs inside a private D-Bus session with an unlocked GNOME Keyring (see
// scripts/with-test-keyring.sh), so it touches no real keyring.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

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

TEST_F(Libsecret, SavesReadsReplacesAndRemovesValuesAsGivenPerService) {
    EXPECT_FALSE(store.read("com.orvane.desktop", "it-account"));
    const std::vector<std::uint8_t> raw = {0xFF, 0x00, 0xFE, 'k'};
    for (const auto& value : {bytes("first"), bytes("second"), std::vector<std::uint8_t>{}, raw}) {
        store.save("com.orvane.desktop", "it-account", value);
        EXPECT_EQ(store.read("com.orvane.desktop", "it-account"), value);
    }
    store.save("com.orvane.desktop", "anthropic-api-key", raw);
    EXPECT_FALSE(KeychainHelper(store).apiKey()) << "bytes that are not UTF-8 read as absent";
    store.save("com.example.other", "it-account", bytes("theirs"));
    store.remove("com.orvane.desktop", "it-account");
    store.remove("com.orvane.desktop", "it-account");  // twice is harmless
    EXPECT_FALSE(store.read("com.orvane.desktop", "it-account"));
    EXPECT_EQ(store.read("com.example.other", "it-account"), bytes("theirs"));
    store.remove("com.example.other", "it-account");
}

// The values live in the Secret Service, not in this process: another program reads them there.
TEST_F(Libsecret, ValuesLiveInTheServiceForOtherProgramsToo) {
    KeychainHelper(store).setApiKey("sk-ant-persisted");
    KeychainHelper(store).setKey("openai-api-key", "sk-openai-persisted");
    EXPECT_EQ(run("secret-tool lookup service com.orvane.desktop account anthropic-api-key"),
              "sk-ant-persisted");
    EXPECT_EQ(run("secret-tool lookup service com.orvane.desktop account openai-api-key"),
              "sk-openai-persisted");
    KeychainHelper(store).setKey("openai-api-key", std::nullopt);
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
