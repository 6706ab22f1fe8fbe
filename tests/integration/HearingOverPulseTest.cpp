// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The real hearing path: a PulseAudio daemon started for the test with a null sink as the default
// output, speech from espeak-ng played into it with paplay, captured from the sink's monitor and
// recognised on-device by the session.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <nlohmann/json.hpp>

#include "accounts/AuthManager.h"
#include "adapters/null/NullPlatform.h"
#include "adapters/pocketsphinx/PocketSphinxSpeech.h"
#include "adapters/pulse/PulseAudioSource.h"
#include "adapters/pulse/PulseMicrophone.h"
#include "adapters/pulse/PulseSoundDevices.h"
#include "adapters/std/RunLoop.h"
#include "adapters/std/WorkerQueue.h"
#include "adapters/webrtc/WebRtcEchoCanceller.h"
#include "capture/MicCapture.h"
#include "fakes/EventStream.h"
#include "fakes/FakeHttpClient.h"
#include "integration/PipeWireServer.h"
#include "integration/ProcessRun.h"
#include "session/SessionManager.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

// A private PulseAudio server whose default output is a null sink; clients of this process reach
// it through PULSE_SERVER.
class PulseServer {
public:
    PulseServer() {
        m_dir =
            std::filesystem::temp_directory_path() / ("orvane-pulse-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        start();
    }
    ~PulseServer() {
        kill();
        ::unsetenv("PULSE_SERVER");
        std::filesystem::remove_all(m_dir);
    }
    void start() {
        const auto socket = (m_dir / "native").string();
        const auto dir = m_dir.string();
        m_daemon.emplace(
            std::vector<std::string>{
                "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                "--load=module-null-sink sink_name=orvane_test rate=48000",
                "--load=module-null-source source_name=orvane_mic rate=48000",
                "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket},
            ChildProcess::Options{.errorLog = m_dir / "daemon.log",
                                  .environment = {{"HOME", dir},
                                                  {"XDG_RUNTIME_DIR", dir},
                                                  {"PULSE_RUNTIME_PATH", dir + "/pulse"}},
                                  .stopSignal = SIGKILL});
        ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        waitUntil([] { return runCommand("pactl info >/dev/null 2>&1") == 0; }, 6s);
        runCommand("pactl set-default-sink orvane_test");
        runCommand("pactl set-default-source orvane_mic");
    }
    void kill() { m_daemon.reset(); }
    bool running() const { return m_daemon && runCommand("pactl info >/dev/null 2>&1") == 0; }
    std::filesystem::path dir() const { return m_dir; }

private:
    std::filesystem::path m_dir;
    std::optional<ChildProcess> m_daemon;
};

// Speech made with espeak-ng: each text, then the given seconds of silence.
std::string speech(const std::filesystem::path& dir,
                   const std::vector<std::pair<std::string, double>>& parts) {
    std::string pieces;
    int n = 0;
    for (const auto& [text, pause] : parts) {
        const auto said = (dir / ("part" + std::to_string(++n) + ".wav")).string();
        runCommand("espeak-ng -v en-us -s 150 -w " + said + " '" + text + "'");
        const auto padded = (dir / ("padded" + std::to_string(n) + ".wav")).string();
        runCommand("sox " + said + " " + padded + " pad 0 " + std::to_string(pause));
        pieces += " " + padded;
    }
    const auto joined = (dir / "speech.wav").string();
    runCommand("sox" + pieces + " " + joined);
    return joined;
}

struct ListeningSession {
    RunLoop mainQueue;
    WorkerQueue background;
    FakeHttpClient http;
    PocketSphinxSpeechService speech;
    WebRtcEchoCanceller echo;
    PulseAudioSource audio;
    PulseMicrophone microphone;
    NullScreenSource screen;
    NullWorkspace workspace;
    AuthManager auth;
    std::shared_ptr<SessionManager> session;
    std::vector<std::string> errors;

    ListeningSession() {
        auth.setAccessToken("t");
        session = SessionManager::create({mainQueue, background, http, speech, audio, microphone,
                                          screen, workspace, auth, &echo});
        session->onError = [this](const std::string& e) { errors.push_back(e); };
    }
    std::vector<std::string> questions() const {
        std::vector<std::string> out;
        for (const auto& call : http.streams) {
            out.push_back(nlohmann::json::parse(*call.request.body)["messages"].back()["content"]);
        }
        return out;
    }
    void runFor(double seconds) {
        mainQueue.runUntil([] { return false; }, seconds);
    }
};

class HearingOverPulse : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SpeechModelPaths::find().exist()) GTEST_SKIP() << "speech model not installed";
        ASSERT_TRUE(server.running()) << "pulseaudio did not start";
    }
    PulseServer server;
};

// A question played into the default output is heard; then a headset is plugged in mid-call (a
// new output becomes the default and the call's sound goes there), and what plays there is heard:
// another question, then a lone word, which is no question. Recognition of synthetic speech is
// far from perfect; what must hold is the utterance rule: each question heard as several words and
// sent once.
void expectHeardThroughAChangeOfOutput(const std::filesystem::path& dir) {
    const auto before = (dir / "before.wav").string();
    std::filesystem::rename(speech(dir, {{"How would you design a rate limiter", 2.5}}), before);
    const auto after =
        speech(dir, {{"What is the difference between a process and a thread", 2.5}, {"Yes", 2.5}});
    ListeningSession listening;
    listening.session->startSession();
    listening.runFor(1.5);  // capture and the decoder are up
    auto played = std::async(std::launch::async, [&] { return runCommand("paplay " + before); });
    for (int i = 0; i < 40 && listening.questions().empty(); ++i) listening.runFor(0.25);
    played.wait();
    ASSERT_EQ(listening.questions().size(), 1u) << "heard on the output it began with";

    ASSERT_EQ(runCommand("pactl load-module module-null-sink sink_name=orvane_headset >/dev/null"),
              0);
    ASSERT_EQ(runCommand("pactl set-default-sink orvane_headset"), 0);
    listening.runFor(0.5);
    played = std::async(std::launch::async,
                        [&] { return runCommand("paplay -d orvane_headset " + after); });
    while (played.wait_for(0s) != std::future_status::ready) listening.runFor(0.25);
    listening.runFor(1.0);  // the lone word's silence runs out too
    listening.session->stopSession();
    std::string heard;
    for (const auto& question : listening.questions()) heard += "[" + question + "] ";
    ASSERT_EQ(listening.questions().size(), 2u) << "heard on the new output: " << heard;
    for (const auto& question : listening.questions())
        EXPECT_GE(std::count(question.begin(), question.end(), ' '), 2) << heard;
    EXPECT_TRUE(listening.errors.empty()) << listening.errors.front();
}

// PipeWire and PulseAudio restart under a running desktop (updates, a crash, a Bluetooth
// headset): the session says it lost the sound and picks it up again.
TEST_F(HearingOverPulse, ASoundServerThatRestartsIsRejoined) {
    ListeningSession listening;
    std::vector<bool> hearing;
    listening.session->onHearingChanged = [&](bool heard) { hearing.push_back(heard); };
    listening.session->startSession();
    listening.runFor(1.0);
    ASSERT_TRUE(listening.errors.empty());
    ASSERT_TRUE(listening.session->isHearing());

    server.kill();
    for (int i = 0; i < 20 && listening.errors.empty(); ++i) listening.runFor(0.25);
    ASSERT_EQ(listening.errors.size(), 1u);
    EXPECT_TRUE(listening.errors[0].starts_with("Audio capture stopped: ")) << listening.errors[0];
    EXPECT_FALSE(listening.session->isHearing());
    EXPECT_EQ(listening.session->state(), SessionManager::State::listening);

    server.start();
    for (int i = 0; i < 60 && !listening.session->isHearing(); ++i) listening.runFor(0.25);
    EXPECT_TRUE(listening.session->isHearing());
    EXPECT_EQ(hearing, (std::vector<bool>{false, true}));
    EXPECT_EQ(listening.errors.size(), 1u) << "one message for the whole outage";

    const auto wav = speech(server.dir(), {{"How would you design a rate limiter", 2.5}});
    auto played = std::async(std::launch::async, [&] { return runCommand("paplay " + wav); });
    for (int i = 0; i < 40 && listening.questions().empty(); ++i) listening.runFor(0.25);
    played.wait();
    EXPECT_EQ(listening.questions().size(), 1u) << "the rejoined capture is heard";
    listening.session->stopSession();
}

TEST_F(HearingOverPulse, WithoutASoundServerTheSessionSaysSoAndJoinsOneThatStarts) {
    server.kill();
    ListeningSession listening;
    listening.session->startSession();
    for (int i = 0; i < 20 && listening.errors.empty(); ++i) listening.runFor(0.25);
    EXPECT_EQ(listening.errors,
              (std::vector<std::string>{"Cannot hear the computer: no sound server (PulseAudio or "
                                        "PipeWire) is running. Orvane starts hearing as soon as it "
                                        "can."}));
    EXPECT_FALSE(listening.session->isHearing());
    PulseMicrophone microphone;
    std::promise<bool> permission;
    microphone.requestPermission([&](bool granted) { permission.set_value(granted); });
    EXPECT_FALSE(permission.get_future().get()) << "no microphone either";
    server.start();
    for (int i = 0; i < 60 && !listening.session->isHearing(); ++i) listening.runFor(0.25);
    EXPECT_TRUE(listening.session->isHearing());
    listening.session->stopSession();
}

TEST_F(HearingOverPulse, TheMicrophoneDeliversBlocksOfTheDefaultSource) {
    PulseMicrophone microphone;
    std::promise<bool> permission;
    microphone.requestPermission([&](bool granted) { permission.set_value(granted); });
    ASSERT_TRUE(permission.get_future().get());
    std::atomic<int> blocks{0};
    std::atomic<std::size_t> frames{0};
    auto stream = microphone.open([&](AudioBuffer block) {
        frames = block.frameCount();
        ++blocks;
    });
    waitUntil([&] { return blocks >= 5; }, 2s);
    EXPECT_TRUE(stream->isRunning());
    EXPECT_GE(blocks.load(), 5);
    EXPECT_EQ(frames.load(), 1024u);
    stream->stop();
    const int seen = blocks;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(blocks.load(), seen);
    EXPECT_FALSE(stream->isRunning());
}

// The sound server's outputs and inputs are listed, and the output chosen is heard whatever the
// default is; an input chosen is recorded, and one that is not there records nothing.
TEST_F(HearingOverPulse, TheDevicesChosenAreListedAndHeardWhateverTheDefault) {
    ASSERT_EQ(
        runCommand(
            "pactl load-module module-null-sink sink_name=orvane_other rate=48000 >/dev/null"),
        0);
    PulseSoundDevices devices;
    std::vector<std::string> outputs, inputs;
    for (const auto& device : devices.outputs()) outputs.push_back(device.name);
    for (const auto& device : devices.inputs()) inputs.push_back(device.name);
    EXPECT_NE(std::find(outputs.begin(), outputs.end(), "orvane_other.monitor"), outputs.end());
    EXPECT_NE(std::find(outputs.begin(), outputs.end(), "orvane_test.monitor"), outputs.end());
    EXPECT_EQ(inputs, std::vector<std::string>{"orvane_mic"}) << "monitors are not inputs";

    const auto tone = (server.dir() / "tone.wav").string();
    ASSERT_EQ(runCommand("sox -n -r 48000 -c 1 " + tone + " synth 0.6 sine 440 gain -6"), 0);
    PulseAudioSource audio;
    audio.useDevice("orvane_other.monitor");
    std::atomic<float> loudest{0};
    auto opened = audio.open("chosen", {[&](AudioBuffer block) {
                                            for (const float sample : block.samples)
                                                loudest =
                                                    std::max(loudest.load(), std::abs(sample));
                                        },
                                        nullptr});
    ASSERT_EQ(opened.status, AudioSource::OpenStatus::opened) << opened.errorText;
    runCommand("paplay " + tone);
    EXPECT_LT(loudest.load(), 0.01f) << "the default output is not the one chosen";
    runCommand("paplay -d orvane_other " + tone);
    std::this_thread::sleep_for(200ms);
    EXPECT_GT(loudest.load(), 0.1f);
    opened.stream->stop();

    PulseMicrophone microphone;
    microphone.useDevice("orvane_no_such_input");
    auto away = microphone.open([](AudioBuffer) {});
    waitUntil([&] { return !away->isRunning(); }, 2s);
    EXPECT_FALSE(away->isRunning());
}

// The user lets go of space the moment they stop speaking: the words still on their way through
// the recogniser are part of the question.
TEST_F(HearingOverPulse, PushToTalkKeepsTheLastWordsSpokenBeforeTheRelease) {
    const auto spoken =
        speech(server.dir(), {{"What is the difference between a process and a thread", 0}});
    // Released as the last word ends: no trailing silence gives the recogniser time to catch up.
    const auto wav = (server.dir() / "clipped.wav").string();
    ASSERT_EQ(runCommand("sox " + spoken + " " + wav + " reverse silence 1 0.01 0.5% reverse"), 0);
    runCommand("pactl set-default-source orvane_test.monitor");  // the microphone hears the speech
    RunLoop mainQueue;
    PocketSphinxSpeechService recogniser;
    PulseMicrophone microphone;
    auto mic = MicCapture::create(microphone, recogniser, mainQueue);
    std::vector<std::string> finished;
    mic->onFinished = [&](const std::string& text) { finished.push_back(text); };
    mic->startRecording();
    mainQueue.runUntil([&] { return mic->isRecording(); }, 5);
    ASSERT_TRUE(mic->isRecording());
    mainQueue.runUntil([] { return false; }, 0.5);

    auto played = std::async(std::launch::async, [&] { return runCommand("paplay " + wav); });
    while (played.wait_for(0s) != std::future_status::ready) {
        mainQueue.runUntil([] { return false; }, 0.005);
    }
    ASSERT_EQ(played.get(), 0);
    mic->stopRecording();
    mainQueue.runUntil([&] { return !finished.empty(); }, MicCapture::finishingSeconds + 1);

    ASSERT_EQ(finished.size(), 1u);
    const auto& text = finished[0];
    EXPECT_GE(std::count(text.begin(), text.end(), ' '), 5) << text;
    EXPECT_TRUE(text.ends_with("thread")) << "the last word was heard: " << text;
}

// The candidate's microphone is in the room: the speakers' sound reaches it 60 ms late (a loopback
// from the output's monitor into the "room"), and the candidate speaks into it too. The question
// from the speakers is heard once, as the interviewer's; the candidate's words as theirs.
TEST_F(HearingOverPulse, HearMeTooHearsTheCandidateAndNotTheSpeakersAgain) {
    const auto question = (server.dir() / "question.wav").string();
    std::filesystem::rename(speech(server.dir(), {{"How would you design a rate limiter", 2.5}}),
                            question);
    const auto answer =
        speech(server.dir(), {{"I would keep a token bucket for every client", 2.5}});
    ASSERT_EQ(runCommand(
                  "pactl load-module module-null-sink sink_name=orvane_room rate=48000 >/dev/null"),
              0);
    ASSERT_EQ(
        runCommand("pactl load-module module-loopback source=orvane_test.monitor sink=orvane_room "
                   "latency_msec=60 >/dev/null"),
        0);
    ListeningSession listening;
    listening.microphone.useDevice("orvane_room.monitor");
    listening.session->setHearsCandidate(true);
    listening.session->startSession();
    listening.runFor(1.5);
    auto played = std::async(std::launch::async, [&] { return runCommand("paplay " + question); });
    for (int i = 0; i < 40 && listening.questions().empty(); ++i) listening.runFor(0.25);
    played.wait();
    ASSERT_EQ(listening.questions().size(), 1u);
    listening.http.streams[0].respond(200);
    listening.http.streams[0].feed(answerEvents("Token buckets."));
    listening.http.streams[0].finish(std::nullopt);
    const auto candidateSpoke = listening.mainQueue.now();
    played = std::async(std::launch::async,
                        [&] { return runCommand("paplay -d orvane_room " + answer); });
    while (played.wait_for(0s) != std::future_status::ready) listening.runFor(0.25);
    const auto& turns = listening.session->conversationHistory();
    for (int i = 0; i < 40 && turns.size() < 3; ++i) listening.runFor(0.25);  // sanitizers are slow
    listening.runFor(2.0);  // a line the recogniser paused in goes on in another
    std::string heard;
    for (const auto& turn : turns) heard += "[" + turn.role + ": " + turn.content + "] ";
    ASSERT_GE(turns.size(), 3u) << heard;
    EXPECT_EQ(turns[1].content, "Token buckets.");
    std::ptrdiff_t words = 0;
    for (const auto& entry : listening.session->interview().entries()) {
        if (entry.outcome != InterviewRecord::Outcome::candidateSaid) continue;
        EXPECT_GT(entry.askedAt, candidateSpoke) << "from the speakers: " << entry.question;
        words += std::count(entry.question.begin(), entry.question.end(), ' ') + 1;
    }
    EXPECT_TRUE(std::all_of(turns.begin() + 2, turns.end(), isCandidateTurn)) << heard;
    EXPECT_GE(words, 6) << heard;
    EXPECT_EQ(listening.questions().size(), 1u) << "the candidate's words ask nothing";
}

// The canceller alone, on speech: an echo of the far voice at half its level, 40 ms late, loses
// most of its energy once the filter has found it. (The near voice passing is the test above.)
TEST(EchoCanceller, TakesOutADelayedEcho) {
    const auto dir = std::filesystem::temp_directory_path() / "orvane-echo-test";
    std::filesystem::create_directories(dir);
    const auto said = "Tell me about a time you disagreed with a decision";
    const auto raw = (dir / "speech.f32").string();
    runCommand("sox " + speech(dir, {{said, 0.2}, {said, 0.2}, {said, 0.2}}) +
               " -r 48000 -c 1 -e floating-point -b 32 -t raw " + raw);
    std::vector<float> far(std::filesystem::file_size(raw) / sizeof(float));
    std::ifstream(raw, std::ios::binary)
        .read(reinterpret_cast<char*>(far.data()), static_cast<std::streamsize>(far.size() * 4));
    std::filesystem::remove_all(dir);
    ASSERT_GT(far.size(), 48000u * 4);

    WebRtcEchoCanceller canceller;
    constexpr std::size_t block = 1024, delay = 48 * 40;
    double heard = 0, left = 0;
    for (std::size_t at = 0; at + block <= far.size(); at += block) {
        AudioBuffer mic{48000, 1, std::vector<float>(block)};
        for (std::size_t i = 0; i < block; ++i) {
            mic.samples[i] = at + i >= delay ? 0.5f * far[at + i - delay] : 0;
        }
        canceller.playback({48000, 1, {far.begin() + at, far.begin() + at + block}});
        const auto out = canceller.clean(mic);
        if (at < far.size() / 2) continue;
        for (const float sample : mic.samples) heard += sample * sample;
        for (const float sample : out.samples) left += sample * sample;
    }
    EXPECT_LT(left, heard / 10) << "10 dB or more taken out";
}

TEST_F(HearingOverPulse, QuestionsAreHeardAndAHeadsetPluggedInMidCallIsFollowed) {
    expectHeardThroughAChangeOfOutput(server.dir());
}

class HearingOverPipeWire : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SpeechModelPaths::find().exist()) GTEST_SKIP() << "speech model not installed";
        ASSERT_TRUE(server.running()) << "pipewire-pulse did not start";
    }
    PipeWireServer server;
};

TEST_F(HearingOverPipeWire, QuestionsAreHeardAndAHeadsetPluggedInMidCallIsFollowed) {
    expectHeardThroughAChangeOfOutput(server.dir());
}

}  // namespace
}  // namespace orvane::testing
