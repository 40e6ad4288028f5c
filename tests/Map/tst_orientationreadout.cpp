#include "OrientationReadout.h"

#include <QtTest>

#include <cmath>

class TestOrientationReadout : public QObject
{
    Q_OBJECT

private slots:
    void anglesAndLines_data();
    void anglesAndLines();
    void rotationTurnsTheBody_data();
    void rotationTurnsTheBody();
    void label_data();
    void label();
};

void TestOrientationReadout::anglesAndLines_data()
{
    QTest::addColumn<QVector<float>>("q");
    QTest::addColumn<QString>("angles");

    const float h = float(std::sqrt(0.5));
    // Half-angle sines and cosines of 30 degrees.
    const float c15 = float(std::cos(M_PI / 12)), s15 = float(std::sin(M_PI / 12));
    QTest::newRow("identity") << QVector<float>{1, 0, 0, 0} << "Roll: 0.0°  Pitch: 0.0°  Yaw: 0.0°";
    QTest::newRow("yaw 90") << QVector<float>{h, 0, 0, h} << "Roll: 0.0°  Pitch: 0.0°  Yaw: 90.0°";
    QTest::newRow("yaw -90") << QVector<float>{h, 0, 0, -h} << "Roll: 0.0°  Pitch: 0.0°  Yaw: -90.0°";
    QTest::newRow("roll 30") << QVector<float>{c15, s15, 0, 0} << "Roll: 30.0°  Pitch: 0.0°  Yaw: 0.0°";
    QTest::newRow("pitch 30") << QVector<float>{c15, 0, s15, 0} << "Roll: 0.0°  Pitch: 30.0°  Yaw: 0.0°";
    QTest::newRow("not unit length") << QVector<float>{0, 0, 0, 3} << "Roll: 0.0°  Pitch: 0.0°  Yaw: 180.0°";
    QTest::newRow("negated is the same turn") << QVector<float>{-h, 0, 0, -h} << "Roll: 0.0°  Pitch: 0.0°  Yaw: 90.0°";
    QTest::newRow("zero") << QVector<float>{0, 0, 0, 0} << "no orientation data";
    QTest::newRow("not a number") << QVector<float>{std::nanf(""), 0, 0, 1} << "no orientation data";
    QTest::newRow("infinite") << QVector<float>{INFINITY, 0, 0, 0} << "no orientation data";
}

void TestOrientationReadout::anglesAndLines()
{
    QFETCH(QVector<float>, q);
    QFETCH(QString, angles);

    OrientationReadout r;
    QCOMPARE(r.lines(), QStringList{QStringLiteral("No selection")});
    r.select(0x2001, QStringLiteral("0x2001 Forklift"));
    r.setQuaternion(q[0], q[1], q[2], q[3]);
    QCOMPARE(r.lines(), (QStringList{QStringLiteral("0x2001 Forklift"), angles}));
    if (!r.hasData()) {
        const qglviewer::Quaternion &rot = r.rotation();
        QCOMPARE(rot[3], 1.0);
    }
    r.clearSelection();
    QCOMPARE(r.lines(), QStringList{QStringLiteral("No selection")});
}

void TestOrientationReadout::rotationTurnsTheBody_data()
{
    QTest::addColumn<QVector<float>>("q");
    QTest::addColumn<QVector<double>>("xAxis");

    const float h = float(std::sqrt(0.5));
    QTest::newRow("yaw 90: X to +Y") << QVector<float>{h, 0, 0, h} << QVector<double>{0, 1, 0};
    QTest::newRow("pitch 90: X to -Z") << QVector<float>{h, 0, h, 0} << QVector<double>{0, 0, -1};
    QTest::newRow("roll leaves X") << QVector<float>{h, h, 0, 0} << QVector<double>{1, 0, 0};
}

void TestOrientationReadout::rotationTurnsTheBody()
{
    QFETCH(QVector<float>, q);
    QFETCH(QVector<double>, xAxis);

    OrientationReadout r;
    r.select(1, QStringLiteral("0x0001"));
    r.setQuaternion(q[0], q[1], q[2], q[3]);
    const qglviewer::Vec x = r.rotation().rotate(qglviewer::Vec(1, 0, 0));
    QVERIFY((x - qglviewer::Vec(xAxis[0], xAxis[1], xAxis[2])).norm() < 1e-6);
}

void TestOrientationReadout::label_data()
{
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("label");

    QTest::newRow("no name") << quint64(0x1a2) << QString() << "0x01A2";
    QTest::newRow("name is the id") << quint64(0x2001) << "0x2001" << "0x2001";
    QTest::newRow("named") << quint64(0x2001) << "Forklift" << "0x2001 Forklift";
    QTest::newRow("64-bit id") << quint64(0xFFFFFFFFFFFFFFFFull) << QString() << "0xFFFFFFFFFFFFFFFF";
}

void TestOrientationReadout::label()
{
    QFETCH(quint64, id);
    QFETCH(QString, name);
    QFETCH(QString, label);
    QCOMPARE(OrientationReadout::label(id, name), label);
}

QTEST_APPLESS_MAIN(TestOrientationReadout)
#include "tst_orientationreadout.moc"
