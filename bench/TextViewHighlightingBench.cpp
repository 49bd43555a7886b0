// One keystroke in a 1,000-line markdown text: the whole text is matched against the
// markdown patterns again and the changed display formats and paragraph layouts are laid
// over the document. Must stay well under one frame (16 ms).
#include "OrvTextView/MarkdownTextView/MarkdownTextView.h"

#include <QApplication>
#include <QTest>
#include <QTextBlock>

#include <benchmark/benchmark.h>

namespace {

QApplication& application()
{
    static int argc = 1;
    static char name[] = "TextViewHighlightingBench";
    static char* argv[] = { name, nullptr };
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

QString markdown(int lines)
{
    static const QStringList samples {
        "# A header line",
        "Plain text with **bold words** and *italic words* in between.",
        "- a list element that runs on for a while",
        "> a quoted remark",
        "Some `inline code` and ***bold italic*** text.",
        "```",
        "let code = block()",
        "```",
        "12. a numbered line",
        "",
    };
    QStringList text;
    for (int i = 0; i < lines; ++i)
        text.append(samples[i % samples.size()]);
    return text.join('\n');
}

void BM_MarkdownKeystroke(benchmark::State& state)
{
    application();
    orv::MarkdownTextView view;
    view.resize(900, 700);
    view.show();
    view.setPlainText(markdown(int(state.range(0))));
    QTextCursor cursor = view.textCursor();
    cursor.setPosition(view.document()->findBlockByNumber(int(state.range(0)) / 2 + 1).position() + 6);
    view.setTextCursor(cursor);
    QCoreApplication::processEvents();
    bool typed = false;
    for (auto _ : state) {
        // Type a letter, then take it back: every iteration is one keystroke.
        if (typed)
            QTest::keyClick(&view, Qt::Key_Backspace);
        else
            QTest::keyClick(&view, Qt::Key_X);
        typed = !typed;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MarkdownKeystroke)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
