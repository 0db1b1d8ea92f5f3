// The recovery timer's tick over a large unsaved program: nothing to do when
// the text has not changed since the last copy, and a copy that grows with
// the text, not with its square.
#include "app/desktop_app.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"

#include <QTemporaryDir>
#include <QTextCursor>

#include <benchmark/benchmark.h>

namespace {

// A program of about `bytes` bytes of short lines, unsaved.
struct Desktop {
    QTemporaryDir folder;
    kt::app::DesktopApp app{{}, false, folder.path(), folder.path()};

    explicit Desktop(qsizetype bytes) {
        app.SetRecoveryFolder(folder.filePath(QStringLiteral("recovery")));
        app.Show();
        const QString line = QStringLiteral("  Counter0 = 12\r\n");
        app.Window().KtText1()->RText()->SetText(line.repeated(bytes / line.size()));
        app.KeepRecovery(); // the first copy
    }
    void Edit() {
        QTextCursor cursor(app.Window().KtText1()->RText()->document());
        cursor.insertText(QStringLiteral("'"));
    }
};

void BM_RecoveryTickUnchanged(benchmark::State& state) {
    Desktop desktop(16 * 1024 * 1024);
    for (auto _ : state)
        desktop.app.KeepRecovery();
}
BENCHMARK(BM_RecoveryTickUnchanged)->Unit(benchmark::kMicrosecond);

void BM_RecoveryTickChanged(benchmark::State& state) {
    Desktop desktop(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        desktop.Edit();
        state.ResumeTiming();
        desktop.app.KeepRecovery();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RecoveryTickChanged)
    ->RangeMultiplier(4)
    ->Range(1 << 20, 16 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
