#include "RtlsMetaTypes.h"
#include "RtlsPos.h"
#include "TlvBytes.h"

#include <QJsonDocument>
#include <QtTest>

#include <limits>

namespace {

// Brings a fresh position to an averaging depth by its own slots:
// 'i' = incrAvg, 'd' = decrAvg.
void applyOps(RtlsPos &p, const QString &ops)
{
    for (QChar c : ops)
        c == 'i' ? p.incrAvg() : p.decrAvg();
}

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

QString compact(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

} // namespace

class tst_RtlsPos : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerRtlsMetaTypes(); }

    void initialValues()
    {
        RtlsPos p;
        QCOMPARE(p.pqf(), uint8_t(100));
        QCOMPARE(p.flags(), 0x200u);
        QCOMPARE(p.avg(), uint8_t(0));
    }

    void averaging_data()
    {
        QTest::addColumn<QString>("ops");
        QTest::addColumn<int>("avg");
        QTest::newRow("first incr") << "i" << 40;
        QTest::newRow("incr after 4") << "di" << 40;
        QTest::newRow("incr from 40") << "ii" << 41;
        QTest::newRow("incr to 255") << QString(216, 'i') << 255;
        QTest::newRow("incr from 255 wraps to 40") << QString(217, 'i') << 40;
        QTest::newRow("decr from 0") << "d" << 4;
        QTest::newRow("decr from 4") << "dd" << 0;
        QTest::newRow("decr from 40") << "id" << 4;
        QTest::newRow("decr from 0 again") << "ddd" << 4;
    }

    void averaging()
    {
        QFETCH(QString, ops);
        QFETCH(int, avg);
        RtlsPos p;
        applyOps(p, ops);
        QCOMPARE(int(p.avg()), avg);
    }

    void fromJson_data()
    {
        QTest::addColumn<QString>("ops");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<float>("x");
        QTest::addColumn<float>("y");
        QTest::addColumn<float>("z");
        QTest::addColumn<uint>("result");
        QTest::addColumn<uint>("flags");
        // Every row starts from x=y=z=2 with flags 0x200.
        QTest::newRow("avg 0 replaces") << "" << QByteArray(R"({"x":5})") << 5.f << 2.f << 2.f << 0x220u << 0x220u;
        QTest::newRow("avg 4 weighs") << "d" << QByteArray(R"({"x":7})") << 3.f << 2.f << 2.f << 0x220u << 0x220u;
        QTest::newRow("all three") << "" << QByteArray(R"({"x":1,"y":-1,"z":0.5})") << 1.f << -1.f << .5f << 0x2E0u << 0x2E0u;
        QTest::newRow("none") << "" << QByteArray(R"({})") << 2.f << 2.f << 2.f << 0x200u << 0x200u;
        QTest::newRow("x not a number") << "" << QByteArray(R"({"x":"5"})") << 2.f << 2.f << 2.f << 0x200u << 0x200u;
        QTest::newRow("y null") << "" << QByteArray(R"({"y":null})") << 2.f << 2.f << 2.f << 0x200u << 0x200u;
        QTest::newRow("z not a number") << "" << QByteArray(R"({"z":true})") << 2.f << 2.f << 2.f << 0x200u << 0x200u;
        // Finite as a double, infinite as the float it is stored in.
        QTest::newRow("x beyond float range") << "" << QByteArray(R"({"x":1e39,"y":3})") << 2.f << 3.f << 2.f << 0x240u << 0x240u;
        QTest::newRow("z beyond float range, negative") << "" << QByteArray(R"({"z":-4e38})") << 2.f << 2.f << 2.f << 0x200u << 0x200u;
        QTest::newRow("largest float kept") << "" << QByteArray(R"({"x":3.4e38})") << 3.4e38f << 2.f << 2.f << 0x220u << 0x220u;
    }

    void fromJson()
    {
        QFETCH(QString, ops);
        QFETCH(QByteArray, in);
        RtlsPos p;
        p.setPos(2, 2, 2);
        p.setFlags(0x200);
        applyOps(p, ops);
        QFETCH(uint, result);
        QCOMPARE(p.updateFromJson(QJsonDocument::fromJson(in).object()), result);
        QTEST(p.x(), "x");
        QTEST(p.y(), "y");
        QTEST(p.z(), "z");
        QTEST(p.flags(), "flags");
    }

    void fromJsonHeadingAndPqfAreDirect()
    {
        RtlsPos p;
        p.incrAvg();
        p.updateFromJson(json(R"({"heading":90.5,"pqf":300})"));
        QCOMPARE(p.heading(), 90.5f);
        QCOMPARE(p.pqf(), uint8_t(300 & 0xFF));
    }

    void toJson_data()
    {
        QTest::addColumn<float>("x");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<uint>("mask");
        QTest::addColumn<QString>("out");
        QTest::newRow("fresh") << 0.f << 0x200u << 0u << "{}";
        QTest::newRow("own flags") << 1.23456f << 0x2E0u << 0u << R"({"x":1.235,"y":2,"z":3})";
        QTest::newRow("mask y") << 1.23456f << 0x2E0u << 0x40u << R"({"y":2})";
        QTest::newRow("mask over flags") << 1.f << 0x200u << 0xA0u << R"({"x":1,"z":3})";
        QTest::newRow("half up") << 0.0625f << 0x20u << 0u << R"({"x":0.063})";
        QTest::newRow("half away from zero") << -0.0625f << 0x20u << 0u << R"({"x":-0.063})";
    }

    void toJson()
    {
        QFETCH(float, x);
        QFETCH(uint, flags);
        QFETCH(uint, mask);
        RtlsPos p;
        p.setPos(x, 2, 3);
        p.setFlags(flags);
        QTEST(compact(p.toJson(mask)), "out");
    }

    void fromTlv_data()
    {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        QTest::addColumn<QString>("ops");
        QTest::addColumn<QByteArray>("run");
        QTest::addColumn<int>("ret");
        QTest::addColumn<float>("x");
        QTest::addColumn<float>("y");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<float>("heading");
        QTest::addColumn<int>("pqf");
        // Every row starts from x=y=z=2 with flags 0x200, heading 0, pqf 100.
        QTest::newRow("x at avg 0") << "" << tlv('P', le32(5)) << 1 << 5.f << 2.f << 0x220u << 0.f << 100;
        QTest::newRow("x at avg 4") << "d" << tlv('P', le32(7)) << 1 << 3.f << 2.f << 0x220u << 0.f << 100;
        QTest::newRow("x y heading pqf") << "" << tlv('P', le32(1)) + tlv('Q', le32(-1)) + tlv('S', le32(45)) + tlv('T', "\x07")
                                         << 4 << 1.f << -1.f << 0x260u << 45.f << 7;
        QTest::newRow("nan keeps position") << "" << tlv('P', le32(1)) + tlv('Q', le32(nan)) << 2 << 2.f << 2.f << 0x200u << 0.f << 100;
        QTest::newRow("infinity keeps position") << "" << tlv('R', le32(std::numeric_limits<float>::infinity())) << 1 << 2.f << 2.f << 0x200u << 0.f << 100;
        QTest::newRow("unknown skipped") << "" << tlv('\x01', "abc") + tlv('P', le32(4)) << 2 << 4.f << 2.f << 0x220u << 0.f << 100;
        QTest::newRow("short float skipped") << "" << tlv('P', QByteArray(2, '\0')) << 1 << 2.f << 2.f << 0x200u << 0.f << 100;
        QTest::newRow("long float first bytes") << "" << tlv('P', le32(6) + "zz") << 1 << 6.f << 2.f << 0x220u << 0.f << 100;
        QTest::newRow("empty pqf skipped") << "" << tlv('T', QByteArray()) << 1 << 2.f << 2.f << 0x200u << 0.f << 100;
        QTest::newRow("empty run") << "" << QByteArray() << -1 << 2.f << 2.f << 0x200u << 0.f << 100;
        QTest::newRow("truncated keeps direct values") << "" << tlv('S', le32(10)) + tlv('P', le32(9)) + QByteArray("R\x04\x00", 3)
                                                       << -1 << 2.f << 2.f << 0x200u << 10.f << 100;
    }

    void fromTlv()
    {
        QFETCH(QString, ops);
        QFETCH(QByteArray, run);
        RtlsPos p;
        p.setPos(2, 2, 2);
        p.setFlags(0x200);
        applyOps(p, ops);
        // Exact-size copy so that a read past the run is an ASan error.
        QByteArray copy(run.constData(), run.size());
        QTEST(p.updateFromTlv(copy.isEmpty() ? nullptr : copy.constData(), copy.size()), "ret");
        QTEST(p.x(), "x");
        QTEST(p.y(), "y");
        QCOMPARE(p.z(), 2.f);
        QTEST(p.flags(), "flags");
        QTEST(p.heading(), "heading");
        QTEST(int(p.pqf()), "pqf");
    }

    // What the reports said stays beside the smoothed position, for the
    // tools that judge the location engine itself.
    void reportedValuesBeforeAveraging_data()
    {
        QTest::addColumn<bool>("tlv");
        QTest::newRow("json") << false;
        QTest::newRow("tlv") << true;
    }

    void reportedValuesBeforeAveraging()
    {
        QFETCH(bool, tlv);
        RtlsPos p;
        p.setPos(0, 0, 0);
        QCOMPARE(p.reportedX(), 0.f);
        applyOps(p, "i"); // depth 40: a still tag
        if (tlv) {
            const QByteArray run = ::tlv('P', le32(4.1f)) + ::tlv('Q', le32(8.2f));
            p.updateFromTlv(run.constData(), run.size());
        } else {
            p.updateFromJson(json(R"({"x":4.1,"y":8.2})"));
        }
        QCOMPARE(p.x(), 0.1f);
        QCOMPARE(p.reportedX(), 4.1f);
        QCOMPARE(p.reportedY(), 8.2f);
        // A coordinate the report did not give keeps its last report.
        QCOMPARE(p.reportedZ(), 0.f);
        p.setZ(3);
        QCOMPARE(p.reportedZ(), 3.f);
    }

    void setterFlags()
    {
        RtlsPos p;
        p.setHeading(1);
        p.setPQF(5);
        QCOMPARE(p.flags(), 0x200u);
        p.setY(1);
        QCOMPARE(p.flags(), 0x240u);
        p.setPos(1, 2, 3);
        QCOMPARE(p.flags(), 0x2E0u);
        p.setFlags(0);
        QCOMPARE(p.flags(), 0u);
    }

    void distance()
    {
        RtlsPos a;
        RtlsPos b;
        a.setPos(1, 1, 1);
        b.setPos(4, 5, 1);
        QCOMPARE(a.distance(b), 5.0);
    }

    void properties()
    {
        RtlsPos p;
        QVERIFY(p.setProperty("x", 1.5f));
        QVERIFY(p.setProperty("pqf", QVariant::fromValue<uint8_t>(7)));
        QVERIFY(p.setProperty("flags", QVariant::fromValue<uint32_t>(0x20)));
        QCOMPARE(p.x(), 1.5f);
        QCOMPARE(p.property("pqf").value<uint8_t>(), uint8_t(7));
        QCOMPARE(p.flags(), 0x20u);
    }
};

QTEST_GUILESS_MAIN(tst_RtlsPos)
#include "tst_rtlspos.moc"
