// The map's camera apart from the viewer: where a fit to the site puts it,
// checked with libQGLViewer's own camera and projection, and the camera as
// it is kept between runs.
#include "MapCameraPreset.h"
#include "MapCameraState.h"
#include "MapSiteFit.h"

#include <QGLViewer/camera.h>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using qglviewer::Vec;

Q_DECLARE_METATYPE(std::vector<qglviewer::Vec>)

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 560;

// The anchors of the simulated hall, two of them on an upper storey.
std::vector<Vec> hall()
{
    return {{0, 0, 2.5},  {20, 0, 2.5},  {20, 15, 2.5}, {0, 15, 2.5}, {10, 0, 3},
            {10, 15, 3},  {0, 7.5, 2.8}, {20, 7.5, 2.8}, {2, 2, 6.5},  {18, 13, 7}};
}

// A camera placed as the map's preset of that kind places it for the
// default grid, then fitted to the points.
void placeAsPreset(qglviewer::Camera &camera, MapCameraPreset::Kind kind)
{
    const MapCameraPreset::Placement p = MapCameraPreset::placement(kind, Vec(-50, -50, 0), Vec(50, 50, 0));
    camera.setType(p.perspective ? qglviewer::Camera::PERSPECTIVE : qglviewer::Camera::ORTHOGRAPHIC);
    camera.setScreenWidthAndHeight(kWidth, kHeight);
    camera.setSceneBoundingBox(Vec(-50, -50, 0), Vec(50, 50, 0));
    camera.setPosition(p.position);
    camera.setUpVector(p.up);
    camera.lookAt(p.lookAt);
}

} // namespace

class tst_MapCamera : public QObject
{
    Q_OBJECT

private slots:
    void fitShowsTheWholeSite_data();
    void fitShowsTheWholeSite();
    void keptCameraShowsTheSamePicture_data();
    void keptCameraShowsTheSamePicture();
    void stateRoundTrip_data();
    void stateRoundTrip();
    void unusableStateIsNone_data();
    void unusableStateIsNone();
};

void tst_MapCamera::fitShowsTheWholeSite_data()
{
    QTest::addColumn<int>("preset");
    QTest::addColumn<std::vector<Vec>>("points");
    QTest::addColumn<double>("aspect"); // the screen's width over height, 0 for the default
    QTest::addColumn<bool>("spread");   // false: the points are seen as one

    for (const auto &preset : {std::make_pair("3D", MapCameraPreset::Perspective),
                               std::make_pair("top", MapCameraPreset::Top),
                               std::make_pair("front", MapCameraPreset::Front),
                               std::make_pair("side", MapCameraPreset::Side)}) {
        QTest::newRow(qPrintable(QStringLiteral("%1, hall").arg(preset.first)))
            << int(preset.second) << hall() << 0.0 << true;
        QTest::newRow(qPrintable(QStringLiteral("%1, hall, tall view").arg(preset.first)))
            << int(preset.second) << hall() << 0.6 << true;
        // Far from the grid's middle: the fit goes to the site, not the grid.
        std::vector<Vec> away = hall();
        for (Vec &p : away)
            p += Vec(300, -120, 0);
        QTest::newRow(qPrintable(QStringLiteral("%1, hall far off").arg(preset.first)))
            << int(preset.second) << away << 0.0 << true;
        QTest::newRow(qPrintable(QStringLiteral("%1, one anchor").arg(preset.first)))
            << int(preset.second) << std::vector<Vec>{{4, 5, 2}} << 0.0 << false;
        // The front view looks along it.
        QTest::newRow(qPrintable(QStringLiteral("%1, a corridor").arg(preset.first)))
            << int(preset.second) << std::vector<Vec>{{0, 0, 3}, {25, 0, 3}, {50, 0, 3}, {75, 0, 3}} << 0.0
            << (preset.second != MapCameraPreset::Front);
    }
}

// Every point is inside the view, the site fills most of the view's width
// or height, it sits in the middle, and the camera still looks the way the
// preset made it look.
void tst_MapCamera::fitShowsTheWholeSite()
{
    QFETCH(int, preset);
    QFETCH(std::vector<Vec>, points);
    QFETCH(double, aspect);
    QFETCH(bool, spread);

    qglviewer::Camera camera;
    placeAsPreset(camera, MapCameraPreset::Kind(preset));
    if (aspect > 0.0)
        camera.setScreenWidthAndHeight(int(kHeight * aspect), kHeight);
    const Vec direction = camera.viewDirection();
    const Vec up = camera.upVector();

    // The map's scene box: its grid and the site.
    Vec min;
    Vec max;
    QVERIFY(MapSiteFit::extent(points, &min, &max));
    camera.setSceneBoundingBox(Vec(std::min(-50.0, min.x), std::min(-50.0, min.y), std::min(0.0, min.z)),
                               Vec(std::max(50.0, max.x), std::max(50.0, max.y), std::max(0.0, max.z)));
    MapSiteFit::apply(&camera, MapSiteFit::fit(points, MapSiteFit::View::of(camera)));

    // What a frame of the viewer does before it draws.
    camera.computeProjectionMatrix();
    camera.computeModelViewMatrix();
    QVERIFY((camera.viewDirection() - direction).norm() < 1e-9);
    QVERIFY((camera.upVector() - up).norm() < 1e-9);
    const double width = camera.screenWidth();
    const double height = camera.screenHeight();
    double left = width, right = 0, top = height, bottom = 0;
    for (const Vec &p : points) {
        const Vec s = camera.projectedCoordinatesOf(p);
        QVERIFY2(s.x >= 0 && s.x <= width && s.y >= 0 && s.y <= height,
                 qPrintable(QStringLiteral("(%1, %2, %3) at %4, %5").arg(p.x).arg(p.y).arg(p.z).arg(s.x).arg(s.y)));
        QVERIFY2(s.z > 0 && s.z < 1, "between the clipping planes");
        left = std::min(left, s.x);
        right = std::max(right, s.x);
        top = std::min(top, s.y);
        bottom = std::max(bottom, s.y);
    }
    if (spread) {
        // With the margin, the site takes 1 / 1.1 of the view on its
        // limiting side.
        QVERIFY2((right - left) > 0.85 * width || (bottom - top) > 0.85 * height,
                 qPrintable(QStringLiteral("%1 x %2 of %3 x %4").arg(right - left).arg(bottom - top).arg(width).arg(height)));
        QVERIFY(std::fabs((left + right) / 2 - width / 2) < 0.05 * width);
        QVERIFY(std::fabs((top + bottom) / 2 - height / 2) < 0.05 * height);
    } else {
        // One spot is not a site to zoom into: a few metres around it show.
        const Vec s = camera.projectedCoordinatesOf(points.front());
        QVERIFY(std::fabs(s.x - width / 2) < 1 && std::fabs(s.y - height / 2) < 1);
        const Vec aside = camera.projectedCoordinatesOf(points.front() + camera.rightVector() * 1.0);
        QVERIFY2(aside.x - s.x < 0.25 * width, qPrintable(QString::number(aside.x - s.x)));
    }
}

void tst_MapCamera::keptCameraShowsTheSamePicture_data()
{
    QTest::addColumn<int>("preset");
    QTest::newRow("3D") << int(MapCameraPreset::Perspective);
    QTest::newRow("top") << int(MapCameraPreset::Top);
    QTest::newRow("side") << int(MapCameraPreset::Side);
}

// A camera put back from its kept state shows what it showed, also after
// its pivot moved (which changes an orthographic camera's scale).
void tst_MapCamera::keptCameraShowsTheSamePicture()
{
    QFETCH(int, preset);
    qglviewer::Camera shown;
    placeAsPreset(shown, MapCameraPreset::Kind(preset));
    MapSiteFit::apply(&shown, MapSiteFit::fit(hall(), MapSiteFit::View::of(shown)));
    shown.setPivotPoint(Vec(3, 4, 0));
    shown.computeProjectionMatrix();
    shown.computeModelViewMatrix();

    qglviewer::Camera restored;
    placeAsPreset(restored, MapCameraPreset::Kind(preset));
    MapCameraState::of(shown, MapCameraPreset::Kind(preset)).applyTo(&restored);
    restored.computeProjectionMatrix();
    restored.computeModelViewMatrix();
    for (const Vec &p : hall()) {
        const Vec a = shown.projectedCoordinatesOf(p);
        const Vec b = restored.projectedCoordinatesOf(p);
        QVERIFY2(std::fabs(a.x - b.x) < 0.01 && std::fabs(a.y - b.y) < 0.01,
                 qPrintable(QStringLiteral("%1, %2 against %3, %4").arg(a.x).arg(a.y).arg(b.x).arg(b.y)));
    }
}

void tst_MapCamera::stateRoundTrip_data()
{
    QTest::addColumn<int>("preset");
    QTest::newRow("3D") << int(MapCameraPreset::Perspective);
    QTest::newRow("top") << int(MapCameraPreset::Top);
    QTest::newRow("front") << int(MapCameraPreset::Front);
    QTest::newRow("side") << int(MapCameraPreset::Side);
}

void tst_MapCamera::stateRoundTrip()
{
    QFETCH(int, preset);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("layout.ini"));
    MapCameraState state;
    state.preset = MapCameraPreset::Kind(preset);
    state.position = Vec(12.25, -0.1, 1e-7);
    state.orientation = qglviewer::Quaternion(Vec(0.3, -1, 2), 1.234);
    state.pivot = Vec(-3.5, 7.0 / 3.0, 0);
    state.orthoScale = preset == MapCameraPreset::Perspective ? 0.0 : 0.3125;
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("camera"));
        state.write(settings);
    }
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("camera"));
    const std::optional<MapCameraState> read = MapCameraState::read(settings);
    QVERIFY(read);
    QCOMPARE(int(read->preset), preset);
    QCOMPARE(read->position.x, state.position.x);
    QCOMPARE(read->position.y, state.position.y);
    QCOMPARE(read->position.z, state.position.z);
    QCOMPARE(read->pivot.y, state.pivot.y);
    QCOMPARE(read->orthoScale, state.orthoScale);
    for (int i = 0; i < 4; ++i)
        QVERIFY(std::fabs(read->orientation[i] - state.orientation[i]) < 1e-15);
}

void tst_MapCamera::unusableStateIsNone_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("no preset") << "preset" << "";
    QTest::newRow("unknown preset") << "preset" << "diagonal";
    QTest::newRow("two coordinates") << "position" << "1 2";
    QTest::newRow("not a number") << "pivot" << "1 x 3";
    QTest::newRow("not finite") << "position" << "1 inf 3";
    QTest::newRow("no turn") << "orientation" << "0 0 0 0";
    QTest::newRow("negative scale") << "orthoScale" << "-0.5";
    QTest::newRow("missing orientation") << "orientation" << QString();
}

void tst_MapCamera::unusableStateIsNone()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("layout.ini")), QSettings::IniFormat);
    MapCameraState().write(settings);
    QVERIFY(MapCameraState::read(settings));
    if (value.isNull())
        settings.remove(key);
    else
        settings.setValue(key, value);
    QVERIFY(!MapCameraState::read(settings));
}

QTEST_GUILESS_MAIN(tst_MapCamera)
#include "tst_mapcamera.moc"
