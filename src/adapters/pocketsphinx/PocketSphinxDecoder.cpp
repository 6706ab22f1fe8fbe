// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pocketsphinx/PocketSphinxDecoder.h"

#include <stdlib.h>

#include <pocketsphinx.h>
#include <sphinxbase/ckd_alloc.h>
#include <sphinxbase/err.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "adapters/pocketsphinx/InterviewVocabulary.h"

#ifndef ORVANE_SPEECH_BUILD_DIR
#define ORVANE_SPEECH_BUILD_DIR ""
#endif
#ifndef ORVANE_POCKETSPHINX_MODEL_DIR
#define ORVANE_POCKETSPHINX_MODEL_DIR "/usr/share/pocketsphinx/model/en-us"
#endif

namespace orvane {

namespace {

// Orvane's own setting among the PocketSphinx flags: the interview model's share of the mix.
constexpr const char* kDomainWeightFlag = "-domainweight";
constexpr float kDefaultDomainWeight = 0.5f;
// And the interview's own words' share, taken from the other two alike.
constexpr const char* kTermsWeightFlag = "-termsweight";
constexpr float kDefaultTermsWeight = 0.1f;

// A place that cannot be looked at (a directory of another user's, a link loop) holds nothing
// to hear with; the throwing form of exists() would end the program over it.
bool isThere(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::filesystem::path executableDir() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self.parent_path();
}

// A language model from ARPA text: this PocketSphinx reads models from files only.
ngram_model_t* readArpa(cmd_ln_t* config, logmath_t* logmath, const std::string& arpa) {
    auto path = (std::filesystem::temp_directory_path() / "orvane-terms-XXXXXX.arpa").string();
    const int fd = ::mkstemps(path.data(), 5);
    if (fd < 0) return nullptr;
    const bool written = ::write(fd, arpa.data(), arpa.size()) == static_cast<ssize_t>(arpa.size());
    ::close(fd);
    ngram_model_t* model =
        written ? ngram_model_read(config, path.c_str(), NGRAM_ARPA, logmath) : nullptr;
    ::unlink(path.c_str());
    return model;
}

}  // namespace

class PocketSphinxDecoder::LanguageModels {
public:
    static std::shared_ptr<LanguageModels> read(const SpeechModelPaths& paths, cmd_ln_t* config,
                                                logmath_t* logmath) {
        auto models = std::shared_ptr<LanguageModels>(new LanguageModels(logmath));
        models->general = ngram_model_read(config, paths.generalModel.c_str(), NGRAM_AUTO, logmath);
        models->domain = ngram_model_read(config, paths.domainModel.c_str(), NGRAM_ARPA, logmath);
        if (!models->general || !models->domain) return nullptr;
        return models;
    }
    ~LanguageModels() {
        if (general) ngram_model_free(general);
        if (domain) ngram_model_free(domain);
        logmath_free(logmath);
    }
    LanguageModels(const LanguageModels&) = delete;
    LanguageModels& operator=(const LanguageModels&) = delete;

    ngram_model_t* general = nullptr;
    ngram_model_t* domain = nullptr;

private:
    // The models score in the log base of the decoder that read them; kept for as long as they.
    explicit LanguageModels(logmath_t* logmath) : logmath(logmath_retain(logmath)) {}
    logmath_t* logmath;
};

const PocketSphinxDecoder::Tuning& PocketSphinxDecoder::defaultTuning() {
    // At most 2,000 HMMs a frame: the search's main cost, cut by a quarter against the default.
    // No second, flat-lexicon pass at the end of an utterance: it took some 250 ms of the
    // silence window for each utterance and, on the recognition benchmark, heard worse than
    // the first pass alone (a word error rate of 70.8 % against 66.2 %).
    // No spectral noise removal: on call audio over a room's noise it took more speech than noise
    // away (20.3 % of words heard wrong with it, 18.6 % without; clean, 19.5 % and 18.6 %).
    // Each word costs more (an insertion penalty of 0.1 against the default 0.65): noise and a
    // narrow band were heard as extra short words. On the benchmark's four call channels (Opus,
    // wideband over pink noise, babble, an 8 kHz telephone) it heard better on every one
    // (15.6, 31.4, 47.0 and 38.6 % of words wrong before, 15.0, 30.1, 45.7 and 37.4 % after); a
    // larger language weight and wider beams helped one channel and hurt another, and spectral
    // noise removal only the wideband one.
    static const Tuning tuning = {{"-topn", "12"},
                                  {"-maxhmmpf", "2000"},
                                  {"-fwdflat", "no"},
                                  {"-remove_noise", "no"},
                                  {"-wip", "0.1"}};
    return tuning;
}

bool SpeechModelPaths::exist() const {
    for (const auto* path :
         {&acousticModel, &dictionary, &generalModel, &domainModel, &extraWords}) {
        if (path->empty() || !isThere(*path)) return false;
    }
    return true;
}

SpeechModelPaths SpeechModelPaths::find() {
    const std::filesystem::path model = ORVANE_POCKETSPHINX_MODEL_DIR;
    SpeechModelPaths paths{(model / "en-us").string(),
                           (model / "cmudict-en-us.dict").string(),
                           (model / "en-us.lm.bin").string(),
                           {},
                           {},
                           (model / "cmudict-en-us.dict").string()};
    // Installed beside the program first, then the build tree the program came from.
    for (const auto& dir : {executableDir() / "../share/orvane/speech",
                            std::filesystem::path(ORVANE_SPEECH_BUILD_DIR)}) {
        if (!dir.empty() && isThere(dir / "domain.arpa")) {
            paths.domainModel = (dir / "domain.arpa").string();
            paths.extraWords = (dir / "words.dict").string();
            // Cut down to the words to be heard; the full one otherwise.
            if (isThere(dir / "dictionary.dict")) {
                paths.dictionary = (dir / "dictionary.dict").string();
            }
            break;
        }
    }
    return paths;
}

std::unique_ptr<PocketSphinxDecoder> PocketSphinxDecoder::load(
    const SpeechModelPaths& paths, const Tuning& tuning, const std::vector<std::string>& terms,
    std::shared_ptr<LanguageModels>* shared) {
    if (!paths.exist()) return nullptr;
    err_set_logfp(nullptr);
    std::vector<std::string> arguments = {"-hmm",           paths.acousticModel, "-dict",
                                          paths.dictionary, "-samprate",         "16000",
                                          "-logfn",         "/dev/null"};
    float domainWeight = kDefaultDomainWeight;
    float termsWeight = kDefaultTermsWeight;
    for (const auto& [name, value] : tuning) {
        if (name == kDomainWeightFlag || name == kTermsWeightFlag) {
            (name == kDomainWeightFlag ? domainWeight : termsWeight) = std::stof(value);
            continue;
        }
        arguments.push_back(name);
        arguments.push_back(value);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("orvane"));
    for (auto& argument : arguments) argv.push_back(argument.data());
    cmd_ln_t* config =
        cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(argv.size()), argv.data(), TRUE);
    if (!config) return nullptr;
    ps_decoder_t* decoder = ps_init(config);
    if (!decoder) {
        cmd_ln_free_r(config);
        return nullptr;
    }
    const auto known = [decoder](const std::string& word) {
        char* phones = ps_lookup_word(decoder, word.c_str());
        const bool found = phones != nullptr;
        ckd_free(phones);
        return found;
    };
    std::ifstream extra(paths.extraWords);
    for (std::string line; std::getline(extra, line);) {
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        std::string phones;
        std::getline(fields, phones);
        phones.erase(0, phones.find_first_not_of(' '));
        if (!word.empty() && !phones.empty())
            ps_add_word(decoder, word.c_str(), phones.c_str(), FALSE);
    }
    const auto vocabulary = InterviewVocabulary::build(terms, paths.fullDictionary, known);
    for (const auto& [word, phones] : vocabulary.newWords()) {
        ps_add_word(decoder, word.c_str(), phones.c_str(), FALSE);
    }

    logmath_t* logmath = ps_get_logmath(decoder);
    std::shared_ptr<LanguageModels> own;
    auto& models = shared ? *shared : own;
    if (!models) models = LanguageModels::read(paths, config, logmath);
    if (!models) {
        ps_free(decoder);
        cmd_ln_free_r(config);
        return nullptr;
    }
    std::vector<ngram_model_t*> mix = {models->general, models->domain};
    std::vector<const char*> names = {"general", "interview"};
    std::vector<float32> weights = {1.0f - domainWeight, domainWeight};
    ngram_model_t* termsModel = nullptr;
    if (!vocabulary.empty()) {
        termsModel = readArpa(config, logmath, vocabulary.arpa());
        mix.push_back(termsModel);
        names.push_back("terms");
        for (auto& weight : weights) weight *= 1.0f - termsWeight;
        weights.push_back(termsWeight);
    }
    ngram_model_t* mixed =
        std::find(mix.begin(), mix.end(), nullptr) == mix.end()
            ? ngram_model_set_init(config, mix.data(), const_cast<char**>(names.data()),
                                   weights.data(), static_cast<int32>(mix.size()))
            : nullptr;
    // The set keeps its own reference to the terms model, and the search its own to the set;
    // ours go, or they would outlive the decoder.
    if (termsModel) ngram_model_free(termsModel);
    if (!mixed || ps_set_lm(decoder, "mixed", mixed) != 0 || ps_set_search(decoder, "mixed") != 0) {
        if (mixed) ngram_model_free(mixed);
        ps_free(decoder);
        cmd_ln_free_r(config);
        return nullptr;
    }
    ngram_model_free(mixed);
    std::unique_ptr<PocketSphinxDecoder> loaded(new PocketSphinxDecoder(config, decoder));
    loaded->m_termSpellings = vocabulary.spellings();
    loaded->m_models = models;
    return loaded;
}

PocketSphinxDecoder::~PocketSphinxDecoder() {
    if (m_inUtterance) ps_end_utt(m_decoder);
    ps_free(m_decoder);
    cmd_ln_free_r(m_config);
}

void PocketSphinxDecoder::startUtterance() {
    if (m_inUtterance) ps_end_utt(m_decoder);
    ps_start_utt(m_decoder);
    m_inUtterance = true;
}

void PocketSphinxDecoder::process(const std::int16_t* samples, std::size_t count) {
    if (m_inUtterance && count > 0) ps_process_raw(m_decoder, samples, count, FALSE, FALSE);
}

std::string PocketSphinxDecoder::hypothesis() {
    std::int32_t score = 0;
    const char* text = ps_get_hyp(m_decoder, &score);
    return text ? text : "";
}

void PocketSphinxDecoder::endUtterance() {
    if (!m_inUtterance) return;
    ps_end_utt(m_decoder);
    m_inUtterance = false;
}

}  // namespace orvane
