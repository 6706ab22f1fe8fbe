// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace orvane {

class EchoCanceller;
class MainQueue;
class MicCapture;
class Microphone;
class SpeechService;
class Timer;

// What the candidate says into the microphone while a session runs, heard in lines: a pause of
// silenceSeconds ends one, and the next begins at once. With an echo canceller the computer's
// own sound is taken out first, so the interviewer's voice from the speakers is not heard here.
// Main thread only.
class CandidateListener : public std::enable_shared_from_this<CandidateListener> {
public:
    static std::shared_ptr<CandidateListener> create(Microphone& microphone, SpeechService& speech,
                                                     MainQueue& mainQueue,
                                                     EchoCanceller* echoCanceller,
                                                     double silenceSeconds);
    ~CandidateListener();

    // The words of the line being heard, after every change; "" once it has ended.
    std::function<void(const std::string&)> onTranscript;
    // A line heard to its end, never empty; a line cut by stop() is heard out too.
    std::function<void(const std::string&)> onLine;

    void start();
    void stop();
    bool isListening() const { return m_listening; }

private:
    CandidateListener(Microphone& microphone, SpeechService& speech, MainQueue& mainQueue,
                      EchoCanceller* echoCanceller, double silenceSeconds);
    void handleTranscript(const std::string& text);
    void endLine();

    MainQueue& m_mainQueue;
    std::shared_ptr<MicCapture> m_mic;
    double m_silenceSeconds;
    bool m_listening = false;
    std::string m_heard;
    std::unique_ptr<Timer> m_silenceTimer;
};

}  // namespace orvane
