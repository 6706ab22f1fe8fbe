// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/whisper/ModelInstaller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "adapters/curl/CurlHttpClient.h"
#include "adapters/whisper/WhisperModelFile.h"
#include "integration/LoopbackServer.h"
#include "integration/ProcessRun.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;

std::string sha256Of(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    std::string hex;
    for (unsigned char b : digest) {
        static constexpr char digits[] = "0123456789abcdef";
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

// A real download over libcurl from a loopback server that hands out a generated model.
class ModelInstall : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(work);
        const auto path = (work / "made.bin").string();
        ASSERT_TRUE(writeRandomWhisperModel(path, WhisperDimensions::testSized(), 3));
        std::ifstream in(path, std::ios::binary);
        model.assign(std::istreambuf_iterator<char>(in), {});
        sum = sha256Of(model);
    }
    void TearDown() override { fs::remove_all(work); }

    // Serves the model in 64 KiB writes, or what `reply` says for other paths.
    std::unique_ptr<LoopbackServer> serve(
        std::function<bool(LoopbackConnection&)> reply = nullptr) {
        return std::make_unique<LoopbackServer>([this, reply](LoopbackConnection& c) {
            if (reply && reply(c)) return;
            c.write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(model.size()) +
                    "\r\nConnection: close\r\n\r\n");
            for (std::size_t at = 0; at < model.size(); at += 65536) {
                if (!c.write(std::string_view(model).substr(at, 65536))) return;
            }
        });
    }
    std::vector<std::string> filesIn(const fs::path& dir) const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir, error)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path work = fs::temp_directory_path() / ("orvane-install-" + std::to_string(::getpid()));
    fs::path models = work / "share" / "orvane" / "models";
    std::string model;
    std::string sum;
    CurlHttpClient http;
    ModelInstaller installer{http, models};
};

TEST_F(ModelInstall, ADownloadReportsProgressAndLandsCheckedInTheModelsDirectory) {
    auto server = serve();
    std::vector<ModelInstaller::Progress> seen;
    const auto result = installer.install(server->origin() + "/models/ggml-tiny.en.bin?download=1",
                                          sum, [&](const auto& p) { seen.push_back(p); });
    ASSERT_TRUE(result.installed) << result.problem;
    EXPECT_EQ(*result.installed, models / "ggml-tiny.en.bin");
    EXPECT_EQ(result.sha256, sum);
    EXPECT_EQ(fs::file_size(*result.installed), model.size());
    ASSERT_GE(seen.size(), 2u) << "progress as the bytes come, not once at the end";
    EXPECT_EQ(seen.back().bytes, model.size());
    EXPECT_EQ(seen.front().total, model.size());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(),
                               [](auto& a, auto& b) { return a.bytes < b.bytes; }));
    EXPECT_EQ(filesIn(models), (std::vector<std::string>{"ggml-tiny.en.bin"})) << "no part left";
    EXPECT_EQ(ModelInstaller::installedModels(models),
              (std::vector<fs::path>{models / "ggml-tiny.en.bin"}));
}

TEST_F(ModelInstall, AMissingMalformedOrWrongChecksumInstallsNothing) {
    auto server = serve();
    std::string other = sum;
    other[0] = other[0] == '0' ? '1' : '0';
    const auto result = installer.install(server->origin() + "/ggml-base.en.bin", other, nullptr);
    EXPECT_FALSE(result.installed);
    EXPECT_EQ(result.problem, "The model's SHA-256 is " + sum + ", not " + other +
                                  ": the file is damaged or not the one expected, and was not "
                                  "installed.");
    EXPECT_TRUE(filesIn(models).empty());
    // The checksum must be there and well formed, in either case.
    EXPECT_THAT(installer.install("https://example.org/m.bin", std::nullopt, nullptr).problem,
                HasSubstr("needs the model's SHA-256"));
    EXPECT_THAT(installer.install("https://example.org/m.bin", "abc", nullptr).problem,
                HasSubstr("64 hexadecimal digits"));
    std::string upper = sum;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(installer.install(server->origin() + "/m.bin", upper, nullptr).installed)
        << "either case";
}

TEST_F(ModelInstall, RedirectsAreFollowedToTheFile) {
    auto server = serve([](LoopbackConnection& c) {
        if (c.request().target != "/resolve/main/ggml-tiny.en.bin") return false;
        c.write(
            "HTTP/1.1 302 Found\r\nLocation: /cdn/blob\r\nContent-Length: 0\r\n"
            "Connection: close\r\n\r\n");
        return true;
    });
    const auto result =
        installer.install(server->origin() + "/resolve/main/ggml-tiny.en.bin", sum, nullptr);
    ASSERT_TRUE(result.installed) << result.problem;
    EXPECT_EQ(result.installed->filename(), "ggml-tiny.en.bin") << "named as asked, not as served";

    // No hop may go to plain http on another machine, even from this one.
    auto away = serve([](LoopbackConnection& c) {
        c.write(
            "HTTP/1.1 302 Found\r\nLocation: http://192.0.2.7/ggml-tiny.en.bin\r\n"
            "Content-Length: 0\r\nConnection: close\r\n\r\n");
        return true;
    });
    EXPECT_EQ(installer.install(away->origin() + "/ggml-tiny.en.bin", sum, nullptr).problem,
              "The download failed: The server sent the request on to plain http on another "
              "machine, which Orvane does not follow.");
}

TEST_F(ModelInstall, ServerErrorsAndCutOffDownloadsSayWhatHappened) {
    auto server = serve([this](LoopbackConnection& c) {
        if (c.request().target == "/missing.bin") {
            c.write(statusReply(404, "<html>Not Found</html>"));
            return true;
        }
        if (c.request().target == "/cut.bin") {
            c.write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(model.size()) +
                    "\r\nConnection: close\r\n\r\n" + model.substr(0, model.size() / 2));
            return true;
        }
        return false;
    });
    const auto missing = installer.install(server->origin() + "/missing.bin", sum, nullptr);
    EXPECT_EQ(missing.problem, "The server answered 404 for " + server->origin() + "/missing.bin.");
    const auto refused = installer.install("http://127.0.0.1:1/m.bin", sum, nullptr);
    EXPECT_EQ(refused.problem.rfind("The download failed: ", 0), 0u) << refused.problem;
    EXPECT_TRUE(filesIn(models).empty());
    const auto cut = installer.install(server->origin() + "/cut.bin", sum, nullptr);
    EXPECT_FALSE(cut.installed);
    EXPECT_FALSE(cut.problem.empty());
    EXPECT_EQ(filesIn(models), (std::vector<std::string>{".cut.bin.part"}))
        << "what arrived is kept to go on from, out of the models' list";
    EXPECT_TRUE(ModelInstaller::installedModels(models).empty());
}

// A download cut off or stopped goes on from where it ended: the server is asked for the rest
// (a range), and one that sends the whole file again, cannot send the rest, or sends a part that
// starts elsewhere, starts it over.
TEST_F(ModelInstall, AnInterruptedDownloadGoesOnFromWhereItEnded) {
    enum class Then { rest, wholeAgain, refuseRange, wrongRange };
    std::atomic<Then> then{Then::rest};
    std::atomic<bool> cutNext{true};
    auto server = serve([&](LoopbackConnection& c) {
        const auto& headers = c.request().headers;
        const auto range = headers.find("range");
        if (cutNext.exchange(false)) {
            const auto half = model.size() / 2;
            c.write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(model.size()) +
                    "\r\nConnection: close\r\n\r\n" + model.substr(0, half));
            return true;
        }
        if (then == Then::wholeAgain || range == headers.end()) return false;
        if (then == Then::refuseRange) {
            c.write(statusReply(416, ""));
            return true;
        }
        const auto asked = std::stoul(range->second.substr(6));  // "bytes=N-"
        const auto from = then == Then::wrongRange ? asked / 2 : asked;
        c.write("HTTP/1.1 206 Partial Content\r\nContent-Length: " +
                std::to_string(model.size() - from) + "\r\nContent-Range: bytes " +
                std::to_string(from) + "-" + std::to_string(model.size() - 1) + "/" +
                std::to_string(model.size()) + "\r\nConnection: close\r\n\r\n" +
                model.substr(from));
        return true;
    });
    const auto url = server->origin() + "/ggml-tiny.en.bin";
    for (const auto how : {Then::rest, Then::wholeAgain, Then::refuseRange, Then::wrongRange}) {
        then = how;
        cutNext = true;
        fs::remove_all(models);
        EXPECT_FALSE(installer.install(url, sum, nullptr).installed);
        std::vector<ModelInstaller::Progress> seen;
        const auto result = installer.install(url, sum, [&](const auto& p) { seen.push_back(p); });
        ASSERT_TRUE(result.installed) << result.problem;
        EXPECT_EQ(result.sha256, sum);
        EXPECT_EQ(filesIn(models), (std::vector<std::string>{"ggml-tiny.en.bin"}));
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().bytes, model.size());
        if (how == Then::rest) {
            EXPECT_EQ(seen.front().bytes, model.size() / 2) << "progress goes on from the half";
            EXPECT_EQ(server->requests().back().headers.at("range"),
                      "bytes=" + std::to_string(model.size() / 2) + "-");
        }
    }

    // Stopped by the user as it arrives, then downloaded again: it goes on from there.
    then = Then::rest;
    fs::remove_all(models);
    std::atomic<bool> stop{false};
    const auto stopped = installer.install(
        server->origin() + "/ggml-base.en.bin", sum,
        [&](const ModelInstaller::Progress& p) {
            if (p.bytes > 0) stop = true;
        },
        &stop);
    EXPECT_EQ(stopped.problem, "The download was stopped.");
    EXPECT_EQ(filesIn(models), (std::vector<std::string>{".ggml-base.en.bin.part"}));
    EXPECT_TRUE(installer.install(server->origin() + "/ggml-base.en.bin", sum, nullptr).installed);

    // What was kept but is not the model's start is found out by the sum, and not kept again.
    fs::remove_all(models);
    cutNext = true;
    installer.install(url, sum, nullptr);
    {
        std::fstream part(models / ".ggml-tiny.en.bin.part", std::ios::in | std::ios::out);
        part.write("garbage", 7);
    }
    EXPECT_THAT(installer.install(url, sum, nullptr).problem, HasSubstr("SHA-256"));
    EXPECT_TRUE(filesIn(models).empty());
    EXPECT_TRUE(installer.install(url, sum, nullptr).installed);
}

TEST_F(ModelInstall, AFileIsCopiedAndMustBeAModel) {
    const auto result = installer.install((work / "made.bin").string(), std::nullopt, nullptr);
    ASSERT_TRUE(result.installed) << result.problem;
    EXPECT_EQ(result.sha256, sum) << "the sum is given for the user to compare";
    EXPECT_TRUE(fs::exists(work / "made.bin")) << "the original stays";
    {
        std::ofstream out(work / "notes.txt");
        out << "not a model";
    }
    const auto text = installer.install((work / "notes.txt").string(), std::nullopt, nullptr);
    EXPECT_FALSE(text.installed);
    EXPECT_EQ(text.problem.rfind("This is not a model Orvane can use: ", 0), 0u) << text.problem;
    EXPECT_EQ(filesIn(models), (std::vector<std::string>{"made.bin"}));
}

TEST_F(ModelInstall, AServerCannotNameAFileOutsideTheModelsDirectory) {
    auto server = serve();
    const auto result = installer.install(server->origin() + "/x/..%2F..%2F.bashrc", sum, nullptr);
    ASSERT_TRUE(result.installed) << result.problem;
    EXPECT_EQ(result.installed->parent_path(), models);
    EXPECT_NE(result.installed->filename().string().front(), '.');
}

// A download is capped even when the server says no length, and nothing another user planted or
// owns is written through.
TEST_F(ModelInstall, HostileServersAndPlacesWriteNothingTheyShouldNot) {
    auto endless = serve([](LoopbackConnection& c) {
        c.write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        const std::string chunk(65536, 'x');
        while (c.write(chunk)) {
        }
        return true;
    });
    ModelInstaller capped(http, models, model.size());
    const auto bomb = capped.install(endless->origin() + "/ggml-bomb.bin", sum, nullptr);
    EXPECT_THAT(bomb.problem, HasSubstr("larger than any model"));
    EXPECT_TRUE(filesIn(models).empty());

    // Another user's file, linked where the part file goes, is neither followed nor changed.
    const auto victim = work / "victim";
    std::ofstream(victim) << "theirs";
    fs::create_symlink(victim, models / ".ggml-tiny.en.bin.part");
    auto server = serve();
    EXPECT_TRUE(installer.install(server->origin() + "/ggml-tiny.en.bin", sum, nullptr).installed);
    std::ifstream unchanged(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(unchanged), {}), "theirs");

    // A models directory others may change is not used.
    if (::geteuid() == 0) {
        const auto theirs = work / "theirs";
        fs::create_directories(theirs);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_THAT(
            ModelInstaller(http, theirs).install(server->origin() + "/m.bin", sum, nullptr).problem,
            HasSubstr("belongs to another user"));
    }
}

TEST_F(ModelInstall, TheOrvaneCommandInstallsIntoTheUsersModelsDirectory) {
    auto server = serve();
    const auto home = work / "home";
    const auto command = "env -u XDG_DATA_HOME HOME=" + shellQuoted(home.string()) + " " +
                         ORVANE_APP_PATH + " --install-model " +
                         shellQuoted(server->origin() + "/ggml-tiny.en.bin") + " --sha256 ";
    const auto installed = runProcess(command + sum);
    ASSERT_EQ(installed.exitCode, 0) << installed.output;
    const auto target = home / ".local" / "share" / "orvane" / "models" / "ggml-tiny.en.bin";
    EXPECT_THAT(installed.output, HasSubstr("Installed " + target.string()));
    EXPECT_THAT(installed.output, HasSubstr("Downloading: 100%"));
    EXPECT_EQ(fs::file_size(target), model.size());

    std::string other = sum;
    other[5] = other[5] == 'a' ? 'b' : 'a';
    const auto refused = runProcess(command + other);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.output, HasSubstr("orvane: The model's SHA-256 is " + sum));

    // A model of the catalog by its name: downloaded from the catalog's place (here a mirror),
    // checked against the sum the catalog pins, which this generated model does not have.
    const auto named = runProcess("env -u XDG_DATA_HOME HOME=" + shellQuoted(home.string()) +
                                  " ORVANE_MODEL_BASE_URL=" + server->origin() + "/mirror " +
                                  ORVANE_APP_PATH + " --install-model base.en");
    EXPECT_EQ(named.exitCode, 1);
    EXPECT_THAT(named.output,
                HasSubstr(", not "
                          "a03779c86df3323075f5e796cb2ce5029f00ec8869eee3fdfb897afe36c6d002"));
    EXPECT_EQ(server->requests().back().target, "/mirror/ggml-base.en.bin");

    const auto unknown = runProcess(std::string(ORVANE_APP_PATH) + " --install-model nosuch.en");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_THAT(unknown.output,
                HasSubstr("nosuch.en is not a known model, a file or an http(s) address. "
                          "The known models: tiny.en, base.en, small.en, tiny, base."));

    // Without a home directory there is no private place for models: nothing goes to /tmp.
    const auto homeless =
        runProcess("env -u XDG_DATA_HOME -u HOME " + std::string(ORVANE_APP_PATH) +
                   " --install-model " + shellQuoted((work / "made.bin").string()));
    EXPECT_EQ(homeless.exitCode, 1);
    EXPECT_THAT(homeless.output, HasSubstr("HOME is not set"));
}

}  // namespace
}  // namespace orvane::testing
