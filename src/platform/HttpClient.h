// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;  // sent as given, in order
    std::optional<std::string> body;
    // No byte received for this long fails the transfer.
    double idleTimeoutSeconds = 60;
    // The whole transfer, from start to last byte, may take this long.
    double totalTimeoutSeconds = 60;
    // Follows up to five redirects, never from https to http (downloads from hosts that hand
    // files out from elsewhere); the delegate then sees only the last response.
    bool followRedirects = false;
};

struct HttpResponse {
    HttpResponse(int status = 0, std::optional<std::uint64_t> length = std::nullopt)
        : statusCode(status), contentLength(length) {}
    int statusCode;
    // The body's length as the server announced it, when it did.
    std::optional<std::uint64_t> contentLength;
    // Where a partial body (206) starts in the whole, from its Content-Range.
    std::optional<std::uint64_t> rangeStart;
};

// Receives one streaming transfer. The client calls these on a network thread (never the main
// thread), one at a time and in this order: didReceiveResponse at most once, didReceiveData for
// each chunk of the body as it arrives, then didComplete exactly once.
class HttpStreamDelegate {
public:
    virtual ~HttpStreamDelegate() = default;
    virtual void didReceiveResponse(const HttpResponse& response) = 0;
    // Returns false to stop the transfer; didComplete then follows with an error.
    virtual bool didReceiveData(std::string_view bytes) = 0;
    // error is absent after a clean end, else a readable description of what failed (timeout,
    // refused connection, reset, TLS failure, cancellation).
    virtual void didComplete(const std::optional<std::string>& error) = 0;
};

struct HttpResult {
    std::optional<HttpResponse> response;
    std::optional<std::string> body;   // absent when no body arrived
    std::optional<std::string> error;  // set when the transfer failed; then nothing else is
};

class HttpTask {
public:
    virtual ~HttpTask() = default;
    // Stops the transfer. Whoever cancels knows: once cancel() returns, no callback of this task
    // starts, its completion included.
    virtual void cancel() = 0;
};

// An HTTP(S) client. Requests run concurrently; the client keeps each delegate or completion alive
// until it has completed. Certificates and host names are always verified.
class HttpClient {
public:
    using Completion = std::function<void(HttpResult)>;

    virtual ~HttpClient() = default;
    virtual std::shared_ptr<HttpTask> stream(HttpRequest request,
                                             std::shared_ptr<HttpStreamDelegate> delegate) = 0;
    // A request whose whole reply is handed to completion once, on a network thread. A reply
    // body over maxReplyBytes ends the request with an error instead: nothing plain requests
    // ask for is that large, and a server must not fill the app's memory.
    virtual std::shared_ptr<HttpTask> send(HttpRequest request, Completion completion) = 0;
    static constexpr std::size_t maxReplyBytes = 1024 * 1024;
};

}  // namespace orvane
