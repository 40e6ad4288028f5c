#include "MapCameraPreset.h"
#include "MapConstants.h"
#include "MapFigures.h"
#include "MapMetaTypes.h"

#include <QtTest>

#include <cmath>


// The geometry drawn for the selected node and the camera presets, without
// a GL context.
class tst_MapFigures : public QObject
{
    Q_OBJECT

private slots:
    void presets_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("perspective");
        QTest::addColumn<qglviewer::Vec>("up");
        QTest::addColumn<qglviewer::Vec>("position");
        QTest::addColumn<qglviewer::Vec>("lookAt");
        // The default grid: 50 x 50 mirrored, so the box is -50..50.
        QTest::newRow("perspective") << int(MapCameraPreset::Perspective) << true << qglviewer::Vec(0, 0, 1)
                                     << qglviewer::Vec(100, -75, 80) << qglviewer::Vec(0, 0, 0);
        QTest::newRow("front") << int(MapCameraPreset::Front) << false << qglviewer::Vec(0, 0, 1)
                               << qglviewer::Vec(-50, 0, 2) << qglviewer::Vec(50, 0, 2);
        QTest::newRow("side") << int(MapCameraPreset::Side) << false << qglviewer::Vec(0, 0, 1)
                              << qglviewer::Vec(0, 50, 2) << qglviewer::Vec(0, -50, 2);
        QTest::newRow("top") << int(MapCameraPreset::Top) << false << qglviewer::Vec(0, 1, 0)
                             << qglviewer::Vec(0, 0, 1000) << qglviewer::Vec(0, 0, 0);
    }

    void presets()
    {
        QFETCH(int, kind);
        QFETCH(bool, perspective);
        QFETCH(qglviewer::Vec, up);
        QFETCH(qglviewer::Vec, position);
        QFETCH(qglviewer::Vec, lookAt);
        const MapCameraPreset::Placement p = MapCameraPreset::placement(
            MapCameraPreset::Kind(kind), qglviewer::Vec(-50, -50, 0), qglviewer::Vec(50, 50, 0));
        QCOMPARE(p.perspective, perspective);
        QCOMPARE(p.up, up);
        QCOMPARE(p.position, position);
        QCOMPARE(p.lookAt, lookAt);
    }

    void distanceSegment_data()
    {
        QTest::addColumn<qglviewer::Vec>("p");
        QTest::addColumn<qglviewer::Vec>("q");
        QTest::addColumn<double>("d");
        QTest::addColumn<bool>("drawn");
        QTest::addColumn<qglviewer::Vec>("end");
        QTest::newRow("short of the node") << qglviewer::Vec(0, 0, 0) << qglviewer::Vec(10, 0, 0) << 4.0 << true
                                           << qglviewer::Vec(4, 0, 0);
        QTest::newRow("beyond the node") << qglviewer::Vec(1, 1, 0) << qglviewer::Vec(1, 4, 0) << 5.0 << true
                                         << qglviewer::Vec(1, 6, 0);
        QTest::newRow("coincident points") << qglviewer::Vec(2, 2, 2) << qglviewer::Vec(2, 2, 2) << 3.0 << false
                                           << qglviewer::Vec();
    }

    void distanceSegment()
    {
        QFETCH(qglviewer::Vec, p);
        QFETCH(qglviewer::Vec, q);
        QFETCH(double, d);
        QFETCH(bool, drawn);
        QFETCH(qglviewer::Vec, end);
        qglviewer::Vec got;
        QCOMPARE(MapFigures::distanceSegment(p, q, d, got), drawn);
        if (drawn)
            QCOMPARE(got, end);
    }

    void circleFacesTheCamera()
    {
        // A camera looking along -x (turned 90 degrees about y from the
        // default -z view direction).
        qglviewer::Quaternion facing(qglviewer::Vec(0, 1, 0), M_PI / 2);
        qglviewer::Vec points[Map::kCircleVertices];
        const qglviewer::Vec centre(5, 1, 2);
        MapFigures::circle(centre, 3.0, facing, points);
        const qglviewer::Vec viewAxis = facing.rotate(qglviewer::Vec(0, 0, 1));
        for (const qglviewer::Vec &p : points) {
            QVERIFY(std::fabs((p - centre).norm() - 3.0) < 1e-9);
            QVERIFY(std::fabs((p - centre) * viewAxis) < 1e-9);
        }
        // Successive points are 2 pi / 64 apart.
        const double chord = 2 * 3.0 * std::sin(M_PI / Map::kCircleVertices);
        QVERIFY(std::fabs((points[1] - points[0]).norm() - chord) < 1e-9);
    }

    void hyperbolaIsTheLocus_data()
    {
        QTest::addColumn<double>("ta");
        QTest::addColumn<double>("tb");
        // Times in seconds; the baseline is 10 m, about 33 ns of flight.
        QTest::newRow("nearer a") << 10e-9 << 20e-9;
        QTest::newRow("nearer b") << 20e-9 << 12e-9;
        QTest::newRow("almost the baseline") << 1e-9 << 33e-9;
    }

    void hyperbolaIsTheLocus()
    {
        QFETCH(double, ta);
        QFETCH(double, tb);
        const qglviewer::Vec a(0, 0, 0);
        const qglviewer::Vec b(10, 0, 0);
        const qglviewer::Vec s(3, 4, 0);
        qglviewer::Vec points[Map::kHyperbolaPoints];
        QCOMPARE(MapFigures::timeDifferenceLocus(a, b, s, ta, tb, points), Map::kHyperbolaPoints);
        const double delta = (tb - ta) * Map::kSpeedOfLight;
        for (const qglviewer::Vec &p : points) {
            // Every point is delta farther from b than from a, in the plane
            // of the anchors and the node.
            QVERIFY2(std::fabs(((p - b).norm() - (p - a).norm()) - delta) < 1e-6,
                     qPrintable(QString::number((p - b).norm() - (p - a).norm())));
            QCOMPARE(p.z, 0.0);
        }
    }

    void degenerateLoci_data()
    {
        QTest::addColumn<qglviewer::Vec>("b");
        QTest::addColumn<qglviewer::Vec>("s");
        QTest::addColumn<double>("ta");
        QTest::addColumn<double>("tb");
        QTest::addColumn<int>("points");
        QTest::addColumn<qglviewer::Vec>("first");
        QTest::addColumn<qglviewer::Vec>("last");
        const qglviewer::Vec s(3, 4, 0);
        QTest::newRow("equal times: the bisector")
            << qglviewer::Vec(10, 0, 0) << s << 5e-9 << 5e-9 << 2 << qglviewer::Vec(5, 0, 0)
            << qglviewer::Vec(5, 1000, 0);
        QTest::newRow("difference beyond the baseline: past the earlier anchor")
            << qglviewer::Vec(10, 0, 0) << s << 1e-9 << 60e-9 << 2 << qglviewer::Vec(0, 0, 0)
            << qglviewer::Vec(-1000, 0, 0);
        QTest::newRow("b heard first") << qglviewer::Vec(10, 0, 0) << s << 60e-9 << 1e-9 << 2
                                       << qglviewer::Vec(10, 0, 0) << qglviewer::Vec(1010, 0, 0);
        QTest::newRow("coincident anchors") << qglviewer::Vec(0, 0, 0) << s << 1e-9 << 2e-9 << 0
                                            << qglviewer::Vec() << qglviewer::Vec();
        QTest::newRow("node on the anchors' line")
            << qglviewer::Vec(10, 0, 0) << qglviewer::Vec(4, 0, 0) << 10e-9 << 20e-9 << 0 << qglviewer::Vec()
            << qglviewer::Vec();
        QTest::newRow("a zero time") << qglviewer::Vec(10, 0, 0) << s << 0.0 << 2e-9 << 0 << qglviewer::Vec()
                                     << qglviewer::Vec();
    }

    void degenerateLoci()
    {
        QFETCH(qglviewer::Vec, b);
        QFETCH(qglviewer::Vec, s);
        QFETCH(double, ta);
        QFETCH(double, tb);
        QFETCH(int, points);
        QFETCH(qglviewer::Vec, first);
        QFETCH(qglviewer::Vec, last);
        qglviewer::Vec out[Map::kHyperbolaPoints];
        const int n = MapFigures::timeDifferenceLocus(qglviewer::Vec(0, 0, 0), b, s, ta, tb, out);
        QCOMPARE(n, points);
        if (n > 0) {
            QCOMPARE(out[0], first);
            QCOMPARE(out[n - 1], last);
        }
        for (int i = 0; i < n; ++i)
            QVERIFY(std::isfinite(out[i].x) && std::isfinite(out[i].y) && std::isfinite(out[i].z));
    }
};

QTEST_GUILESS_MAIN(tst_MapFigures)
#include "tst_mapfigures.moc"
