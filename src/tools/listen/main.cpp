// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-listen: runs the session's listening half (capture, recognition, silence rule) on a WAV
// file or on the computer's output, and prints what it hears and which questions it would ask.

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <mutex>
#include <thread>

#include "accounts/AuthManager.h"
#include "adapters/null/NullPlatform.h"
#include "adapters/pocketsphinx/PocketSphinxSpeech.h"
#include "adapters/pulse/PulseAudioSource.h"
#include "adapters/std/RunLoop.h"
#include "adapters/std/SteppedMainQueue.h"
#include "adapters/std/WorkerQueue.h"
#include "capture/WavFile.h"
#include "platform/HttpClient.h"
#include "session/SessionEventLog.h"
#include "session/SessionManager.h"

namespace {

using namespace orvane;

constexpr double kBlockSeconds = 0.1;
// After the audio ends: the silence that ends the last utterance, the restart, and a margin.
constexpr double kTailSeconds = 2.5;

constexpr const char* kUsage = R"(Usage: orvane-listen (--wav FILE [--fast] | --live)

Runs Orvane's listening loop (capture, on-device recognition, the 1.5 s silence rule)
and prints one JSON object per line:
  {"event":"transcript","text":"..."}   the live transcript, as the recogniser revises it
  {"event":"question","text":"..."}     a question the session would send (nothing is sent)
  {"event":"error","message":"..."}

  --wav FILE  feed a WAV file (16/32-bit PCM or float, any rate, mono or stereo) in real time
  --fast      with --wav: feed it as fast as the recogniser keeps up; the session's clock
              follows the audio's own time, so the silence rule sees exactly the file's pauses
  --live      listen to what the computer plays (the default sink's monitor), until interrupted
  --help      show this text

Exits 0 at the end of the file once the last silence has been handled, 2 on bad arguments,
1 when the speech model or the audio cannot be used.
)";

std::mutex g_outputMutex;

void print(const nlohmann::ordered_json& event) {
    std::lock_guard lock(g_outputMutex);
    std::cout << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

// Stands in for the backend: prints each question and answers with an empty, finished stream.
class QuestionPrinter : public HttpClient {
public:
    explicit QuestionPrinter(BackgroundQueue& replies) : m_replies(replies) {}

    std::shared_ptr<HttpTask> stream(HttpRequest request,
                                     std::shared_ptr<HttpStreamDelegate> delegate) override {
        const auto body = nlohmann::json::parse(request.body.value_or("{}"), nullptr, false);
        if (body.contains("messages") && !body["messages"].empty()) {
            print({{"event", "question"}, {"text", body["messages"].back().value("content", "")}});
        }
        m_replies.async([delegate] {
            delegate->didReceiveResponse({200});
            delegate->didReceiveData("data: {\"type\":\"message_stop\"}\n\n");
            delegate->didComplete(std::nullopt);
        });
        return nullptr;
    }
    std::shared_ptr<HttpTask> send(HttpRequest, Completion completion) override {
        m_replies.async([completion] { completion({std::nullopt, std::nullopt, "offline"}); });
        return nullptr;
    }

private:
    BackgroundQueue& m_replies;
};

// Plays a WAV file as if it were the computer's output: in real time on its own thread, or one
// block at a time when the caller steps it.
class WavAudioSource : public AudioSource {
public:
    WavAudioSource(AudioBuffer audio, bool paced) : m_audio(std::move(audio)), m_paced(paced) {}
    ~WavAudioSource() override { stopPlaying(); }

    OpenResult open(const std::string&, AudioStreamHandlers handlers) override {
        {
            std::lock_guard lock(m_mutex);
            m_handlers = std::move(handlers);
            m_opened = true;
        }
        if (m_paced) {
            m_thread = std::thread([this] {
                auto next = std::chrono::steady_clock::now();
                while (!m_stop && deliverNextBlock()) {
                    next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(kBlockSeconds));
                    std::this_thread::sleep_until(next);
                }
                m_finished = true;
            });
        }
        struct Stream : AudioStream {
            WavAudioSource* source;
            void stop() override { source->stopPlaying(); }
        };
        auto stream = std::make_unique<Stream>();
        stream->source = this;
        return {OpenStatus::opened, std::move(stream), {}};
    }

    bool isOpened() {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }
    bool finished() const { return m_finished; }

    // Hands the next block to the capture handler; false at the end of the file.
    bool deliverNextBlock() {
        const auto channels = static_cast<std::size_t>(m_audio.channels);
        const auto frames = static_cast<std::size_t>(m_audio.sampleRate * kBlockSeconds);
        const auto total = m_audio.frameCount();
        if (m_position >= total) {
            m_finished = true;
            return false;
        }
        const auto count = std::min(frames, total - m_position);
        AudioBuffer block{
            m_audio.sampleRate, m_audio.channels,
            std::vector<float>(
                m_audio.samples.begin() + static_cast<long>(m_position * channels),
                m_audio.samples.begin() + static_cast<long>((m_position + count) * channels))};
        m_position += count;
        std::function<void(AudioBuffer)> handler;
        {
            std::lock_guard lock(m_mutex);
            handler = m_handlers.onBuffer;
        }
        if (handler) handler(std::move(block));
        return true;
    }

private:
    void stopPlaying() {
        m_stop = true;
        if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
    }

    AudioBuffer m_audio;
    bool m_paced;
    std::mutex m_mutex;
    AudioStreamHandlers m_handlers;
    bool m_opened = false;
    std::size_t m_position = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

std::atomic<bool> g_interrupted{false};

struct Listener {
    WorkerQueue background;
    WorkerQueue replies;
    QuestionPrinter printer{replies};
    NullMicrophone microphone;
    NullScreenSource screen;
    NullWorkspace workspace;
    AuthManager auth;
    PocketSphinxSpeechService speech;

    std::shared_ptr<SessionManager> makeSession(MainQueue& mainQueue, AudioSource& audio) {
        auth.setAccessToken("offline");
        auto session = SessionManager::create(
            {mainQueue, background, printer, speech, audio, microphone, screen, workspace, auth});
        session->onTranscript = [](const std::string& text) {
            print({{"event", "transcript"}, {"text", text}});
        };
        session->onError = [](const std::string& message) {
            print({{"event", "error"}, {"message", message}});
        };
        return session;
    }
};

int runFast(AudioBuffer audio) {
    // Declared before the listener: its background queue drains on destruction, and the stop it
    // may still run reaches the source and posts to the main queue.
    WavAudioSource source(std::move(audio), false);
    SteppedMainQueue mainQueue;
    Listener listener;
    auto session = listener.makeSession(mainQueue, source);
    session->startSession();
    const auto settle = [&] {
        // Results travel decoder -> main queue -> decoder (a restart) -> ...; settle them all.
        for (int i = 0; i < 3; ++i) {
            mainQueue.runUntilIdle();
            listener.speech.waitUntilIdle(30);
        }
        mainQueue.runUntilIdle();
    };
    for (int i = 0; i < 500 && !source.isOpened(); ++i) {
        mainQueue.runUntilIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    settle();
    while (source.deliverNextBlock()) {
        settle();
        mainQueue.advance(kBlockSeconds);
    }
    for (double waited = 0; waited < kTailSeconds; waited += kBlockSeconds) {
        settle();
        mainQueue.advance(kBlockSeconds);
    }
    settle();
    session->stopSession();
    mainQueue.runUntilIdle();
    return 0;
}

int runPaced(AudioSource& source, WavAudioSource* file) {
    RunLoop mainQueue;  // outlives the listener's background queue, which may still post to it
    Listener listener;
    auto session = listener.makeSession(mainQueue, source);
    session->startSession();
    bool done = false;
    std::optional<std::chrono::steady_clock::time_point> endedAt;
    while (!done) {
        mainQueue.runUntil([] { return g_interrupted.load(); }, 0.1);
        if (g_interrupted) break;
        if (file && file->finished()) {
            if (!endedAt) endedAt = std::chrono::steady_clock::now();
            done = std::chrono::steady_clock::now() - *endedAt >
                   std::chrono::duration<double>(kTailSeconds);
        }
    }
    session->stopSession();
    mainQueue.runUntil([] { return false; }, 0.2);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> wav;
    bool fast = false, live = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (args[i] == "--wav" && i + 1 < args.size()) {
            wav = args[++i];
        } else if (args[i] == "--fast") {
            fast = true;
        } else if (args[i] == "--live") {
            live = true;
        } else {
            std::cerr << "orvane-listen: unexpected argument " << args[i] << "\n\n" << kUsage;
            return 2;
        }
    }
    if (wav.has_value() == live || (fast && !wav)) {
        std::cerr << "orvane-listen: give either --wav FILE or --live\n\n" << kUsage;
        return 2;
    }
    if (!SpeechModelPaths::find().exist()) {
        std::cerr << "orvane-listen: the English speech model or Orvane's interview vocabulary is "
                     "missing (install pocketsphinx-en-us)\n";
        return 1;
    }
    std::signal(SIGINT, [](int) { g_interrupted = true; });
    std::signal(SIGTERM, [](int) { g_interrupted = true; });
    if (live) {
        PulseAudioSource source;
        return runPaced(source, nullptr);
    }
    auto audio = readWavFile(*wav);
    if (auto* error = std::get_if<std::string>(&audio)) {
        std::cerr << "orvane-listen: " << *error << "\n";
        return 2;
    }
    if (fast) return runFast(std::move(std::get<AudioBuffer>(audio)));
    WavAudioSource source(std::move(std::get<AudioBuffer>(audio)), true);
    return runPaced(source, &source);
}
