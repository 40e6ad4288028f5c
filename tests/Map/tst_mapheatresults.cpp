#include "FakeNodeSource.h"
#include "MapFrameContext.h"
#include "MapHeat.h"
#include "MapMetaTypes.h"
#include "RtlsMeas.h"

#include <QGLViewer/camera.h>
#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <vector>

// The heat map brings a frame up to date by the cells that got samples
// since the last one. What it shows (every cell's quad and colour, and the
// labels on screen with their texts) must be what a rebuild of every cell
// from the same samples shows, whatever came between two frames.
namespace {

// One step of a sequence, as text: "t id x y pqf" a tag's fix, "r id x y
// pqf rssi" one with a range of that strength, "a id x y" an anchor,
// "m id mode" a node set to another mode, "f" a frame, and the settings
// "sel id", "mode n", "min n", "max n", "res metres", "values 0|1",
// "reset", "box length width".
using Steps = QStringList;

struct Label
{
    float x;
    float y;
    int size;
    QString text;
};

class Side
{
public:
    Side()
    {
        m_camera.setScreenWidthAndHeight(1600, 1000);
        m_camera.setSceneCenter(qglviewer::Vec(0, 0, 0));
        m_camera.setSceneRadius(60);
        m_camera.setPosition(qglviewer::Vec(0, -22, 18));
        m_camera.setUpVector(qglviewer::Vec(0, 0, 1));
        m_camera.lookAt(qglviewer::Vec(0, 0, 0));
        m_camera.computeProjectionMatrix();
        m_camera.computeModelViewMatrix();
    }

    MapHeat heat;

    std::vector<Label> labels()
    {
        std::vector<MapFrameContext::Label> raw;
        MapFrameContext frame;
        frame.camera = &m_camera;
        frame.labels = &raw;
        heat.addLabels(frame, 0.0);
        std::vector<Label> out;
        for (const auto &l : raw)
            out.push_back({l.x, l.y, l.pointSize, *l.text});
        return out;
    }

private:
    qglviewer::Camera m_camera;
};

RtlsObject *node(FakeNodeSource &source, uint64_t id, const char *mode)
{
    RtlsObject *n = source.findNode(id);
    return n ? n : source.add(id, QLatin1String(mode));
}

// Applies one step to the heat map; a report goes through the node record.
void apply(FakeNodeSource &source, MapHeat &heat, const QStringList &w)
{
    const QString &op = w.at(0);
    if (op == "t" || op == "r") {
        RtlsObject *tag = node(source, w.at(1).toULongLong(nullptr, 16), "tag");
        tag->pos()->setPos(w.at(2).toFloat(), w.at(3).toFloat(), 0);
        tag->pos()->setPQF(uint8_t(w.at(4).toInt()));
        if (op == "r") {
            tag->meas()->updateFromJson(QJsonArray{
                QJsonObject{{"anchor", "0xA1"}, {"dist", 3}, {"tqf", 1}, {"rssi", w.at(5).toDouble()}},
                QJsonObject{{"anchor", "0xA2"}, {"dist", 4}, {"tqf", 1}, {"rssi", w.at(5).toDouble() - 10}}});
        }
        heat.nodeUpdated(tag);
    } else if (op == "a") {
        RtlsObject *anchor = node(source, w.at(1).toULongLong(nullptr, 16), "anchor");
        anchor->pos()->setPos(w.at(2).toFloat(), w.at(3).toFloat(), 2);
        heat.nodeUpdated(anchor);
    } else if (op == "m") {
        RtlsObject *n = source.findNode(w.at(1).toULongLong(nullptr, 16));
        n->setMode(w.at(2));
        heat.nodeUpdated(n);
    } else if (op == "sel") {
        heat.selectNode(w.at(1).toULongLong(nullptr, 16));
    } else if (op == "mode") {
        heat.setMode(w.at(1).toInt());
    } else if (op == "min") {
        heat.setMin(w.at(1).toInt());
    } else if (op == "max") {
        heat.setMax(w.at(1).toInt());
    } else if (op == "res") {
        heat.setGridres(w.at(1).toDouble());
    } else if (op == "values") {
        heat.setShowValues(w.at(1) == "1");
    } else if (op == "reset") {
        heat.resetDataStore();
    } else if (op == "box") {
        heat.setLength(w.at(1).toDouble());
        heat.setWidth(w.at(2).toDouble());
    } else {
        QFAIL(qPrintable("unknown step " + w.join(' ')));
    }
}

// Reports of tags walking about a small site, with frames in between.
Steps walk(quint32 seed, int reports, int perFrame, bool ranges)
{
    QRandomGenerator rng(seed);
    Steps steps;
    QVector<QPointF> at(6);
    for (QPointF &p : at)
        p = QPointF(rng.bounded(20.0) - 10, rng.bounded(20.0) - 10);
    for (int i = 0; i < reports; ++i) {
        const int t = int(rng.bounded(at.size()));
        at[t] += QPointF(rng.bounded(1.2) - 0.6, rng.bounded(1.2) - 0.6);
        const int pqf = int(rng.bounded(101));
        QString step = QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(ranges ? "r" : "t")
                           .arg(t + 1, 0, 16)
                           .arg(at[t].x())
                           .arg(at[t].y())
                           .arg(pqf);
        if (ranges)
            step += QStringLiteral(" %1").arg(-60 - rng.bounded(45.0));
        steps << step;
        if ((i + 1) % perFrame == 0)
            steps << "f";
    }
    return steps;
}

// A fix in every cell of a box of 2 m cells, in one frame.
Steps sweep()
{
    Steps steps;
    for (int y = -19; y < 20; y += 2) {
        for (int x = -19; x < 20; x += 2)
            steps << QStringLiteral("t 1 %1 %2 %3").arg(x).arg(y).arg((x + y + 40) % 101);
    }
    return steps;
}

Steps join(std::initializer_list<Steps> parts)
{
    Steps all;
    for (const Steps &part : parts)
        all.append(part);
    return all;
}

} // namespace

class tst_MapHeatResults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMapMetaTypes(); }

    void incrementalEqualsRebuild_data()
    {
        QTest::addColumn<Steps>("steps");
        const Steps square{"a A1 -9 -9", "a A2 9 -9", "a A3 9 9", "a A4 -9 9"};
        QTest::newRow("fixes in one cell, values shown")
            << Steps{"values 1", "t 1 0.5 0.5 40", "f", "t 1 0.6 0.4 80", "f", "t 1 0.7 0.7 80", "f"};
        QTest::newRow("a cell's first sample between sampled ones")
            << Steps{"values 1", "t 1 5.5 5.5 90", "t 1 -5.5 -5.5 10", "f", "t 1 0.5 0.5 50", "t 1 -8.5 3.5 70", "f"};
        QTest::newRow("the box's far edges and outside it")
            << Steps{"values 1", "t 1 0.5 0.5 50", "t 1 20 20 30", "t 1 -20 -20 60", "t 1 20.5 0 90", "f",
                     "t 1 20 -20 45", "f"};
        QTest::newRow("walk, pqf, 1 m cells") << join({Steps{"values 1"}, walk(1, 600, 7, false)});
        QTest::newRow("walk, pqf, values hidden") << walk(2, 600, 13, false);
        QTest::newRow("walk, fine cells") << join({Steps{"res 0.1", "values 1"}, walk(3, 800, 5, false)});
        QTest::newRow("walk, the finest cells the box allows")
            << join({Steps{"res 0.01", "values 1"}, walk(4, 500, 50, false)});
        QTest::newRow("walk, one frame for many reports")
            << join({Steps{"res 0.25", "values 1"}, walk(5, 3000, 3000, false)});
        QTest::newRow("walk, a frame for every report") << join({Steps{"values 1", "res 0.5"}, walk(6, 300, 1, false)});
        QTest::newRow("rssi of the selected tag")
            << join({Steps{"mode 1", "values 1", "sel 1"}, walk(7, 600, 9, true)});
        QTest::newRow("rssi, another tag selected on the way")
            << join({Steps{"mode 1", "values 1", "sel 1"}, walk(8, 300, 9, true), Steps{"sel 2", "f"},
                     walk(9, 300, 9, true)});
        QTest::newRow("pqf samples while rssi is shown, then pqf")
            << join({Steps{"mode 1", "values 1", "sel 3"}, walk(10, 300, 11, true), Steps{"mode 0", "f"},
                     walk(11, 300, 11, true)});
        QTest::newRow("scale changed between frames")
            << join({Steps{"values 1"}, walk(12, 200, 10, false), Steps{"min 30", "max 60"}, walk(13, 200, 10, false),
                     Steps{"max 30", "f", "min 90", "max 10"}, walk(14, 100, 10, false)});
        QTest::newRow("cell size changed between frames")
            << join({Steps{"values 1"}, walk(15, 200, 10, false), Steps{"res 0.3"}, walk(16, 200, 10, false),
                     Steps{"res 2", "box 12 30"}, walk(17, 200, 10, false)});
        QTest::newRow("values shown part of the way")
            << join({walk(18, 200, 10, false), Steps{"values 1"}, walk(19, 200, 10, false), Steps{"values 0"},
                     walk(20, 100, 10, false), Steps{"values 1", "f"}});
        QTest::newRow("data reset between frames")
            << join({Steps{"values 1"}, walk(21, 200, 10, false), Steps{"reset"}, walk(22, 200, 10, false)});
        QTest::newRow("predicted: anchors move, join and leave while tags report")
            << join({Steps{"mode 2", "values 1"}, square, Steps{"f"}, walk(23, 100, 10, false),
                     Steps{"a A5 0 12", "f", "a A2 9 -5", "t 1 0 0 50", "f", "m A3 tag", "f"}});
        QTest::newRow("predicted, then back to fixes")
            << join({Steps{"values 1"}, walk(24, 200, 10, false), Steps{"mode 2"}, square, Steps{"f", "mode 0"},
                     walk(25, 200, 10, false)});
        QTest::newRow("hidden long enough to pile up most cells")
            << join({Steps{"res 2", "values 1", "t 1 0 0 10", "f"}, sweep(), Steps{"f"}, walk(26, 200, 20, false)});
    }

    void incrementalEqualsRebuild()
    {
        QFETCH(Steps, steps);
        FakeNodeSource source;
        Side incremental;
        Side rebuilt;
        int frames = 0;
        int labelled = 0;
        const auto compare = [&] {
            incremental.heat.updateResults();
            rebuilt.heat.refreshResults();
            const QVector<MapHeat::ShownCell> a = incremental.heat.shownCells();
            const QVector<MapHeat::ShownCell> b = rebuilt.heat.shownCells();
            QCOMPARE(a.size(), b.size());
            for (int i = 0; i < a.size(); ++i) {
                const QString at = QStringLiteral("frame %1, cell %2").arg(frames).arg(b[i].cell);
                QVERIFY2(a[i].cell == b[i].cell, qPrintable(at));
                QVERIFY2(a[i].value == b[i].value, qPrintable(at));
                for (int k = 0; k < 4; ++k)
                    QVERIFY2(a[i].rgba[k] == b[i].rgba[k], qPrintable(at));
            }
            const std::vector<Label> la = incremental.labels();
            const std::vector<Label> lb = rebuilt.labels();
            QCOMPARE(la.size(), lb.size());
            for (size_t i = 0; i < la.size(); ++i) {
                const QString at = QStringLiteral("frame %1, label %2").arg(frames).arg(i);
                QVERIFY2(la[i].x == lb[i].x && la[i].y == lb[i].y && la[i].size == lb[i].size, qPrintable(at));
                QCOMPARE(la[i].text, lb[i].text);
            }
            labelled += int(la.size());
            ++frames;
        };
        for (const QString &step : steps) {
            const QStringList words = step.split(' ');
            if (words.at(0) == "f") {
                compare();
                if (QTest::currentTestFailed())
                    return;
                continue;
            }
            apply(source, incremental.heat, words);
            apply(source, rebuilt.heat, words);
        }
        compare();
        // The rows are only worth something when there was something to see.
        QVERIFY(!incremental.heat.shownCells().isEmpty());
        if (incremental.heat.showValues())
            QVERIFY(labelled > 0);
    }
};

QTEST_GUILESS_MAIN(tst_MapHeatResults)
#include "tst_mapheatresults.moc"
