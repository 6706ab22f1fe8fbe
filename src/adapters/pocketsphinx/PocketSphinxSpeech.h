// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "adapters/pocketsphinx/DecoderPool.h"
#include "adapters/pocketsphinx/PocketSphinxDecoder.h"
#include "platform/SpeechRecognizer.h"

namespace orvane {

// On-device recognition with PocketSphinx and the English model; other locales have no
// recogniser. Recognition needs no permission. Each recognition task decodes on a thread of its
// own, so whoever appends audio never waits for the decoder; decoders are kept warm across tasks.
class PocketSphinxSpeechService : public SpeechService {
public:
    explicit PocketSphinxSpeechService(
        SpeechModelPaths paths = SpeechModelPaths::find(),
        PocketSphinxDecoder::Tuning tuning = PocketSphinxDecoder::defaultTuning());
    ~PocketSphinxSpeechService() override;

    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override;
    std::shared_ptr<SpeechRecognizer> recognizer(const std::string& localeIdentifier) override;

    // Blocks until every running task has decoded all audio appended to it so far (or the timeout
    // passed). For tools that feed audio faster than real time and keep their own clock.
    bool waitUntilIdle(double timeoutSeconds);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace orvane
