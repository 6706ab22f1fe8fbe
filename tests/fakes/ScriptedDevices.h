// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/AudioSource.h"
#include "platform/GlobalShortcuts.h"
#include "platform/Microphone.h"
#include "platform/ScreenSource.h"
#include "platform/Workspace.h"

namespace orvane::testing {

struct ScriptedAudioStream : AudioStream {
    std::shared_ptr<int> stops = std::make_shared<int>(0);
    void stop() override { ++*stops; }
    ~ScriptedAudioStream() override { ++*stops; }
};

// Opens as scripted and keeps the handlers of the last open, so the test can play audio into
// them or end the stream.
struct ScriptedAudioSource : AudioSource {
    OpenStatus nextStatus = OpenStatus::opened;
    std::string nextErrorText;
    int opens = 0;
    std::string lastThreadLabel;
    AudioStreamHandlers handlers;
    // Counts stop() calls and destruction of the streams handed out.
    std::vector<std::shared_ptr<int>> streamStops;

    OpenResult open(const std::string& threadLabel, AudioStreamHandlers given) override {
        ++opens;
        lastThreadLabel = threadLabel;
        handlers = std::move(given);
        OpenResult result;
        result.status = nextStatus;
        result.errorText = nextErrorText;
        if (nextStatus == OpenStatus::opened) {
            auto stream = std::make_unique<ScriptedAudioStream>();
            streamStops.push_back(stream->stops);
            result.stream = std::move(stream);
        }
        return result;
    }
};

struct ScriptedMicrophoneStream : MicrophoneStream {
    std::shared_ptr<bool> stopped = std::make_shared<bool>(false);
    bool running = true;
    void stop() override {
        *stopped = true;
        running = false;
    }
    bool isRunning() const override { return running; }
};

struct ScriptedMicrophone : Microphone {
    bool deferPermission = false;
    bool granted = true;
    bool startFails = false;
    std::vector<std::function<void(bool)>> pendingPermissions;
    std::vector<std::function<void(AudioBuffer)>> openedWith;
    std::vector<std::shared_ptr<bool>> streamsStopped;

    void requestPermission(std::function<void(bool)> completion) override {
        if (deferPermission) {
            pendingPermissions.push_back(std::move(completion));
        } else {
            completion(granted);
        }
    }
    void answerPermission(bool answer) {
        auto pending = std::move(pendingPermissions);
        pendingPermissions.clear();
        for (auto& completion : pending) completion(answer);
    }
    std::unique_ptr<MicrophoneStream> open(std::function<void(AudioBuffer)> onBlock) override {
        openedWith.push_back(std::move(onBlock));
        auto stream = std::make_unique<ScriptedMicrophoneStream>();
        stream->running = !startFails;
        streamsStopped.push_back(stream->stopped);
        return stream;
    }
};

struct ScriptedScreenSource : ScreenSource {
    std::optional<ShareableContent> content =
        ShareableContent{{DisplayInfo{1, 1440, 900}}, {WindowInfo{10}, WindowInfo{42}}};
    // The picture the next capture gives; nothing makes it fail as a refused portal would.
    std::optional<std::vector<std::uint8_t>> png = std::vector<std::uint8_t>{0x89, 'P', 'N', 'G'};
    struct Capture {
        DisplayInfo display;
        ScreenCaptureSettings settings;
        std::vector<WindowInfo> excluded;
    };
    std::vector<Capture> captures;

    std::optional<ShareableContent> shareableContent() override { return content; }
    ScreenPicture capturePNG(const DisplayInfo& display, const ScreenCaptureSettings& settings,
                             const std::vector<WindowInfo>& excluded) override {
        captures.push_back({display, settings, excluded});
        if (!png) {
            return ScreenPicture::failed(ScreenPicture::Failure::permissionDenied,
                                         "The desktop refused to take a screenshot.");
        }
        return ScreenPicture::taken(*png);
    }
};

// A desktop's global shortcuts: the test decides what was bound and presses the keys.
struct ScriptedGlobalShortcuts : GlobalShortcuts {
    std::vector<GlobalShortcut> asked;
    std::function<void(ShortcutBindings)> answer;

    void bind(std::vector<GlobalShortcut> shortcuts,
              std::function<void(ShortcutBindings)> onBound) override {
        asked = std::move(shortcuts);
        answer = std::move(onBound);
    }
    void press(const std::string& id) {
        if (onPressed) onPressed(id);
    }
    void release(const std::string& id) {
        if (onReleased) onReleased(id);
    }
};

struct RecordingWorkspace : Workspace {
    // Whether this desktop can exclude windows from capture, and what was asked of it.
    bool canExcludeFromCapture = true;
    std::vector<bool> exclusionRequests;

    bool setExcludedFromCapture(std::uint64_t, bool excluded) override {
        exclusionRequests.push_back(excluded);
        return canExcludeFromCapture;
    }
};

}  // namespace orvane::testing
