// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvane {

// The words of one interview (the company, the role, the technologies the user noted) made
// hearable: a pronunciation for each word the recogniser's dictionary lacks, and a small language
// model in which every one of them is likely.
//
// A missing word is pronounced as the pronouncing dictionary has it, or else as the dictionary
// words it is made of ("datadog" as "data dog"), or, when short or written in capitals, letter by
// letter ("GCP"). Words that cannot be pronounced (with digits or signs, or too long to spell)
// are left out.
class InterviewVocabulary {
public:
    struct Pronunciation {
        std::string word;    // lower case, as the recogniser writes it
        std::string phones;  // "K AA F K AH"
    };

    // `fullDictionary` is the whole pronouncing dictionary; `known` says whether the recogniser
    // already has a word.
    static InterviewVocabulary build(const std::vector<std::string>& terms,
                                     const std::string& fullDictionary,
                                     const std::function<bool(const std::string&)>& known);

    bool empty() const { return m_words.empty(); }
    // Every word of the terms the recogniser can hear, lower case.
    const std::vector<std::string>& words() const { return m_words; }
    // The pronunciations to add to the recogniser for the words it lacks.
    const std::vector<Pronunciation>& newWords() const { return m_newWords; }
    // How words are written once heard: the terms of one word as the user wrote them, and the
    // new words of longer terms.
    const std::vector<std::string>& spellings() const { return m_spellings; }
    // The language model, in ARPA form: the words alike, and each term's words in their order.
    std::string arpa() const;

private:
    std::vector<std::string> m_words;
    std::vector<std::pair<std::string, std::string>> m_pairs;
    std::vector<Pronunciation> m_newWords;
    std::vector<std::string> m_spellings;
};

}  // namespace orvane
