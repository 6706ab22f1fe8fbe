// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/whisper/WhisperTranscriber.h"

#include <pthread.h>
#include <samplerate.h>
#include <whisper.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "protocol/Utf8.h"
#include "text/Text.h"

namespace orvane {

namespace {

constexpr int kWhisperRate = WHISPER_SAMPLE_RATE;  // 16 kHz
constexpr int kWindowFrames = 1500;                // the encoder's 30 s
constexpr int kFramesPerSecond = 50;

// whisper.cpp and ggml describe every step on stderr, and a cancelled job as a failure to encode;
// the file check and the outcomes say what went wrong instead.
void quiet(ggml_log_level, const char*, void*) {}

std::vector<float> at16kHz(const AudioBuffer& audio) {
    if (audio.channels != 1 || audio.samples.empty() || audio.sampleRate <= 0) return {};
    if (audio.sampleRate == kWhisperRate) return audio.samples;
    const double ratio = kWhisperRate / audio.sampleRate;
    std::vector<float> out(static_cast<std::size_t>(std::ceil(audio.samples.size() * ratio)) + 1);
    SRC_DATA data{};
    data.data_in = audio.samples.data();
    data.input_frames = static_cast<long>(audio.samples.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_FASTEST, 1) != 0) return {};
    out.resize(static_cast<std::size_t>(data.output_frames_gen));
    return out;
}

struct Job : TranscriptionJob {
    AudioBuffer audio;
    std::string prompt;
    std::string language;
    std::function<void(TranscriptionOutcome)> completion;
    std::atomic<bool> cancelled{false};
    std::mutex completing;  // held while the completion runs

    void cancel() override {
        cancelled = true;
        std::lock_guard lock(completing);
        completion = nullptr;
    }
};

}  // namespace

// What the thread works with, shared with it: the transcriber may be let go of on that very thread
// (by the last completion that held it), and the thread then finishes on its own.
struct WhisperTranscriber::Worker {
    whisper_context* context = nullptr;
    Settings settings;
    std::mutex mutex;
    std::condition_variable work;
    std::deque<std::shared_ptr<Job>> jobs;
    std::shared_ptr<Job> running;
    bool stopping = false;

    ~Worker() { whisper_free(context); }

    void run() {
        pthread_setname_np(pthread_self(), "orvane-whisper");
        std::unique_lock lock(mutex);
        while (true) {
            work.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (stopping) break;
            auto job = std::move(jobs.front());
            jobs.pop_front();
            running = job;
            lock.unlock();
            if (!job->cancelled) {
                auto outcome = transcribe(job->audio, job->prompt, job->language, &job->cancelled);
                std::lock_guard completing(job->completing);
                if (!job->cancelled && job->completion) job->completion(std::move(outcome));
            }
            lock.lock();
            running.reset();
        }
    }

    TranscriptionOutcome transcribe(const AudioBuffer& audio, const std::string& prompt,
                                    const std::string& language, const std::atomic<bool>* stop);
};

WhisperTranscriber::Loaded WhisperTranscriber::load(const std::string& modelPath,
                                                    Settings settings) {
    const auto check = checkWhisperModel(modelPath);
    if (!check) return {nullptr, check.problem};
    static std::once_flag silenced;
    std::call_once(silenced, [] { whisper_log_set(quiet, nullptr); });
    auto params = whisper_context_default_params();
    params.use_gpu = false;
    auto* context = whisper_init_from_file_with_params(modelPath.c_str(), params);
    if (!context) return {nullptr, "whisper.cpp could not load " + modelPath + "."};
    auto worker = std::make_shared<Worker>();
    worker->context = context;
    worker->settings = settings;
    if (worker->settings.threads <= 0) {
        worker->settings.threads =
            static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    }
    return {std::unique_ptr<WhisperTranscriber>(
                new WhisperTranscriber(std::move(worker), *check.dimensions,
                                       std::filesystem::path(modelPath).filename().string())),
            ""};
}

WhisperTranscriber::WhisperTranscriber(std::shared_ptr<Worker> worker, WhisperDimensions dimensions,
                                       std::string modelName)
    : m_worker(std::move(worker)),
      m_dimensions(dimensions),
      m_modelName(std::move(modelName)),
      m_thread([worker = m_worker] { worker->run(); }) {}

WhisperTranscriber::~WhisperTranscriber() {
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->stopping = true;
        for (auto& job : m_worker->jobs) job->cancelled = true;
        // A model let go of mid-utterance (another was chosen) stops within a step, so that
        // whoever lets go of it does not wait out a transcription no one will read.
        if (m_worker->running) m_worker->running->cancelled = true;
    }
    m_worker->work.notify_all();
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

bool WhisperTranscriber::hears(const std::string& language) const {
    // A multilingual model hears every language it has a token for; an English one, English.
    if (language == "en") return true;
    return whisper_is_multilingual(m_worker->context) && whisper_lang_id(language.c_str()) >= 0;
}

std::string WhisperTranscriber::engineName() const {
    // A model of a shape no published one has (a test model, say) is named by its file alone.
    const auto size = m_dimensions.sizeName();
    return "Whisper " + (size == "unknown size" ? "" : size + " ") + "(" + m_modelName + ")";
}

std::shared_ptr<TranscriptionJob> WhisperTranscriber::transcribe(
    AudioBuffer audio, std::string prompt, std::string language,
    std::function<void(TranscriptionOutcome)> completion) {
    auto job = std::make_shared<Job>();
    job->audio = std::move(audio);
    job->prompt = std::move(prompt);
    job->language = hears(language) ? std::move(language) : "en";
    job->completion = std::move(completion);
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->jobs.push_back(job);
    }
    m_worker->work.notify_all();
    return job;
}

TranscriptionOutcome WhisperTranscriber::transcribeNow(const AudioBuffer& audio,
                                                       const std::string& prompt,
                                                       const std::atomic<bool>* stop) {
    return m_worker->transcribe(audio, prompt, "en", stop);
}

TranscriptionOutcome WhisperTranscriber::Worker::transcribe(const AudioBuffer& audio,
                                                            const std::string& prompt,
                                                            const std::string& language,
                                                            const std::atomic<bool>* stop) {
    const auto samples = at16kHz(audio);
    if (samples.empty()) return {std::string(), std::nullopt};
    const double seconds = static_cast<double>(samples.size()) / kWhisperRate;

    auto params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = settings.threads;
    params.language = language.c_str();
    params.no_context = true;
    params.no_timestamps = true;
    params.single_segment = true;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_special = false;
    params.print_timestamps = false;
    params.suppress_blank = true;
    params.suppress_nst = true;
    params.no_speech_thold = static_cast<float>(settings.guards.noSpeechThreshold);
    params.logprob_thold = static_cast<float>(settings.guards.logProbabilityThreshold);
    // No retries at higher temperatures: a second pass that is late is no use.
    params.temperature_inc = 0.0f;
    // A spoken question comes to three or four tokens a second; more is the decoder running on.
    params.max_tokens = 8 + static_cast<int>(std::ceil(seconds * 6));
    if (settings.fitWindowToUtterance) {
        params.audio_ctx = std::min(
            kWindowFrames, static_cast<int>(std::ceil((seconds + 1.0) * kFramesPerSecond)));
    }
    if (!prompt.empty()) params.initial_prompt = prompt.c_str();
    params.abort_callback = [](void* stopFlag) {
        return stopFlag && static_cast<const std::atomic<bool>*>(stopFlag)->load();
    };
    params.abort_callback_user_data = const_cast<std::atomic<bool>*>(stop);

    if (whisper_full(context, params, samples.data(), static_cast<int>(samples.size())) != 0) {
        if (stop && *stop) return {std::nullopt, std::string("The transcription was cancelled.")};
        return {std::nullopt, "Whisper could not transcribe the utterance."};
    }
    WhisperDecoding decoding;
    double logProbabilities = 0;
    int tokens = 0;
    const auto firstSpecial = whisper_token_eot(context);
    for (int i = 0; i < whisper_full_n_segments(context); ++i) {
        decoding.text += whisper_full_get_segment_text(context, i);
        decoding.noSpeechProbability = std::max<double>(
            decoding.noSpeechProbability, whisper_full_get_segment_no_speech_prob(context, i));
        for (int j = 0; j < whisper_full_n_tokens(context, i); ++j) {
            const auto token = whisper_full_get_token_data(context, i, j);
            if (token.id >= firstSpecial) continue;
            logProbabilities += token.plog;
            ++tokens;
        }
    }
    decoding.text = std::string(text::trimWhitespaceAndNewlines(utf8::sanitized(decoding.text)));
    decoding.averageLogProbability = tokens > 0 ? logProbabilities / tokens : 0;
    if (settings.guards.judge(decoding, prompt) != WhisperGuards::Verdict::heard) {
        return {std::string(), std::nullopt};
    }
    return {decoding.text, std::nullopt};
}

}  // namespace orvane
