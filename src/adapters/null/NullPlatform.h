// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "platform/AppleSignIn.h"
#include "platform/AudioSource.h"
#include "platform/Microphone.h"
#include "platform/ScreenSource.h"
#include "platform/SpeechRecognizer.h"
#include "platform/Workspace.h"

namespace orvane {

// Stand-ins for the platform services a build or a tool goes without; each answers honestly that
// the service is not available rather than pretending.

class NullAudioSource : public AudioSource {
public:
    OpenResult open(const std::string&, AudioStreamHandlers) override {
        return {OpenStatus::noDevice, nullptr, {}};
    }
};

class NullMicrophone : public Microphone {
public:
    void requestPermission(std::function<void(bool)> completion) override { completion(false); }
    std::unique_ptr<MicrophoneStream> open(std::function<void(AudioBuffer)>) override {
        return nullptr;
    }
};

class NullScreenSource : public ScreenSource {
public:
    std::optional<ShareableContent> shareableContent() override { return std::nullopt; }
    ScreenPicture capturePNG(const DisplayInfo&, const ScreenCaptureSettings&,
                             const std::vector<WindowInfo>&) override {
        return ScreenPicture::failed(ScreenPicture::Failure::unavailable,
                                     "Screenshots are not available here.");
    }
};

class NullSpeechService : public SpeechService {
public:
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override {
        completion(SpeechAuthorizationStatus::restricted);
    }
    std::shared_ptr<SpeechRecognizer> recognizer(const std::string&) override { return nullptr; }
};

// Sign in with Apple exists only on Apple's platforms.
class UnavailableAppleSignIn : public AppleSignIn {
public:
    void performRequest(Completion completion) override {
        completion(std::nullopt, "Sign in with Apple is not available on this platform.");
    }
};

class NullWorkspace : public Workspace {
public:
    bool setExcludedFromCapture(std::uint64_t, bool) override { return false; }
};

}  // namespace orvane
