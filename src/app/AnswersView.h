// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "session/AnswerSettings.h"
#include "session/ProviderCheck.h"

namespace orvane {

// The Preferences' "Answers" section: where answers come from, the model each tier asks for, and
// the API key, shown masked and handed on only when the user typed one. "Test" asks the provider
// one short question; "Use These Answers" hands the settings on.
class AnswersView : public QWidget {
    Q_OBJECT
public:
    explicit AnswersView(QWidget* parent = nullptr);

    void showSettings(const AnswerSettings& settings, bool keySaved);
    void showTestResult(const ProviderCheck::Outcome& outcome);
    // The models a server offers fill the tiers' lists; a sentence says why there are none.
    void showModels(const ProviderCheck::Models& models);
    // Where the answers are served from, or why they cannot be.
    void showNote(const QString& note);

    // The settings as the form now reads.
    AnswerSettings settings() const;
    // The key typed, when one was.
    std::optional<std::string> typedKey() const;

    std::function<void(const AnswerSettings&, const std::optional<std::string>& key)> onApply;
    std::function<void(const AnswerSettings&, const std::optional<std::string>& key)> onTest;
    std::function<void(const std::string& baseUrl)> onListModels;
    // The source the form shows now, whenever it changes.
    std::function<void(AnswerSettings::Source)> onSourceShown;

    QComboBox* sourceBox() const { return m_source; }
    QLineEdit* baseUrlField() const { return m_baseUrl; }
    QLineEdit* keyField() const { return m_key; }
    QComboBox* modelBox(const std::string& tier) const { return m_models.at(tier); }
    QPushButton* testButton() const { return m_test; }
    QPushButton* applyButton() const { return m_apply; }
    QLabel* resultLabel() const { return m_result; }
    QLabel* noteLabel() const { return m_note; }

private:
    void sourceChosen();
    void fillModelDefaults();

    QComboBox* m_source = nullptr;
    QLineEdit* m_baseUrl = nullptr;
    QLineEdit* m_key = nullptr;
    std::map<std::string, QComboBox*> m_models;
    QPushButton* m_test = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_result = nullptr;
    QLabel* m_note = nullptr;
    bool m_keySaved = false;
    AnswerSettings m_shown;
};

}  // namespace orvane
