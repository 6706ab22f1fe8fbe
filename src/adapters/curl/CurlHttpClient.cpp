// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/curl/CurlHttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "text/Url.h"

namespace orvane {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr long kMaxPollMilliseconds = 1000;

// "scheme://host:port", the port always written: how requests are matched to a socket.
std::string originOf(const std::string& url) {
    const auto parsed = Url::parse(url);
    if (!parsed) return {};
    const auto port = parsed->port.value_or(parsed->scheme == "https" ? 443 : 80);
    return parsed->scheme + "://" + parsed->host + ":" + std::to_string(port);
}

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::string CurlHttpClient::describeFailure(int curlCode, int osError) {
    // A connection the peer reset or closed under the transfer was lost, whichever step of it
    // curl was at (the TLS handshake included); only the idle and total limits are time-outs.
    if (curlCode != CURLE_OPERATION_TIMEDOUT &&
        (osError == ECONNRESET || osError == EPIPE || osError == ECONNABORTED)) {
        return "The network connection was lost.";
    }
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OPERATION_TIMEDOUT:
            return "The request timed out.";
        case CURLE_COULDNT_CONNECT:
            return "Could not connect to the server.";
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "A server with the specified hostname could not be found.";
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return "The network connection was lost.";
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
            return "The server's reply could not be read.";
        case CURLE_TOO_MANY_REDIRECTS:
            return "The server redirected too many times.";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "The server sent the request to an address that is not http or https.";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return "An SSL error has occurred and a secure connection to the server cannot be "
                   "made.";
        default:
            return curl_easy_strerror(static_cast<CURLcode>(curlCode));
    }
}

// One request in flight. Owned by the worker's table while curl runs it; tasks hold it weakly.
struct Transfer {
    std::uint64_t id = 0;
    HttpRequest request;
    std::shared_ptr<HttpStreamDelegate> delegate;
    HttpClient::Completion completion;
    std::optional<std::string> refusal;  // set when the request must not go out at all
    std::string socketPath;              // the Unix socket it goes over, if not TCP

    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::optional<HttpResponse> response;
    bool redirected = false;  // the response whose headers are arriving names a Location
    std::optional<std::uint64_t> rangeStart;  // its Content-Range's first byte
    std::string body;
    SteadyClock::time_point lastActivity;
    curl_off_t lastDownloaded = 0;
    curl_off_t lastUploaded = 0;
    bool stoppedByReceiver = false;
    bool tooLarge = false;         // a plain reply past HttpClient::maxReplyBytes
    bool refusedRedirect = false;  // a hop to plain http on another machine

    // Held while a callback runs, so that cancel() from another thread returns only once no
    // callback of this transfer is running or can start.
    std::mutex callbackMutex;
    std::atomic<bool> cancelled{false};

    ~Transfer() {
        if (headers) curl_slist_free_all(headers);
        if (easy) curl_easy_cleanup(easy);
    }
};

class CurlHttpClient::Worker : public std::enable_shared_from_this<CurlHttpClient::Worker> {
public:
    explicit Worker(Options options) : m_options(std::move(options)) {
        initialiseCurlOnce();
        m_multi = curl_multi_init();
    }

    ~Worker() { curl_multi_cleanup(m_multi); }

    void startThread() {
        m_thread = std::thread([this] { run(); });
    }

    void shutDown() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        curl_multi_wakeup(m_multi);
        if (m_thread.joinable()) m_thread.join();
    }

    std::thread::id threadId() const { return m_thread.get_id(); }

    void submit(std::shared_ptr<Transfer> transfer) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) return;
            m_incoming.push_back(std::move(transfer));
        }
        curl_multi_wakeup(m_multi);
    }

    void connectThrough(const std::string& origin, const std::string& socketPath) {
        std::lock_guard lock(m_mutex);
        if (socketPath.empty()) {
            m_sockets.erase(origin);
        } else {
            m_sockets[origin] = socketPath;
        }
    }

    std::string socketFor(const std::string& url) {
        const auto origin = originOf(url);
        std::lock_guard lock(m_mutex);
        const auto it = m_sockets.find(origin);
        return it == m_sockets.end() ? std::string() : it->second;
    }

    void requestCancel(std::uint64_t id) {
        {
            std::lock_guard lock(m_mutex);
            m_cancelledIds.push_back(id);
        }
        curl_multi_wakeup(m_multi);
    }

private:
    void run() {
        while (true) {
            if (!takeCommands()) break;
            int running = 0;
            curl_multi_perform(m_multi, &running);
            collectFinished();
            const auto wait = expireIdleTransfers();
            curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(wait), nullptr);
        }
        for (auto& [id, transfer] : m_active) {
            curl_multi_remove_handle(m_multi, transfer->easy);
        }
        m_active.clear();
    }

    // Returns false once the client is going away.
    bool takeCommands() {
        std::deque<std::shared_ptr<Transfer>> incoming;
        std::vector<std::uint64_t> cancelled;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) return false;
            incoming.swap(m_incoming);
            cancelled.swap(m_cancelledIds);
        }
        for (auto& transfer : incoming) begin(std::move(transfer));
        for (auto id : cancelled) {
            auto it = m_active.find(id);
            if (it == m_active.end()) continue;
            curl_multi_remove_handle(m_multi, it->second->easy);
            m_active.erase(it);
        }
        return true;
    }

    void begin(std::shared_ptr<Transfer> transfer) {
        if (transfer->refusal) {
            finish(*transfer, transfer->refusal);
            return;
        }
        if (transfer->cancelled) return;
        CURL* easy = curl_easy_init();
        transfer->easy = easy;
        configure(*transfer);
        transfer->lastActivity = SteadyClock::now();
        curl_multi_add_handle(m_multi, easy);
        m_active.emplace(transfer->id, std::move(transfer));
    }

    void configure(Transfer& t) {
        CURL* easy = t.easy;
        const auto& request = t.request;
        curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
        if (!t.socketPath.empty()) {
            curl_easy_setopt(easy, CURLOPT_UNIX_SOCKET_PATH, t.socketPath.c_str());
        }
        // Plain http is only ever spoken to this machine; a proxy from the environment
        // (http_proxy) would carry the bearer token off it in the clear.
        if (const auto url = Url::parse(request.url); url && url->isLoopback()) {
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
        }
        curl_easy_setopt(easy, CURLOPT_PRIVATE, &t);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
        if (request.followRedirects) {
            curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
            curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                             request.url.rfind("https:", 0) == 0 ? "https" : "http,https");
        }
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!m_options.caInfo.empty()) {
            curl_easy_setopt(easy, CURLOPT_CAINFO, m_options.caInfo.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t.errorBuffer);
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                         static_cast<long>(request.totalTimeoutSeconds * 1000));

        if (request.method == "POST") {
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
        } else if (request.method != "GET") {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        }
        if (request.body) {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(request.body->size()));
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body->data());
        } else if (request.method == "POST") {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t{0});
        }
        for (const auto& [name, value] : request.headers) {
            t.headers = curl_slist_append(t.headers, (name + ": " + value).c_str());
        }
        // Large bodies would otherwise wait a second for "100 Continue" first.
        t.headers = curl_slist_append(t.headers, "Expect:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headers);

        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Worker::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Worker::onData);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Worker::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto& t = *static_cast<Transfer*>(user);
        const std::string_view line(data, size * count);
        t.lastActivity = SteadyClock::now();
        if (line.rfind("HTTP/", 0) == 0) {
            t.redirected = false;
            t.rangeStart.reset();
        }
        const auto named = [&line](std::string_view name) {
            return line.size() > name.size() &&
                   std::equal(name.begin(), name.end(), line.begin(),
                              [](char a, char b) { return a == std::tolower(b); });
        };
        if (named("location:")) {
            t.redirected = true;
            // Each hop keeps the first one's rule: plain http only to this machine. A relative
            // address stays where the hop is.
            std::string target(line.substr(9));
            target.erase(0, target.find_first_not_of(" \t"));
            target.erase(target.find_last_not_of(" \t\r\n") + 1);
            if (t.request.followRedirects && target.find("://") != std::string::npos) {
                const auto url = Url::parse(target);
                if (url && url->scheme == "http" && !url->isSafeForCredentials()) {
                    t.refusedRedirect = true;
                    return 0;
                }
            }
        }
        // "Content-Range: bytes 100-199/200"
        if (named("content-range:")) {
            const auto digits = line.find_first_of("0123456789");
            if (digits != std::string_view::npos && line.find("bytes") < digits) {
                t.rangeStart = std::strtoull(line.data() + digits, nullptr, 10);
            }
        }
        if (line != "\r\n" && line != "\n") return line.size();
        long status = 0;
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
        // Interim 1xx responses are followed by the real one, as redirects being followed are.
        if (status < 200 || t.response) return line.size();
        if (t.request.followRedirects && t.redirected && status >= 300 && status < 400) {
            return line.size();
        }
        t.response = HttpResponse{static_cast<int>(status), std::nullopt};
        if (status == 206) t.response->rangeStart = t.rangeStart;
        curl_off_t length = -1;
        curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length >= 0) t.response->contentLength = static_cast<std::uint64_t>(length);
        if (t.delegate) {
            std::lock_guard lock(t.callbackMutex);
            if (t.cancelled) return 0;
            t.delegate->didReceiveResponse(*t.response);
        }
        return line.size();
    }

    static std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
        auto& t = *static_cast<Transfer*>(user);
        const std::string_view bytes(data, size * count);
        t.lastActivity = SteadyClock::now();
        if (!t.delegate) {
            if (t.body.size() + bytes.size() > HttpClient::maxReplyBytes) {
                t.tooLarge = true;
                return 0;
            }
            t.body.append(bytes);
            return bytes.size();
        }
        std::lock_guard lock(t.callbackMutex);
        if (t.cancelled) return 0;
        if (!t.delegate->didReceiveData(bytes)) {
            t.stoppedByReceiver = true;
            return 0;
        }
        return bytes.size();
    }

    static int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t,
                          curl_off_t uploaded) {
        auto& t = *static_cast<Transfer*>(user);
        if (downloaded != t.lastDownloaded || uploaded != t.lastUploaded) {
            t.lastDownloaded = downloaded;
            t.lastUploaded = uploaded;
            t.lastActivity = SteadyClock::now();
        }
        return t.cancelled ? 1 : 0;
    }

    void collectFinished() {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            Transfer* raw = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &raw);
            const CURLcode code = message->data.result;
            curl_multi_remove_handle(m_multi, message->easy_handle);
            auto it = m_active.find(raw->id);
            if (it == m_active.end()) continue;
            auto transfer = std::move(it->second);
            m_active.erase(it);
            if (code == CURLE_OK) {
                finish(*transfer, std::nullopt);
            } else if (transfer->stoppedByReceiver) {
                finish(*transfer, std::string("The transfer was stopped by its receiver."));
            } else if (transfer->refusedRedirect) {
                finish(*transfer, std::string("The server sent the request on to plain http on "
                                              "another machine, which Orvane does not follow."));
            } else if (transfer->tooLarge) {
                finish(*transfer, std::string("The server's reply was larger than 1 MiB."));
            } else {
                long osError = 0;
                curl_easy_getinfo(message->easy_handle, CURLINFO_OS_ERRNO, &osError);
                finish(*transfer, CurlHttpClient::describeFailure(code, static_cast<int>(osError)));
            }
        }
    }

    // Fails transfers that have been silent for longer than their idle timeout; returns how long
    // the worker may sleep before the next one could expire.
    long expireIdleTransfers() {
        const auto now = SteadyClock::now();
        long wait = kMaxPollMilliseconds;
        std::vector<std::uint64_t> expired;
        for (const auto& [id, transfer] : m_active) {
            const auto limit = std::chrono::duration<double>(transfer->request.idleTimeoutSeconds);
            const auto deadline =
                transfer->lastActivity + std::chrono::duration_cast<SteadyClock::duration>(limit);
            if (deadline <= now) {
                expired.push_back(id);
            } else {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
                wait = std::min(wait, static_cast<long>(left) + 1);
            }
        }
        for (auto id : expired) {
            auto transfer = std::move(m_active[id]);
            m_active.erase(id);
            curl_multi_remove_handle(m_multi, transfer->easy);
            finish(*transfer, CurlHttpClient::describeFailure(CURLE_OPERATION_TIMEDOUT));
        }
        return wait;
    }

    void finish(Transfer& t, const std::optional<std::string>& error) {
        std::lock_guard lock(t.callbackMutex);
        if (t.cancelled) return;
        if (t.delegate) {
            t.delegate->didComplete(error);
        } else if (t.completion) {
            HttpResult result;
            if (error) {
                result.error = error;
            } else {
                result.response = t.response;
                result.body = std::move(t.body);
            }
            t.completion(std::move(result));
        }
        t.cancelled = true;  // completed: nothing more may be delivered
    }

    Options m_options;
    CURLM* m_multi = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;
    bool m_stopping = false;
    std::deque<std::shared_ptr<Transfer>> m_incoming;
    std::vector<std::uint64_t> m_cancelledIds;
    std::unordered_map<std::uint64_t, std::shared_ptr<Transfer>> m_active;
    std::unordered_map<std::string, std::string> m_sockets;  // origin with its port: path
};

namespace {

class CurlTask : public HttpTask {
public:
    CurlTask(std::weak_ptr<Transfer> transfer, std::weak_ptr<CurlHttpClient::Worker> worker,
             std::thread::id workerThread)
        : m_transfer(std::move(transfer)),
          m_worker(std::move(worker)),
          m_workerThread(workerThread) {}

    void cancel() override {
        auto transfer = m_transfer.lock();
        if (!transfer) return;
        if (std::this_thread::get_id() == m_workerThread) {
            transfer->cancelled = true;  // inside one of its own callbacks: the lock is held
        } else {
            std::lock_guard lock(transfer->callbackMutex);
            transfer->cancelled = true;
        }
        if (auto worker = m_worker.lock()) worker->requestCancel(transfer->id);
    }

private:
    std::weak_ptr<Transfer> m_transfer;
    std::weak_ptr<CurlHttpClient::Worker> m_worker;
    std::thread::id m_workerThread;
};

std::optional<std::string> refusalFor(const std::string& url) {
    const auto parsed = Url::parse(url);
    if (!parsed) return "The URL is not a valid http or https address.";
    if (!parsed->isSafeForCredentials()) {
        return "Plain http is only allowed to this machine; the server must use https.";
    }
    return std::nullopt;
}

std::atomic<std::uint64_t> nextTransferId{1};

}  // namespace

CurlHttpClient::CurlHttpClient() : CurlHttpClient(Options{}) {}

CurlHttpClient::CurlHttpClient(Options options)
    : m_worker(std::make_shared<Worker>(std::move(options))) {
    m_worker->startThread();
}

CurlHttpClient::~CurlHttpClient() {
    m_worker->shutDown();
}

void CurlHttpClient::connectThrough(const std::string& origin, const std::string& socketPath) {
    if (const auto key = originOf(origin); !key.empty()) m_worker->connectThrough(key, socketPath);
}

std::shared_ptr<HttpTask> CurlHttpClient::stream(HttpRequest request,
                                                 std::shared_ptr<HttpStreamDelegate> delegate) {
    auto transfer = std::make_shared<Transfer>();
    transfer->id = nextTransferId++;
    transfer->refusal = refusalFor(request.url);
    transfer->socketPath = m_worker->socketFor(request.url);
    transfer->request = std::move(request);
    transfer->delegate = std::move(delegate);
    auto task = std::make_shared<CurlTask>(transfer, m_worker, m_worker->threadId());
    m_worker->submit(std::move(transfer));
    return task;
}

std::shared_ptr<HttpTask> CurlHttpClient::send(HttpRequest request, Completion completion) {
    auto transfer = std::make_shared<Transfer>();
    transfer->id = nextTransferId++;
    transfer->refusal = refusalFor(request.url);
    transfer->socketPath = m_worker->socketFor(request.url);
    transfer->request = std::move(request);
    transfer->completion = std::move(completion);
    auto task = std::make_shared<CurlTask>(transfer, m_worker, m_worker->threadId());
    m_worker->submit(std::move(transfer));
    return task;
}

}  // namespace orvane
