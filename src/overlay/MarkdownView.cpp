// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/MarkdownView.h"

#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextList>

#include <map>

#include "overlay/UIHelpers.h"
#include "text/Markdown.h"

namespace orvane {

namespace {

// The model's HTML is text to show, never markup to obey.
constexpr auto kFeatures = QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub |
                                                           QTextDocument::MarkdownNoHTML);
constexpr double kCodeSize = 14;

QColor codeBackground() {
    return UI::white(0.07);
}

bool isCodeBlock(const QTextBlock& block) {
    const auto format = block.blockFormat();
    return format.hasProperty(QTextFormat::BlockCodeFence) ||
           format.hasProperty(QTextFormat::BlockCodeLanguage) || format.nonBreakableLines();
}

struct Restyle {
    int from;
    int to;
    QTextCharFormat format;
};

}  // namespace

MarkdownView::MarkdownView(MainQueue& mainQueue, QWidget* parent)
    : QTextBrowser(parent), m_mainQueue(mainQueue) {
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setFont(UI::ubuntu(18, QFont::Medium));
    document()->setDocumentMargin(0);
    // A thin scroller that stays out of the way of the dark panel.
    setStyleSheet(
        "QTextBrowser { background: transparent; }"
        "QScrollBar:vertical { background: transparent; width: 6px; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,40); border-radius: 3px;"
        " min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }");
    viewport()->setAutoFillBackground(false);
}

MarkdownView::~MarkdownView() = default;

QColor MarkdownView::textColor() const {
    return palette().color(QPalette::Text);
}

void MarkdownView::setTextColor(const QColor& color) {
    if (textColor() == color) return;
    QPalette colors = palette();
    colors.setColor(QPalette::Text, color);
    setPalette(colors);
}

void MarkdownView::showPlain(const QString& text, const QColor& color) {
    m_pendingRender.reset();
    m_text = text;
    m_isMarkdown = false;
    m_drawnBlocks.clear();
    m_drawnStarts.clear();
    setTextColor(color);
    setPlainText(text);
    verticalScrollBar()->setValue(0);
}

void MarkdownView::showMarkdown(const QString& markdown, const QColor& color) {
    // Plain text drew no blocks (showPlain forgot them), but its words are still there.
    if (!m_isMarkdown) clear();
    m_text = markdown;
    m_isMarkdown = true;
    setTextColor(color);
    if (m_pendingRender) return;
    const auto now = m_mainQueue.now();
    const double sinceLast =
        m_lastRender ? std::chrono::duration<double>(now - *m_lastRender).count() : renderInterval;
    if (sinceLast >= renderInterval) {
        render();
        return;
    }
    m_pendingRender =
        m_mainQueue.scheduleTimer(renderInterval - sinceLast, false, [view = QPointer(this)] {
            if (view) view->render();
        });
}

void MarkdownView::flush() {
    if (m_pendingRender) render();
}

void MarkdownView::render() {
    m_pendingRender.reset();
    m_lastRender = m_mainQueue.now();
    auto* bar = verticalScrollBar();
    // The opening of an answer (its direct answer) stays in view as the rest streams in; a
    // reader who has scrolled to the end is followed there.
    const bool following = bar->value() > 0 && bar->value() >= bar->maximum() - 4;

    const auto source = m_text.toStdString();
    std::vector<QString> blocks;
    for (const auto block : text::markdownBlocks(source)) {
        blocks.push_back(QString::fromUtf8(block.data(), static_cast<qsizetype>(block.size())));
    }
    std::size_t unchanged = 0;
    while (unchanged < blocks.size() && unchanged < m_drawnBlocks.size() &&
           blocks[unchanged] == m_drawnBlocks[unchanged]) {
        ++unchanged;
    }

    QTextCursor cursor(document());
    cursor.beginEditBlock();
    if (unchanged < m_drawnBlocks.size()) {
        cursor.setPosition(m_drawnStarts[unchanged]);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        m_drawnBlocks.resize(unchanged);
        m_drawnStarts.resize(unchanged);
    } else {
        cursor.movePosition(QTextCursor::End);
    }
    for (std::size_t i = unchanged; i < blocks.size(); ++i) {
        m_drawnStarts.push_back(cursor.position());
        appendBlock(cursor, blocks[i], i == 0);
        m_drawnBlocks.push_back(std::move(blocks[i]));
    }
    cursor.endEditBlock();
    m_blocksRedrawn = static_cast<int>(m_drawnBlocks.size() - unchanged);
    if (following) bar->setValue(bar->maximum());
}

// Empty bytes, not nothing: a resource the view does not give, the document goes and reads
// from the file itself.
QVariant MarkdownView::loadResource(int, const QUrl&) {
    return QByteArray();
}

void MarkdownView::appendBlock(QTextCursor& cursor, const QString& markdown, bool first) {
    QTextDocument parsed;
    parsed.setUndoRedoEnabled(false);
    parsed.setMarkdown(markdown, kFeatures);
    replaceImages(parsed);
    styleBlocks(parsed);

    // Tables are frames, which only the toolkit's own fragment insertion carries over.
    if (!parsed.rootFrame()->childFrames().isEmpty()) {
        if (!first) cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertFragment(QTextDocumentFragment(&parsed));
        return;
    }
    // Block by block, so that each keeps its own format and lists start afresh: inserting the
    // parsed text as one fragment would merge its first block into the one before.
    std::map<QTextList*, QTextList*> lists;
    bool firstBlock = true;
    for (auto block = parsed.begin(); block.isValid(); block = block.next()) {
        const bool trailingEmpty = !block.next().isValid() && block.length() == 1;
        if (trailingEmpty && !firstBlock) break;
        auto format = block.blockFormat();
        format.clearProperty(QTextFormat::ObjectIndex);
        if (first && firstBlock) {
            cursor.setBlockFormat(format);
            cursor.setBlockCharFormat(block.charFormat());
        } else {
            cursor.insertBlock(format, block.charFormat());
        }
        firstBlock = false;
        if (auto* list = block.textList()) {
            if (auto known = lists.find(list); known != lists.end()) {
                known->second->add(cursor.block());
            } else {
                lists[list] = cursor.createList(list->format());
            }
        }
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            cursor.insertText(piece.fragment().text(), piece.fragment().charFormat());
        }
    }
}

// Every block is walked, table cells and lists inside them included.
void MarkdownView::replaceImages(QTextDocument& document) {
    struct Image {
        int position;
        int length;
        QString name;
    };
    std::vector<Image> images;
    for (auto block = document.begin(); block.isValid(); block = block.next()) {
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            const auto fragment = piece.fragment();
            if (fragment.charFormat().isImageFormat()) {
                images.push_back({fragment.position(), fragment.length(),
                                  fragment.charFormat().toImageFormat().name()});
            }
        }
    }
    // From the end, so that the positions before each replacement stay true.
    QTextCursor cursor(&document);
    for (auto image = images.rbegin(); image != images.rend(); ++image) {
        cursor.setPosition(image->position);
        cursor.setPosition(image->position + image->length, QTextCursor::KeepAnchor);
        cursor.insertText(image->name, QTextCharFormat());
    }
}

void MarkdownView::styleBlocks(QTextDocument& document) const {
    const auto mono = UI::ubuntuMono(kCodeSize).family();
    std::vector<Restyle> restyles;
    std::vector<int> codeBlocks;
    for (auto block = document.begin(); block.isValid(); block = block.next()) {
        const bool code = isCodeBlock(block);
        if (code) codeBlocks.push_back(block.position());
        if (block.blockFormat().headingLevel() > 0) {
            // Headings a little larger than the text, not the document sizes of a web page.
            QTextCharFormat heading;
            heading.setProperty(QTextFormat::FontSizeAdjustment,
                                block.blockFormat().headingLevel() <= 2 ? 1 : 0);
            heading.setFontWeight(QFont::Bold);
            restyles.push_back({block.position(), block.position() + block.length() - 1, heading});
        }
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            const auto fragment = piece.fragment();
            const auto format = fragment.charFormat();
            QTextCharFormat change;
            bool changed = false;
            if (code || format.fontFixedPitch()) {
                change.setFontFamilies({mono});
                change.setFontFixedPitch(true);
                change.setFontPointSize(kCodeSize);
                if (!code) change.setBackground(codeBackground());
                changed = true;
            }
            if (format.isAnchor()) {
                change.setAnchor(false);
                change.setAnchorHref(QString());
                change.setForeground(UI::bookCloth());
                change.setFontUnderline(true);
                changed = true;
            }
            if (changed) {
                restyles.push_back(
                    {fragment.position(), fragment.position() + fragment.length(), change});
            }
        }
    }
    // Applied after the walk: changing formats splits the fragments being walked.
    QTextCursor cursor(&document);
    for (const int position : codeBlocks) {
        cursor.setPosition(position);
        QTextBlockFormat band;
        band.setBackground(codeBackground());
        // Long lines wrap: the panel is narrow and a reader glances, never scrolls sideways.
        band.setNonBreakableLines(false);
        cursor.mergeBlockFormat(band);
    }
    for (const auto& restyle : restyles) {
        cursor.setPosition(restyle.from);
        cursor.setPosition(restyle.to, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(restyle.format);
    }
}

}  // namespace orvane
