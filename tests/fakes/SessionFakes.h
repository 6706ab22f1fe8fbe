// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "fakes/FakeHttpClient.h"
#include "fakes/ManualBackgroundQueue.h"
#include "fakes/ManualMainQueue.h"
#include "fakes/ScriptedDevices.h"
#include "fakes/ScriptedSpeech.h"
#include "session/SessionManager.h"

namespace orvane::testing {

// Every service a session uses but the account state, on fakes and virtual time.
struct SessionFakes {
    ManualMainQueue mainQueue;
    ManualBackgroundQueue background;
    FakeHttpClient http;
    ScriptedSpeechService speech;
    ScriptedAudioSource audioSource;
    ScriptedMicrophone microphone;
    ScriptedScreenSource screenSource;
    RecordingWorkspace workspace;

    SessionServices services(AuthManager& auth) {
        return {mainQueue,  background,   http,      speech, audioSource,
                microphone, screenSource, workspace, auth};
    }
};

}  // namespace orvane::testing
