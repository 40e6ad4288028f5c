#include "RtlsIMU.h"
#include "RtlsMetaTypes.h"
#include "TlvBytes.h"

#include <QtTest>

class tst_RtlsIMU : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerRtlsMetaTypes(); }

    void fromTlv_data()
    {
        QTest::addColumn<QByteArray>("run");
        QTest::addColumn<int>("ret");
        QTest::addColumn<QString>("property");
        QTest::addColumn<float>("value");
        QTest::newRow("am signed") << tlv('<', "\xF6") << 1 << "am" << -10.f;
        QTest::newRow("vbat") << tlv('?', le32(3.3f)) << 1 << "vbat" << 3.3f;
        QTest::newRow("q0") << tlv('\x40', le32(0.5f)) << 1 << "q0" << .5f;
        QTest::newRow("q1") << tlv('A', le32(0.25f)) << 1 << "q1" << .25f;
        QTest::newRow("q2") << tlv('B', le32(-1)) << 1 << "q2" << -1.f;
        QTest::newRow("q3") << tlv('C', le32(1)) << 1 << "q3" << 1.f;
        QTest::newRow("temperature") << tlv('D', le32(21.5f)) << 1 << "temperature" << 21.5f;
        QTest::newRow("0x3D skipped") << tlv('=', le32(9)) + tlv('C', le32(2)) << 2 << "q3" << 2.f;
        QTest::newRow("0x3E skipped") << tlv('>', le32(9)) << 1 << "q3" << 0.f;
        QTest::newRow("short float skipped") << tlv('D', "\x01\x02") << 1 << "temperature" << 0.f;
        QTest::newRow("long float first bytes") << tlv('D', le32(4) + le32(8)) << 1 << "temperature" << 4.f;
        QTest::newRow("empty") << QByteArray() << 0 << "q0" << 0.f;
        QTest::newRow("truncated keeps earlier") << tlv('A', le32(3)) + QByteArray("B", 1) << -1 << "q1" << 3.f;
    }

    void fromTlv()
    {
        QFETCH(QByteArray, run);
        QFETCH(QString, property);
        RtlsIMU imu;
        QByteArray copy(run.constData(), run.size());
        QTEST(imu.updateFromTlv(copy.isEmpty() ? nullptr : copy.constData(), copy.size()), "ret");
        QTEST(imu.property(property.toLatin1()).toFloat(), "value");
    }

    void properties()
    {
        RtlsIMU imu;
        QVERIFY(imu.setProperty("pressure", QVariant::fromValue<uint32_t>(101325)));
        QVERIFY(imu.setProperty("io", QVariant::fromValue<uint8_t>(0x82)));
        QCOMPARE(imu.pressure(), 101325u);
        QCOMPARE(imu.io(), uint8_t(0x82));
        imu.setQuat(1, 2, 3, 4);
        QCOMPARE(QVector<float>({imu.q0(), imu.q1(), imu.q2(), imu.q3()}), QVector<float>({1, 2, 3, 4}));
    }
};

QTEST_GUILESS_MAIN(tst_RtlsIMU)
#include "tst_rtlsimu.moc"
