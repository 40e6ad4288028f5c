// The console's cost per line at steady state (already full at its 1000
// lines), for the console the main window uses (ConsoleView: lines gathered
// and added once per frame to a QPlainTextEdit) beside the previous one
// (a QTextEdit that took every line at once, stamped, appended as a
// paragraph and trimmed line by line), measured in the same run.
//
// One iteration is one frame: `lines` messages arrive, then the event loop
// turns once (the console repaints when it is on screen). 800 lines a frame
// is the location echo of 20,000 reports a second at 25 frames a second; 1
// line a frame is the worst case of one message per event-loop turn.
// Reports resident memory too, which must stay flat however many lines go
// through.

#include "AppConstants.h"
#include "BenchMemory.h"
#include "ConsoleText.h"
#include "ConsoleView.h"

#include <QApplication>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTime>

#include <benchmark/benchmark.h>

namespace {

// The console as it was before ConsoleView, kept here as the baseline.
class PreviousConsole
{
public:
    PreviousConsole()
    {
        edit.setReadOnly(true);
        edit.setUndoRedoEnabled(false);
        edit.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    }

    void printMessage(const QString &message)
    {
        const QString line = ConsoleText::line(QTime::currentTime(), message);
        QScrollBar *bar = edit.verticalScrollBar();
        const bool atBottom = bar->value() >= bar->maximum();
        QTextDocument *document = edit.document();
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        if (!document->isEmpty())
            cursor.insertBlock();
        cursor.insertText(line);
        cursor.endEditBlock();
        if (atBottom)
            bar->setValue(bar->maximum());
        while ((document->lineCount() > kLimit || document->blockCount() > kLimit) && document->blockCount() > 1) {
            QTextCursor first(document);
            first.movePosition(QTextCursor::Start);
            first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
            first.removeSelectedText();
        }
    }

    // Every line was shown at once.
    void endFrame() {}
    QWidget *widget() { return &edit; }

private:
    static constexpr int kLimit = 1000;
    QTextEdit edit;
};

class CurrentConsole
{
public:
    void printMessage(const QString &message)
    {
        view.appendLine(ConsoleText::line(QTime::currentTime(), message));
    }
    // What the frame timer does.
    void endFrame() { view.flush(); }
    QWidget *widget() { return &view; }

private:
    ConsoleView view;
};

template<typename Console>
void BM_Console(benchmark::State &state)
{
    const int perFrame = int(state.range(0));
    const bool visible = state.range(1) != 0;
    Console console;
    console.widget()->resize(1200, 300);
    if (visible)
        console.widget()->show();
    const QString message(static_cast<int>(state.range(2)), QLatin1Char('x'));
    for (int i = 0; i < AppConstants::kConsoleBlockLimit; ++i)
        console.printMessage(message);
    console.endFrame();
    QCoreApplication::processEvents();

    const double before = BenchMemory::residentKiB();
    for (auto _ : state) {
        for (int i = 0; i < perFrame; ++i)
            console.printMessage(message);
        console.endFrame();
        QCoreApplication::processEvents();
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(double(state.iterations()) * perFrame, benchmark::Counter::kIsRate);
    state.counters["rss_growth_KiB"] = BenchMemory::residentKiB() - before;
}

void BM_PreviousConsole(benchmark::State &state)
{
    BM_Console<PreviousConsole>(state);
}

void BM_Console(benchmark::State &state)
{
    BM_Console<CurrentConsole>(state);
}

void shapes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"lines", "visible", "chars"});
    for (int lines : {1, 800})
        for (int visible : {0, 1})
            b->Args({lines, visible, 120});
    b->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(BM_PreviousConsole)->Apply(shapes);
BENCHMARK(BM_Console)->Apply(shapes);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
