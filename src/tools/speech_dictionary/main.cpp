// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-speech-dictionary: writes the pronouncing dictionary cut down to the words the recogniser
// is to hear. It searches only words that are both in its dictionary and in a language model, so
// the dictionary decides the vocabulary: entries no model knows only cost memory, and each word
// searched costs memory and processor time on every frame of speech.
//   orvane-speech-dictionary DICTIONARY OUTPUT MODEL[:WORDS]...
// Every word of a model is kept, or with :WORDS that many of its most likely ones.
//   orvane-speech-dictionary --most-likely WORDS MODEL OUTPUT
// writes a model's WORDS most likely words as C++ string literals, one per line, for code that
// must tell ordinary English from names.

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// "read(2)" is the second pronunciation of "read".
std::string wordOf(const std::string& line) {
    auto word = line.substr(0, line.find(' '));
    if (const auto open = word.find('('); open != std::string::npos && word.back() == ')') {
        word.erase(open);
    }
    return word;
}

// A language model's words, most likely first (sentence markers and <unk> left out), or nothing
// when it cannot be read.
std::optional<std::vector<std::string>> wordsByLikelihood(const std::string& path) {
    cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, nullptr);
    logmath_t* logmath = logmath_init(1.0001, 0, 0);
    ngram_model_t* model = ngram_model_read(config, path.c_str(), NGRAM_AUTO, logmath);
    std::optional<std::vector<std::string>> ranked;
    if (model) {
        const auto words = static_cast<int32>(ngram_model_get_counts(model)[0]);
        std::vector<std::pair<int32, int32>> byLikelihood;  // (log probability, word)
        for (int32 word = 0; word < words; ++word) {
            if (ngram_word(model, word)[0] == '<') continue;
            int32 used = 0;
            byLikelihood.emplace_back(ngram_ng_prob(model, word, nullptr, 0, &used), word);
        }
        std::sort(byLikelihood.begin(), byLikelihood.end(), std::greater<>());
        ranked.emplace();
        for (const auto& [probability, word] : byLikelihood) {
            ranked->emplace_back(ngram_word(model, word));
        }
        ngram_model_free(model);
    } else {
        std::cerr << "orvane-speech-dictionary: cannot read the language model " << path << "\n";
    }
    logmath_free(logmath);
    cmd_ln_free_r(config);
    return ranked;
}

int writeMostLikely(std::size_t wanted, const std::string& modelPath, const std::string& output) {
    const auto ranked = wordsByLikelihood(modelPath);
    if (!ranked) return 1;
    const std::string temporary = output + ".part";
    std::ofstream out(temporary);
    for (std::size_t i = 0; i < ranked->size() && i < wanted; ++i) {
        out << '"';
        for (char c : (*ranked)[i]) {
            if (c == '"' || c == '\\') out << '\\';
            out << c;
        }
        out << "\",\n";
    }
    out.close();
    if (!out || std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::cerr << "orvane-speech-dictionary: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    err_set_logfp(nullptr);
    if (argc == 5 && std::string(argv[1]) == "--most-likely") {
        return writeMostLikely(std::stoul(argv[2]), argv[3], argv[4]);
    }
    if (argc < 4) {
        std::cerr << "usage: orvane-speech-dictionary DICTIONARY OUTPUT MODEL[:WORDS]...\n"
                     "       orvane-speech-dictionary --most-likely WORDS MODEL OUTPUT\n";
        return 2;
    }
    std::unordered_set<std::string> vocabulary;
    for (int i = 3; i < argc; ++i) {
        std::string path = argv[i];
        std::size_t wanted = SIZE_MAX;
        if (const auto colon = path.rfind(':'); colon != std::string::npos) {
            wanted = std::stoul(path.substr(colon + 1));
            path.erase(colon);
        }
        const auto ranked = wordsByLikelihood(path);
        if (!ranked) return 1;
        for (std::size_t w = 0; w < ranked->size() && w < wanted; ++w) {
            vocabulary.insert((*ranked)[w]);
        }
    }

    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "orvane-speech-dictionary: cannot read " << argv[1] << "\n";
        return 1;
    }
    const std::string temporary = std::string(argv[2]) + ".part";
    std::ofstream out(temporary);
    std::size_t kept = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || !vocabulary.contains(wordOf(line))) continue;
        out << line << '\n';
        ++kept;
    }
    out.close();
    if (!out || kept == 0 || std::rename(temporary.c_str(), argv[2]) != 0) {
        std::cerr << "orvane-speech-dictionary: cannot write " << argv[2] << "\n";
        return 1;
    }
    std::cout << "kept " << kept << " pronunciations of " << vocabulary.size() << " words\n";
    return 0;
}
