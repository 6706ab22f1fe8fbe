// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-backend, the program, read with an attacker's eyes: what someone who can reach its port
// but holds no account can make it do, and what a stolen token is worth.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <barrier>
#include <future>
#include <set>
#include <thread>

#include "backend/BackendProcess.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr long kRssCeilingKilobytes = 100 * 1024;
// Under a sanitizer the server's size is mostly the sanitizer's (shadow memory, quarantine):
// the bombs are still thrown and must still be refused, but the ceiling says nothing there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif

// Writes raw bytes to the backend and returns what it answers within the time given; an answer
// that arrives at all, and fast, shows the body was refused before it was read.
std::string rawExchange(int port, const std::string& head, const std::string& body = {},
                        std::chrono::milliseconds wait = 2000ms) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return {};
    }
    timeval timeout{0, static_cast<suseconds_t>(wait.count() * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const auto request = head + body;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        reply.append(buffer, static_cast<std::size_t>(n));
        if (reply.find("\r\n\r\n") != std::string::npos) break;
    }
    ::close(fd);
    return reply;
}

int statusOf(const std::string& reply) {
    return reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0;
}

std::string post(const std::string& path, std::size_t contentLength,
                 const std::string& extraHeaders = {}) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
           extraHeaders + "Content-Length: " + std::to_string(contentLength) + "\r\n\r\n";
}

const std::vector<std::string> kSignInRoutes = {"/api/v1/auth/mobile/google",
                                                "/api/v1/auth/mobile/apple", "/api/v1/auth/refresh",
                                                "/dev/token", "/dev/oauth2/v2/auth"};

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<BackendProcess>(
            "hostile", std::vector<std::string>{"--dev-identity-provider", "--sign-in-rate-limit",
                                                "0", "--rate-limit", "0"});
        ASSERT_TRUE(server->running()) << server->log();
        server->attach(harness);
    }
    std::unique_ptr<BackendProcess> server;
    BackendHarness harness{"hostile-client"};
};

TEST_F(Hostile, BodiesTooLargeForTheirRouteAreRefusedBeforeTheyAreRead) {
    // A megabyte is announced and never sent: only a refusal made before reading answers at all.
    for (const auto& route : kSignInRoutes) {
        const auto reply = rawExchange(server->port(), post(route, 1024 * 1024));
        EXPECT_EQ(statusOf(reply), 413) << route << ": " << reply;
        EXPECT_THAT(reply, Not(HasSubstr("EXCEPTION_WHAT")));
    }
    // The chat route takes twenty megabytes, and those only from somebody signed in.
    EXPECT_EQ(statusOf(rawExchange(server->port(), post("/api/v1/ai/chat", 19 * 1024 * 1024))),
              401);
    const std::string token = harness.signIn()["accessToken"];
    EXPECT_EQ(
        statusOf(rawExchange(server->port(), post("/api/v1/ai/chat", 64 * 1024 * 1024,
                                                  "Authorization: Bearer " + token + "\r\n"))),
        413);
    // A body without a declared length cannot be refused by its size before it arrives.
    for (const auto& route : kSignInRoutes) {
        const auto reply = rawExchange(
            server->port(), "POST " + route +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n"
                                "\r\n100000\r\n");
        EXPECT_EQ(statusOf(reply), 411) << route;
    }
}

TEST_F(Hostile, BodyBombsOnEveryRouteLeaveTheServerSmall) {
    const std::string nested(16 * 1024 - 10, '[');
    const std::string pairs = [] {
        std::string text;
        while (text.size() < 16 * 1024 - 8) text += "a=b&";
        return text;
    }();
    std::vector<std::thread> attackers;
    for (int attacker = 0; attacker < 16; ++attacker) {
        attackers.emplace_back([&, attacker] {
            for (int round = 0; round < 20; ++round) {
                for (const auto& route : kSignInRoutes) {
                    const auto& body = attacker % 2 ? nested : pairs;
                    rawExchange(server->port(), post(route, body.size()), body);
                }
                rawExchange(server->port(), post("/api/v1/ai/chat", 19 * 1024 * 1024),
                            std::string(64 * 1024, '['));
                rawExchange(server->port(), post("/healthz", 8 * 1024 * 1024));
            }
        });
    }
    for (auto& attacker : attackers) attacker.join();
    const auto peak = server->peakRssKilobytes();
    std::printf("peak RSS after %d body bombs: %ld KiB\n", 16 * 20 * 7, peak);
    if (kMeasuresMemory) {
        EXPECT_LT(peak, kRssCeilingKilobytes);
    }
    EXPECT_EQ(harness.client().Get("/healthz")->status, 200) << "and it still serves";
}

// A header block is refused at 64 KiB or 100 lines, with no sign-in needed to send one: each
// bomb is read that far, answered 431 and dropped, and the server stays small.
TEST_F(Hostile, HeaderBombsAreRefusedAndLeaveTheServerSmall) {
    const auto headers = [](int count, std::size_t size) {
        std::string block = "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        for (int i = 0; i < count; ++i)
            block += "X-" + std::to_string(i) + ": " + std::string(size, 'h') + "\r\n";
        return block + "\r\n";
    };
    // A whole head is read before it is answered, so its answer may take as long as a busy
    // machine needs.
    EXPECT_EQ(statusOf(rawExchange(server->port(), headers(98, 600), {}, 10s)), 200);
    EXPECT_EQ(statusOf(rawExchange(server->port(), headers(101, 10), {}, 10s)), 431);
    EXPECT_EQ(statusOf(rawExchange(server->port(), headers(60, 1200), {}, 10s)), 431);
    // The bombs themselves are cut off mid-send, and their refusal may die with the reset.
    const auto bomb = headers(150000, 1000);
    std::vector<std::thread> attackers;
    for (int attacker = 0; attacker < (kMeasuresMemory ? 16 : 2); ++attacker) {
        attackers.emplace_back([&] {
            for (int round = 0; round < 4; ++round) rawExchange(server->port(), bomb);
        });
    }
    for (auto& attacker : attackers) attacker.join();
    if (kMeasuresMemory) {
        EXPECT_LT(server->peakRssKilobytes(), kRssCeilingKilobytes);
    }
    EXPECT_EQ(harness.client().Get("/healthz")->status, 200) << "and it still serves";
}

TEST_F(Hostile, JsonNestedTooDeeplyIsRefusedUnparsed) {
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    auto c = harness.client();
    const auto signIn = c.Post("/api/v1/auth/mobile/google", deep, "application/json");
    EXPECT_EQ(signIn->status, 400);
    const std::string token = harness.signIn()["accessToken"];
    const auto chat = c.Post("/api/v1/ai/chat", {{"Authorization", "Bearer " + token}},
                             R"({"model":"mini","messages":)" + deep + "}", "application/json");
    EXPECT_EQ(chat->status, 400);
}

TEST_F(Hostile, TokensOfOneKindAreNotTakenForAnother) {
    const auto idToken = harness.devIdToken("Mallory");
    auto c = harness.client();
    const auto reply = c.Post("/api/v1/auth/mobile/google",
                              nlohmann::json{{"googleToken", idToken}}.dump(), "application/json");
    const auto tokens = nlohmann::json::parse(reply->body);
    const std::string access = tokens["accessToken"], refresh = tokens["refreshToken"];

    EXPECT_EQ(harness.chat(idToken, question("What is a mutex?"))->status, 401)
        << "an ID token is no bearer token";
    EXPECT_EQ(harness.chat(refresh, question("What is a mutex?"))->status, 401);
    EXPECT_EQ(c.Post("/api/v1/auth/mobile/google", nlohmann::json{{"googleToken", access}}.dump(),
                     "application/json")
                  ->status,
              401)
        << "nor is an access token an identity";
    EXPECT_EQ(c.Post("/api/v1/auth/refresh", nlohmann::json{{"refreshToken", access}}.dump(),
                     "application/json")
                  ->status,
              401);
    EXPECT_EQ(harness.chat(access, question("What is a mutex?"))->status, 200) << "control";
}

TEST_F(Hostile, ReplayedTokensSignNobodyIn) {
    auto c = harness.client();
    const auto exchange = [&](const std::string& idToken) {
        return c.Post("/api/v1/auth/mobile/google", nlohmann::json{{"googleToken", idToken}}.dump(),
                      "application/json");
    };
    const auto idToken = harness.devIdToken("Victim");
    const auto first = exchange(idToken);
    ASSERT_EQ(first->status, 200);
    const auto replay = exchange(idToken);
    EXPECT_EQ(replay->status, 401) << "a copied ID token is good for nothing";
    // Nor is one spelt otherwise: padded, or with the signature's unused last bits changed.
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    auto otherBits = idToken;
    otherBits.back() = kAlphabet[kAlphabet.find(otherBits.back()) ^ 1];
    for (const auto& respelt : {idToken + "=", idToken + "==", otherBits})
        EXPECT_EQ(exchange(respelt)->status, 401) << respelt.substr(respelt.size() - 4);
}

// A web page can point a name of its own at 127.0.0.1 (DNS rebinding) and have the browser send
// requests to the desktop's backend: they carry the page's name as the host and are refused on
// every route, the development sign-in and the chat included.
TEST_F(Hostile, ARebindingPageReachesNoRoute) {
    const auto port = std::to_string(server->port());
    const std::string token = harness.signIn()["accessToken"];
    const auto ask = [&](const std::string& host, const std::string& path) {
        return statusOf(rawExchange(server->port(), "GET " + path + " HTTP/1.1\r\nHost: " + host +
                                                        "\r\nAuthorization: Bearer " + token +
                                                        "\r\n\r\n"));
    };
    for (const auto& path : {"/healthz", "/dev/oauth2/v2/auth?client_id=x", "/api/v1/ai/chat"}) {
        EXPECT_EQ(ask("rebind.example:" + port, path), 421) << path;
        EXPECT_EQ(ask("127.0.0.1.rebind.example", path), 421) << path;
    }
    for (const auto& host : {"127.0.0.1:" + port, "localhost:" + port, std::string("127.0.0.1")}) {
        EXPECT_EQ(ask(host, "/healthz"), 200) << host;
    }
    BackendProcess named("hostile-named", {"--public-name", "orvane.example"});
    EXPECT_EQ(statusOf(rawExchange(named.port(),
                                   "GET /healthz HTTP/1.1\r\nHost: orvane.example\r\n\r\n")),
              200);
    // Behind a proxy on this machine the proxy's port comes with the name; a rebound name is
    // still refused.
    BackendProcess proxied("hostile-proxied", {"--behind-proxy", "--dev-identity-provider"});
    const auto viaProxy = [&](const std::string& host) {
        return statusOf(rawExchange(proxied.port(),
                                    "GET /dev/oauth2/v2/auth?client_id=x "
                                    "HTTP/1.1\r\nHost: " +
                                        host + "\r\n\r\n"));
    };
    EXPECT_EQ(viaProxy("rebind.example:" + port), 421);
    EXPECT_NE(viaProxy("127.0.0.1:8443"), 421);
}

TEST_F(Hostile, RequestPathsCannotForgeLogLines) {
    rawExchange(server->port(),
                "GET /x%0d%0a2026-01-01T00:00:00Z%20POST%20/api/v1/ai/chat%20200%1b[31m HTTP/1.1"
                "\r\nHost: 127.0.0.1\r\n\r\n");
    server->stop();
    const auto log = server->log();
    EXPECT_THAT(log, Not(HasSubstr("\n2026-01-01T00:00:00Z")));
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    EXPECT_THAT(log, HasSubstr("\\x0d\\x0a2026-01-01"));
}

TEST_F(Hostile, AFailingRequestSaysNothingOfWhy) {
    const std::string token = harness.signIn()["accessToken"];
    // The database is damaged under the running server.
    for (const char* file : {"orvane.db", "orvane.db-wal", "orvane.db-shm"}) {
        std::ofstream(server->dataDir() / file, std::ios::trunc) << std::string(8192, 'x');
    }
    const auto reply = harness.chat(token, question("What is a B-tree?"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 500);
    EXPECT_FALSE(reply->has_header("EXCEPTION_WHAT"));
    EXPECT_THAT(reply->body, Not(HasSubstr("database")));
    EXPECT_EQ(nlohmann::json::parse(reply->body)["error"], "Internal error");
}

TEST_F(Hostile, PendingSignInsAreBounded) {
    const auto approve = [&] { return harness.approve(std::string(43, 'A'), "Bot")->status; };
    int approved = 0;
    while (approved <= 1000 && approve() == 302) ++approved;
    EXPECT_EQ(approved, 1000);
    EXPECT_EQ(approve(), 503) << "never exchanged, they take no more memory than this";
}

TEST_F(Hostile, ANameCutAtItsLimitStaysText) {
    // 79 letters and an "é": cutting at 80 bytes would split the character.
    const auto token = harness.devIdToken(std::string(79, 'n') + "\u00e9 Smith");
    const auto reply =
        harness.client().Post("/api/v1/auth/mobile/google",
                              nlohmann::json{{"googleToken", token}}.dump(), "application/json");
    ASSERT_EQ(reply->status, 200) << reply->body;
    EXPECT_EQ(nlohmann::json::parse(reply->body)["user"]["firstName"].get<std::string>().size(),
              79u);
}

TEST(HostileStartup, TheDevelopmentSignInIsOffUnlessAskedFor) {
    BackendProcess plain("hostile-plain");
    ASSERT_TRUE(plain.running());
    auto c = plain.client();
    EXPECT_EQ(c.Get("/dev/oauth2/v2/auth?client_id=x")->status, 404);
    EXPECT_EQ(c.Post("/dev/token", "code=x", "application/x-www-form-urlencoded")->status, 404);
    EXPECT_EQ(c.Get("/dev/jwks.json")->status, 404);

    BackendProcess paid("hostile-paid",
                        {"--dev-identity-provider", "--tier", "all=anthropic:claude-test"});
    EXPECT_EQ(paid.exitStatus(), 2);
    EXPECT_THAT(paid.log(), HasSubstr("--dev-identity-provider=force"));

    BackendProcess forced("hostile-forced",
                          {"--dev-identity-provider=force", "--tier", "all=anthropic:claude-test"});
    EXPECT_TRUE(forced.running()) << forced.log();
}

TEST(HostileStartup, SignInsAreRateLimitedPerClientAddress) {
    BackendProcess limited("hostile-limited", {"--dev-identity-provider", "--sign-in-rate-limit",
                                               "5", "--behind-proxy"});
    auto via = std::make_unique<httplib::Client>(limited.client());
    // Each entry a header line of its own, as a proxy that adds its own line sends them.
    const auto attempt = [&](const std::vector<std::string>& forwardedFor) {
        httplib::Headers headers;
        for (const auto& line : forwardedFor) headers.emplace("X-Forwarded-For", line);
        return via
            ->Post("/api/v1/auth/mobile/google", headers, R"({"googleToken":"x"})",
                   "application/json")
            ->status;
    };
    // A web page's posts are refused before they are counted.
    for (const auto& [origin, type] :
         {std::pair{"http://evil.example", "application/json"},
          std::pair{"null", "application/json"}, std::pair{"", "text/plain"}}) {
        httplib::Headers headers = {{"X-Forwarded-For", "198.51.100.7"}};
        if (*origin) headers.emplace("Origin", origin);
        EXPECT_EQ(via->Post("/api/v1/auth/refresh", headers, "{}", type)->status,
                  *origin ? 403 : 415)
            << origin << " " << type;
    }
    for (int i = 0; i < 5; ++i) EXPECT_EQ(attempt({"198.51.100.7"}), 401) << i;
    EXPECT_EQ(attempt({"198.51.100.7"}), 429);
    EXPECT_EQ(attempt({"203.0.113.9, 198.51.100.7"}), 429) << "the proxy's own entry counts";
    EXPECT_EQ(attempt({"203.0.113.9", "198.51.100.7"}), 429)
        << "a line the client chose does not beat the proxy's own line";
    EXPECT_EQ(attempt({"198.51.100.7, 203.0.113.9"}), 401)
        << "another client has a bucket of its own";

    // Behind a proxy of its own address, another program here cannot claim to be someone else.
    BackendProcess bound("hostile-bound", {"--dev-identity-provider", "--sign-in-rate-limit", "5",
                                           "--behind-proxy=127.0.0.2"});
    via = std::make_unique<httplib::Client>(bound.client());
    for (int i = 0; i < 5; ++i) attempt({"198.51.100." + std::to_string(i)});
    EXPECT_EQ(attempt({"198.51.100.99"}), 429) << "counted as the program it is";
}

// Served over its private socket (as Orvane runs it), the backend signs in only the user it runs
// as, whatever name is typed, and anyone else on this computer reaches the sign-in page alone
// over TCP: no code is exchanged, nobody signs in, no question is asked there.
TEST(HostileStartup, APrivateSocketSignsInOnlyThisComputersUser) {
    const auto run = freshDataDir("hostile-run");
    std::filesystem::create_directories(run);
    const auto socket = (run / "backend.sock").string();
    const std::vector<std::string> arguments = {"--dev-identity-provider", "--private-socket",
                                                socket};
    ::chmod(run.c_str(), 0755);
    BackendProcess reachable("hostile-private", arguments);
    EXPECT_EQ(reachable.exitStatus(), 1) << "a socket others could reach is refused";
    ::chmod(run.c_str(), 0700);
    BackendProcess server("hostile-private", arguments);
    ASSERT_TRUE(server.running()) << server.log();

    BackendHarness tcp{"hostile-private-tcp"};
    server.attach(tcp);
    for (const auto* route : {"/dev/token", "/api/v1/auth/mobile/google", "/api/v1/auth/refresh"})
        EXPECT_EQ(tcp.client().Post(route, "{}", "application/json")->status, 404) << route;
    const auto me = backend::DevIdentityProvider::processUser();
    const auto page = tcp.client().Get(tcp.pageQuery());
    EXPECT_THAT(page->body, HasSubstr(me.name));
    EXPECT_THAT(page->body, Not(HasSubstr("name=\"name\""))) << "no name is asked for";

    BackendHarness local{"hostile-private-local"};
    server.attach(local);
    local.config.privateSocket = socket;
    const auto first = local.signIn("Victim Person");
    EXPECT_EQ(first["user"]["firstName"], me.name.substr(0, me.name.find(' ')));
    EXPECT_EQ(local.signIn("Someone Else")["user"]["id"], first["user"]["id"]);
    std::filesystem::remove_all(run);
}

TEST(HostileStartup, KeyFilesArePrivateAndAnExposedOneIsRefused) {
    const auto dir = freshDataDir("hostile-keys");
    {
        BackendProcess first("hostile-keys", {"--dev-identity-provider"}, dir);
        ASSERT_TRUE(first.running());
    }
    for (const char* key : {"secret.key", "dev-idp-key.pem"}) {
        struct stat info {};
        ASSERT_EQ(::stat((dir / key).c_str(), &info), 0) << key;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << key;
    }
    ::chmod((dir / "secret.key").c_str(), 0644);
    BackendProcess exposed("hostile-keys", {}, dir);
    EXPECT_EQ(exposed.exitStatus(), 1);
    EXPECT_THAT(exposed.log(), HasSubstr("chmod 600"));
    std::filesystem::remove_all(dir);
}

// Forged tokens naming a key nobody has are cheap to make; fetching the key set again for each
// of them is not, least of all when the fetch fails and each one waits for it.
TEST(HostileStartup, KeySetsAreRefetchedAtMostOnceAMinuteEvenWhenFetchesFail) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ::listen(listener, 64);
    std::atomic<int> fetches{0};
    std::thread keyServer([&] {
        for (int client; (client = ::accept(listener, nullptr, nullptr)) >= 0;) {
            ++fetches;
            ::close(client);  // a key server that is down: every fetch fails at once
        }
    });
    BackendProcess server("hostile-jwks",
                          {"--sign-in-rate-limit", "0", "--google-jwks",
                           "https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/"});
    ASSERT_TRUE(server.running()) << server.log();
    const auto forger = backend::RsaKey::generate();
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    auto c = server.client();
    for (int i = 0; i < 30; ++i) {
        const auto token =
            backend::jwt::signRs256({{"iss", "https://accounts.google.com"},
                                     {"aud", std::string(buildconfig::googleClientId)},
                                     {"sub", "x"},
                                     {"iat", now},
                                     {"exp", now + 600}},
                                    forger, "unknown-key-" + std::to_string(i));
        const auto reply =
            c.Post("/api/v1/auth/mobile/google", nlohmann::json{{"googleToken", token}}.dump(),
                   "application/json");
        EXPECT_EQ(reply->status, 401);
    }
    server.stop();
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    keyServer.join();
    EXPECT_LE(fetches.load(), 1);
}

TEST(HostileStartup, OnlyLoopbackAddressesServePlainHttp) {
    for (const char* host : {"127.evil.example", "localhost.evil.example", "0.0.0.0", "10.0.0.1"}) {
        BackendProcess lookalike("hostile-loopback", {"--listen", std::string(host) + ":0"});
        EXPECT_EQ(lookalike.exitStatus(), 2) << host;
    }
    // Nor is a key sent in the clear to another machine, under a name that looks like this one.
    const auto withKey = [](const std::string& url) {
        return backend::BackendConfig::parse({"--data", "/tmp/x", "--openai-url", url},
                                             {{"OPENAI_API_KEY", "sk-user"}});
    };
    for (const char* url : {"http://10.0.0.5:8080/v1", "http://127.0.0.1.nip.io/v1"})
        EXPECT_TRUE(std::holds_alternative<std::string>(withKey(url))) << url;
    for (const char* url : {"http://127.0.0.1:11434/v1", "https://models.example/v1"})
        EXPECT_TRUE(std::holds_alternative<backend::BackendConfig>(withKey(url))) << url;
}

}  // namespace
}  // namespace orvane::testing
