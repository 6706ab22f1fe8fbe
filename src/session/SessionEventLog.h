// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

namespace orvane {

class SessionManager;

// Writes a session's callbacks as one JSON object per line, as they happen:
//   {"event":"state","state":"processing"}   {"event":"transcript","text":"..."}
//   {"event":"answer","text":"..."}          {"event":"error","message":"..."}
//   {"event":"recorded","question":"...","answer":"..."}   (a pair joined the history)
//   {"event":"shown","position":2,"count":3}   (the user paged to an earlier or later answer)
//   {"event":"screenshot","png":"<base64>"}    (a picture joined the queue; then:)
//   {"event":"screenshots","count":2}          (the number of pictures waiting)
//   {"event":"skipped","shown":"..."}          (small talk declined; what the panel shows now)
// Callbacks already set on the session keep running; the log is called after them.
class SessionEventLog {
public:
    explicit SessionEventLog(std::ostream& out) : m_out(out) {}

    // shownAnswer, when given, tells what the answer area shows (after the panel's own handling).
    void attach(SessionManager& session, std::function<std::string()> shownAnswer = {});
    void write(const nlohmann::ordered_json& event);

private:
    std::ostream& m_out;
    int m_recordedCount = 0;
    int m_screenshotCount = 0;
};

}  // namespace orvane
