// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "capture/ServerTranscriber.h"

namespace orvane {

// Preferences' choice of a server to hear the finished question with: the service, its address
// for a server of the user's own, the model, and the key, shown masked and handed on only when the
// user typed one. "Test" sends the server a second of quiet; "Use" hands the settings on.
class TranscriptionServerView : public QWidget {
    Q_OBJECT
public:
    explicit TranscriptionServerView(QWidget* parent = nullptr);

    void showSettings(const TranscriptionServer& settings, bool keySaved);
    // A test's outcome, or why the settings used cannot hear.
    void showResult(const std::string& text);

    TranscriptionServer settings() const;
    std::optional<std::string> typedKey() const;

    std::function<void(const TranscriptionServer&, const std::optional<std::string>& key)> onApply;
    std::function<void(const TranscriptionServer&, const std::optional<std::string>& key)> onTest;

    QComboBox* serviceBox() const { return m_service; }
    QLineEdit* baseUrlField() const { return m_baseUrl; }
    QLineEdit* modelField() const { return m_model; }
    QLineEdit* keyField() const { return m_key; }
    QPushButton* testButton() const { return m_test; }
    QPushButton* applyButton() const { return m_apply; }
    QLabel* resultLabel() const { return m_result; }

private:
    void serviceChosen();

    QComboBox* m_service = nullptr;
    QLineEdit* m_baseUrl = nullptr;
    QLineEdit* m_model = nullptr;
    QLineEdit* m_key = nullptr;
    QPushButton* m_test = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_result = nullptr;
    QLabel* m_note = nullptr;
    bool m_keySaved = false;
    TranscriptionServer m_shown;
};

}  // namespace orvane
