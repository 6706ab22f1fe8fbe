// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/whisper/WhisperGuards.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

namespace orvane {

namespace {

// Whisper marks what is not speech in brackets ("[BLANK_AUDIO]", "(music)").
bool onlyAnnotations(std::string_view text) {
    bool inside = false;
    for (char c : text) {
        if (c == '[' || c == '(')
            inside = true;
        else if (c == ']' || c == ')')
            inside = false;
        else if (!inside && !std::isspace(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// Letters and digits, lower-cased; anything else separates words.
std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> found;
    std::string word;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || byte >= 0x80) {
            word += static_cast<char>(std::tolower(byte));
        } else if (!word.empty()) {
            found.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) found.push_back(std::move(word));
    return found;
}

}  // namespace

double compressionRatio(std::string_view text) {
    if (text.empty()) return 0;
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::vector<Bytef> deflated(size);
    if (compress(deflated.data(), &size, reinterpret_cast<const Bytef*>(text.data()),
                 static_cast<uLong>(text.size())) != Z_OK ||
        size == 0) {
        return 0;
    }
    return static_cast<double>(text.size()) / static_cast<double>(size);
}

WhisperGuards::Verdict WhisperGuards::judge(const WhisperDecoding& decoding,
                                            std::string_view prompt) const {
    if (onlyAnnotations(decoding.text)) return Verdict::nothing;
    const bool unlikely = decoding.averageLogProbability < logProbabilityThreshold;
    if (unlikely && decoding.noSpeechProbability > noSpeechThreshold) return Verdict::noSpeech;
    if (unlikely) return Verdict::unsure;
    if (compressionRatio(decoding.text) > compressionRatioThreshold) return Verdict::repetitive;
    const auto heard = words(decoding.text);
    const auto given = words(prompt);
    const std::set<std::string> promptWords(given.begin(), given.end());
    if (!heard.empty() && std::all_of(heard.begin(), heard.end(), [&](const std::string& word) {
            return promptWords.count(word) > 0;
        })) {
        return Verdict::echoesPrompt;
    }
    return Verdict::heard;
}

}  // namespace orvane
