// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include <functional>
#include <string>

#include "overlay/DocumentBox.h"

namespace orvane {

class ClickableView;

// "Interview Prep": the company, the role and free notes, composed into the interview context
// the answers are tailored to. Used once: the opener makes a new sheet each time.
class ContextSheet : public QWidget {
    Q_OBJECT
public:
    // Before a session: "Skip" and "Start Session". While one runs there is none to start, and
    // the context in use is not dropped by a mere close: "Cancel" and "Save".
    enum class Mode { beforeSession, duringSession };
    explicit ContextSheet(Mode mode = Mode::beforeSession, QWidget* parent = nullptr);

    // Receives the composed context: on "Start Session" or "Save" as typed, on "Skip" empty;
    // "Cancel" hands on nothing.
    std::function<void(const std::string&)> onSave;

    // What of a CV or a job description goes with every question.
    static constexpr int maxDocumentCharacters = 6000;

    // "Company: ...", "Role: ...", "Additional context:\n...", "CV:\n..." and "Job
    // description:\n..." for the inputs that are not blank once trimmed, one per line.
    static std::string compose(const std::string& company, const std::string& role,
                               const std::string& notes, const std::string& cv = {},
                               const std::string& jobDescription = {});
    // How the CV and the job description are read from files; without it they are pasted.
    void readDocumentsWith(const DocumentBox::Reading& reading);

    void handleSave();
    void handleSkip();

    QLineEdit* companyField() const { return m_company; }
    QLineEdit* roleField() const { return m_role; }
    QPlainTextEdit* notesField() const { return m_notes; }
    DocumentBox* cvBox() const { return m_cv; }
    DocumentBox* jobBox() const { return m_job; }
    ClickableView* skipButton() const { return m_skip; }
    ClickableView* startButton() const { return m_start; }

private:
    QLineEdit* m_company;
    QLineEdit* m_role;
    QPlainTextEdit* m_notes;
    DocumentBox* m_cv;
    DocumentBox* m_job;
    Mode m_mode;
    ClickableView* m_skip;
    ClickableView* m_start;
};

}  // namespace orvane
