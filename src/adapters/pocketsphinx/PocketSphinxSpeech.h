// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>
#include <thread>

#include "adapters/pocketsphinx/PocketSphinxDecoder.h"
#include "platform/SpeechRecognizer.h"

namespace orvane {

// On-device recognition with PocketSphinx and the English model; other locales have no
// recogniser. Recognition needs no permission.
//
// One decoding thread, owned by the service, runs every recognition (the session's and
// push-to-talk's take turns block by block), so whoever appends audio never waits for the decoder
// and every report, cancellations included, comes from that thread. A decoder is loaded on it as
// the service starts and kept warm between recognitions. Destroying the service stops the thread
// and joins it; recognitions still running then report nothing more.
class PocketSphinxSpeechService : public SpeechService {
public:
    explicit PocketSphinxSpeechService(
        SpeechModelPaths paths = SpeechModelPaths::find(),
        PocketSphinxDecoder::Tuning tuning = PocketSphinxDecoder::defaultTuning());
    ~PocketSphinxSpeechService() override;
    PocketSphinxSpeechService(const PocketSphinxSpeechService&) = delete;
    PocketSphinxSpeechService& operator=(const PocketSphinxSpeechService&) = delete;

    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override;
    std::shared_ptr<SpeechRecognizer> recognizer(const std::string& localeIdentifier) override;

    // Lets go of the decoders no recognition is using, and of the language models they share once
    // none holds them: while another engine hears, PocketSphinx holds no memory. The next
    // recognition loads them again, which takes a moment.
    void letGoOfIdleDecoders();

    // Blocks until all audio appended so far has been decoded and its results handed on (or the
    // timeout passed). For tools that feed audio faster than real time and keep their own clock.
    bool waitUntilIdle(double timeoutSeconds);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

}  // namespace orvane
