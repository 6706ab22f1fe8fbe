// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The answer area's cost per delta on a 4,000-word answer with code: from the new text to its
// pixels on the (offscreen) screen, for the Markdown view and, in the same run, for the plain
// label the panel used before. Prints median and p99 over all deltas and over the last 500 (the
// end of a long answer, where a full redraw would cost the most).
//   QT_QPA_PLATFORM=offscreen markdown_render_bench [WORDS]

#include <QApplication>
#include <QLabel>
#include <QScrollArea>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "adapters/std/SteppedMainQueue.h"
#include "overlay/MarkdownView.h"
#include "overlay/SymbolIcons.h"
#include "overlay/UIHelpers.h"

namespace {

using Clock = std::chrono::steady_clock;

// An answer the way models write long ones: headed sections of paragraphs, lists and code.
QString longAnswer(int words) {
    const QStringList prose =
        QString(
            "A careful answer names the trade off first and then shows how it plays out in "
            "production where latency and cost both matter to the people who run the system")
            .split(' ');
    QString answer;
    int written = 0;
    for (int section = 0; written < words; ++section) {
        answer += QStringLiteral("## Part %1\n\n").arg(section + 1);
        for (int paragraph = 0; paragraph < 3 && written < words; ++paragraph) {
            for (int i = 0; i < 60 && written < words; ++i, ++written) {
                answer += (i % 17 == 5 ? "**" + prose[written % prose.size()] + "**"
                                       : prose[written % prose.size()]) +
                          (i % 23 == 22 ? ". " : " ");
            }
            answer += "\n\n";
        }
        answer += "- use `EXPLAIN` before guessing\n- index the filter columns\n\n";
        answer +=
            "```python\ndef handler(request):\n    rows = db.query(request.args)\n"
            "    return [row.to_json() for row in rows]\n```\n\n";
        written += 20;
    }
    return answer;
}

// Deltas as the stream delivers them: a word and its space at a time.
std::vector<QString> prefixes(const QString& answer) {
    std::vector<QString> out;
    for (qsizetype at = answer.indexOf(' '); at >= 0; at = answer.indexOf(' ', at + 1)) {
        out.push_back(answer.left(at + 1));
    }
    out.push_back(answer);
    return out;
}

struct Summary {
    double median, p99, lastMedian, lastP99;
};

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
}

Summary summarise(const std::vector<double>& millis) {
    const std::vector<double> last(
        millis.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(500, millis.size())),
        millis.end());
    return {quantile(millis, 0.5), quantile(millis, 0.99), quantile(last, 0.5),
            quantile(last, 0.99)};
}

// Counts the paints, so a run that drew nothing is not taken for a fast one.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

Summary measure(const std::vector<QString>& deltas, QWidget& painted,
                const std::function<void(const QString&)>& show) {
    QApplication::processEvents();  // the window is exposed: repaints draw for real
    PaintCounter counter;
    painted.installEventFilter(&counter);
    std::vector<double> millis;
    millis.reserve(deltas.size());
    for (const auto& text : deltas) {
        const auto start = Clock::now();
        show(text);
        painted.repaint();
        millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    painted.removeEventFilter(&counter);
    if (counter.paints < static_cast<int>(deltas.size())) {
        std::fprintf(stderr, "only %d paints for %zu deltas\n", counter.paints, deltas.size());
        std::exit(1);
    }
    return summarise(millis);
}

void print(const char* name, const Summary& s) {
    std::printf("%-40s median %7.3f ms  p99 %7.3f ms | last 500: median %7.3f ms  p99 %7.3f ms\n",
                name, s.median, s.p99, s.lastMedian, s.lastP99);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    orvane::registerBundledFonts();
    const int words = argc > 1 ? std::atoi(argv[1]) : 4000;
    const auto answer = longAnswer(words);
    const auto deltas = prefixes(answer);
    std::printf("%d words, %zu deltas, %lld characters\n", words, deltas.size(),
                static_cast<long long>(answer.size()));

    orvane::SteppedMainQueue queue;
    {
        orvane::MarkdownView view(queue);
        view.resize(532, 222);  // the answer area of a 580 x 340 panel
        view.show();
        print("Markdown, every delta drawn",
              measure(deltas, *view.viewport(), [&](const QString& t) {
                  view.showMarkdown(t, Qt::white);
                  view.flush();
              }));
    }
    {
        // As the panel runs: a delta every 5 ms, drawn at most every 30 ms.
        orvane::MarkdownView view(queue);
        view.resize(532, 222);
        view.show();
        print("Markdown, 5 ms apart, 30 ms redraws",
              measure(deltas, *view.viewport(), [&](const QString& t) {
                  queue.advance(0.005);
                  view.showMarkdown(t, Qt::white);
              }));
    }
    {
        // For scale: what redrawing the whole answer on each delta would cost at its end.
        QTextBrowser whole;
        whole.resize(532, 222);
        whole.show();
        const std::vector<QString> tail(deltas.end() - 20, deltas.end());
        print("whole answer re-set, last 20 deltas",
              measure(tail, *whole.viewport(), [&](const QString& t) { whole.setMarkdown(t); }));
    }
    {
        QScrollArea scroll;
        auto* label = new QLabel;
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setFont(orvane::UI::ubuntu(18, QFont::Medium));
        scroll.setWidget(label);
        scroll.setWidgetResizable(true);
        scroll.resize(532, 222);
        scroll.show();
        print("plain label, every delta drawn",
              measure(deltas, scroll, [&](const QString& t) { label->setText(t); }));
    }
    return 0;
}
