// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QTextBrowser>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MainQueue.h"

class QTextDocument;

namespace orvane {

// The answer area: Markdown drawn with the toolkit's own importer (CommonMark and GitHub tables),
// code in Ubuntu Mono on a lighter band, links inert and raw HTML shown as the text it is. A
// streaming answer is redrawn at most every 30 ms, and then only from its first changed block
// on, so the cost of a delta stays that of the answer's tail however long the answer grows. The
// view keeps the answer's start in view, and follows the end once the reader scrolled there. It
// never takes the keyboard. Pictures are never drawn: each stands as its address in plain text.
class MarkdownView : public QTextBrowser {
public:
    static constexpr double renderInterval = 0.030;

    explicit MarkdownView(MainQueue& mainQueue, QWidget* parent = nullptr);
    ~MarkdownView() override;

    // An answer, whole as received so far.
    void showMarkdown(const QString& markdown, const QColor& color);
    // A prompt or message, drawn at once and as it is.
    void showPlain(const QString& text, const QColor& color);
    // Draws a pending update now.
    void flush();

    // What was last shown, as it was given (the Markdown source for an answer).
    const QString& text() const { return m_text; }
    bool isMarkdown() const { return m_isMarkdown; }
    QColor textColor() const;
    bool hasPendingRender() const { return m_pendingRender != nullptr; }
    // Blocks drawn by the last update, for knowing that only the tail was redrawn.
    int blocksRedrawnLastTime() const { return m_blocksRedrawn; }

    // An answer is the model's text, which others can steer: it never makes the view read a file,
    // a device or a data: address.
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void setTextColor(const QColor& color);
    void render();
    void appendBlock(QTextCursor& cursor, const QString& markdown, bool first);
    void styleBlocks(QTextDocument& document) const;
    // Pictures become their addresses, so nothing ever loads them.
    static void replaceImages(QTextDocument& document);

    MainQueue& m_mainQueue;
    std::unique_ptr<Timer> m_pendingRender;
    std::optional<MainQueue::TimePoint> m_lastRender;

    QString m_text;
    bool m_isMarkdown = false;
    // The source of each drawn block and where in the document it begins.
    std::vector<QString> m_drawnBlocks;
    std::vector<int> m_drawnStarts;
    int m_blocksRedrawn = 0;
};

}  // namespace orvane
