// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>

#include "accounts/AuthManager.h"
#include "adapters/curl/CurlHttpClient.h"
#include "adapters/documents/FileDocumentReader.h"
#include "adapters/null/NullPlatform.h"
#include "adapters/pocketsphinx/PocketSphinxSpeech.h"
#include "adapters/pulse/PulseAudioSource.h"
#include "adapters/pulse/PulseMicrophone.h"
#include "adapters/pulse/PulseSoundDevices.h"
#include "adapters/qt/BrowserWebAuth.h"
#include "adapters/qt/QtMainQueue.h"
#include "adapters/std/WorkerQueue.h"
#include "adapters/webrtc/WebRtcEchoCanceller.h"
#include "adapters/webrtc/WebRtcVoiceDetector.h"
#include "app/Desktop.h"
#include "capture/TwoPassRecognizer.h"
#include "crypto/OpenSslCrypto.h"
#include "session/SessionManager.h"

namespace orvane {

// The real platform services of the application, chosen here and nowhere else. Made in the order
// they depend on each other and destroyed in reverse: the background queue goes before the
// services its work uses, and the main queue, which everything posts to, last.
struct AppServices {
    QtMainQueue mainQueue;
    CurlHttpClient http;
    PocketSphinxSpeechService pocketSphinx;
    // With a Whisper model, it hears everything, WebRTC's detector times the speech, and
    // PocketSphinx's decoders go until the candidate's microphone or the model's absence needs
    // them.
    TwoPassSpeechService speech{pocketSphinx,
                                [] { return std::make_unique<WebRtcVoiceDetector>(); },
                                [this] { pocketSphinx.letGoOfIdleDecoders(); }};
    // Used on both capture threads, so made before the two captures and destroyed after them.
    WebRtcEchoCanceller echoCanceller;
    PulseAudioSource audioSource;
    PulseMicrophone microphone;
    PulseSoundDevices soundDevices;
    std::unique_ptr<GuiScreenSource> screenSource = desktop::screenSource();
    // X11 and Wayland cannot leave a window out of other programs' screen capture, and there is
    // no privacy page to open either: the panel is told so.
    NullWorkspace workspace;
    OpenSslCrypto crypto;
    BrowserWebAuthFactory webAuth;
    std::unique_ptr<GlobalShortcuts> shortcuts = desktop::globalShortcuts();
    std::unique_ptr<ShareWatcher> shareWatcher = desktop::shareWatcher();
    std::unique_ptr<ShareTrial> shareTrial = desktop::shareTrial();
    UnavailableAppleSignIn apple;
    WorkerQueue background;
    // Copying, downloading and loading speech models: seconds of work that must not wait behind,
    // or hold up, the sound stream and screenshots.
    WorkerQueue modelWork;
    FileDocumentReader documents;
    // Reading a CV or a job description the user chose: a large PDF takes a while.
    WorkerQueue documentWork;

    AuthServices accounts() { return {mainQueue, http, crypto, webAuth, apple}; }
    SessionServices session(AuthManager& auth) {
        return {mainQueue,     background, http, speech,         audioSource,  microphone,
                *screenSource, workspace,  auth, &echoCanceller, &pocketSphinx};
    }
};

}  // namespace orvane
