// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

typedef struct ps_decoder_s ps_decoder_t;
typedef struct cmd_ln_s cmd_ln_t;
typedef struct ngram_model_s ngram_model_t;
typedef struct logmath_s logmath_t;

namespace orvane {

// Where the English model and Orvane's interview vocabulary live.
struct SpeechModelPaths {
    std::string acousticModel;   // the en-us HMM directory
    std::string dictionary;      // the pronouncing dictionary
    std::string generalModel;    // the general English language model
    std::string domainModel;     // the interview-domain ARPA model built with Orvane
    std::string extraWords;      // pronunciations of technical words the dictionary lacks
    std::string fullDictionary;  // the whole pronouncing dictionary, for an interview's own words

    bool exist() const;
    // The installed English model with the domain files found beside this program or in the
    // build tree; nothing when any file is missing.
    static SpeechModelPaths find();
};

// One PocketSphinx decoder searching a mix of the general and the interview language models.
// Not thread-safe: one recognition uses it at a time.
//
// Technical words the general model lacks can only be recognised if a language model contains
// them, so they come in through the domain model, interpolated half and half with the general one.
// The words the dictionary lacks are added before any model is attached, since adding words to a
// search that already has the general model attached is not safe in this PocketSphinx.
//
// A decoder for one interview also hears its own words (the company, the role, the technologies):
// they join the dictionary in the same way, and a third model, a small share of the mix, makes
// them likely.
class PocketSphinxDecoder {
public:
    // Decoder settings as PocketSphinx flags, e.g. {"-topn", "12"}.
    using Tuning = std::vector<std::pair<std::string, std::string>>;
    static const Tuning& defaultTuning();

    // The general and the interview language models, read once for every decoder given them: the
    // general one alone takes some 32 MiB. Scoring with them updates a cache inside each model,
    // so the decoders sharing them must all decode on one thread.
    class LanguageModels;

    // `shared` is read by the first load and shared from then on; without it, the decoder reads
    // models of its own.
    static std::unique_ptr<PocketSphinxDecoder> load(
        const SpeechModelPaths& paths, const Tuning& tuning = defaultTuning(),
        const std::vector<std::string>& terms = {},
        std::shared_ptr<LanguageModels>* shared = nullptr);
    ~PocketSphinxDecoder();

    // How the interview's words are written once heard ("Kafka", "GCP").
    const std::vector<std::string>& termSpellings() const { return m_termSpellings; }

    void startUtterance();
    void process(const std::int16_t* samples, std::size_t count);
    // The best hypothesis of the utterance so far, words separated by single spaces.
    std::string hypothesis();
    void endUtterance();

private:
    PocketSphinxDecoder(cmd_ln_t* config, ps_decoder_t* decoder)
        : m_config(config), m_decoder(decoder) {}

    cmd_ln_t* m_config;
    ps_decoder_t* m_decoder;
    // Outlives the search that scores with them: destroyed after the decoder is freed.
    std::shared_ptr<LanguageModels> m_models;
    bool m_inUtterance = false;
    std::vector<std::string> m_termSpellings;
};

}  // namespace orvane
