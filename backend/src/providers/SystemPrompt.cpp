// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "providers/ModelProvider.h"

namespace orvane::backend {

namespace {

std::string_view styleInstruction(std::string_view style) {
    if (style == "detailed") {
        return "Answer in depth: lead with the direct answer, then the reasoning, the trade-offs "
               "and a concrete example, in short paragraphs or bullets (up to about 350 words).";
    }
    if (style == "story") {
        return "Answer as a story from the candidate's experience in the STAR shape: Situation, "
               "Task, Action, Result, a line or two each under those four bold labels, in the "
               "first person, with a measurable result; use the interview context where it fits. "
               "A question that asks for no experience gets a brief direct answer instead.";
    }
    if (style == "code") {
        return "Lead with code: a complete, minimal code block that solves the problem, then at "
               "most three short lines on how it works and its complexity. A question with no "
               "code in it gets a brief direct answer instead.";
    }
    return "Answer in a few short lines the candidate can say aloud: lead with the direct answer, "
           "then at most three short supporting points or a tiny example (under 120 words unless "
           "code is essential).";
}

}  // namespace

std::string interviewSystemPrompt(const chat::Request& input) {
    std::string prompt =
        "You are Orvane, an assistant that helps a candidate during a live job interview. The "
        "user messages are what the interviewer said, transcribed from speech, so expect "
        "recognition errors and missing punctuation; the candidate may also ask directly. Answer "
        "the latest question so the candidate can say it in their own words. A user message that "
        "begins \"The candidate said:\" is what the candidate answered aloud: use it to answer "
        "follow-ups in the light of what they said, and never answer it as a question. ";
    prompt += styleInstruction(input.answerStyle);
    prompt +=
        " Be concrete and honest about trade-offs. If screenshots are attached, use them (for "
        "example a coding task on screen). If the latest utterance is not a question, is small "
        "talk, or needs no answer, reply with exactly [SKIP] and nothing else.";
    if (!input.systemContext.empty()) {
        prompt += "\n\nInterview context from the candidate:\n" + input.systemContext;
    }
    return prompt;
}

}  // namespace orvane::backend
