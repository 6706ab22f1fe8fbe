// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// A Whisper model Orvane offers to download: one of whisper.cpp's own ggml conversions, pinned by
// its SHA-256, so that what arrives is checked against a sum that did not come with it.
struct CatalogModel {
    std::string name;  // "tiny.en"
    std::string sha256;
    int megabytes = 0;         // to download and to keep
    bool englishOnly = true;   // else it hears other languages too
    double secondsOnTwoCores;  // to hear a 3 s question with two threads (bench/second_pass_bench)

    std::string fileName() const { return "ggml-" + name + ".bin"; }
    // Where it downloads from: its file under the catalog's base URL.
    std::string url(std::string_view baseUrl) const;
    // About how long it takes to hear a 3 s question with this many processor cores.
    double estimatedSeconds(unsigned cores) const;
};

class ModelCatalog {
public:
    // Where whisper.cpp's models are published.
    static constexpr const char* defaultBaseUrl =
        "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/";
    // A second pass that takes longer than this would hold up the question sent ahead.
    static constexpr double secondsToHearAtMost = 0.7;

    // The one offered to someone who has none: the largest English model this many cores hear a
    // question with in time, else the smallest, which is quick on any computer and much better
    // than the first pass alone on call audio.
    static const CatalogModel& recommendedFor(unsigned cores);

    static const std::vector<CatalogModel>& models();
    static const CatalogModel* find(std::string_view name);
};

}  // namespace orvane
