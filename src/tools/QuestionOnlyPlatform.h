// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "adapters/curl/CurlHttpClient.h"
#include "adapters/null/NullPlatform.h"
#include "adapters/std/RunLoop.h"
#include "adapters/std/WorkerQueue.h"
#include "session/SessionManager.h"

namespace orvane {

// The platform of a session that only asks questions over HTTP, for programs without a GUI:
// a run loop for the main queue, the real HTTP client, and nothing to hear, record or capture.
// The main queue is declared first so that it outlives the background queue, which may still
// post to it while it drains.
struct QuestionOnlyPlatform {
    RunLoop mainQueue;
    CurlHttpClient http;
    WorkerQueue background;
    NullSpeechService speech;
    NullAudioSource audio;
    NullMicrophone microphone;
    NullScreenSource screen;
    NullWorkspace workspace;

    SessionServices services(AuthManager& auth) {
        return {mainQueue, background, http, speech, audio, microphone, screen, workspace, auth};
    }
};

}  // namespace orvane
