// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/TranscriptionServerView.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "overlay/UIHelpers.h"

namespace orvane {

namespace {

using Service = TranscriptionServer::Service;

}  // namespace

TranscriptionServerView::TranscriptionServerView(QWidget* parent) : QWidget(parent) {
    const auto font = UI::ubuntu(12, QFont::Normal);
    auto* title = UI::label("Hear the question with", 12, QFont::Normal, UI::secondaryLabelColor());
    m_service = new QComboBox;
    m_service->setAccessibleName("Hear the question with");
    for (const auto service : TranscriptionServer::allServices) {
        const auto name = TranscriptionServer::title(service);
        m_service->addItem(QString::fromUtf8(name.data(), static_cast<int>(name.size())),
                           static_cast<int>(service));
    }
    m_baseUrl = new QLineEdit;
    m_baseUrl->setPlaceholderText(
        QString::fromStdString(TranscriptionServer{Service::compatible}.apiBase()));
    m_baseUrl->setAccessibleName("Transcription server address");
    m_model = new QLineEdit;
    m_model->setAccessibleName("Transcription model");
    m_key = new QLineEdit;
    m_key->setEchoMode(QLineEdit::Password);
    m_key->setAccessibleName("Transcription API key");
    m_test = new QPushButton("Test");
    m_apply = new QPushButton("Use This");
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_service, m_baseUrl, m_model, m_key, m_test, m_apply}) {
        widget->setFont(font);
    }
    m_result = UI::label("", 12, QFont::Normal, UI::secondaryLabelColor());
    m_note = UI::label(
        "The finished question is sent to the server; the live line is still heard here. A reply "
        "later than the pause leaves this computer's words.",
        11, QFont::Normal, UI::tertiaryLabelColor());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_test);
    buttons->addWidget(m_apply);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    stack->addWidget(title);
    for (QWidget* widget : std::initializer_list<QWidget*>{m_service, m_baseUrl, m_model, m_key}) {
        stack->addWidget(widget);
    }
    stack->addLayout(buttons);
    stack->addWidget(m_result);
    stack->addWidget(m_note);

    connect(m_service, &QComboBox::activated, this, [this] { serviceChosen(); });
    connect(m_test, &QPushButton::clicked, this, [this] {
        m_result->setText("Sending a second of quiet...");
        if (onTest) onTest(settings(), typedKey());
    });
    connect(m_apply, &QPushButton::clicked, this, [this] {
        m_result->clear();
        if (onApply) onApply(settings(), typedKey());
        m_key->clear();
    });
    serviceChosen();
}

void TranscriptionServerView::showSettings(const TranscriptionServer& settings, bool keySaved) {
    m_shown = settings;
    m_keySaved = keySaved;
    m_service->setCurrentIndex(m_service->findData(static_cast<int>(settings.service)));
    m_baseUrl->setText(QString::fromStdString(settings.baseUrl));
    m_model->setText(QString::fromStdString(settings.model));
    m_key->clear();
    serviceChosen();
}

void TranscriptionServerView::serviceChosen() {
    const auto service = static_cast<Service>(m_service->currentData().toInt());
    const bool none = service == Service::none;
    m_baseUrl->setVisible(service == Service::compatible);
    m_model->setVisible(!none);
    m_key->setVisible(!none);
    m_test->setEnabled(!none);
    m_note->setVisible(!none);
    m_model->setPlaceholderText(QString::fromStdString(TranscriptionServer::defaultModel(service)));
    m_key->setPlaceholderText(m_keySaved && service == m_shown.service
                                  ? "API key (saved; type a new one to replace it)"
                              : service == Service::compatible ? "API key, if the server wants one"
                                                               : "API key");
    m_result->clear();
}

TranscriptionServer TranscriptionServerView::settings() const {
    TranscriptionServer settings;
    settings.service = static_cast<Service>(m_service->currentData().toInt());
    if (settings.service == Service::none) return settings;
    if (settings.service == Service::compatible) {
        settings.baseUrl = m_baseUrl->text().trimmed().toStdString();
    }
    settings.model = m_model->text().trimmed().toStdString();
    return settings;
}

std::optional<std::string> TranscriptionServerView::typedKey() const {
    const auto key = m_key->text().trimmed();
    if (key.isEmpty()) return std::nullopt;
    return key.toStdString();
}

void TranscriptionServerView::showResult(const std::string& text) {
    m_result->setText(UI::breakable(QString::fromStdString(text)));
}

}  // namespace orvane
