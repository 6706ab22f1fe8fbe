// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <httplib.h>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "backend/BackendHarness.h"

namespace orvane::testing {

// Many chat streams started at the same moment, each on a connection of its own, and what each
// got back: status, body, and the time to the first byte of its answer.
struct Crowd {
    struct Reply {
        int status = 0;  // 0: the connection failed
        std::string body;
        double firstByteMs = -1;
    };
    std::vector<Reply> replies;

    // streams[i] goes to ports[i % ports.size()] with the bearer token tokens[i % tokens.size()].
    static Crowd ask(const std::vector<int>& ports, const std::vector<std::string>& tokens,
                     int streams, const std::function<nlohmann::json(int)>& body) {
        using Clock = std::chrono::steady_clock;
        Crowd crowd;
        crowd.replies.resize(static_cast<std::size_t>(streams));
        std::barrier start(streams);
        std::vector<std::thread> clients;
        for (int i = 0; i < streams; ++i) {
            clients.emplace_back([&, i] {
                auto& reply = crowd.replies[static_cast<std::size_t>(i)];
                httplib::Client client("127.0.0.1",
                                       ports[static_cast<std::size_t>(i) % ports.size()]);
                client.set_connection_timeout(30);
                client.set_read_timeout(60);
                httplib::Request request;
                request.method = "POST";
                request.path = "/api/v1/ai/chat";
                request.headers = {
                    {"Authorization",
                     "Bearer " + tokens[static_cast<std::size_t>(i) % tokens.size()]}};
                request.body = body(i).dump();
                request.set_header("Content-Type", "application/json");
                Clock::time_point sent;
                request.response_handler = [&](const httplib::Response& response) {
                    reply.status = response.status;
                    return true;
                };
                request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t,
                                               std::uint64_t) {
                    if (reply.firstByteMs < 0) {
                        reply.firstByteMs =
                            std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                    }
                    reply.body.append(data, length);
                    return true;
                };
                start.arrive_and_wait();
                sent = Clock::now();
                if (!client.send(request)) reply.status = 0;
            });
        }
        for (auto& client : clients) client.join();
        return crowd;
    }

    // Whether a reply is an answer that arrived whole.
    static bool whole(const Reply& reply) {
        const auto events = eventsOf(reply.body);
        return reply.status == 200 && !events.empty() && events.back()["type"] == "message_stop";
    }
    // The time to the first byte below which this share of the answered streams got theirs.
    double firstByteQuantile(double share) const {
        std::vector<double> times;
        for (const auto& reply : replies) {
            if (reply.firstByteMs >= 0) times.push_back(reply.firstByteMs);
        }
        if (times.empty()) return -1;
        std::sort(times.begin(), times.end());
        return times[static_cast<std::size_t>(share * static_cast<double>(times.size() - 1))];
    }
};

}  // namespace orvane::testing
