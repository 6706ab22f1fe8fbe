// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>

#include <filesystem>
#include <functional>

#include "platform/DocumentReader.h"

namespace orvane {

class ClickableView;

// A document the answers should know (a CV, a job description), pasted or read from a file, and
// shown as the model will get it: at most maxCharacters, the rest cut, the count said beneath.
class DocumentBox : public QWidget {
    Q_OBJECT
public:
    using Reading = std::function<void(const std::filesystem::path&,
                                       std::function<void(DocumentReader::Result)>)>;

    DocumentBox(const QString& title, const QString& placeholder, int maxCharacters,
                QWidget* parent = nullptr);

    // Reads a file off the main thread and hands back its text, or why not, on it. Until it is
    // given the box takes pasted text only, and offers no file.
    void readWith(Reading reading);
    // Which file to read; empty when the user thinks better of it. A file dialog unless set.
    std::function<QString()> chooseFile;

    // Reads the file in place of what the box holds; a file that cannot be read changes nothing
    // and says why.
    void load(const std::filesystem::path& file);
    void chooseAndLoad();
    QString text() const { return m_editor->toPlainText(); }

    QPlainTextEdit* editor() const { return m_editor; }
    QLabel* statusLabel() const { return m_status; }
    ClickableView* fileButton() const { return m_fileButton; }

private:
    // Cuts what is past the limit; says how much the model gets, or what was cut.
    void keepWithinLimit(const QString& source);
    void showStatus(const QString& text, const QColor& color);

    Reading m_read;
    int m_maxCharacters;
    QPlainTextEdit* m_editor;
    QLabel* m_status;
    ClickableView* m_fileButton;
    // A file being read: text typed meanwhile is not overwritten by it.
    int m_reading = 0;
};

}  // namespace orvane
