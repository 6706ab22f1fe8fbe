// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <string>

typedef struct pa_threaded_mainloop pa_threaded_mainloop;
typedef struct pa_context pa_context;

namespace orvane::pulse {

// Tells when the sound server's default output changes: headphones plugged in, a Bluetooth
// headset connected, another output chosen in the desktop's sound settings. A record stream of
// the default output's monitor stays on the output it began with (PulseAudio and PipeWire alike),
// so whoever captures the computer's sound must move with it (and name the new monitor: PipeWire's
// "@DEFAULT_MONITOR@" may still mean the old one). onChanged gets the new output's monitor source,
// on the watcher's own thread. A server that goes away ends the watching; nothing is reported for
// it.
class DefaultSinkWatcher {
public:
    explicit DefaultSinkWatcher(std::function<void(const std::string& monitor)> onChanged);
    ~DefaultSinkWatcher();
    DefaultSinkWatcher(const DefaultSinkWatcher&) = delete;
    DefaultSinkWatcher& operator=(const DefaultSinkWatcher&) = delete;

    struct Callbacks;

private:
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    std::function<void(const std::string&)> m_onChanged;
    std::string m_defaultSink;  // on the watcher's thread only
    bool m_knowsDefault = false;

    friend struct Callbacks;
};

}  // namespace orvane::pulse
