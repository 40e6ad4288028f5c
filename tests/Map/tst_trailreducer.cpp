#include "MapMetaTypes.h"
#include "TrailReducer.h"

#include <QGLViewer/camera.h>
#include <QtTest>

#include <cmath>
#include <random>
#include <vector>

using qglviewer::Vec;

namespace {

// A camera 10 m above the origin looking straight down on an 800 x 600
// window: about 72 pixels a metre on the floor.
void lookDown(qglviewer::Camera &camera)
{
    camera.setScreenWidthAndHeight(800, 600);
    camera.setType(qglviewer::Camera::PERSPECTIVE);
    camera.setPosition(Vec(0, 0, 10));
    camera.setUpVector(Vec(0, 1, 0));
    camera.lookAt(Vec(0, 0, 0));
    // projectedCoordinatesOf() reads the matrices as last computed.
    camera.computeProjectionMatrix();
    camera.computeModelViewMatrix();
}

bool same(const Vec &a, const Vec &b)
{
    return (a - b).norm() < 1e-6;
}

double pixelsPerMetre(const qglviewer::Camera &camera)
{
    return (camera.projectedCoordinatesOf(Vec(1, 0, 0)) - camera.projectedCoordinatesOf(Vec(0, 0, 0))).norm();
}

// Window distance from point p to the segment a-b (all on screen).
double distanceToSegment(const Vec &p, const Vec &a, const Vec &b)
{
    const Vec ab(b.x - a.x, b.y - a.y, 0);
    const Vec ap(p.x - a.x, p.y - a.y, 0);
    const double length2 = ab.squaredNorm();
    const double t = length2 > 0 ? std::max(0.0, std::min(1.0, (ap * ab) / length2)) : 0.0;
    return (ap - t * ab).norm();
}

} // namespace

// Which points of a trail a frame hands the GL: the strip through the kept
// points must stay within the tolerance of the full trail on screen, and
// keep both ends.
class tst_TrailReducer : public QObject
{
    Q_OBJECT

private slots:
    void staysWithinThePixel_data();
    void staysWithinThePixel();
    void behindTheCameraIsKept();
    void boxOffScreen_data();
    void boxOffScreen();
    void viewChangesWithTheCamera();
};

void tst_TrailReducer::staysWithinThePixel_data()
{
    // Trails on the floor, by their step in pixels on screen and shape.
    QTest::addColumn<QString>("shape");
    QTest::addColumn<double>("stepPixels");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("mostKept");
    QTest::addColumn<int>("leastKept");
    QTest::newRow("straight, a tenth of a pixel: both ends") << "line" << 0.1 << 1000 << 2 << 2;
    QTest::newRow("straight, under half a pixel: both ends") << "line" << 0.45 << 200 << 2 << 2;
    QTest::newRow("straight, two pixels: both ends") << "line" << 2.0 << 100 << 2 << 2;
    QTest::newRow("straight with noise inside half a pixel") << "noisy" << 0.5 << 1000 << 3 << 2;
    QTest::newRow("standing still: both ends") << "still" << 0.0 << 500 << 2 << 2;
    QTest::newRow("jitter inside a pixel: both ends") << "jitter" << 0.3 << 500 << 3 << 2;
    QTest::newRow("zigzag below a pixel") << "zigzag" << 0.4 << 2000 << 1000 << 2;
    QTest::newRow("zigzag of five pixels: its corners") << "zigzag" << 5.0 << 200 << 82 << 78;
    QTest::newRow("spiral, a fifth of a pixel") << "spiral" << 0.2 << 3000 << 40 << 15;
    QTest::newRow("circle of 20 pixels, a pixel a step") << "circle" << 1.0 << 500 << 80 << 40;
    QTest::newRow("turns back on itself") << "back" << 0.3 << 400 << 3 << 3;
    QTest::newRow("random walk of six pixels a step: nearly all") << "walk" << 6.0 << 500 << 500 << 400;
}

void tst_TrailReducer::staysWithinThePixel()
{
    QFETCH(QString, shape);
    QFETCH(double, stepPixels);
    QFETCH(int, points);
    QFETCH(int, mostKept);
    QFETCH(int, leastKept);
    qglviewer::Camera camera;
    lookDown(camera);
    const double step = stepPixels / pixelsPerMetre(camera);
    std::vector<Vec> trail;
    double angle = 0;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < points; ++i) {
        const double s = i * step;
        if (shape == "line")
            trail.push_back(Vec(-2 + s, 0.5, 0));
        else if (shape == "still")
            trail.push_back(Vec(1, 1, 0));
        else if (shape == "jitter")
            trail.push_back(Vec(1 + step * std::sin(i * 1.7), 1 + step * std::cos(i * 2.3), 0));
        else if (shape == "noisy")
            trail.push_back(Vec(-2 + s, 0.5 + 0.45 * step * unit(random), 0));
        else if (shape == "back")
            // Out along a line and back past the start.
            trail.push_back(Vec(i < points / 2 ? s : 2 * (points / 2) * step - s, 0.25, 0));
        else if (shape == "walk") {
            const Vec last = trail.empty() ? Vec(0, 0, 0) : trail.back();
            const double heading = M_PI * unit(random);
            trail.push_back(last + Vec(step * std::cos(heading), step * std::sin(heading), 0));
        } else if (shape == "circle") {
            const double r = 20 * step;
            trail.push_back(Vec(r * std::cos(i / 20.0), r * std::sin(i / 20.0), 0));
        } else if (shape == "zigzag")
            trail.push_back(Vec(-1 + s * 0.7, ((i / 5) % 2 ? step : -step) + 0.1 * std::sin(s), 0));
        else {
            // Steps of the given length along a widening spiral.
            const double r = 0.5 + 0.0005 * i;
            trail.push_back(Vec(r * std::cos(angle), r * std::sin(angle), 0));
            angle += step / r;
        }
    }

    TrailReducer reducer(TrailReducer::View::of(camera), 1.0);
    std::vector<float> kept{42.0f}; // what start() must clear
    reducer.start(&kept);
    for (const Vec &p : trail)
        reducer.add(p.x, p.y, p.z);
    reducer.finish();

    const int n = int(kept.size() / 3);
    QVERIFY2(n >= leastKept && n <= mostKept, qPrintable(QString::number(n)));
    std::vector<Vec> screen;
    for (int i = 0; i < n; ++i)
        screen.push_back(camera.projectedCoordinatesOf(Vec(kept[3 * i], kept[3 * i + 1], kept[3 * i + 2])));
    // Both ends as they are.
    QVERIFY(same(Vec(kept[0], kept[1], kept[2]), Vec(float(trail.front().x), float(trail.front().y), 0.0f)));
    QVERIFY(same(Vec(kept[3 * n - 3], kept[3 * n - 2], kept[3 * n - 1]),
                 Vec(float(trail.back().x), float(trail.back().y), 0.0f)));
    // Every point of the full trail lies within a pixel of the reduced
    // strip, measured by the camera's own projection.
    for (const Vec &p : trail) {
        const Vec s = camera.projectedCoordinatesOf(p);
        double best = (s - screen.back()).norm();
        for (size_t k = 0; k + 1 < screen.size(); ++k)
            best = std::min(best, distanceToSegment(s, screen[k], screen[k + 1]));
        QVERIFY2(best <= 1.0 + 1e-6, qPrintable(QStringLiteral("%1 pixels off").arg(best)));
    }
}

void tst_TrailReducer::behindTheCameraIsKept()
{
    qglviewer::Camera camera;
    lookDown(camera);
    TrailReducer reducer(TrailReducer::View::of(camera), 1.0);
    std::vector<float> kept;
    reducer.start(&kept);
    // Above the camera, so behind it: each point kept as it is, and the
    // first one in front after them too.
    for (int i = 0; i < 5; ++i)
        reducer.add(0, 0, 20 + 0.0001 * i);
    reducer.add(0, 0, 0);
    reducer.add(0, 0.00001, 0);
    reducer.finish();
    QCOMPARE(int(kept.size() / 3), 7);

    // Into the space behind the camera: the GL clips the segment from the
    // last point in front, so that point is kept even when it lay within a
    // pixel of the one before.
    reducer.start(&kept);
    reducer.add(0, 0, 0);
    reducer.add(0.001, 0, 0);
    reducer.add(0.002, 0, 20);
    reducer.add(0.003, 0, 0);
    reducer.finish();
    const std::vector<float> expected{0, 0, 0, 0.001f, 0, 0, 0.002f, 0, 20, 0.003f, 0, 0};
    QCOMPARE(kept, expected);
}

void tst_TrailReducer::boxOffScreen_data()
{
    QTest::addColumn<Vec>("lo");
    QTest::addColumn<Vec>("hi");
    QTest::addColumn<bool>("outside");
    // The camera sees about +-5.5 m by +-4.1 m of the floor.
    QTest::newRow("in the middle") << Vec(-1, -1, 0) << Vec(1, 1, 1) << false;
    QTest::newRow("far to the right") << Vec(50, -1, 0) << Vec(60, 1, 0) << true;
    QTest::newRow("far to the left") << Vec(-60, -1, 0) << Vec(-50, 1, 0) << true;
    QTest::newRow("beyond the top") << Vec(-1, 30, 0) << Vec(1, 31, 0) << true;
    QTest::newRow("behind the camera") << Vec(-1, -1, 12) << Vec(1, 1, 13) << true;
    QTest::newRow("beyond the far plane") << Vec(-1, -1, -1e6) << Vec(1, 1, -1e6 + 1) << true;
    QTest::newRow("across the edge") << Vec(4, -1, 0) << Vec(60, 1, 0) << false;
    // Every corner is off screen, but beyond different edges: the box
    // spans the view and is drawn.
    QTest::newRow("round the whole view") << Vec(-60, -60, -1) << Vec(60, 60, 1) << false;
    QTest::newRow("round the camera") << Vec(-1, -1, 5) << Vec(1, 1, 15) << false;
}

void tst_TrailReducer::boxOffScreen()
{
    QFETCH(Vec, lo);
    QFETCH(Vec, hi);
    QFETCH(bool, outside);
    qglviewer::Camera camera;
    lookDown(camera);
    camera.setSceneRadius(20);
    const double l[3] = {lo.x, lo.y, lo.z};
    const double h[3] = {hi.x, hi.y, hi.z};
    QCOMPARE(TrailReducer::outside(TrailReducer::View::of(camera), l, h), outside);
}

void tst_TrailReducer::viewChangesWithTheCamera()
{
    qglviewer::Camera camera;
    lookDown(camera);
    const TrailReducer::View before = TrailReducer::View::of(camera);
    QVERIFY(before == TrailReducer::View::of(camera));
    camera.setPosition(Vec(0, 0, 11));
    QVERIFY(before != TrailReducer::View::of(camera));
    lookDown(camera);
    camera.setScreenWidthAndHeight(801, 600);
    QVERIFY(before != TrailReducer::View::of(camera));
}

QTEST_MAIN(tst_TrailReducer)
#include "tst_trailreducer.moc"
