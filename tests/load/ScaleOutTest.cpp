// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Three orvane-backend processes on one PostgreSQL behind a real nginx on loopback, as
// docs/DEPLOY.md sets them up, under a crowd of streams, with one instance killed mid-load.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>

#include "PostgresDatabase.h"
#include "backend/BackendProcess.h"
#include "backend/PostgresCluster.h"
#include "integration/ProcessRun.h"
#include "load/Crowd.h"

namespace orvane::testing {
namespace {

// nginx in front of the given ports, round robin, passing server-sent events on as they come;
// started in a directory of its own and stopped at the end.
class Nginx {
public:
    explicit Nginx(const std::vector<int>& upstreams) : m_port(freeLoopbackPort()) {
        char pattern[] = "/tmp/orvane-nginx-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        std::ofstream conf(m_dir / "nginx.conf");
        conf << (::geteuid() == 0 ? "user root;\n" : "") << "pid " << (m_dir / "nginx.pid").string()
             << ";\nerror_log " << (m_dir / "error.log").string()
             << ";\nevents { worker_connections 4096; }\nhttp {\n  access_log off;\n"
             << "  client_body_temp_path " << m_dir.string() << ";\n  upstream orvane {\n";
        for (const int port : upstreams)
            conf << "    server 127.0.0.1:" << port << " max_fails=1 fail_timeout=5s;\n";
        conf << "  }\n  server {\n    listen 127.0.0.1:" << m_port << ";\n"
             << "    location / {\n      proxy_pass http://orvane;\n"
             << "      proxy_http_version 1.1;\n      proxy_set_header Host $host;\n"
             << "      proxy_set_header X-Forwarded-For $proxy_add_x_forwarded_for;\n"
             << "      proxy_buffering off;\n      proxy_next_upstream error timeout;\n"
             << "    }\n  }\n}\n";
        conf.close();
        m_nginx.emplace(
            std::vector<std::string>{"nginx", "-p", m_dir.string(), "-c",
                                     (m_dir / "nginx.conf").string(), "-g", "daemon off;"},
            ChildProcess::Options{.stopSignal = SIGQUIT});
        httplib::Client probe("127.0.0.1", m_port);
        waitUntil([&] { return bool(probe.Get("/healthz")); }, std::chrono::seconds(3));
    }
    ~Nginx() {
        m_nginx.reset();
        std::filesystem::remove_all(m_dir);
    }
    int port() const { return m_port; }

private:
    std::filesystem::path m_dir;
    int m_port;
    std::optional<ChildProcess> m_nginx;
};

TEST(ScaleOut, ThreeInstancesBehindNginxKeepOneSetOfRulesAndLoseNothingWhenOneDies) {
    constexpr int kUsers = 50, kStreams = 1000, kPerUser = 2, kLeaseSeconds = 3;
    PostgresCluster cluster;
    if (!cluster.running() || std::system("command -v nginx >/dev/null") != 0)
        GTEST_SKIP() << "PostgreSQL or nginx is not installed (scripts/setup.sh installs them)";
    const auto location = cluster.createDatabase();
    const auto shared = freshDataDir("scale");  // one development identity provider for all
    const std::vector<std::string> arguments = {"--database",
                                                location,
                                                "--behind-proxy",
                                                "--dev-identity-provider",
                                                "--rate-limit",
                                                "0",
                                                "--sign-in-rate-limit",
                                                "0",
                                                "--offline-pace",
                                                "20",
                                                "--max-streams-per-user",
                                                std::to_string(kPerUser),
                                                "--stream-lease",
                                                std::to_string(kLeaseSeconds),
                                                "--refresh-reuse-grace",
                                                "1"};
    std::vector<std::unique_ptr<BackendProcess>> instances;
    for (const auto* name : {"scale-a", "scale-b", "scale-c"})
        instances.push_back(std::make_unique<BackendProcess>(name, arguments, shared));
    Nginx nginx({instances[0]->port(), instances[1]->port(), instances[2]->port()});

    // Sign-ins on one instance (the development sign-in page keeps its codes in memory).
    BackendHarness first("scale-first"), second("scale-second");
    instances[0]->attach(first);
    instances[1]->attach(second);
    std::vector<std::string> tokens, refreshTokens;
    for (int i = 0; i < kUsers; ++i) {
        const auto reply = first.signIn("User " + std::to_string(i));
        tokens.push_back(reply["accessToken"]);
        refreshTokens.push_back(reply["refreshToken"]);
    }

    // An identity token used on one instance signs nobody in on another; a refresh token renewed
    // on one and presented again on another after the grace ends its sign-in everywhere.
    const auto idToken = first.devIdToken("Eve");
    const auto exchange = [&](BackendHarness& via, const std::string& token) {
        return via.client().Post("/api/v1/auth/mobile/google",
                                 nlohmann::json{{"googleToken", token}}.dump(), "application/json");
    };
    const auto refresh = [](BackendHarness& via, const std::string& token) {
        return via.client().Post("/api/v1/auth/refresh",
                                 nlohmann::json{{"refreshToken", token}}.dump(),
                                 "application/json");
    };
    const auto eve = exchange(first, idToken);
    ASSERT_EQ(eve->status, 200);
    EXPECT_EQ(exchange(second, idToken)->status, 401);
    const std::string eveRefresh = nlohmann::json::parse(eve->body)["refreshToken"];
    const auto renewed = refresh(first, eveRefresh);
    ASSERT_EQ(renewed->status, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(refresh(second, eveRefresh)->status, 401) << "a reuse seen on another instance";
    EXPECT_EQ(refresh(first, nlohmann::json::parse(renewed->body)["refreshToken"])->status, 401)
        << "and its successor revoked";

    // While the crowd runs: the leases in the database never give a user more than the cap, and
    // one instance is killed.
    backend::PostgresDatabase database(location, 2);
    std::atomic<bool> crowdDone{false};
    int mostHeld = 0;
    std::thread watcher([&] {
        bool killed = false;
        const auto started = std::chrono::steady_clock::now();
        while (!crowdDone) {
            const auto now = static_cast<std::int64_t>(std::time(nullptr));
            for (int user = 1; user <= kUsers; ++user)
                mostHeld = std::max(mostHeld, database.sharedLimits()->streamLeases(user, now));
            if (!killed && std::chrono::steady_clock::now() - started > std::chrono::seconds(1)) {
                instances[2]->kill();
                killed = true;
            }
        }
    });
    const auto crowd = Crowd::ask({nginx.port()}, tokens, kStreams,
                                  [](int) { return question("What is consistent hashing?"); });
    crowdDone = true;
    watcher.join();

    int answered = 0, refused = 0, cut = 0;
    std::map<int, int> cutByStatus;
    for (const auto& reply : crowd.replies) {
        if (Crowd::whole(reply)) {
            ++answered;
        } else if (reply.status == 429) {
            EXPECT_EQ(nlohmann::json::parse(reply.body)["error"], "Too many answers at once");
            ++refused;
        } else {
            ++cut;  // on the instance that died: a stream cut short, or nginx's 502
            ++cutByStatus[reply.status];
        }
    }
    std::printf(
        "%d streams from %d users through nginx to 3 instances, one killed: %d answered, %d told "
        "to wait, %d cut by the kill; first byte p50 %.1f ms, p99 %.1f ms; most leases held by "
        "one user %d\n",
        kStreams, kUsers, answered, refused, cut, crowd.firstByteQuantile(0.5),
        crowd.firstByteQuantile(0.99), mostHeld);
    for (const auto& [status, count] : cutByStatus)
        std::printf("  cut: status %d x %d\n", status, count);
    EXPECT_LE(mostHeld, kPerUser);
    EXPECT_GE(answered, kUsers) << "every user was answered at least once";
    EXPECT_LE(cut, kStreams / 3 + 20) << "only what nginx had handed to the killed instance";

    // Its leases free themselves; no user or sign-in was lost.
    std::this_thread::sleep_for(std::chrono::seconds(kLeaseSeconds + 1));
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    for (int user = 1; user <= kUsers; ++user)
        EXPECT_EQ(database.sharedLimits()->streamLeases(user, now), 0) << user;
    BackendHarness viaNginx("scale-nginx");
    viaNginx.port = nginx.port();
    for (int i = 0; i < kUsers; ++i) {
        EXPECT_EQ(refresh(viaNginx, refreshTokens[static_cast<std::size_t>(i)])->status, 200) << i;
    }
    std::filesystem::remove_all(shared);
}

}  // namespace
}  // namespace orvane::testing
