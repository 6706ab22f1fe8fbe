// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>
#include <httplib.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "adapters/curl/CurlHttpClient.h"
#include "integration/FreePort.h"
#include "integration/LoopbackServer.h"
#include "integration/ProcessRun.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

// Waits for a plain request's completion.
struct ResultBox {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<HttpResult> result;

    HttpClient::Completion completion() {
        return [this](HttpResult r) {
            std::lock_guard lock(mutex);
            result = std::move(r);
            done.notify_all();
        };
    }
    HttpResult wait() {
        std::unique_lock lock(mutex);
        done.wait_for(lock, 20s, [this] { return result.has_value(); });
        return result.value_or(HttpResult{std::nullopt, std::nullopt, "test timed out"});
    }
};

// Counts what a stream delivers; may ask to stop after the first chunk.
struct CountingDelegate : HttpStreamDelegate {
    std::atomic<int> responses{0}, chunks{0}, completions{0};
    std::atomic<bool> inCallback{false};
    bool stopAfterFirstChunk = false;
    std::mutex mutex;
    std::optional<std::string> completionError;

    void didReceiveResponse(const HttpResponse&) override { ++responses; }
    bool didReceiveData(std::string_view) override {
        inCallback = true;
        std::this_thread::sleep_for(1ms);  // widen the window a racing cancel must respect
        ++chunks;
        inCallback = false;
        return !stopAfterFirstChunk;
    }
    void didComplete(const std::optional<std::string>& error) override {
        std::lock_guard lock(mutex);
        completionError = error;
        ++completions;
    }
};

// A server that streams a delta every few milliseconds for as long as the client listens.
LoopbackServer::Handler endlessStream() {
    return [](LoopbackConnection& c) {
        c.write(eventStreamHead());
        while (c.write(deltaEvent("tick")) && c.pause(0.003)) {
        }
    };
}

HttpRequest get(const std::string& url) {
    HttpRequest request;
    request.url = url;
    request.idleTimeoutSeconds = 5;
    request.totalTimeoutSeconds = 10;
    return request;
}

TEST(CurlHttpClient, PlainRequestsDeliverStatusAndBodyEvenWhenItIsEmpty) {
    LoopbackServer server([](LoopbackConnection& c) {
        c.write(c.request().method == "POST" ? statusReply(201, "{\"ok\":" + c.request().body + "}")
                                             : statusReply(502, ""));
    });
    CurlHttpClient client;
    ResultBox posted, got;
    auto request = get(server.origin() + "/token");
    request.method = "POST";
    request.body = "true";
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    client.send(request, posted.completion());
    const auto result = posted.wait();
    ASSERT_FALSE(result.error) << *result.error;
    EXPECT_EQ(result.response->statusCode, 201);
    EXPECT_EQ(result.body, "{\"ok\":true}");
    EXPECT_EQ(server.requests()[0].headers.at("content-type"), "application/x-www-form-urlencoded");

    client.send(get(server.origin()), got.completion());
    const auto empty = got.wait();
    EXPECT_EQ(empty.response->statusCode, 502);
    EXPECT_EQ(empty.body, "");

    // A reply past the plain cap (a 300 MB model list) ends in an error, not in memory.
    LoopbackServer huge([](LoopbackConnection& c) {
        c.write("HTTP/1.1 200 OK\r\nContent-Length: 300000000\r\n\r\n");
        const std::string chunk(64 * 1024, 'm');
        while (c.write(chunk)) {
        }
    });
    ResultBox listed;
    client.send(get(huge.origin() + "/api/tags"), listed.completion());
    EXPECT_EQ(listed.wait().error, "The server's reply was larger than 1 MiB.");
}

TEST(CurlHttpClient, PlainHttpToAnotherMachineIsRefusedBeforeConnecting) {
    CurlHttpClient client;
    for (const char* url :
         {"http://192.0.2.1:8787/api", "http://example.com/x", "ftp://127.0.0.1/"}) {
        ResultBox box;
        client.send(get(url), box.completion());
        const auto result = box.wait();
        EXPECT_TRUE(result.error) << url;
        EXPECT_FALSE(result.response) << url;
    }
}

// The app's own backend is reached over its private socket, URL and Host unchanged: whatever
// listens on the TCP port gets nothing, until the route is taken away.
TEST(CurlHttpClient, AnOriginCanBeReachedOverAUnixSocket) {
    const auto reply = [](LoopbackConnection& c) { c.write(statusReply(200, "ok")); };
    LoopbackServer tcp(reply);
    const auto path = std::filesystem::temp_directory_path() /
                      ("orvane-curl-" + std::to_string(::getpid()) + ".sock");
    LoopbackServer local(reply, path.string());
    CurlHttpClient client;
    client.connectThrough(tcp.origin(), path.string());
    ResultBox routed, direct;
    client.send(get(tcp.origin() + "/api?x=1"), routed.completion());
    EXPECT_EQ(routed.wait().body, "ok");
    ASSERT_EQ(local.requests().size(), 1u);
    EXPECT_EQ(local.requests()[0].target, "/api?x=1");
    EXPECT_EQ(local.requests()[0].headers.at("host"), "127.0.0.1:" + std::to_string(tcp.port()));
    EXPECT_TRUE(tcp.requests().empty());

    client.connectThrough(tcp.origin(), "");
    client.send(get(tcp.origin() + "/api"), direct.completion());
    EXPECT_EQ(direct.wait().body, "ok");
    EXPECT_EQ(tcp.requests().size(), 1u);
    std::filesystem::remove(path);
}

// A stalled request times out, and so does a whole transfer that goes on too long.
TEST(CurlHttpClient, AStalledRequestAndAnEndlessTransferTimeOut) {
    LoopbackServer stalled([](LoopbackConnection& c) { c.pause(10); });
    CurlHttpClient client;
    ResultBox box;
    auto plain = get(stalled.origin());
    plain.idleTimeoutSeconds = 0.3;
    client.send(plain, box.completion());
    EXPECT_EQ(box.wait().error, "The request timed out.");

    LoopbackServer server(endlessStream());
    auto delegate = std::make_shared<CountingDelegate>();
    auto request = get(server.origin());
    request.totalTimeoutSeconds = 0.5;
    client.stream(request, delegate);
    waitUntil([&] { return delegate->completions > 0; });
    EXPECT_GT(delegate->chunks, 10);
    EXPECT_EQ(delegate->completionError, "The request timed out.");
}

// What each way a transfer can fail is told as: a reset is a lost connection at any step, the
// TLS handshake's included, and only the limits are time-outs.
TEST(CurlHttpClient, EachFailureIsToldInWordsOfItsKind) {
    const std::string lost = "The network connection was lost.";
    const std::string tls =
        "An SSL error has occurred and a secure connection to the server cannot be made.";
    const std::vector<std::tuple<CURLcode, int, std::string>> cases = {
        {CURLE_OPERATION_TIMEDOUT, 0, "The request timed out."},
        {CURLE_OPERATION_TIMEDOUT, ECONNRESET, "The request timed out."},
        {CURLE_COULDNT_CONNECT, ECONNREFUSED, "Could not connect to the server."},
        {CURLE_COULDNT_RESOLVE_HOST, 0, "A server with the specified hostname could not be found."},
        {CURLE_RECV_ERROR, ECONNRESET, lost},
        {CURLE_SEND_ERROR, EPIPE, lost},
        {CURLE_PARTIAL_FILE, 0, lost},
        {CURLE_GOT_NOTHING, 0, lost},
        {CURLE_SSL_CONNECT_ERROR, ECONNRESET, lost},
        {CURLE_SSL_CONNECT_ERROR, 0, tls},
        {CURLE_PEER_FAILED_VERIFICATION, 0, tls},
        {CURLE_WEIRD_SERVER_REPLY, 0, "The server's reply could not be read."},
        {CURLE_TOO_MANY_REDIRECTS, 0, "The server redirected too many times."},
    };
    for (const auto& [code, osError, words] : cases) {
        EXPECT_EQ(CurlHttpClient::describeFailure(code, osError), words) << code << " " << osError;
    }
}

TEST(CurlHttpClient, ADelegateOrACancelStopsATransferAndNoCallbackFollowsACancel) {
    LoopbackServer server(endlessStream());
    CurlHttpClient client;
    auto delegate = std::make_shared<CountingDelegate>();
    delegate->stopAfterFirstChunk = true;
    client.stream(get(server.origin()), delegate);
    waitUntil([&] { return delegate->completions > 0; });
    EXPECT_EQ(delegate->chunks, 1);
    EXPECT_EQ(delegate->completions, 1);
    EXPECT_TRUE(delegate->completionError);

    // Cancelled from outside: no callback starts once cancel has returned.
    delegate = std::make_shared<CountingDelegate>();
    auto task = client.stream(get(server.origin()), delegate);
    waitUntil([&] { return delegate->chunks >= 3; });
    task->cancel();
    EXPECT_FALSE(delegate->inCallback);
    const int seen = delegate->chunks;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(delegate->chunks, seen);
    EXPECT_EQ(delegate->completions, 0);
    task->cancel();  // twice is harmless
}

TEST(CurlHttpClient, DestroyingTheClientMidStreamStopsEverything) {
    LoopbackServer server(endlessStream());
    auto delegate = std::make_shared<CountingDelegate>();
    std::shared_ptr<HttpTask> task;
    {
        CurlHttpClient client;
        task = client.stream(get(server.origin()), delegate);
        client.stream(get(server.origin()), std::make_shared<CountingDelegate>());
        waitUntil([&] { return delegate->chunks >= 2; });
    }
    const int seen = delegate->chunks;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(delegate->chunks, seen);
    EXPECT_EQ(delegate->completions, 0);
    task->cancel();  // after the client is gone: nothing happens
}

TEST(CurlHttpClient, CancellingAtRandomMomentsIsSafe) {
    LoopbackServer server(endlessStream());
    CurlHttpClient client;
    std::mt19937 random(7);
    std::vector<std::shared_ptr<CountingDelegate>> delegates;
    for (int i = 0; i < 40; ++i) {
        auto delegate = std::make_shared<CountingDelegate>();
        auto task = client.stream(get(server.origin()), delegate);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        task->cancel();
        delegates.push_back(delegate);
    }
    std::this_thread::sleep_for(50ms);
    for (const auto& delegate : delegates) EXPECT_EQ(delegate->completions, 0);
}

// An HTTPS server on loopback (cpp-httplib's, as the backend's own) with certificates the openssl
// tool makes for the test: a CA of its own, and a server certificate for localhost only.
class TlsServer {
public:
    TlsServer() {
        m_dir =
            std::filesystem::temp_directory_path() / ("orvane-tls-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
        const auto d = m_dir.string();
        const std::string script =
            "cd '" + d +
            "' && "
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
            "-subj '/CN=Orvane Test CA' 2>/dev/null && "
            "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr "
            "-subj '/CN=localhost' 2>/dev/null && "
            "printf 'subjectAltName=DNS:localhost\\n' > san.ext && "
            "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
            "-out server.pem -days 2 -extfile san.ext 2>/dev/null";
        if (std::system(script.c_str()) != 0) return;
        m_server = std::make_unique<httplib::SSLServer>((d + "/server.pem").c_str(),
                                                        (d + "/server.key").c_str());
        m_server->Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("ok", "text/plain");
        });
        m_port = m_server->bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        waitUntil([this] { return m_server->is_running(); }, 5s);
    }
    ~TlsServer() {
        if (m_server) m_server->stop();
        if (m_thread.joinable()) m_thread.join();
        std::filesystem::remove_all(m_dir);
    }
    bool ready() const { return m_server && m_server->is_valid() && m_port > 0; }
    int port() const { return m_port; }
    std::string caFile() const { return (m_dir / "ca.pem").string(); }

private:
    std::filesystem::path m_dir;
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    int m_port = 0;
};

TEST(CurlHttpClientTls, CertificatesAndHostNamesAreVerified) {
    TlsServer server;
    ASSERT_TRUE(server.ready()) << "the test certificates could not be made";
    const auto at = [&](const std::string& host) {
        return "https://" + host + ":" + std::to_string(server.port()) + "/";
    };
    const std::string sslError =
        "An SSL error has occurred and a secure connection to the server cannot be made.";

    CurlHttpClient systemTrust;
    ResultBox untrusted;
    systemTrust.send(get(at("localhost")), untrusted.completion());
    EXPECT_EQ(untrusted.wait().error, sslError) << "a certificate from an unknown authority";

    CurlHttpClient testTrust(CurlHttpClient::Options{server.caFile()});
    ResultBox wrongName;
    testTrust.send(get(at("127.0.0.1")), wrongName.completion());
    EXPECT_EQ(wrongName.wait().error, sslError) << "a certificate for another host name";

    ResultBox trusted;
    testTrust.send(get(at("localhost")), trusted.completion());
    const auto result = trusted.wait();
    ASSERT_FALSE(result.error) << *result.error;
    EXPECT_EQ(result.response->statusCode, 200);
}

}  // namespace
}  // namespace orvane::testing
