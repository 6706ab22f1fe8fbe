// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pocketsphinx/InterviewVocabulary.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace orvane {

namespace {

// Longer words are not looked for in parts: their parts would be too many to be the word.
constexpr std::size_t kLongestWordInParts = 24;
constexpr std::size_t kMostParts = 3;
// Written in capitals and this short, a word is said letter by letter ("AWS"); any word this short
// that no dictionary has, too ("js").
constexpr std::size_t kLongestCapitalsSpelled = 5;
constexpr std::size_t kLongestWordSpelled = 3;

std::string letterName(char letter) {
    static const char* names[26] = {"EY",
                                    "B IY",
                                    "S IY",
                                    "D IY",
                                    "IY",
                                    "EH F",
                                    "JH IY",
                                    "EY CH",
                                    "AY",
                                    "JH EY",
                                    "K EY",
                                    "EH L",
                                    "EH M",
                                    "EH N",
                                    "OW",
                                    "P IY",
                                    "K Y UW",
                                    "AA R",
                                    "EH S",
                                    "T IY",
                                    "Y UW",
                                    "V IY",
                                    "D AH B AH L Y UW",
                                    "EH K S",
                                    "W AY",
                                    "Z IY"};
    return names[letter - 'a'];
}

std::string lower(std::string word) {
    for (auto& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

bool isAllCapitals(const std::string& word) {
    return std::all_of(word.begin(), word.end(),
                       [](unsigned char c) { return std::isupper(c) != 0; });
}

// A term's words as written: runs of letters, digits and non-ASCII bytes. Only words of two or
// more ASCII letters can be pronounced.
std::vector<std::string> wordsOf(const std::string& term) {
    std::vector<std::string> words;
    std::string word;
    for (char c : term) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || u >= 0x80) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

bool isPronounceable(const std::string& word) {
    return word.size() >= 2 && std::all_of(word.begin(), word.end(), [](unsigned char c) {
               return c < 0x80 && std::isalpha(c);
           });
}

// The first pronunciation of each wanted word, from a CMU-style dictionary.
std::map<std::string, std::string> readPronunciations(const std::string& path,
                                                      const std::set<std::string>& wanted) {
    std::map<std::string, std::string> found;
    if (wanted.empty()) return found;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        if (space == std::string::npos) continue;
        const auto word = line.substr(0, space);
        if (!wanted.count(word) || found.count(word)) continue;
        auto phones = line.substr(space + 1);
        phones.erase(0, phones.find_first_not_of(' '));
        if (!phones.empty()) found.emplace(word, std::move(phones));
    }
    return found;
}

// The fewest dictionary words of two letters or more that spell the word, their pronunciations
// joined.
std::optional<std::string> pronounceInParts(const std::string& word,
                                            const std::map<std::string, std::string>& dictionary) {
    const auto n = word.size();
    if (n > kLongestWordInParts) return std::nullopt;
    std::vector<std::size_t> parts(n + 1, n + 1), from(n + 1, 0);
    parts[0] = 0;
    for (std::size_t end = 2; end <= n; ++end) {
        for (std::size_t start = 0; start + 2 <= end; ++start) {
            if (parts[start] > n || !dictionary.count(word.substr(start, end - start))) continue;
            if (parts[start] + 1 < parts[end]) {
                parts[end] = parts[start] + 1;
                from[end] = start;
            }
        }
    }
    if (parts[n] > n || parts[n] > kMostParts) return std::nullopt;
    std::vector<std::string> pieces;
    for (std::size_t end = n; end > 0; end = from[end]) {
        pieces.push_back(dictionary.at(word.substr(from[end], end - from[end])));
    }
    std::string phones;
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        phones += (phones.empty() ? "" : " ") + *it;
    }
    return phones;
}

std::string spelledOut(const std::string& word) {
    std::string phones;
    for (char c : word) phones += (phones.empty() ? "" : " ") + letterName(c);
    return phones;
}

template <typename T>
void addOnce(std::vector<T>& list, T item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

}  // namespace

InterviewVocabulary InterviewVocabulary::build(
    const std::vector<std::string>& terms, const std::string& fullDictionary,
    const std::function<bool(const std::string&)>& known) {
    // One pass over the dictionary finds every word missing and every part it might be made of.
    std::set<std::string> wanted;
    for (const auto& term : terms) {
        for (const auto& written : wordsOf(term)) {
            if (!isPronounceable(written)) continue;
            const auto word = lower(written);
            if (known(word)) continue;
            wanted.insert(word);
            if (word.size() > kLongestWordInParts) continue;
            for (std::size_t start = 0; start < word.size(); ++start) {
                for (std::size_t length = 2; start + length <= word.size(); ++length) {
                    wanted.insert(word.substr(start, length));
                }
            }
        }
    }
    const auto dictionary = readPronunciations(fullDictionary, wanted);

    // The pronunciation of a word the recogniser lacks, if it can have one.
    const auto pronounce = [&](const std::string& written,
                               const std::string& word) -> std::optional<std::string> {
        if (const auto it = dictionary.find(word); it != dictionary.end()) return it->second;
        if (isAllCapitals(written) && word.size() <= kLongestCapitalsSpelled) {
            return spelledOut(word);
        }
        if (auto parts = pronounceInParts(word, dictionary)) return parts;
        if (word.size() <= kLongestWordSpelled) return spelledOut(word);
        return std::nullopt;
    };

    InterviewVocabulary vocabulary;
    for (const auto& term : terms) {
        const auto written = wordsOf(term);
        std::optional<std::string> previous;
        for (const auto& original : written) {
            std::optional<std::string> heard;
            bool isNew = false;
            if (isPronounceable(original)) {
                const auto word = lower(original);
                if (known(word)) {
                    heard = word;
                } else if (const auto phones = pronounce(original, word)) {
                    heard = word;
                    isNew = true;
                    const bool added =
                        std::any_of(vocabulary.m_newWords.begin(), vocabulary.m_newWords.end(),
                                    [&](const Pronunciation& p) { return p.word == word; });
                    if (!added) vocabulary.m_newWords.push_back({word, *phones});
                }
            }
            if (!heard) {
                previous.reset();
                continue;
            }
            addOnce(vocabulary.m_words, *heard);
            if (previous) addOnce(vocabulary.m_pairs, std::pair(*previous, *heard));
            previous = heard;
            if (isNew || written.size() == 1) addOnce(vocabulary.m_spellings, original);
        }
    }
    return vocabulary;
}

std::string InterviewVocabulary::arpa() const {
    std::ostringstream out;
    // Every word (and the end of a sentence) alike likely; within a term, its next word likelier.
    const double unigram = std::log10(1.0 / static_cast<double>(m_words.size() + 1));
    out << "\\data\\\nngram 1=" << m_words.size() + 2 << "\n";
    if (!m_pairs.empty()) out << "ngram 2=" << m_pairs.size() << "\n";
    out << "\n\\1-grams:\n-99 <s> 0\n" << unigram << " </s> 0\n";
    for (const auto& word : m_words) out << unigram << " " << word << " 0\n";
    if (!m_pairs.empty()) {
        out << "\n\\2-grams:\n";
        for (const auto& [first, second] : m_pairs)
            out << "-0.3 " << first << " " << second << "\n";
    }
    out << "\n\\end\\\n";
    return out.str();
}

}  // namespace orvane
