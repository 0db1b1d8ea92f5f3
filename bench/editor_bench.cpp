// Editor keystrokes in a long program: the whole path from the key event
// through the text change, the caret record and the events.
#include "editor/kt_text.h"
#include "editor/text_box.h"

#include <QTest>
#include <QTextBlock>

#include <benchmark/benchmark.h>

using kt::editor::KtText;

namespace {

struct Editor {
    KtText control;
    int changes = 0;

    Editor() {
        QStringList lines;
        for (int i = 0; i < 10000; ++i)
            lines << QStringLiteral("    Counter0 = %1").arg(i % 256);
        control.resize(600, 400);
        control.show();
        control.RText()->SetText(lines.join(QStringLiteral("\r\n")));
        // Mid-text, where mark-list edits cost the most.
        control.RText()->SetSelStart(control.RText()->TextLength() / 2);
        QObject::connect(&control, &KtText::SelChange, &control, [this] { ++changes; });
    }
};

void BM_TypeCharacter(benchmark::State& state) {
    Editor editor;
    for (auto _ : state) {
        QTest::keyClick(editor.control.RText(), Qt::Key_X);
        state.PauseTiming();
        editor.control.RText()->textCursor().deletePreviousChar();
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(editor.changes);
}
BENCHMARK(BM_TypeCharacter)->Unit(benchmark::kMicrosecond);

void BM_Enter(benchmark::State& state) {
    Editor editor;
    for (auto _ : state) {
        QTest::keyClick(editor.control.RText(), Qt::Key_Return);
        state.PauseTiming();
        // Take the line break back so the text stays 10,000 lines long.
        editor.control.RText()->textCursor().deletePreviousChar();
        QTextCursor cursor = editor.control.RText()->textCursor();
        cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        cursor.deletePreviousChar();
        editor.control.RText()->setTextCursor(cursor);
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(editor.changes);
}
BENCHMARK(BM_Enter)->Unit(benchmark::kMicrosecond);

// A keystroke in a coloured program of every kind of line: statements,
// comments and rejected lines, typed into a rejected one, so the line is
// compiled and underlined again at every key.
void BM_TypeCharacterHighlighted(benchmark::State& state) {
    KtText control;
    const QStringList kinds = {QStringLiteral("    If Not Input.%1 ' wait"),
                               QStringLiteral("    WordCounter.%1 = Analog.4"),
                               QStringLiteral("    Counter0 = 30%1 ' too big"),
                               QStringLiteral("    AccelerateRate = 5%1.5")};
    QStringList lines;
    for (int i = 0; i < 10000; ++i)
        lines << kinds[i % kinds.size()].arg(i % 4);
    control.resize(600, 400);
    control.show();
    control.RText()->SetText(lines.join(QStringLiteral("\r\n")));
    // The end of a rejected line mid-text.
    const QTextBlock block = control.RText()->document()->findBlockByNumber(5002);
    QTextCursor caret(block);
    caret.movePosition(QTextCursor::EndOfBlock);
    control.RText()->setTextCursor(caret);
    for (auto _ : state) {
        QTest::keyClick(control.RText(), Qt::Key_X);
        state.PauseTiming();
        control.RText()->textCursor().deletePreviousChar();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TypeCharacterHighlighted)->Unit(benchmark::kMicrosecond);

} // namespace
