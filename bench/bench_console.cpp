// Cost of one console line at steady state: the console is full (1000
// lines), so every new line is stamped, appended as plain text and the
// oldest one trimmed — what the main window does for each message the hub
// echoes. Reports resident memory too, which must stay flat however many
// lines go through.

#include "AppConstants.h"
#include "BenchMemory.h"
#include "ConsoleText.h"

#include <QApplication>
#include <QTextEdit>
#include <QTime>

#include <benchmark/benchmark.h>

namespace {

void printLine(QTextEdit *console, const QString &message)
{
    ConsoleText::appendLine(console, ConsoleText::line(QTime::currentTime(), message));
    ConsoleText::trim(console->document(), AppConstants::kConsoleLineLimit,
                      AppConstants::kConsoleBlockLimit);
}

void BM_ConsoleLine(benchmark::State &state)
{
    const bool visible = state.range(1) != 0;
    QTextEdit console;
    console.setReadOnly(true);
    console.setUndoRedoEnabled(false);
    console.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    console.resize(1200, 300);
    if (visible)
        console.show();
    const QString message(static_cast<int>(state.range(0)), QLatin1Char('x'));
    for (int i = 0; i < AppConstants::kConsoleBlockLimit; ++i)
        printLine(&console, message);
    QCoreApplication::processEvents();

    const double before = BenchMemory::residentKiB();
    for (auto _ : state) {
        printLine(&console, message);
        if (visible)
            QCoreApplication::processEvents();
    }
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    state.counters["rss_growth_KiB"] = BenchMemory::residentKiB() - before;
}

} // namespace

// Message length in characters, and whether the console is on screen.
BENCHMARK(BM_ConsoleLine)
    ->ArgsProduct({{40, 400}, {0, 1}})
    ->ArgNames({"chars", "visible"})
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
