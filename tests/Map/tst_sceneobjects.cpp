#include "CubeVolume.h"
#include "MapGeometry.h"
#include "MapMetaTypes.h"
#include "NodeObject.h"
#include "PositionHistory.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

QString compact(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

} // namespace

// The scene objects without a GL context: JSON, containment, signals,
// node labels and headings, the bounded history and floor spreading.
class tst_SceneObjects : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMapMetaTypes(); }

    void boxJson_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("default box") << QByteArray("{}") << QByteArray("{\"height\":2,\"length\":2,\"width\":2}");
        QTest::newRow("position, zero coordinates left out")
            << QByteArray("{\"x\":1.5,\"y\":0,\"z\":-2}")
            << QByteArray("{\"height\":2,\"length\":2,\"width\":2,\"x\":1.5,\"z\":-2}");
        QTest::newRow("sizes")
            << QByteArray("{\"length\":-3,\"width\":0.5,\"height\":0}")
            << QByteArray("{\"height\":0,\"length\":-3,\"width\":0.5}");
        QTest::newRow("wrong types keep the defaults")
            << QByteArray("{\"x\":\"1\",\"length\":\"9\",\"width\":true,\"orientQ3\":null}")
            << QByteArray("{\"height\":2,\"length\":2,\"width\":2}");
        QTest::newRow("unit orientation kept")
            << QByteArray("{\"orientQ0\":0,\"orientQ1\":0,\"orientQ2\":0.6,\"orientQ3\":0.8}")
            << QByteArray("{\"height\":2,\"length\":2,\"orientQ0\":0,\"orientQ1\":0,\"orientQ2\":0.6,\"orientQ3\":0.8,\"width\":2}");
        QTest::newRow("orientation normalised")
            << QByteArray("{\"orientQ0\":0,\"orientQ1\":0,\"orientQ2\":3,\"orientQ3\":4}")
            << QByteArray("{\"height\":2,\"length\":2,\"orientQ0\":0,\"orientQ1\":0,\"orientQ2\":0.6,\"orientQ3\":0.8,\"width\":2}");
        QTest::newRow("zero quaternion is the identity")
            << QByteArray("{\"orientQ0\":0,\"orientQ1\":0,\"orientQ2\":0,\"orientQ3\":0}")
            << QByteArray("{\"height\":2,\"length\":2,\"width\":2}");
    }

    void boxJson()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        CubeVolume box;
        QSignalSpy frames(&box, &AbstractObject::newFrame);
        QSignalSpy sizes(&box, &CubeVolume::newSize);
        box.fromJSON(json(in));
        QCOMPARE(compact(box.toJSON()), QString::fromUtf8(out));
        // Reading sets values directly.
        QCOMPARE(frames.count(), 0);
        QCOMPARE(sizes.count(), 0);
        // What is written reads back the same.
        CubeVolume copy;
        copy.fromJSON(box.toJSON());
        QCOMPARE(compact(copy.toJSON()), QString::fromUtf8(out));
    }

    void isInside_data()
    {
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("z");
        QTest::addColumn<bool>("inside");
        const QByteArray unit = "{\"x\":1,\"y\":1,\"z\":0}";
        QTest::newRow("centre") << unit << 2.0 << 2.0 << 1.0 << true;
        QTest::newRow("on the lower face") << unit << 1.0 << 2.0 << 1.0 << true;
        QTest::newRow("on the upper face") << unit << 3.0 << 2.0 << 1.0 << true;
        QTest::newRow("lower corner") << unit << 1.0 << 1.0 << 0.0 << true;
        QTest::newRow("upper corner") << unit << 3.0 << 3.0 << 2.0 << true;
        QTest::newRow("just beyond a face") << unit << 3.0001 << 2.0 << 1.0 << false;
        QTest::newRow("below") << unit << 2.0 << 2.0 << -0.0001 << false;
        QTest::newRow("NaN is outside") << unit << std::nan("") << 2.0 << 1.0 << false;
        const QByteArray negative = "{\"x\":0,\"y\":0,\"z\":0,\"length\":-2}";
        QTest::newRow("negative length, negative side") << negative << -1.0 << 1.0 << 1.0 << true;
        QTest::newRow("negative length, positive side") << negative << 1.0 << 1.0 << 1.0 << false;
        const QByteArray upstairs = "{\"x\":0,\"y\":0,\"z\":3,\"height\":3}";
        QTest::newRow("second storey, floor") << upstairs << 1.0 << 1.0 << 3.0 << true;
        QTest::newRow("second storey, ceiling") << upstairs << 1.0 << 1.0 << 6.0 << true;
        QTest::newRow("second storey, first storey below") << upstairs << 1.0 << 1.0 << 2.9 << false;
    }

    void isInside()
    {
        QFETCH(QByteArray, box);
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, z);
        QFETCH(bool, inside);
        CubeVolume cube;
        cube.fromJSON(json(box));
        QCOMPARE(cube.isInside(qglviewer::Vec(x, y, z)), inside);
    }

    void sizeSignals()
    {
        CubeVolume box;
        QSignalSpy length(&box, &CubeVolume::lengthChanged);
        QSignalSpy size(&box, &CubeVolume::newSize);
        box.setLength(2.0);
        QCOMPARE(length.count(), 0);
        QCOMPARE(size.count(), 0);
        box.setLength(3.0);
        QCOMPARE(length.count(), 1);
        QCOMPARE(length.at(0).at(0).toDouble(), 3.0);
        QCOMPARE(size.count(), 1);
        QCOMPARE(size.at(0).at(0).value<qglviewer::Vec>(), qglviewer::Vec(3, 2, 2));
        box.setSize(qglviewer::Vec(3, 2, 2.000001));
        QCOMPARE(size.count(), 1);
        box.setSize(qglviewer::Vec(3, 2, 2.1));
        QCOMPARE(size.count(), 2);
    }

    void coordinateSignals()
    {
        CubeVolume box;
        QStringList order;
        connect(&box, &AbstractObject::xChanged, this, [&](double) { order << "x"; });
        connect(&box, &AbstractObject::newFrame, this, [&](const qglviewer::Frame &f) {
            order << QStringLiteral("frame %1").arg(f.position().x);
        });
        box.setX(0.0);
        box.setX(4.0);
        QCOMPARE(order, QStringList({"x", "frame 4"}));
        QCOMPARE(box.property("x").toDouble(), 4.0);
        qglviewer::Frame frame;
        frame.setPosition(1, 2, 3);
        box.setFrame(frame);
        QCOMPARE(box.y(), 2.0);
        QCOMPARE(order.last(), QStringLiteral("frame 1"));
    }

    void nodeLabel_data()
    {
        QTest::addColumn<quint64>("id");
        QTest::addColumn<QString>("label");
        QTest::newRow("short id padded") << quint64(0x5) << "...0005";
        QTest::newRow("four digits") << quint64(0x2BCD) << "...2BCD";
        QTest::newRow("long id keeps the last four") << quint64(0xDECA12ABC) << "...2ABC";
    }

    void nodeLabel()
    {
        QFETCH(quint64, id);
        QFETCH(QString, label);
        NodeObject node;
        node.setId(id);
        QCOMPARE(node.label(), label);
        // A label once set is not replaced by another id.
        node.setId(0x1);
        QCOMPARE(node.label(), label);
    }

    void nodeHeading()
    {
        NodeObject node;
        node.setHeading(90.0);
        const qglviewer::Quaternion q = node.frame().orientation();
        QVERIFY(std::fabs(q[2] + std::sin(M_PI / 4)) < 1e-9);
        QVERIFY(std::fabs(q[3] - std::cos(M_PI / 4)) < 1e-9);
        // Minus the heading about z: the glyph's +y turns towards +x.
        const qglviewer::Vec ahead = q.rotate(qglviewer::Vec(0, 1, 0));
        QVERIFY((ahead - qglviewer::Vec(1, 0, 0)).norm() < 1e-9);
    }

    void nodeMovesAndRemembers()
    {
        NodeObject node;
        QVERIFY(!node.isPlaced());
        QSignalSpy moved(&node, &NodeObject::nodeObjectMovedSignal);
        node.setPosition(1, 2, 3);
        node.setPosition(4, 5, 6);
        QVERIFY(node.isPlaced());
        QCOMPARE(moved.count(), 2);
        QCOMPARE(node.x(), 4.0);
        QCOMPARE(node.history().size(), 2);
        QCOMPARE(node.history().at(0), qglviewer::Vec(4, 5, 6));
        QCOMPARE(node.history().at(1), qglviewer::Vec(1, 2, 3));
        // Standing still adds nothing.
        node.setPosition(4, 5, 6);
        QCOMPARE(node.history().size(), 2);
        node.clearHistory();
        QCOMPARE(node.history().size(), 0);
        QCOMPARE(node.history().bytes(), size_t(0));
    }

    void historyBound()
    {
        PositionHistory history(36000);
        // A walk of distinct centimetre positions.
        auto x = [](int i) { return (i % 2000) * 0.01; };
        auto y = [](int i) { return (i / 2000) * 0.01; };
        for (int i = 0; i < 36001; ++i)
            history.push(x(i), y(i), 1.5);
        QCOMPARE(history.size(), 36000);
        QVERIFY((history.at(0) - qglviewer::Vec(x(36000), y(36000), 1.5)).norm() < 1e-4);
        QVERIFY((history.at(35999) - qglviewer::Vec(x(1), y(1), 1.5)).norm() < 1e-4);
        // Exactly the limit is held, six bytes a point and one origin.
        QCOMPARE(history.bytes(), size_t(36000 * 6 + 32));
    }

    void historyUnits()
    {
        PositionHistory history(10);
        history.push(12.3456, -7.891, 2.0);
        // Kept to the centimetre from a whole-metre origin.
        QVERIFY((history.at(0) - qglviewer::Vec(12.35, -7.89, 2.0)).norm() < 1e-4);
        history.push(12.3461, -7.8899, 2.001);
        QCOMPARE(history.size(), 1);
        history.push(std::nan(""), 0, 0);
        QCOMPARE(history.size(), 1);
    }

    // Every point to the centimetre however far it lies from the others: a
    // tag on a large yard, a wild first fix, a walk across a kilometre.
    void historyFarFromFirst_data()
    {
        QTest::addColumn<QVector<qglviewer::Vec>>("points");
        using V = qglviewer::Vec;
        QTest::newRow("hundreds of metres east and west")
            << QVector<V>{{0, 0, 1}, {400.12, 0, 1}, {-400.34, 0, 1}, {650.5, -650.5, 1}, {0.01, 0.02, 1}};
        QTest::newRow("all three axes beyond the units")
            << QVector<V>{{1, 2, 3}, {-500, 600, -700}, {1, 2, 3.01}, {500, -600, 700}};
        QTest::newRow("wild first fix, then the real track")
            << QVector<V>{{48211.7, -99310.2, 5000}, {1.5, 1, 0}, {2.5, 1, 0}, {3.5, 1.25, 0}, {4.5, 1.5, 0}};
        QVector<V> walk;
        for (int i = 0; i <= 400; ++i)
            walk.append(V(-1000 + i * 5.03, 2000 - i * 10.07, 1.2));
        QTest::newRow("across the yard, one step at a time") << walk;
        QVector<V> jumps;
        for (int i = 0; i < 40; ++i)
            jumps.append(V(i % 2 ? 3000.5 : -3000.25, i * 0.5, 0));
        QTest::newRow("jumping between two far places") << jumps;
    }

    void historyFarFromFirst()
    {
        QFETCH(QVector<qglviewer::Vec>, points);
        PositionHistory history(1000);
        for (const qglviewer::Vec &p : qAsConst(points))
            history.push(p.x, p.y, p.z);
        QCOMPARE(history.size(), points.size());
        // What at() gives and what the trail draws, point by point.
        QVector<qglviewer::Vec> drawn;
        history.forEachRun(history.size(), [&drawn](const PositionHistory::Run &run) {
            for (int k = 0; k < run.count; ++k) {
                const int16_t *u = run.data + 3 * k;
                drawn.append(qglviewer::Vec(run.origin[0] + u[0] * PositionHistory::kMetresPerUnit,
                                            run.origin[1] + u[1] * PositionHistory::kMetresPerUnit,
                                            run.origin[2] + u[2] * PositionHistory::kMetresPerUnit));
            }
        });
        QCOMPARE(drawn.size(), points.size());
        for (int i = 0; i < points.size(); ++i) {
            const qglviewer::Vec &want = points.at(points.size() - 1 - i);
            QVERIFY2((history.at(i) - want).norm() < 0.0087, qPrintable(QString::number(i)));
            QVERIFY2((drawn.at(points.size() - 1 - i) - want).norm() < 0.0087, qPrintable(QString::number(i)));
        }
    }

    void historyFarKeepsItsLimit()
    {
        // A ring that wraps while its points open new origins again and
        // again still holds exactly its limit, oldest dropped first.
        PositionHistory history(50);
        for (int i = 0; i < 1000; ++i)
            history.push(i % 3 ? i * 400.0 : -i * 400.0, 0, 0);
        QCOMPARE(history.size(), 50);
        for (int i = 0; i < 50; ++i) {
            const int k = 999 - i;
            QCOMPARE(history.at(i).x, k % 3 ? k * 400.0 : -k * 400.0);
        }
        int points = 0;
        history.forEachRun(50, [&points](const PositionHistory::Run &run) { points += run.count; });
        QCOMPARE(points, 50);
        // The origins of dropped points are let go of too.
        QVERIFY2(history.bytes() <= 50 * (6 + 3 * 32), qPrintable(QString::number(history.bytes())));
    }

    void historyRuns_data()
    {
        QTest::addColumn<int>("pushed");
        QTest::addColumn<int>("wanted");
        QTest::addColumn<int>("runs");
        // Limit 8: the ring wraps after eight points.
        QTest::newRow("fewer than wanted") << 3 << 5 << 1;
        QTest::newRow("not yet wrapped") << 8 << 5 << 1;
        QTest::newRow("wrapped, newest contiguous") << 11 << 3 << 1;
        QTest::newRow("wrapped, split") << 11 << 6 << 2;
        QTest::newRow("wrapped, all") << 11 << 8 << 2;
        QTest::newRow("wrapped exactly at the end") << 16 << 8 << 1;
    }

    void historyRuns()
    {
        QFETCH(int, pushed);
        QFETCH(int, wanted);
        QFETCH(int, runs);
        PositionHistory history(8);
        for (int i = 1; i <= pushed; ++i)
            history.push(i, -i, 0.5);
        // Oldest first, one point after the other, ending with the newest.
        QVector<double> xs;
        const int count = history.forEachRun(wanted, [&xs](const PositionHistory::Run &run) {
            for (int i = 0; i < run.count; ++i) {
                const double px = run.origin[0] + run.data[i * 3] * PositionHistory::kMetresPerUnit;
                const double py = run.origin[1] + run.data[i * 3 + 1] * PositionHistory::kMetresPerUnit;
                xs.append(std::round(px));
                QCOMPARE(std::round(py), -std::round(px));
            }
        });
        QCOMPARE(count, runs);
        const int expected = std::min(wanted, std::min(pushed, 8));
        QCOMPARE(xs.size(), expected);
        for (int i = 0; i < expected; ++i)
            QCOMPARE(xs.at(i), double(pushed - expected + 1 + i));
    }

    void spread_data()
    {
        QTest::addColumn<double>("z");
        QTest::addColumn<double>("size");
        QTest::addColumn<double>("extend");
        QTest::addColumn<double>("drawn");
        QTest::newRow("no gap") << 4.0 << 3.0 << 0.0 << 4.0;
        QTest::newRow("second storey lifted") << 4.0 << 3.0 << 2.0 << 6.0;
        QTest::newRow("below ground lowered") << -1.0 << 3.0 << 2.0 << -3.0;
        QTest::newRow("ground storey") << 2.9 << 3.0 << 2.0 << 2.9;
        QTest::newRow("storey boundary") << 3.0 << 3.0 << 2.0 << 5.0;
        QTest::newRow("third storey") << 7.5 << 3.0 << 1.0 << 9.5;
        QTest::newRow("zero floor size leaves z") << 7.5 << 0.0 << 1.0 << 7.5;
    }

    void spread()
    {
        QFETCH(double, z);
        QFETCH(double, size);
        QFETCH(double, extend);
        QFETCH(double, drawn);
        QCOMPARE(MapGeometry::spread(z, size, extend), drawn);
    }

    void labelSize_data()
    {
        QTest::addColumn<double>("distance");
        QTest::addColumn<int>("points");
        QTest::newRow("near") << 5.0 << 10;
        QTest::newRow("just below 20") << 19.99 << 10;
        QTest::newRow("20") << 20.0 << 10;
        QTest::newRow("30") << 30.0 << 5;
        QTest::newRow("37.9") << 37.9 << 1;
        QTest::newRow("38 hidden") << 38.0 << 0;
        QTest::newRow("NaN hidden") << std::numeric_limits<double>::quiet_NaN() << 0;
    }

    void labelSize()
    {
        QFETCH(double, distance);
        QFETCH(int, points);
        QCOMPARE(MapGeometry::labelPointSize(distance), points);
    }
};

QTEST_GUILESS_MAIN(tst_SceneObjects)
#include "tst_sceneobjects.moc"
