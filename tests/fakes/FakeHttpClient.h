// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <vector>

#include "platform/HttpClient.h"

namespace orvane::testing {

// Records every request; the test plays the network by calling the recorded delegate.
class FakeHttpClient : public HttpClient {
public:
    struct Task : HttpTask {
        bool cancelled = false;
        void cancel() override { cancelled = true; }
    };
    struct StreamCall {
        HttpRequest request;
        std::shared_ptr<HttpStreamDelegate> delegate;
        std::shared_ptr<Task> task;

        void respond(int status) const { delegate->didReceiveResponse({status}); }
        bool feed(std::string_view bytes) const { return delegate->didReceiveData(bytes); }
        void finish(std::optional<std::string> error = std::nullopt) const {
            delegate->didComplete(error);
        }
    };
    struct SendCall {
        HttpRequest request;
        Completion completion;
        std::shared_ptr<Task> task;
    };

    std::shared_ptr<HttpTask> stream(HttpRequest request,
                                     std::shared_ptr<HttpStreamDelegate> delegate) override {
        streams.push_back({std::move(request), std::move(delegate), std::make_shared<Task>()});
        return streams.back().task;
    }
    std::shared_ptr<HttpTask> send(HttpRequest request, Completion completion) override {
        sends.push_back({std::move(request), std::move(completion), std::make_shared<Task>()});
        return sends.back().task;
    }

    std::vector<StreamCall> streams;
    std::vector<SendCall> sends;
};

}  // namespace orvane::testing
