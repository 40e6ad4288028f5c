#include "CameraLevel.h"
#include "MapConstraint.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>
#include <QGLViewer/qglviewer.h>
#include <QtTest>

#include <cmath>

using qglviewer::Quaternion;
using qglviewer::Vec;

namespace {

constexpr double kDeg = M_PI / 180.0;

// A camera heading azimuth degrees from +X, looking elevation degrees down,
// rolled by roll degrees about its view. Elevations beyond 90 describe a
// camera pitched over the vertical.
Quaternion cameraAt(double azimuth, double elevation, double roll)
{
    const double a = azimuth * kDeg;
    const double e = elevation * kDeg;
    const Vec forward(std::cos(a), std::sin(a), 0.0);
    const Vec right(std::sin(a), -std::cos(a), 0.0);
    const Vec view = std::cos(e) * forward - std::sin(e) * Vec(0, 0, 1);
    const Vec z = -view;
    Quaternion q;
    q.setFromRotatedBasis(right, cross(z, right), z);
    return q * Quaternion(Vec(0, 0, 1), roll * kDeg);
}

double degrees(double radians)
{
    return radians / kDeg;
}

// Same heading, angles compared in degrees with a tolerance far below
// anything a user could see.
void compareAngle(double actual, double expected)
{
    double diff = std::remainder(actual - expected, 360.0);
    QVERIFY2(std::abs(diff) < 1e-6, qPrintable(QStringLiteral("%1 vs %2").arg(actual).arg(expected)));
}

} // namespace

class TestMapConstraint : public QObject
{
    Q_OBJECT

private slots:
    void levelRemovesRollAndClampsElevation_data();
    void levelRemovesRollAndClampsElevation();
    void allowedRotationsPassUnchanged_data();
    void allowedRotationsPassUnchanged();
    void pitchPastTheLimitStopsAtIt_data();
    void pitchPastTheLimitStopsAtIt();
    void cameraOrbitKeepsLevelAndTurnsChild();
    void childAttachedLaterTakesCurrentView();
};

void TestMapConstraint::levelRemovesRollAndClampsElevation_data()
{
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    QTest::addColumn<double>("roll");
    QTest::addColumn<double>("expectedElevation");

    QTest::newRow("level and in range") << 30.0 << 45.0 << 0.0 << 45.0;
    QTest::newRow("rolled") << -120.0 << 35.0 << 20.0 << 35.0;
    QTest::newRow("rolled the other way") << 170.0 << 60.0 << -70.0 << 60.0;
    QTest::newRow("looking up") << 10.0 << -10.0 << 0.0 << 0.0;
    QTest::newRow("looking straight up") << 80.0 << -90.0 << 0.0 << 0.0;
    QTest::newRow("horizontal") << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("straight down") << 45.0 << 90.0 << 0.0 << 90.0;
    QTest::newRow("tipped over the vertical") << 200.0 << 110.0 << 0.0 << 90.0;
    QTest::newRow("tipped over and rolled") << -30.0 << 130.0 << 15.0 << 90.0;
    QTest::newRow("rolled a quarter turn") << 90.0 << 30.0 << 90.0 << 30.0;
}

void TestMapConstraint::levelRemovesRollAndClampsElevation()
{
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(double, roll);
    QFETCH(double, expectedElevation);

    const CameraLevel level;
    const Quaternion q = level.level(cameraAt(azimuth, elevation, roll));
    compareAngle(degrees(CameraLevel::roll(q)), 0.0);
    compareAngle(degrees(CameraLevel::elevation(q)), expectedElevation);
    // The heading survives: the user turned the map, not the site.
    compareAngle(degrees(CameraLevel::azimuth(q)), azimuth);
    // A level camera's up vector never points below the floor plane.
    QVERIFY(q.rotate(Vec(0, 1, 0)).z >= -1e-9);
}

void TestMapConstraint::allowedRotationsPassUnchanged_data()
{
    QTest::addColumn<double>("elevation");
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("angle");

    // kind 0: turn about the world's vertical; kind 1: pitch about the camera's right vector.
    QTest::newRow("turn left") << 40.0 << 0 << 25.0;
    QTest::newRow("turn right while looking down") << 90.0 << 0 << -60.0;
    QTest::newRow("pitch down within range") << 40.0 << 1 << -30.0;
    QTest::newRow("pitch up within range") << 40.0 << 1 << 30.0;
}

void TestMapConstraint::allowedRotationsPassUnchanged()
{
    QFETCH(double, elevation);
    QFETCH(int, kind);
    QFETCH(double, angle);

    const Quaternion current = cameraAt(15.0, elevation, 0.0);
    // Local rotation: a world axis is brought into the camera's frame.
    const Vec axis = kind == 0 ? current.inverseRotate(Vec(0, 0, 1)) : Vec(1, 0, 0);
    const Quaternion rotation(axis, angle * kDeg);
    const Quaternion result = CameraLevel().constrainRotation(current, rotation);
    const Quaternion wanted = current * rotation;
    const Quaternion got = current * result;
    for (const Vec &v : {Vec(1, 0, 0), Vec(0, 1, 0), Vec(0, 0, 1)})
        QVERIFY((wanted.rotate(v) - got.rotate(v)).norm() < 1e-9);
}

void TestMapConstraint::pitchPastTheLimitStopsAtIt_data()
{
    QTest::addColumn<double>("elevation");
    QTest::addColumn<double>("pitch");
    QTest::addColumn<double>("expected");

    QTest::newRow("down over the top") << 80.0 << -30.0 << 90.0;
    QTest::newRow("up below the horizon") << 10.0 << 40.0 << 0.0;
}

void TestMapConstraint::pitchPastTheLimitStopsAtIt()
{
    QFETCH(double, elevation);
    QFETCH(double, pitch);
    QFETCH(double, expected);

    const Quaternion current = cameraAt(-45.0, elevation, 0.0);
    const Quaternion result = CameraLevel().constrainRotation(current, Quaternion(Vec(1, 0, 0), pitch * kDeg));
    compareAngle(degrees(CameraLevel::elevation(current * result)), expected);
    compareAngle(degrees(CameraLevel::azimuth(current * result)), -45.0);
}

void TestMapConstraint::cameraOrbitKeepsLevelAndTurnsChild()
{
    QGLViewer map;
    QGLViewer child;
    map.camera()->setPosition(Vec(20, -15, 28));
    map.camera()->setUpVector(Vec(0, 0, 1));
    map.camera()->lookAt(Vec(0, 0, 0));
    child.camera()->setSceneRadius(1.5);
    child.camera()->setPivotPoint(Vec(0, 0, 0));
    child.camera()->setPosition(Vec(0, 0, 4));
    const double childDistance = 4.0;

    MapConstraint constraint(&map);
    constraint.setChildViewer(&child);
    map.camera()->frame()->setConstraint(&constraint);

    // A mouse drag turns the camera about the pivot with a rotation in its
    // own frame; this one rolls and pitches it over the top at once.
    Quaternion drag(Vec(1, 0, 0.8), -1.4);
    map.camera()->frame()->rotateAroundPoint(drag, Vec(0, 0, 0));

    const Quaternion q = map.camera()->orientation();
    compareAngle(degrees(CameraLevel::roll(q)), 0.0);
    const double e = degrees(CameraLevel::elevation(q));
    QVERIFY2(e >= -1e-6 && e <= 90.0 + 1e-6, qPrintable(QString::number(e)));

    // The child looks from the same side, at its own pivot, from its own distance.
    const Vec mapView = map.camera()->viewDirection();
    QVERIFY((child.camera()->viewDirection() - mapView).norm() < 1e-9);
    QVERIFY((child.camera()->upVector() - map.camera()->upVector()).norm() < 1e-9);
    QVERIFY(std::abs((child.camera()->position() - Vec(0, 0, 0)).norm() - childDistance) < 1e-9);

    map.camera()->frame()->setConstraint(nullptr);
}

void TestMapConstraint::childAttachedLaterTakesCurrentView()
{
    QGLViewer map;
    map.camera()->setPosition(Vec(10, 0, 10));
    map.camera()->setUpVector(Vec(0, 0, 1));
    map.camera()->lookAt(Vec(0, 0, 0));
    MapConstraint constraint(&map);
    {
        QGLViewer child;
        constraint.setChildViewer(&child);
        QVERIFY((child.camera()->viewDirection() - map.camera()->viewDirection()).norm() < 1e-9);
    }
    // The child is gone; rotating the map must not reach for it.
    QCOMPARE(constraint.childViewer(), nullptr);
    map.camera()->frame()->setConstraint(&constraint);
    Quaternion turn(Vec(0, 1, 0), 0.3);
    map.camera()->frame()->rotate(turn);
    compareAngle(degrees(CameraLevel::roll(map.camera()->orientation())), 0.0);
    map.camera()->frame()->setConstraint(nullptr);
}

QTEST_MAIN(TestMapConstraint)
#include "tst_mapconstraint.moc"
