// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "adapters/pipewire/PipeWireQtLoop.h"

struct pw_core;
struct pw_registry;
struct pw_stream;

namespace orvane {

// Takes the frames of one video stream, as a call takes a screen share's: from the PipeWire that
// a file descriptor reaches (what the ScreenCast portal hands out) or the user's own. Frames are
// let go as they come. PipeWire's loop runs on Qt's; reports come on the GUI thread, never from
// inside PipeWire's callbacks, and none after the viewer is destroyed.
class PipeWireStreamViewer : public QObject {
    Q_OBJECT
public:
    // fd: taken over; -1 for the user's own PipeWire.
    PipeWireStreamViewer(int fd, std::uint32_t node, std::function<void()> onFirstFrame,
                         std::function<void(const std::string& problem)> onFailed);
    ~PipeWireStreamViewer() override;

    int frames() const { return m_frames; }

    struct Listener;

private:
    friend struct Listener;
    bool connectStream(int fd, std::uint32_t node);
    void frameArrived();
    void failed(const std::string& problem);

    PipeWireQtLoop m_loop;
    pw_core* m_core = nullptr;
    pw_registry* m_registry = nullptr;
    pw_stream* m_stream = nullptr;
    std::unique_ptr<Listener> m_listener;
    int m_frames = 0;
    bool m_failed = false;
    std::function<void()> m_onFirstFrame;
    std::function<void(const std::string&)> m_onFailed;
};

}  // namespace orvane
