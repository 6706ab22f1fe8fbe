// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>
#include <string>

#include "platform/HttpClient.h"

namespace orvane {

// HttpClient on libcurl: one worker thread drives a curl multi handle for every request, and all
// delegate callbacks and completions run on that thread, one at a time per request.
//
// idleTimeoutSeconds fails a transfer after that long without a byte moving either way;
// totalTimeoutSeconds bounds the whole transfer. Certificates and host names are verified, and
// plain http is refused except to this machine, which is never reached through a proxy. Nothing
// about a request is ever logged.
//
// cancel() stops a request; once it returns, none of that request's callbacks starts. Destroying
// the client stops every request and joins the worker, after which nothing is called back.
class CurlHttpClient : public HttpClient {
public:
    struct Options {
        // A PEM bundle of extra certificate authorities to trust instead of the system's.
        std::string caInfo;
    };

    CurlHttpClient();
    explicit CurlHttpClient(Options options);
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    std::shared_ptr<HttpTask> stream(HttpRequest request,
                                     std::shared_ptr<HttpStreamDelegate> delegate) override;
    std::shared_ptr<HttpTask> send(HttpRequest request, Completion completion) override;

    // Requests to this origin ("http://127.0.0.1:8787") go over the Unix socket at the path
    // instead of TCP, their URLs and Host as they are; an empty path ends that. Takes effect for
    // requests made after it; callable from any thread.
    void connectThrough(const std::string& origin, const std::string& socketPath);

    // The sentence a failed transfer ends with: libcurl's result code, and the system's error
    // number where the connection itself failed.
    static std::string describeFailure(int curlCode, int osError = 0);

    class Worker;

private:
    std::shared_ptr<Worker> m_worker;
};

}  // namespace orvane
