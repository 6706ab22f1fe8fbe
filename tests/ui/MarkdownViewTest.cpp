// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTextBlock>

#include <sys/stat.h>
#include <unistd.h>

#include "fakes/ManualMainQueue.h"
#include "overlay/MarkdownView.h"
#include "overlay/SymbolIcons.h"

namespace orvane::testing {
namespace {

const QString kAnswer =
    "## Reverse it in place\n\n"
    "Walk the list once with **three pointers**, flipping each `next` as you go:\n\n"
    "1. keep `prev`, starting at null\n"
    "2. point `head->next` back\n\n"
    "```python\n"
    "def reverse(head):\n"
    "    prev = None\n\n"
    "    while head:\n"
    "        head.next, prev, head = prev, head, head.next\n"
    "    return prev\n"
    "```\n\n"
    "| time | space |\n|---|---|\n| O(n) | O(1) |\n\n"
    "See [the notes](https://example.com/lists) for the recursive way.\n";

// Every run of text in the document with the format it is drawn in.
struct Run {
    QString text;
    QTextCharFormat format;
    QTextBlockFormat block;
};

std::vector<Run> runsOf(const QTextDocument& document) {
    std::vector<Run> runs;
    for (auto block = document.begin(); block.isValid(); block = block.next()) {
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            runs.push_back(
                {piece.fragment().text(), piece.fragment().charFormat(), block.blockFormat()});
        }
    }
    return runs;
}

std::optional<Run> runWith(const QTextDocument& document, const QString& text) {
    for (auto& run : runsOf(document)) {
        if (run.text.contains(text)) return run;
    }
    return std::nullopt;
}

class Markdown : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registerBundledFonts(); }
    Markdown() { view.resize(500, 300); }

    // The rest of the answer arriving a few characters at a time, the clock moving between
    // deltas.
    void stream(const QString& answer, int step, double secondsBetween) {
        const auto from = answer.startsWith(view.text()) ? view.text().size() : 0;
        for (qsizetype end = from + step; end < answer.size() + step; end += step) {
            view.showMarkdown(answer.left(end), Qt::white);
            queue.advance(secondsBetween);
        }
        view.flush();
    }

    ManualMainQueue queue;
    MarkdownView view{queue};
};

// Streamed a few characters at a time, an answer ends drawn as the whole would be: its structure
// drawn, the markup characters gone.
TEST_F(Markdown, AStreamedAnswerEndsDrawnWithItsStructureAndTheMarkupCharactersGone) {
    stream(kAnswer, 3, 0.004);
    ManualMainQueue otherQueue;
    MarkdownView whole(otherQueue);
    whole.showMarkdown(kAnswer, Qt::white);
    EXPECT_EQ(view.document()->toHtml().toStdString(), whole.document()->toHtml().toStdString());
    const auto& document = *view.document();
    const auto shown = document.toPlainText();
    for (const char* markup : {"**", "```", "##", "](", "|---"}) {
        EXPECT_FALSE(shown.contains(markup)) << markup;
    }
    EXPECT_EQ(document.begin().blockFormat().headingLevel(), 2);
    EXPECT_GE(runWith(document, "three pointers")->format.fontWeight(), QFont::Bold);
    EXPECT_NE(document.findBlock(shown.indexOf("keep")).textList(), nullptr);
    EXPECT_EQ(document.rootFrame()->childFrames().size(), 1) << "the table";

    const auto inlineCode = runWith(document, "prev");
    ASSERT_TRUE(inlineCode);
    EXPECT_EQ(inlineCode->format.fontFamilies().toStringList().value(0), "Ubuntu Mono");
    EXPECT_NE(inlineCode->format.background().style(), Qt::NoBrush);

    const auto code = runWith(document, "def reverse(head):");
    ASSERT_TRUE(code);
    EXPECT_EQ(code->format.fontFamilies().toStringList().value(0), "Ubuntu Mono");
    EXPECT_NE(code->block.background().style(), Qt::NoBrush) << "code sits on a lighter band";
    EXPECT_TRUE(shown.contains("    while head:")) << "indentation is kept";

    const auto link = runWith(document, "the notes");
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->format.isAnchor()) << "links are inert";
    EXPECT_TRUE(link->format.anchorHref().isEmpty());
    EXPECT_EQ(view.text(), kAnswer);
}

TEST_F(Markdown, HtmlInAnAnswerAndPlainTextAreShownAsTheTextTheyAre) {
    view.showMarkdown(
        "Use <b>EXPLAIN</b> first\n\n<img src=\"file:///etc/passwd\">\n\n"
        "<script>alert(1)</script>",
        Qt::white);
    const auto shown = view.document()->toPlainText();
    EXPECT_TRUE(shown.contains("<b>EXPLAIN</b>")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("<img src=\"file:///etc/passwd\">"));
    EXPECT_TRUE(shown.contains("<script>alert(1)</script>"));
    EXPECT_LT(runWith(*view.document(), "EXPLAIN")->format.fontWeight(), QFont::Bold);

    // Plain text is shown as it is, and markdown after it is markdown again.
    view.showPlain("Error: **not** `markup`", Qt::red);
    EXPECT_EQ(view.document()->toPlainText(), "Error: **not** `markup`");
    EXPECT_FALSE(view.isMarkdown());
    EXPECT_EQ(view.textColor(), QColor(Qt::red));
    view.showMarkdown("*again*", Qt::white);
    view.flush();
    EXPECT_EQ(view.document()->toPlainText(), "again");
}

// An answer can be steered by whoever the model reads: no picture in it, wherever it stands, may
// make the view read a file, a device that never ends, a pipe that never answers, or data.
TEST_F(Markdown, PicturesAreNeverLoadedWhereverTheyStand) {
    const auto fifo = QDir::temp().filePath(QStringLiteral("orvane-fifo-%1").arg(getpid()));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString png =
        "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlE"
        "QVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==";
    const QStringList answers = {
        "| a |\n|---|\n| ![x](file:///etc/passwd) |",
        "| a | b |\n|---|---|\n| ![z](/dev/zero) | ![u](/dev/urandom) |",
        "| a |\n|---|\n| ![f](file://" + fifo + ") |",
        "| a |\n|---|\n| ![d](" + png + ") |",
        "| a |\n|---|\n| ![r][ref] |\n\n[ref]: file:///etc/passwd",
        "![r][ref] by reference\n[ref]: file:///dev/zero",
        "- a list\n\n  | a |\n  |---|\n  | ![l](/dev/zero) |",
        "Text and ![inline](file:///etc/passwd) outside a table",
    };
    for (const auto& answer : answers) {
        view.showMarkdown(answer, Qt::white);
        view.flush();
        view.grab();  // lays the document out and paints it, as the screen would
        for (const auto& run : runsOf(*view.document())) {
            EXPECT_FALSE(run.format.isImageFormat()) << answer.toStdString();
        }
        EXPECT_FALSE(view.document()->toPlainText().isEmpty()) << answer.toStdString();
    }
    for (const auto& name : {QUrl(png), QUrl::fromLocalFile(fifo)}) {
        const auto resource = view.loadResource(QTextDocument::ImageResource, name);
        EXPECT_TRUE(resource.isValid() && resource.toByteArray().isEmpty()) << "given, and empty";
    }
    QFile::remove(fifo);
}

TEST_F(Markdown, DeltasAreDrawnAtMostEveryThirtyMillisecondsAndOnlyFromTheChangedBlock) {
    view.showMarkdown("First paragraph.", Qt::white);
    EXPECT_FALSE(view.hasPendingRender()) << "the first words are drawn at once";
    view.showMarkdown("First paragraph.\n\nSecond", Qt::white);
    EXPECT_TRUE(view.hasPendingRender());
    EXPECT_EQ(view.document()->toPlainText(), "First paragraph.");
    queue.advance(0.029);
    EXPECT_TRUE(view.hasPendingRender());
    queue.advance(0.001);
    EXPECT_FALSE(view.hasPendingRender());
    EXPECT_EQ(view.document()->toPlainText(), "First paragraph.\nSecond");

    QString answer;
    for (int i = 0; i < 40; ++i)
        answer += QStringLiteral("Paragraph %1 says something.\n\n").arg(i);
    stream(answer, 7, 0.031);
    view.showMarkdown(answer + "And a tail", Qt::white);
    view.flush();
    EXPECT_EQ(view.blocksRedrawnLastTime(), 1) << "forty paragraphs drawn before stay as they are";
    EXPECT_TRUE(
        view.document()->toPlainText().endsWith("Paragraph 39 says something.\nAnd a tail"));
}

TEST_F(Markdown, TheStartStaysInViewUntilTheReaderScrollsToTheEnd) {
    view.resize(400, 120);
    view.show();
    QString answer;
    for (int i = 0; i < 30; ++i) answer += QStringLiteral("Line %1 of a long answer.\n\n").arg(i);
    stream(answer, 40, 0.031);
    auto* bar = view.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0) << "the direct answer is still there to read";

    bar->setValue(bar->maximum());
    stream(answer + "More words arrive at the end the reader reads.", 10, 0.031);
    EXPECT_EQ(bar->value(), bar->maximum());

    const int middle = bar->maximum() / 2;
    bar->setValue(middle);
    stream(answer + "More words arrive at the end the reader reads.\n\nAnd more still.", 10, 0.031);
    EXPECT_EQ(bar->value(), middle) << "one who scrolled back stays there";
}

}  // namespace
}  // namespace orvane::testing
