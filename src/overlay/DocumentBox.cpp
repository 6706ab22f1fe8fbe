// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/DocumentBox.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLocale>
#include <QPointer>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "overlay/UIHelpers.h"

namespace orvane {

namespace {

const QColor kProblem = QColor::fromRgbF(1.0f, 0.42f, 0.38f, 0.9f);

QString counted(int count) {
    return QLocale(QLocale::English).toString(count);
}

}  // namespace

DocumentBox::DocumentBox(const QString& title, const QString& placeholder, int maxCharacters,
                         QWidget* parent)
    : QWidget(parent), m_maxCharacters(maxCharacters) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* heading = new QHBoxLayout;
    auto* label = UI::label(title, 11, QFont::DemiBold, UI::white(0.5));
    label->setWordWrap(false);
    heading->addWidget(label);
    heading->addStretch();
    m_fileButton = UI::ghostButton(QString::fromUtf8("Choose file\u2026"));
    m_fileButton->setFixedSize(104, 24);
    m_fileButton->setCornerRadius(8);
    // Smaller than a dialog's buttons: it sits on a field's label line.
    if (auto* title = m_fileButton->findChild<QLabel*>()) title->setFont(UI::ubuntu(11));
    m_fileButton->setToolTip("PDF, DOCX, Markdown or text");
    m_fileButton->onClick = [box = QPointer(this)] {
        if (box) box->chooseAndLoad();
    };
    m_fileButton->hide();
    heading->addWidget(m_fileButton);
    column->addLayout(heading);

    // Plain text, as the notes: what is pasted is what the model reads.
    m_editor = new QPlainTextEdit;
    m_editor->setFont(UI::ubuntu(12));
    m_editor->setPlaceholderText(placeholder);
    m_editor->setMinimumHeight(56);
    m_editor->setStyleSheet(
        "QPlainTextEdit { background: rgba(255,255,255,13); color: rgba(255,255,255,217); "
        "border: 0.5px solid rgba(255,255,255,20); border-radius: 8px; padding: 0 8px; }");
    column->addWidget(m_editor, 1);
    m_status = UI::label("", 10, QFont::Normal, UI::white(0.4));
    column->addWidget(m_status);
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] { keepWithinLimit({}); });
    keepWithinLimit({});
}

void DocumentBox::readWith(Reading reading) {
    m_read = std::move(reading);
    m_fileButton->setVisible(static_cast<bool>(m_read));
}

void DocumentBox::chooseAndLoad() {
    const auto chosen = chooseFile ? chooseFile()
                                   : QFileDialog::getOpenFileName(
                                         this, "Choose a file", {},
                                         "Documents (*.pdf *.docx *.md *.markdown *.txt);;All "
                                         "files (*)");
    if (!chosen.isEmpty()) load(QFile::encodeName(chosen).toStdString());
}

void DocumentBox::load(const std::filesystem::path& file) {
    if (!m_read) return;
    const auto name = QString::fromStdString(file.filename().string());
    showStatus(QString::fromUtf8("Reading %1\u2026").arg(name), UI::white(0.5));
    const int reading = ++m_reading;
    const auto typed = text();
    m_read(
        file, [box = QPointer(this), reading, typed, name](const DocumentReader::Result& result) {
            if (!box || box->m_reading != reading) return;
            if (!result.problem.empty()) {
                box->showStatus(UI::breakable(QString::fromStdString(result.problem)), kProblem);
                return;
            }
            if (box->text() != typed) {
                box->showStatus(
                    QStringLiteral("%1 was not put in: the text here changed meanwhile.").arg(name),
                    kProblem);
                return;
            }
            const QSignalBlocker quiet(box->m_editor);
            box->m_editor->setPlainText(QString::fromStdString(result.text));
            box->keepWithinLimit(name);
        });
}

void DocumentBox::keepWithinLimit(const QString& source) {
    auto content = m_editor->toPlainText();
    const bool cut = content.size() > m_maxCharacters;
    if (cut) {
        const QSignalBlocker quiet(m_editor);
        m_editor->setPlainText(content.left(m_maxCharacters));
        m_editor->moveCursor(QTextCursor::End);
        content = m_editor->toPlainText();
    }
    const auto from = source.isEmpty() ? QString() : QStringLiteral("From %1: ").arg(source);
    if (cut) {
        showStatus(QStringLiteral("%1%2 to the first %3 characters, as shown.")
                       .arg(from, from.isEmpty() ? "Cut" : "cut", counted(m_maxCharacters)),
                   UI::white(0.5));
    } else if (content.isEmpty()) {
        showStatus(QStringLiteral("Up to %1 characters, sent with every question.")
                       .arg(counted(m_maxCharacters)),
                   UI::white(0.4));
    } else {
        showStatus(
            QStringLiteral("%1%2 of %3 characters.")
                .arg(from, counted(static_cast<int>(content.size())), counted(m_maxCharacters)),
            UI::white(0.4));
    }
}

void DocumentBox::showStatus(const QString& text, const QColor& color) {
    m_status->setText(text);
    auto palette = m_status->palette();
    palette.setColor(QPalette::WindowText, color);
    m_status->setPalette(palette);
}

}  // namespace orvane
