// Resident memory of the manager's map with every tag's history full: the
// hub, the map view on screen and n tags each walked through the number of
// positions a history keeps. Prints one Markdown table row per stage.
//   bench_map_memory [--tags N] [--points P]
#include "BenchMemory.h"
#include "MapBenchScene.h"
#include "MapConstants.h"
#include "MapScene.h"
#include "MapTab.h"
#include "NodeObject.h"
#include "RtlsAlert.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QWindow>

#include <cstdio>

namespace {

void row(const char *stage, double kib, const QString &note = QString())
{
    std::printf("| %s | %.1f | %s |\n", stage, kib / 1024.0, qPrintable(note));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    RtlsAlert::setDialogsAllowed(false);
    QCommandLineParser parser;
    parser.addOption({"tags", "Tags on the map.", "n", "1000"});
    parser.addOption({"points", "Positions walked per tag.", "n", QString::number(Map::kHistoryLimit)});
    parser.process(app);
    const int tags = parser.value("tags").toInt();
    const int points = parser.value("points").toInt();

    std::printf("| stage | resident MiB | note |\n|---|---|---|\n");
    row("process with the window system", BenchMemory::residentKiB());
    MapBenchScene site(tags);
    MapTab map(nullptr, &site);
    map.resize(1600, 1000);
    map.show();
    QElapsedTimer waited;
    waited.start();
    while ((!map.windowHandle() || !map.windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    row("hub and map on screen", BenchMemory::residentKiB());

    site.walk(&map, 1);
    const double before = BenchMemory::residentKiB();
    row("tags placed", before, QStringLiteral("%1 tags").arg(tags));

    QElapsedTimer walking;
    walking.start();
    site.walk(&map, points - 1);
    const double seconds = walking.elapsed() / 1000.0;
    map.repaint();
    size_t historyBytes = 0;
    int fullest = 0;
    for (NodeObject *object : map.scene()->nodeObjects()) {
        historyBytes += object->history().bytes();
        fullest = std::max(fullest, object->history().size());
    }
    const double after = BenchMemory::residentKiB();
    row("histories full", after,
        QStringLiteral("%1 positions a tag, %2 bytes a position held, %3 s to walk (%4 us an update)")
            .arg(fullest)
            .arg(double(historyBytes) / (double(tags) * fullest), 0, 'f', 1)
            .arg(seconds, 0, 'f', 1)
            .arg(seconds * 1e6 / (double(tags) * (points - 1)), 0, 'f', 2));
    row("growth for the histories", after - before,
        QStringLiteral("%1 MiB held in the rings").arg(double(historyBytes) / (1024.0 * 1024.0), 0, 'f', 1));
    return 0;
}
