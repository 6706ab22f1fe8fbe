// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pocketsphinx/InterviewVocabulary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

// A pronouncing dictionary of a few words, of which the recogniser already has some.
class Vocabulary : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(dictionary) << "data D EY T AH\n"
                                     "data(2) D AE T AH\n"
                                     "dog D AO G\n"
                                     "kafka K AA F K AH\n"
                                     "staff S T AE F\n"
                                     "engineer EH N JH AH N IH R\n"
                                     "post P OW S T\n"
                                     "gres G R EH S\n"
                                     "node N OW D\n";
    }
    void TearDown() override { fs::remove(dictionary); }

    InterviewVocabulary build(const std::vector<std::string>& terms) {
        return InterviewVocabulary::build(terms, dictionary.string(), [this](const auto& word) {
            return recogniserHas.count(word) > 0;
        });
    }
    std::string phonesOf(const InterviewVocabulary& vocabulary, const std::string& word) {
        for (const auto& added : vocabulary.newWords()) {
            if (added.word == word) return added.phones;
        }
        return "(not added)";
    }

    fs::path dictionary =
        fs::temp_directory_path() / ("orvane-vocabulary-" + std::to_string(::getpid()) + ".dict");
    std::set<std::string> recogniserHas = {"staff", "engineer", "node", "data", "dog"};
};

TEST_F(Vocabulary, WordsTheRecogniserLacksArePronouncedFromTheDictionaryOrTheirParts) {
    const auto vocabulary = build({"Kafka", "Datadog", "Postgres"});
    EXPECT_EQ(vocabulary.words(), (std::vector<std::string>{"kafka", "datadog", "postgres"}));
    EXPECT_EQ(phonesOf(vocabulary, "kafka"), "K AA F K AH");
    EXPECT_EQ(phonesOf(vocabulary, "datadog"), "D EY T AH D AO G") << "the first pronunciation";
    EXPECT_EQ(phonesOf(vocabulary, "postgres"), "P OW S T G R EH S");
    EXPECT_EQ(vocabulary.spellings(), (std::vector<std::string>{"Kafka", "Datadog", "Postgres"}));
}

TEST_F(Vocabulary, CapitalsAndShortWordsAreSaidLetterByLetter) {
    const auto vocabulary = build({"GCP", "Node.js"});
    EXPECT_EQ(phonesOf(vocabulary, "gcp"), "JH IY S IY P IY");
    EXPECT_EQ(phonesOf(vocabulary, "js"), "JH EY EH S");
    EXPECT_EQ(phonesOf(vocabulary, "node"), "(not added)") << "the recogniser has it";
    EXPECT_EQ(vocabulary.words(), (std::vector<std::string>{"gcp", "node", "js"}));
    // A term of two words is not spelt as one; its new word is.
    EXPECT_EQ(vocabulary.spellings(), (std::vector<std::string>{"GCP", "js"}));
}

TEST_F(Vocabulary, WordsThatCannotBePronouncedAreLeftOut) {
    const auto vocabulary = build({"K8s", "C++", "S3", "Zyxwvuts", "Café", "", "  "});
    EXPECT_TRUE(vocabulary.empty());
    EXPECT_TRUE(vocabulary.newWords().empty());
    EXPECT_TRUE(vocabulary.spellings().empty());
}

TEST_F(Vocabulary, KnownWordsOfLongerTermsAreMadeLikelyButKeepTheirCase) {
    const auto vocabulary = build({"Staff Engineer", "Staff Engineer", "Data Dog"});
    EXPECT_TRUE(vocabulary.newWords().empty());
    EXPECT_EQ(vocabulary.words(), (std::vector<std::string>{"staff", "engineer", "data", "dog"}));
    EXPECT_TRUE(vocabulary.spellings().empty()) << "'the engineer' stays lower case";
}

TEST_F(Vocabulary, TheLanguageModelHoldsEveryWordAndEachTermsWordsInOrder) {
    const auto arpa = build({"Staff Engineer", "Kafka"}).arpa();
    EXPECT_THAT(arpa, HasSubstr("ngram 1=5\n"));
    EXPECT_THAT(arpa, HasSubstr("ngram 2=1\n"));
    EXPECT_THAT(arpa, HasSubstr("-99 <s> 0\n"));
    for (const auto* word : {" </s> ", " staff ", " engineer ", " kafka "}) {
        EXPECT_THAT(arpa, HasSubstr(word)) << word;
    }
    EXPECT_THAT(arpa, HasSubstr("\n\\2-grams:\n-0.3 staff engineer\n"));
    EXPECT_EQ(arpa.rfind("\\end\\\n"), arpa.size() - 6);

    const auto single = build({"Kafka"}).arpa();
    EXPECT_THAT(single, Not(HasSubstr("2-grams"))) << "no pairs, no section for them";
}

TEST_F(Vocabulary, AMissingDictionaryStillSpellsWhatItCan) {
    fs::remove(dictionary);
    const auto vocabulary = build({"Kafka", "AWS", "Staff"});
    EXPECT_EQ(vocabulary.words(), (std::vector<std::string>{"aws", "staff"}));
    EXPECT_EQ(phonesOf(vocabulary, "aws"), "EY D AH B AH L Y UW EH S");
}

}  // namespace
}  // namespace orvane::testing
