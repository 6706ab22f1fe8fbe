// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-ask: asks the backend one question through the same session code the app uses, and
// prints what the session reports as JSON lines.

#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "accounts/AuthManager.h"
#include "capture/ScreenshotCapture.h"
#include "orvane/BuildConfig.h"
#include "protocol/Base64.h"
#include "session/SessionEventLog.h"
#include "session/SessionManager.h"
#include "tools/QuestionOnlyPlatform.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitTimedOut = 3;
constexpr double kTimeoutSeconds = 90;

constexpr const char* kUsage = R"(Usage: orvane-ask [OPTIONS] QUESTION...

Asks the Orvane backend one question, as the app would after hearing it, and prints
every session event as one JSON object per line on standard output:
  {"event":"state","state":"processing"}
  {"event":"answer","text":"..."}            (the answer as it grows)
  {"event":"error","message":"..."}
  {"event":"recorded","question":"...","answer":"..."}

Options:
  --api-base URL    backend origin (default: the build's, )"
                               "%API%"
                               R"()
  --token TOKEN     backend access token (required)
  --model NAME      nano, mini (default), standard or vision
  --context TEXT    interview context sent with the question
  --image FILE.png  attach a screenshot; may be given more than once
  --help            show this text

Exit status: 0 when the answer has ended (the session is idle again), 2 on bad
arguments, 3 when nothing completes within 90 seconds.
)";

std::string usage() {
    std::string text = kUsage;
    text.replace(text.find("%API%"), 5, orvane::buildconfig::apiBase);
    return text;
}

struct Arguments {
    std::string apiBase{orvane::buildconfig::apiBase};
    std::optional<std::string> token;
    orvane::SessionManager::Model model = orvane::SessionManager::Model::mini;
    std::string context;
    std::vector<std::string> images;
    std::string question;
};

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Returns the arguments, or an error message for standard error.
std::variant<Arguments, std::string> parse(const std::vector<std::string>& args) {
    Arguments parsed;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& arg = args[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (arg == "--") {
            words.insert(words.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (arg == "--api-base" || arg == "--token" || arg == "--model" ||
                   arg == "--context" || arg == "--image") {
            auto v = value();
            if (!v) return arg + " needs a value";
            if (arg == "--api-base") {
                parsed.apiBase = *v;
            } else if (arg == "--token") {
                parsed.token = *v;
            } else if (arg == "--context") {
                parsed.context = *v;
            } else if (arg == "--model") {
                auto model = orvane::SessionManager::modelFromRawValue(*v);
                if (!model) return "unknown model '" + *v + "'";
                parsed.model = *model;
            } else {
                auto bytes = readFile(*v);
                if (!bytes) return "cannot read image '" + *v + "'";
                parsed.images.push_back(orvane::base64::encode(std::span(
                    reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size())));
            }
        } else if (arg.starts_with("--")) {
            return "unknown option " + arg;
        } else {
            words.push_back(arg);
        }
    }
    if (!parsed.token) return "--token is required";
    for (const auto& word : words) {
        if (!parsed.question.empty()) parsed.question += ' ';
        parsed.question += word;
    }
    if (parsed.question.empty()) return "no question given";
    return parsed;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << usage();
            return kExitOk;
        }
    }
    auto parsed = parse(args);
    if (auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "orvane-ask: " << *error << "\n\n" << usage();
        return kExitUsage;
    }
    const auto& arguments = std::get<Arguments>(parsed);

    orvane::QuestionOnlyPlatform platform;
    auto& mainQueue = platform.mainQueue;
    auto& auth = orvane::AuthManager::shared();
    auth.setAccessToken(arguments.token);

    auto session = orvane::SessionManager::create(
        platform.services(auth),
        orvane::SessionConfig{arguments.apiBase, orvane::buildconfig::silenceThreshold});
    session->setSelectedModel(arguments.model);
    session->setSystemContext(arguments.context);
    session->screenshots().setQueue(arguments.images);

    bool asked = false;
    bool answered = false;
    session->onStateChanged = [&](orvane::SessionManager::State state) {
        if (asked && state != orvane::SessionManager::State::processing) answered = true;
    };
    orvane::SessionEventLog log(std::cout);
    log.attach(*session);

    mainQueue.post([&] {
        asked = true;
        session->sendToLLM(arguments.question);
    });
    const bool done = mainQueue.runUntil([&] { return answered; }, kTimeoutSeconds);
    // Let what the last step posted (the closing state report) reach the output too.
    mainQueue.runUntil([] { return false; }, 0);
    if (!done) std::cerr << "orvane-ask: no answer within " << kTimeoutSeconds << " seconds\n";
    return done ? kExitOk : kExitTimedOut;
}
