// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/ContextSheet.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

#include "overlay/FramelessWindowHandle.h"
#include "overlay/UIHelpers.h"
#include "text/Text.h"

namespace orvane {

namespace {

const QColor kSheetBg = QColor::fromRgbF(0.07f, 0.065f, 0.06f, 0.96f);

QString inputStyle(const char* widget) {
    return QStringLiteral(
               "%1 { background: rgba(255,255,255,13); color: rgba(255,255,255,217); border: 0.5px "
               "solid rgba(255,255,255,20); border-radius: 8px; padding: 0 8px; }")
        .arg(widget);
}

QLineEdit* inputField(const QString& placeholder) {
    auto* field = new QLineEdit;
    field->setPlaceholderText(placeholder);
    field->setFont(UI::ubuntu(13));
    field->setFixedHeight(34);
    field->setStyleSheet(inputStyle("QLineEdit"));
    return field;
}

QLabel* fieldLabel(const QString& text) {
    auto* label = UI::label(text, 11, QFont::DemiBold, UI::white(0.5));
    label->setWordWrap(false);
    return label;
}

std::string trimmed(const QString& text) {
    return std::string(text::trimWhitespaceAndNewlines(text.toStdString()));
}

}  // namespace

std::string ContextSheet::compose(const std::string& company, const std::string& role,
                                  const std::string& notes, const std::string& cv,
                                  const std::string& jobDescription) {
    std::vector<std::string> parts;
    const auto c = text::trimWhitespaceAndNewlines(company);
    const auto r = text::trimWhitespaceAndNewlines(role);
    const auto n = text::trimWhitespaceAndNewlines(notes);
    if (!c.empty()) parts.push_back("Company: " + std::string(c));
    if (!r.empty()) parts.push_back("Role: " + std::string(r));
    if (!n.empty()) parts.push_back("Additional context:\n" + std::string(n));
    const auto v = text::trimWhitespaceAndNewlines(cv);
    const auto j = text::trimWhitespaceAndNewlines(jobDescription);
    if (!v.empty()) parts.push_back("CV:\n" + std::string(v));
    if (!j.empty()) parts.push_back("Job description:\n" + std::string(j));
    std::string text;
    for (const auto& part : parts) text += (text.empty() ? "" : "\n") + part;
    return text;
}

ContextSheet::ContextSheet(Mode mode, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_mode(mode) {
    setAttribute(Qt::WA_TranslucentBackground);
    resize(480, 460);
    // Room for the CV and the job description, within the screen.
    if (const auto* screen = QGuiApplication::primaryScreen()) {
        const auto available = screen->availableGeometry();
        resize(520, std::min(740, available.height() - 24));
        move(available.center() - QPoint(width() / 2, height() / 2));
    }
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* container = new RoundedPanel(kSheetBg);
    outer->addWidget(container);
    new FramelessWindowHandle(this);
    container->setMouseTracking(true);

    auto* column = new QVBoxLayout(container);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(0);
    column->addWidget(UI::label("Interview Prep", 20, QFont::Bold, UI::white(0.92)));
    column->addSpacing(8);
    column->addWidget(UI::label("Give the AI context about your interview so answers are tailored.",
                                12, QFont::Normal, UI::white(0.4)));
    column->addSpacing(20);
    column->addWidget(fieldLabel("Company"));
    column->addSpacing(6);
    m_company = inputField("e.g. Stripe");
    column->addWidget(m_company);
    column->addSpacing(14);
    column->addWidget(fieldLabel("Role"));
    column->addSpacing(6);
    m_role = inputField("e.g. Senior Backend Engineer");
    column->addWidget(m_role);
    column->addSpacing(14);
    column->addWidget(fieldLabel("Notes"));
    column->addSpacing(6);
    // Plain text only: no rich text, and nothing turns straight quotes or dashes into others.
    m_notes = new QPlainTextEdit;
    m_notes->setFont(UI::ubuntu(13));
    m_notes->setStyleSheet(inputStyle("QPlainTextEdit"));
    m_notes->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    column->addWidget(m_notes, 1);
    column->addSpacing(14);
    m_cv = new DocumentBox("CV", "Paste your CV, or choose a file", maxDocumentCharacters);
    column->addWidget(m_cv, 2);
    column->addSpacing(10);
    m_job = new DocumentBox("Job description", "Paste the job description, or choose a file",
                            maxDocumentCharacters);
    column->addWidget(m_job, 2);
    column->addSpacing(20);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch();
    const bool during = mode == Mode::duringSession;
    m_skip = UI::ghostButton(during ? "Cancel" : "Skip");
    m_skip->setFixedSize(during ? 96 : 80, 40);
    m_start = UI::primaryButton(during ? "Save" : "Start Session");
    m_start->setFixedSize(140, 40);
    buttons->addWidget(m_skip);
    buttons->addWidget(m_start);
    column->addLayout(buttons);

    m_start->onClick = [sheet = QPointer(this)] {
        if (sheet) sheet->handleSave();
    };
    m_skip->onClick = [sheet = QPointer(this)] {
        if (sheet) sheet->handleSkip();
    };
}

void ContextSheet::handleSave() {
    const auto text = compose(trimmed(m_company->text()), trimmed(m_role->text()),
                              m_notes->toPlainText().toStdString(), m_cv->text().toStdString(),
                              m_job->text().toStdString());
    if (onSave) onSave(text);
    hide();
}

void ContextSheet::readDocumentsWith(const DocumentBox::Reading& reading) {
    m_cv->readWith(reading);
    m_job->readWith(reading);
}

void ContextSheet::handleSkip() {
    if (m_mode == Mode::beforeSession && onSave) onSave("");
    hide();
}

}  // namespace orvane
