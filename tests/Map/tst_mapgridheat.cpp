#include "FakeNodeSource.h"
#include "MapGrid.h"
#include "MapHeat.h"
#include "MapMetaTypes.h"
#include "MapScene.h"
#include "PredictedDop.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

// The grid's lines and storeys and the heat map's cells, values and
// predicted dilution of precision, without a GL context.
class tst_MapGridHeat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMapMetaTypes(); }

    void linePositions_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<double>("step");
        QTest::addColumn<QVector<double>>("lines");
        QTest::newRow("whole metres, ends included") << -2.0 << 2.0 << 1.0 << QVector<double>{-2, -1, 0, 1, 2};
        QTest::newRow("world-aligned, not box-aligned") << 0.5 << 3.2 << 1.0 << QVector<double>{1, 2, 3};
        QTest::newRow("reversed ends") << 1.0 << -1.0 << 0.5 << QVector<double>{-1, -0.5, 0, 0.5, 1};
        QTest::newRow("zero step") << 0.0 << 5.0 << 0.0 << QVector<double>{};
        QTest::newRow("too many lines") << -1e6 << 1e6 << 0.01 << QVector<double>{};
    }

    void linePositions()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, step);
        QFETCH(QVector<double>, lines);
        QCOMPARE(MapGrid::linePositions(from, to, step, 4000), lines);
    }

    void sceneBox()
    {
        MapGrid grid;
        QCOMPARE(grid.sceneMin(), qglviewer::Vec(-50, -50, 0));
        QCOMPARE(grid.sceneMax(), qglviewer::Vec(50, 50, 0));
        grid.setMirrorY(false);
        grid.setX(5);
        QCOMPARE(grid.sceneMin(), qglviewer::Vec(-50, 0, 0));
        QCOMPARE(grid.sceneMax(), qglviewer::Vec(55, 50, 0));
    }

    void storeys_data()
    {
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("extend");
        QTest::addColumn<int>("storeys");
        QTest::newRow("flat grid") << 0.0 << 2.0 << 1;
        QTest::newRow("floors not spread") << 9.0 << 0.0 << 1;
        QTest::newRow("three storeys") << 9.0 << 2.0 << 3;
        QTest::newRow("a partial storey counts") << 7.0 << 1.0 << 3;
    }

    void storeys()
    {
        QFETCH(double, height);
        QFETCH(double, extend);
        QFETCH(int, storeys);
        MapGrid grid;
        grid.setHeight(height);
        QCOMPARE(grid.storeys(3.0, extend), storeys);
    }

    void gridSettersEmitOnChange()
    {
        MapGrid grid;
        QSignalSpy changed(&grid, &MapGrid::changed);
        grid.setStepSize(5);
        grid.setStepSize(0);
        grid.setGridres(-1);
        QCOMPARE(changed.count(), 0);
        grid.setStepSize(2);
        grid.setGridres(0.5);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(grid.toJSON().value("step-size").toInt(), 2);
    }

    void cells()
    {
        MapHeat heat;
        // The default box: from (-20, -20), 40 x 40, one-metre cells.
        QCOMPARE(heat.columns(), 40);
        QCOMPARE(heat.rows(), 40);
        QCOMPARE(heat.cellAt(-20, -20), 0);
        QCOMPARE(heat.cellAt(-19.5, -18.5), 40);
        QCOMPARE(heat.cellAt(20, 20), 40 * 40 - 1);
        QCOMPARE(heat.cellAt(20.01, 0), -1);
        QCOMPARE(heat.cellAt(0, -20.01), -1);
        heat.setGridres(0.001);
        // A request finer than the cap is coarsened, not allocated.
        QCOMPARE(heat.columns(), 512);
    }

    void pqfAccumulates()
    {
        FakeNodeSource source;
        MapHeat heat;
        RtlsObject *tag = source.add(1, "tag", 0.5f, 0.5f, 0);
        for (int pqf : {40, 60, 80}) {
            tag->pos()->setPQF(uint8_t(pqf));
            heat.nodeUpdated(tag);
        }
        // Anchors do not make fixes, and nodes without position are skipped.
        heat.nodeUpdated(source.add(2, "anchor", 0.5f, 0.5f, 0));
        RtlsObject *bare = source.add(3, "tag");
        heat.nodeUpdated(bare);
        QVERIFY(!bare->hasPos());
        // Nor does a tag made by one report (an id of a flood).
        RtlsObject *once = source.add(4, "tag", 0.5f, 0.5f, 0);
        once->pos()->setPQF(200);
        once->setMsgFlags(Rtls::kMsgHeardOnce);
        heat.nodeUpdated(once);
        const int cell = heat.cellAt(0.5, 0.5);
        QCOMPARE(heat.samples(cell), 3);
        QCOMPARE(heat.value(cell), 60.0);
        QVERIFY(std::isnan(heat.value(heat.cellAt(5, 5))));
        heat.resetDataStore();
        QCOMPARE(heat.samples(cell), 0);
    }

    void rssiOfTheSelectedNode()
    {
        FakeNodeSource source;
        MapHeat heat;
        heat.setMode(MapHeat::Rssi);
        // The scale follows the new mode while untouched.
        QCOMPARE(heat.min(), -100);
        QCOMPARE(heat.max(), -60);
        RtlsObject *tag = source.add(7, "tag", 1.5f, 1.5f, 0);
        tag->meas()->updateFromJson(QJsonDocument::fromJson(
            "[{\"anchor\":\"0x01\",\"dist\":3,\"tqf\":1,\"rssi\":-80},{\"anchor\":\"0x02\",\"dist\":4,\"tqf\":1,\"rssi\":-90}]").array());
        heat.nodeUpdated(tag);
        QCOMPARE(heat.samples(heat.cellAt(1.5, 1.5)), 0);
        heat.selectNode(7);
        heat.nodeUpdated(tag);
        QCOMPARE(heat.value(heat.cellAt(1.5, 1.5)), -85.0);
        // Another node starts a map of its own.
        heat.selectNode(8);
        QCOMPARE(heat.samples(heat.cellAt(1.5, 1.5)), 0);
    }

    void hdop_data()
    {
        QTest::addColumn<QVector<qglviewer::Vec>>("anchors");
        QTest::addColumn<qglviewer::Vec>("at");
        QTest::addColumn<double>("hdop");
        const QVector<qglviewer::Vec> square{{-5, -5, 0}, {5, -5, 0}, {5, 5, 0}, {-5, 5, 0}};
        // Unit vectors (±1/√2, ±1/√2): HᵀH = 2·I, so HDOP = sqrt(1/2 + 1/2).
        QTest::newRow("centre of a square") << square << qglviewer::Vec(0, 0, 0) << 1.0;
        // Two anchors at right angles: HᵀH = I, HDOP = sqrt(2).
        QTest::newRow("two at right angles")
            << QVector<qglviewer::Vec>{{10, 0, 0}, {0, 10, 0}} << qglviewer::Vec(0, 0, 0) << std::sqrt(2.0);
        // Three at 120°: HᵀH = 1.5·I, HDOP = sqrt(4/3).
        QTest::newRow("three at 120 degrees")
            << QVector<qglviewer::Vec>{{10, 0, 0}, {-5, 8.660254037844386, 0}, {-5, -8.660254037844386, 0}}
            << qglviewer::Vec(0, 0, 0) << std::sqrt(4.0 / 3.0);
        // Anchors 3 m up over a point 4 m away: each horizontal part is 4/5.
        QTest::newRow("anchors above the tag plane")
            << QVector<qglviewer::Vec>{{4, 0, 3}, {0, 4, 3}} << qglviewer::Vec(0, 0, 0) << std::sqrt(2.0) / 0.8;
        QTest::newRow("all on one line: no fix")
            << QVector<qglviewer::Vec>{{10, 0, 0}, {-10, 0, 0}} << qglviewer::Vec(0, 0, 0)
            << std::numeric_limits<double>::infinity();
        QTest::newRow("one anchor: nothing to say")
            << QVector<qglviewer::Vec>{{10, 0, 0}} << qglviewer::Vec(0, 0, 0) << std::numeric_limits<double>::quiet_NaN();
    }

    void hdop()
    {
        QFETCH(QVector<qglviewer::Vec>, anchors);
        QFETCH(qglviewer::Vec, at);
        QFETCH(double, hdop);
        const double got = PredictedDop::hdop(at, anchors);
        if (std::isnan(hdop))
            QVERIFY(std::isnan(got));
        else if (std::isinf(hdop))
            QVERIFY(std::isinf(got));
        else
            QVERIFY2(std::fabs(got - hdop) < 1e-9, qPrintable(QString::number(got)));
    }

    void hdopMapFromAnchors()
    {
        FakeNodeSource source;
        MapHeat heat;
        heat.setMode(MapHeat::Hdop);
        QCOMPARE(heat.min(), 1);
        QCOMPARE(heat.max(), 5);
        for (const auto &corner : {qglviewer::Vec(-10, -10, 0), qglviewer::Vec(10, -10, 0),
                                   qglviewer::Vec(10, 10, 0), qglviewer::Vec(-10, 10, 0)}) {
            static uint64_t id = 100;
            heat.nodeUpdated(source.add(++id, "anchor", float(corner.x), float(corner.y), float(corner.z)));
        }
        // Good inside the square, worse far outside it.
        const double inside = heat.value(heat.cellAt(0.5, 0.5));
        const double outside = heat.value(heat.cellAt(19.5, -19.5));
        QVERIFY(inside < 1.1);
        QVERIFY(outside > inside);
        QVERIFY(heat.scalePosition(inside) > heat.scalePosition(outside));
        QCOMPARE(heat.scalePosition(std::numeric_limits<double>::infinity()), 0.0);
    }

    void anchorsLeaveTheLayout()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        MapHeat *heat = scene.heat();
        heat->setMode(MapHeat::Hdop);
        // A square of anchors round the centre of the cell at (0.5, 0.5).
        const float lo = -9.5f;
        const float hi = 10.5f;
        const QVector<RtlsObject *> anchors{
            source.add(0xA1, "anchor", lo, lo, 0), source.add(0xA2, "anchor", hi, lo, 0),
            source.add(0xA3, "anchor", hi, hi, 0), source.add(0xA4, "anchor", lo, hi, 0)};
        for (RtlsObject *anchor : anchors) {
            scene.nodeUpdated(anchor);
            heat->nodeUpdated(anchor);
        }
        const int centre = heat->cellAt(0.5, 0.5);
        QVERIFY(std::fabs(heat->value(centre) - 1.0) < 1e-9);
        // Set to a tag, the second one no longer counts: two opposite corners
        // and a third give sqrt(trace / det) = sqrt(3 / 2).
        anchors[1]->setMode("tag");
        heat->nodeUpdated(anchors[1]);
        const double three = heat->value(centre);
        QVERIFY2(std::fabs(three - std::sqrt(1.5)) < 1e-9, qPrintable(QString::number(three)));
        // Gone from the master's list: only the diagonal is left, no fix.
        QSignalSpy changed(heat, &MapHeat::changed);
        source.remove(0xA4);
        scene.refreshAnchors();
        QVERIFY(std::isinf(heat->value(centre)));
        QVERIFY(changed.count() > 0);
    }

    void heatJson()
    {
        MapHeat heat;
        heat.fromJSON(QJsonDocument::fromJson(
            "{\"x\":1,\"length\":10,\"width\":5,\"show\":true,\"showvalues\":true,\"gridres\":0.5,\"mode\":1,"
            "\"min\":-90,\"max\":-50}").object());
        QCOMPARE(heat.columns(), 20);
        QCOMPARE(heat.rows(), 10);
        MapHeat copy;
        copy.fromJSON(heat.toJSON());
        QCOMPARE(copy.toJSON(), heat.toJSON());
        QCOMPARE(copy.mode(), int(MapHeat::Rssi));
        QCOMPARE(copy.min(), -90);
        QVERIFY(copy.show());
    }
};

QTEST_GUILESS_MAIN(tst_MapGridHeat)
#include "tst_mapgridheat.moc"
