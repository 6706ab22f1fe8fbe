// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "BackendServer.h"

#include <httplib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>

#include "AuthRoutes.h"
#include "BoundedThreadPool.h"
#include "ChatRoute.h"
#include "Crypto.h"
#include "DevIdentityProvider.h"
#include "GuardedServer.h"
#include "JsonFields.h"
#include "Loopback.h"
#include "PrivateFile.h"
#include "Replies.h"
#include "protocol/Endpoints.h"
#include "providers/KnowledgeBase.h"
#include "providers/OfflineProvider.h"
#include "providers/RelayProviders.h"

namespace orvane::backend {

namespace {

using SteadyClock = std::chrono::steady_clock;

// What the request being handled on this worker thread has revealed for the log line.
thread_local SteadyClock::time_point t_requestStarted;
thread_local std::string t_userId;

}  // namespace

std::int64_t nowSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

void jsonReply(httplib::Response& response, int status, const nlohmann::json& body) {
    response.status = status;
    response.set_content(body.dump(), "application/json");
}

void errorReply(httplib::Response& response, int status, const std::string& error,
                const std::string& details) {
    nlohmann::json body = {{"error", error}};
    if (!details.empty()) body["details"] = details;
    jsonReply(response, status, body);
}

std::optional<std::string> bearerToken(const httplib::Request& request) {
    const auto header = request.get_header_value("Authorization");
    if (!header.starts_with("Bearer ")) return std::nullopt;
    auto token = header.substr(7);
    if (token.empty()) return std::nullopt;
    return token;
}

nlohmann::json userJson(const User& user) {
    return {{"id", std::to_string(user.id)}, {"firstName", user.firstName}, {"email", user.email}};
}

void noteRequestUser(std::int64_t userId) {
    t_userId = std::to_string(userId);
}

namespace {

// The server's signing secret, made on first start and kept beside the database.
std::string loadOrCreateSecret(const std::filesystem::path& path) {
    if (auto existing = readPrivateFile(path)) {
        auto text = std::move(*existing);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
            text.pop_back();
        if (text.size() >= 64) return text;
    }
    const auto text = hex(randomBytes(32));
    writePrivateFile(path, text + "\n");
    return text;
}

// What goes into the log of a request line: printable ASCII as it is, every other byte as \xNN,
// so a path cannot forge log lines or send the terminal escape sequences.
std::string printable(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(std::min<std::size_t>(text.size(), 2048));
    for (const unsigned char c : text.substr(0, 2048)) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 0xF];
        }
    }
    return out;
}

bool isSignInRoute(const std::string& path) {
    return path == endpoints::googleSignIn || path == endpoints::appleSignIn ||
           path == endpoints::refresh || path == "/dev/token" || path == "/dev/oauth2/v2/auth";
}

}  // namespace

BackendServer::BackendServer(BackendConfig config, std::ostream& log)
    : m_config(std::move(config)), m_log(log) {
    std::filesystem::create_directories(m_config.dataDir);
    std::filesystem::permissions(m_config.dataDir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    const std::filesystem::path data(m_config.dataDir);
    m_database =
        openDatabase(m_config.database.empty() ? (data / "orvane.db").string() : m_config.database);
    // Instances sharing a database sign with one secret, so that any of them takes a token
    // another issued.
    auto secret = m_database->sharedSecret(hex(randomBytes(32)));
    m_tokens = std::make_unique<TokenService>(
        secret ? std::move(*secret) : loadOrCreateSecret(data / "secret.key"), *m_database,
        nowSeconds, m_config.accessTokenLifetime, m_config.refreshTokenLifetime,
        m_config.refreshReuseGrace);
    m_rateLimiter = std::make_unique<RateLimiter>(m_config.rateLimitPerMinute);
    // As many sent ahead as asked: most questions go ahead once, some twice.
    m_prefetchLimiter = std::make_unique<RateLimiter>(m_config.rateLimitPerMinute * 2);
    if (auto* shared = m_database->sharedLimits()) {
        // Instances behind one proxy count a client's sign-ins and a user's answers together.
        m_signInAllowed = [shared, perMinute = m_config.signInRateLimitPerMinute](
                              const std::string& address) {
            const auto nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
            return perMinute <= 0 || shared->takeFromBucket("sign-in " + address, perMinute, nowMs);
        };
        m_streams = std::make_unique<LeasedStreamLimiter>(*shared, m_config.maxStreamsPerUser,
                                                          m_config.streamLimit(),
                                                          m_config.streamLeaseSeconds, nowSeconds);
    } else {
        m_signInAllowed = [limiter =
                               std::make_shared<RateLimiter>(m_config.signInRateLimitPerMinute)](
                              const std::string& address) { return limiter->allow(address); };
        m_streams =
            std::make_unique<StreamLimiter>(m_config.maxStreamsPerUser, m_config.streamLimit());
    }
    AuthRoutes::Trust trust;

    if (auto source = keySourceFor(m_config.googleJwks);
        std::holds_alternative<std::shared_ptr<KeySource>>(source)) {
        trust.google.push_back({{"https://accounts.google.com", "accounts.google.com"},
                                m_config.googleClientId,
                                std::get<std::shared_ptr<KeySource>>(source)});
    } else {
        m_log << "orvane-backend: Google sign-in keys unavailable: "
              << std::get<std::string>(source) << "\n";
    }
    if (m_config.devIdentityEnabled()) {
        m_devIdentity = std::make_unique<DevIdentityProvider>(
            m_config.googleClientId, (data / "dev-idp-key.pem").string(), nowSeconds);
        trust.google.push_back(m_devIdentity->trust());
        trust.developmentIssuer = DevIdentityProvider::issuer;
    }
    if (!m_config.appleJwks.empty() && !m_config.appleClientId.empty()) {
        if (auto source = keySourceFor(m_config.appleJwks);
            std::holds_alternative<std::shared_ptr<KeySource>>(source)) {
            trust.apple.push_back({{"https://appleid.apple.com"},
                                   m_config.appleClientId,
                                   std::get<std::shared_ptr<KeySource>>(source)});
        }
    }

    // What a provider said when it failed is for this log only; the user gets our own words.
    const auto providerLog = [this](const std::string& line) {
        std::lock_guard lock(m_logMutex);
        m_log << "orvane-backend: " << printable(line) << '\n';
    };
    for (const auto& [tier, route] : m_config.tiers) {
        if (route.provider == "anthropic") {
            m_providers[tier] = std::make_unique<AnthropicProvider>(
                UpstreamConfig{m_config.anthropicUrl, m_config.anthropicKey, route.upstreamModel,
                               60, providerLog});
        } else if (route.provider == "openai") {
            m_providers[tier] = std::make_unique<OpenAiProvider>(UpstreamConfig{
                m_config.openaiUrl, m_config.openaiKey, route.upstreamModel, 60, providerLog});
        } else {
            m_providers[tier] =
                std::make_unique<OfflineProvider>(KnowledgeBase::builtIn(), m_config.offlinePaceMs);
        }
    }

    if (m_config.tlsCert.empty()) {
        m_server = std::make_unique<GuardedServer>();
    } else {
        m_server =
            std::make_unique<httplib::SSLServer>(m_config.tlsCert.c_str(), m_config.tlsKey.c_str());
    }
    m_authRoutes = std::make_unique<AuthRoutes>(*m_database, *m_tokens, std::move(trust));
    m_chatRoute = std::make_unique<ChatRoute>(
        *m_database, *m_tokens, *m_rateLimiter, *m_prefetchLimiter, *m_streams, m_providers,
        ChatRoute::Deadlines{m_config.textTimeoutSeconds, m_config.answerTimeoutSeconds});
    m_chatRoute->onNote = providerLog;
    if (m_config.privateSocket.empty()) {
        prepare(*m_server, m_config.threads);
        registerRoutes(*m_server, false);
    } else {
        // The browser's page alone needs few workers; the app's every request comes this way.
        prepare(*m_server, 4);
        registerRoutes(*m_server, true);
        m_private = std::make_unique<GuardedServer>();
        prepare(*m_private, m_config.threads);
        registerRoutes(*m_private, false);
        if (m_devIdentity) m_devIdentity->signInOnly(DevIdentityProvider::processUser());
    }
}

BackendServer::~BackendServer() {
    stop();
}

void BackendServer::prepare(httplib::Server& server, int threads) {
    server.new_task_queue = [threads] {
        return new BoundedThreadPool(static_cast<std::size_t>(threads), maxWaitingConnections);
    };
    server.set_payload_max_length(m_config.maxBodyBytes);
    server.set_read_timeout(30);
    server.set_write_timeout(30);
    server.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            t_requestStarted = SteadyClock::now();
            t_userId.clear();
            if (!refuseBeforeReading(request, response)) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            // The body of a refused request stays unread, so the connection ends with the reply: on
            // a kept-alive one, the next request would be read from the middle of this one's body.
            response.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        });
    // What went wrong inside stays inside: the client gets a plain 500.
    server.set_exception_handler(
        [this](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
            bool databaseAway = false;
            try {
                if (error) std::rethrow_exception(error);
            } catch (const std::exception& e) {
                databaseAway = dynamic_cast<const DatabaseUnavailable*>(&e) != nullptr;
                std::lock_guard lock(m_logMutex);
                m_log << "orvane-backend: request failed: " << printable(e.what()) << '\n';
            } catch (...) {
            }
            response.headers.clear();
            if (databaseAway) {
                // Nothing was done; the same request succeeds once the database is back.
                response.set_header("Retry-After", "5");
                errorReply(response, 503, "Service unavailable",
                           "the database is not reachable; try again shortly");
                return;
            }
            errorReply(response, 500, "Internal error", "the server could not answer this request");
        });
    server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        logRequest(request.method, request.path, response.status);
    });
}

void BackendServer::logRequest(const std::string& method, const std::string& path, int status) {
    const auto elapsed =
        std::chrono::duration<double, std::milli>(SteadyClock::now() - t_requestStarted).count();
    const auto now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::lock_guard lock(m_logMutex);
    m_log << std::put_time(&utc, "%Y-%m-%dT%H:%M:%SZ") << ' ' << printable(method) << ' '
          << printable(path) << ' ' << status << ' ' << std::fixed << std::setprecision(1)
          << elapsed << "ms user=" << (t_userId.empty() ? "-" : t_userId) << '\n'
          << std::flush;
}

std::string BackendServer::clientAddress(const httplib::Request& request) const {
    if (m_config.behindProxy && request.remote_addr == m_config.trustedProxy) {
        // The proxy appends the address it saw; whatever came before is the client's own claim,
        // and so is any header line before the proxy's own (some proxies add a line, not an
        // entry).
        std::string forwarded;
        const auto lines = request.get_header_value_count("X-Forwarded-For");
        for (std::size_t i = 0; i < lines; ++i) {
            forwarded += (i ? "," : "") + request.get_header_value("X-Forwarded-For", i);
        }
        auto last = forwarded.substr(forwarded.rfind(',') + 1);
        last.erase(0, last.find_first_not_of(' '));
        last.erase(last.find_last_not_of(' ') + 1);
        if (!last.empty()) return last;
    }
    return request.remote_addr;
}

bool BackendServer::acceptsHost(const std::string& host) const {
    const auto port = ":" + std::to_string(m_port);
    if (!m_config.publicName.empty() &&
        (host == m_config.publicName || host.starts_with(m_config.publicName + ":"))) {
        return true;
    }
    if (!m_config.isLoopback() && m_config.publicName.empty()) return true;
    for (const std::string name : {"127.0.0.1", "[::1]", "localhost"}) {
        if (host == name || host == name + port) return true;
        // A proxy on this machine passes on the name its clients used, with the proxy's port:
        // a loopback name still, which no web page can rebind.
        if (m_config.behindProxy && host.starts_with(name + ":")) return true;
    }
    return false;
}

bool BackendServer::refuseBeforeReading(const httplib::Request& request,
                                        httplib::Response& response) {
    // A web page can point a name of its own at 127.0.0.1 (DNS rebinding); the browser then sends
    // that name as the host, which is how it is told apart from Orvane and the sign-in page.
    if (!acceptsHost(request.get_header_value("Host"))) {
        errorReply(response, 421, "Unknown host", "this server does not answer for that name");
        return true;
    }
    const bool isChat = request.path == endpoints::chat;
    const std::size_t limit = isChat ? m_config.maxBodyBytes : signInBodyBytes;
    if (request.has_header("Content-Length")) {
        const auto declared = request.get_header_value("Content-Length");
        std::size_t length = 0;
        const auto [end, error] =
            std::from_chars(declared.data(), declared.data() + declared.size(), length);
        if (error != std::errc() || end != declared.data() + declared.size() || length > limit) {
            errorReply(response, 413, "Request too large",
                       "this route takes at most " + std::to_string(limit) + " bytes");
            return true;
        }
    } else if (!isChat && request.has_header("Transfer-Encoding")) {
        // Only a declared length can be refused before it is read.
        errorReply(response, 411, "Length required", "send the body with a Content-Length");
        return true;
    }
    // Twenty megabytes are read for a question only from somebody signed in.
    if (isChat) {
        const auto token = bearerToken(request);
        if (!token || !m_tokens->verifyAccessToken(*token)) {
            errorReply(response, 401, "Unauthorized", "a valid bearer access token is required");
            return true;
        }
    }
    // A web page may post to this server from the user's own browser, with a body type that
    // needs no permission (text/plain, a form): only the sign-in page itself, and programs,
    // which send no Origin, may; and the app's routes take JSON alone. Refused before they are
    // counted, so no page spends the sign-ins of everyone on this machine.
    if (request.method == "POST" && isSignInRoute(request.path)) {
        const auto origin = request.get_header_value("Origin");
        const auto host = request.get_header_value("Host");
        if (request.has_header("Origin") && origin != "http://" + host &&
            origin != "https://" + host) {
            errorReply(response, 403, "Forbidden origin", "sign-ins come from Orvane");
            return true;
        }
        const bool takesJson = request.path.starts_with("/api/");
        if (takesJson &&
            !request.get_header_value("Content-Type").starts_with("application/json")) {
            errorReply(response, 415, "Unsupported media type", "send the body as JSON");
            return true;
        }
    }
    if (request.method == "POST" && isSignInRoute(request.path) &&
        !m_signInAllowed(clientAddress(request))) {
        response.set_header("Retry-After", "30");
        errorReply(response, 429, "Too many sign-ins", "try again in a minute");
        return true;
    }
    return false;
}

void BackendServer::registerRoutes(httplib::Server& server, bool signInPageOnly) {
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return;
        const int status = response.status;
        const char* error = status == 404   ? "Not found"
                            : status == 413 ? "Request too large"
                                            : "Request failed";
        errorReply(response, status, error);
    });
    server.Get("/healthz", [](const httplib::Request&, httplib::Response& response) {
        jsonReply(response, 200, {{"status", "ok"}});
    });
    if (signInPageOnly) {
        if (m_devIdentity) m_devIdentity->registerPage(server);
        return;
    }
    if (m_devIdentity) m_devIdentity->registerRoutes(server);
    m_authRoutes->registerOn(server);
    m_chatRoute->registerOn(server);
    // Alive is not ready: without its database an instance can answer nothing that matters, and
    // a proxy should send its clients elsewhere.
    server.Get("/readyz", [this](const httplib::Request&, httplib::Response& response) {
        if (m_database->isReachable()) {
            jsonReply(response, 200, {{"status", "ready"}});
        } else {
            errorReply(response, 503, "Not ready", "the database is not reachable");
        }
    });
    server.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        const auto& metrics = m_chatRoute->metrics();
        response.set_content("# TYPE orvane_prefetches_total counter\norvane_prefetches_total " +
                                 std::to_string(metrics.prefetches.load()) +
                                 "\n# TYPE orvane_prefetches_cancelled_total counter\n"
                                 "orvane_prefetches_cancelled_total " +
                                 std::to_string(metrics.prefetchesCancelled.load()) + "\n",
                             "text/plain; version=0.0.4");
    });
}

bool BackendServer::bind(std::string& error) {
    // The HTTP library listens with a backlog of 5, which drops connections when many clients
    // arrive at once; listening again on the bound socket raises it.
    int listeningSocket = -1;
    m_server->set_socket_options([&listeningSocket](int socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listeningSocket = socket;
    });
    if (m_config.port == 0) {
        m_port = m_server->bind_to_any_port(m_config.host);
    } else {
        m_port = m_server->bind_to_port(m_config.host, m_config.port) ? m_config.port : 0;
    }
    if (m_port <= 0) {
        error = "cannot listen on " + m_config.host + ":" + std::to_string(m_config.port);
        m_port = 0;
        return false;
    }
    if (listeningSocket >= 0) ::listen(listeningSocket, SOMAXCONN);
    return m_private ? bindPrivateSocket(error) : true;
}

bool BackendServer::bindPrivateSocket(std::string& error) {
    const std::filesystem::path path(m_config.privateSocket);
    // Whoever can reach the socket is signed in as this user: its directory must be theirs alone.
    struct stat directory {};
    if (::lstat(path.parent_path().c_str(), &directory) != 0 || !S_ISDIR(directory.st_mode) ||
        directory.st_uid != ::getuid() || (directory.st_mode & 0077) != 0) {
        error = "--private-socket: " + path.parent_path().string() +
                " must be a directory of this user's that nobody else can use (mode 0700)";
        return false;
    }
    // One left by a backend that ended without removing it; the directory is this user's alone.
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) ::unlink(path.c_str());
    m_private->set_address_family(AF_UNIX);
    if (!m_private->bind_to_port(path.string(), 80)) {
        error = "cannot listen on " + path.string();
        return false;
    }
    ::chmod(path.c_str(), 0600);
    m_privateThread = std::thread([this] { m_private->listen_after_bind(); });
    return true;
}

int BackendServer::start(std::string& error) {
    if (!bind(error)) return 0;
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    for (int i = 0; i < 500 && !m_server->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return m_port;
}

bool BackendServer::run(std::string& error) {
    if (!bind(error)) return false;
    return m_server->listen_after_bind();
}

void BackendServer::requestStop() {
    if (m_server) m_server->stop();
    if (m_private) m_private->stop();
}

void BackendServer::stop() {
    requestStop();
    if (m_thread.joinable()) m_thread.join();
    if (m_privateThread.joinable()) m_privateThread.join();
    if (m_private) ::unlink(m_config.privateSocket.c_str());
}

}  // namespace orvane::backend
