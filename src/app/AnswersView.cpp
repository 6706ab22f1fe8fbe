// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/AnswersView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "overlay/UIHelpers.h"

namespace orvane {

namespace {

using Source = AnswerSettings::Source;

QString text(std::string_view view) {
    return QString::fromUtf8(view.data(), static_cast<int>(view.size()));
}

QString tierTitle(const std::string& tier) {
    auto title = QString::fromStdString(tier);
    title[0] = title[0].toUpper();
    return title;
}

}  // namespace

AnswersView::AnswersView(QWidget* parent) : QWidget(parent) {
    const auto font = UI::ubuntu(12, QFont::Normal);
    auto* title = UI::label("Answers", 14, QFont::Medium, UI::labelColor());
    m_source = new QComboBox;
    m_source->setFont(font);
    m_source->setAccessibleName("Where answers come from");
    for (const auto source : AnswerSettings::allSources) {
        m_source->addItem(text(AnswerSettings::title(source)), static_cast<int>(source));
    }
    m_baseUrl = new QLineEdit;
    m_baseUrl->setFont(font);
    m_baseUrl->setPlaceholderText(AnswerSettings::ollamaBaseUrl);
    m_key = new QLineEdit;
    m_key->setFont(font);
    m_key->setEchoMode(QLineEdit::Password);
    auto* models = new QGridLayout;
    models->setHorizontalSpacing(8);
    models->setVerticalSpacing(4);
    models->setColumnStretch(1, 1);
    int row = 0;
    for (const auto& tier : AnswerSettings::tiers()) {
        auto* box = new QComboBox;
        box->setEditable(true);
        box->setFont(font);
        box->setAccessibleName(tierTitle(tier) + " model");
        m_models[tier] = box;
        auto* label = UI::label(tierTitle(tier), 12, QFont::Normal, UI::secondaryLabelColor());
        models->addWidget(label, row, 0);
        models->addWidget(box, row, 1);
        ++row;
    }
    auto* tiersNote = UI::label(
        "The panel's settings menu (Model) chooses which tier answers; each asks for the model "
        "named here.",
        11, QFont::Normal, UI::tertiaryLabelColor());
    models->addWidget(tiersNote, row, 0, 1, 2);
    m_test = new QPushButton("Test");
    m_apply = new QPushButton("Use These Answers");
    for (auto* button : {m_test, m_apply}) button->setFont(font);
    m_result = UI::label("", 12, QFont::Normal, UI::secondaryLabelColor());
    m_note = UI::label("", 11, QFont::Normal, UI::tertiaryLabelColor());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_test);
    buttons->addWidget(m_apply);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    stack->addWidget(title);
    stack->addWidget(m_source);
    stack->addWidget(m_baseUrl);
    stack->addWidget(m_key);
    stack->addLayout(models);
    stack->addLayout(buttons);
    stack->addWidget(m_result);
    stack->addWidget(m_note);

    connect(m_source, &QComboBox::activated, this, [this] { sourceChosen(); });
    connect(m_baseUrl, &QLineEdit::editingFinished, this, [this] {
        if (settings().source == Source::openaiCompatible && onListModels) {
            onListModels(settings().apiBase());
        }
    });
    connect(m_test, &QPushButton::clicked, this, [this] {
        m_result->setText("Asking the model...");
        if (onTest) onTest(settings(), typedKey());
    });
    connect(m_apply, &QPushButton::clicked, this, [this] {
        if (onApply) onApply(settings(), typedKey());
        m_key->clear();
    });
}

void AnswersView::showSettings(const AnswerSettings& settings, bool keySaved) {
    m_shown = settings;
    m_keySaved = keySaved;
    m_source->setCurrentIndex(m_source->findData(static_cast<int>(settings.source)));
    m_baseUrl->setText(QString::fromStdString(settings.baseUrl));
    for (const auto& [tier, box] : m_models) {
        box->clear();
        box->setEditText(QString::fromStdString(settings.modelFor(tier)));
    }
    m_key->clear();
    sourceChosen();
}

void AnswersView::sourceChosen() {
    const auto source = static_cast<Source>(m_source->currentData().toInt());
    const bool offline = source == Source::offline;
    m_baseUrl->setVisible(source == Source::openaiCompatible);
    m_key->setVisible(!offline);
    for (const auto& [tier, box] : m_models) box->setEnabled(!offline);
    m_key->setPlaceholderText(
        m_keySaved && source == m_shown.source ? "API key (saved; type a new one to replace it)"
        : source == Source::openaiCompatible   ? "API key, if the server wants one"
                                               : "API key");
    if (source != m_shown.source) fillModelDefaults();
    m_result->clear();
    if (onSourceShown) onSourceShown(source);
    if (source == Source::openaiCompatible && onListModels) onListModels(settings().apiBase());
}

void AnswersView::fillModelDefaults() {
    const auto source = static_cast<Source>(m_source->currentData().toInt());
    for (const auto& [tier, box] : m_models) {
        box->clear();
        box->setEditText(QString::fromStdString(AnswerSettings::defaultModel(source, tier)));
    }
}

AnswerSettings AnswersView::settings() const {
    AnswerSettings settings;
    settings.source = static_cast<Source>(m_source->currentData().toInt());
    if (settings.source == Source::openaiCompatible) {
        settings.baseUrl = m_baseUrl->text().trimmed().toStdString();
    }
    if (settings.source != Source::offline) {
        for (const auto& [tier, box] : m_models) {
            const auto model = box->currentText().trimmed().toStdString();
            if (!model.empty() && model != AnswerSettings::defaultModel(settings.source, tier)) {
                settings.models[tier] = model;
            }
        }
    }
    return settings;
}

std::optional<std::string> AnswersView::typedKey() const {
    const auto key = m_key->text().trimmed();
    if (key.isEmpty()) return std::nullopt;
    return key.toStdString();
}

void AnswersView::showTestResult(const ProviderCheck::Outcome& outcome) {
    m_result->setText(UI::breakable((outcome.ok ? QStringLiteral("It answers: ") : QString()) +
                                    QString::fromStdString(outcome.text)));
}

void AnswersView::showModels(const ProviderCheck::Models& models) {
    if (const auto* problem = std::get_if<std::string>(&models)) {
        m_note->setText(UI::breakable(QString::fromStdString(*problem)));
        return;
    }
    const auto& names = std::get<std::vector<std::string>>(models);
    m_note->setText(names.size() == 1
                        ? QStringLiteral("The server offers 1 model.")
                        : QStringLiteral("The server offers %1 models.").arg(names.size()));
    for (const auto& [tier, box] : m_models) {
        const auto current = box->currentText();
        box->clear();
        for (const auto& name : names) box->addItem(QString::fromStdString(name));
        // A default the server does not have gives way to the first model it does.
        const bool known = box->findText(current) >= 0;
        box->setEditText(known || names.empty() ? current : QString::fromStdString(names.front()));
    }
}

void AnswersView::showNote(const QString& note) {
    m_note->setText(note);
}

}  // namespace orvane
