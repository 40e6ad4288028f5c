#include "RtlsMeas.h"
#include "TlvBytes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

Q_DECLARE_METATYPE(RtlsMeas::Table)

namespace {

RtlsMeasEntry entry(int32_t kind, float value, float rssi, int32_t tqf, float stdev = 0, uint64_t extra = 0)
{
    RtlsMeasEntry e;
    e.kind = kind;
    e.value = value;
    e.rssi = rssi;
    e.tqf = tqf;
    e.stdev = stdev;
    e.extra = extra;
    return e;
}

} // namespace

class tst_RtlsMeas : public QObject
{
    Q_OBJECT

private slots:
    void fromJson_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<RtlsMeas::Table>("expected");
        QTest::newRow("dist without stdev")
            << QByteArray(R"([{"anchor":"0x1A","dist":2.5,"tqf":3,"rssi":-80}])")
            << RtlsMeas::Table{{0x1A, entry(1, 2.5f, -80, 3)}};
        QTest::newRow("dist with stdev, tqf only")
            << QByteArray(R"([{"anchor":"1b","dist":1,"tqf":7,"stdev":0.25}])")
            << RtlsMeas::Table{{0x1B, entry(1, 1, 7, 0, 0.25f)}};
        QTest::newRow("dqf as rssi")
            << QByteArray(R"([{"anchor":"1","dist":1,"dqf":9}])")
            << RtlsMeas::Table{{1, entry(1, 1, 9, 0)}};
        QTest::newRow("quality carries to next element")
            << QByteArray(R"([{"anchor":"1","dist":1,"tqf":2,"rssi":-70},{"anchor":"2","dist":3}])")
            << RtlsMeas::Table{{1, entry(1, 1, -70, 2)}, {2, entry(1, 3, -70, 2)}};
        QTest::newRow("toa")
            << QByteArray(R"([{"anchor":"5","toa":123.5,"tqf":4,"rssi":-60}])")
            << RtlsMeas::Table{{5, entry(2, 123.5f, -60, 4)}};
        QTest::newRow("toa without rssi ignored")
            << QByteArray(R"([{"anchor":"5","toa":123.5,"tqf":4}])") << RtlsMeas::Table{};
        QTest::newRow("no value ignored") << QByteArray(R"([{"anchor":"5","tqf":4,"rssi":1}])") << RtlsMeas::Table{};
        QTest::newRow("no anchor ignored") << QByteArray(R"([{"dist":1}])") << RtlsMeas::Table{};
        QTest::newRow("numeric anchor ignored") << QByteArray(R"([{"anchor":5,"dist":1}])") << RtlsMeas::Table{};
        QTest::newRow("unparsable anchor ignored") << QByteArray(R"([{"anchor":"zz","dist":1}])") << RtlsMeas::Table{};
        QTest::newRow("not an object ignored") << QByteArray(R"([3,"x",null])") << RtlsMeas::Table{};
        QTest::newRow("same anchor twice keeps second")
            << QByteArray(R"([{"anchor":"7","dist":1},{"anchor":"0x0007","dist":2}])")
            << RtlsMeas::Table{{7, entry(1, 2, 0, 0)}};
    }

    void fromJson()
    {
        QFETCH(QByteArray, in);
        QFETCH(RtlsMeas::Table, expected);
        RtlsMeas m;
        QCOMPARE(m.updateFromJson(QJsonDocument::fromJson(in).array()), 4u);
        QCOMPARE(m.current(), expected);
    }

    void jsonShiftsCurrentToPrevious()
    {
        RtlsMeas m;
        m.updateFromJson(QJsonDocument::fromJson(R"([{"anchor":"1","dist":1}])").array());
        const RtlsMeas::Table first = m.current();
        m.updateFromJson(QJsonDocument::fromJson(R"([{"anchor":"2","dist":2}])").array());
        QCOMPARE(m.previous(), first);
        QCOMPARE(m.current().keys(), QList<uint64_t>{2});
        m.shift();
        QVERIFY(m.current().isEmpty());
        QCOMPARE(m.previous().keys(), QList<uint64_t>{2});
    }

    // Reports with many anchors go through an index instead of a linear
    // search; both must keep one entry per anchor, the last one given.
    void manyAnchors_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("few") << 3;
        QTest::newRow("at the linear limit") << 32;
        QTest::newRow("one past the limit") << 33;
        QTest::newRow("many") << 300;
    }

    void manyAnchors()
    {
        QFETCH(int, count);
        QJsonArray first;
        for (int i = 1; i <= count; ++i)
            first.append(QJsonObject{{"anchor", QString::number(i, 16)}, {"dist", i}});
        first.append(QJsonObject{{"anchor", "1"}, {"dist", 99}});
        first.append(QJsonObject{{"anchor", QString::number(count, 16)}, {"dist", 98}});
        RtlsMeas m;
        m.updateFromJson(first);
        RtlsMeas::Table expected;
        for (int i = 1; i <= count; ++i)
            expected.insert(i, entry(1, i, 0, 0));
        expected[1].value = 99;
        expected[count].value = 98;
        QCOMPARE(m.current(), expected);
        // Read in place: in the order given, each anchor found by its id.
        QCOMPARE(m.currentCount(), count);
        QCOMPARE(m.currentAnchor(0), uint64_t(1));
        QCOMPARE(m.currentEntry(0).value, 99.f);
        for (int i = 1; i <= count; ++i) {
            const RtlsMeasEntry *found = m.findCurrent(uint64_t(i));
            QVERIFY(found);
            QCOMPARE(found->value, expected.value(uint64_t(i)).value);
        }
        QVERIFY(!m.findCurrent(uint64_t(count + 1)));

        // The next report starts empty and finds its own repeated anchor.
        const QByteArray a = tlv('(', le64(count)) + tlv(')', le32(1));
        const QByteArray b = tlv('(', le64(count)) + tlv(')', le32(2));
        m.shift();
        m.updateFromTlv(a.constData(), a.size());
        m.updateFromTlv(b.constData(), b.size());
        QCOMPARE(m.current(), (RtlsMeas::Table{{uint64_t(count), entry(1, 2, 0, 0)}}));
        QCOMPARE(m.previous(), expected);
    }

    void toJson()
    {
        RtlsMeas m;
        m.updateFromJson(QJsonDocument::fromJson(
            R"([{"anchor":"1a2","dist":2.5,"tqf":3,"rssi":-80},{"anchor":"12345","toa":7,"tqf":1,"rssi":-1}])").array());
        QJsonArray out = m.toJson();
        QCOMPARE(out.size(), 2);
        // Hash order is unspecified.
        if (out[0].toObject().value("anchor") != "01A2")
            out = QJsonArray{out[1], out[0]};
        QCOMPARE(out[0].toObject(), QJsonObject({{"anchor", "01A2"}, {"dist", 2.5}, {"tqf", 3}, {"rssi", -80}}));
        QCOMPARE(out[1].toObject(), QJsonObject({{"anchor", "12345"}, {"toa", 7}, {"tqf", 1}, {"rssi", -1}}));
    }

    void fromTlv_data()
    {
        QTest::addColumn<QByteArray>("run");
        QTest::addColumn<int>("ret");
        QTest::addColumn<RtlsMeas::Table>("expected");
        const QByteArray anchor = tlv('(', le64(0xA1));
        QTest::newRow("full") << anchor + tlv(')', le32(3.5f)) + tlv('*', "\x05") + tlv('+', le32(-90)) + tlv(',', le64(42))
                              << 5 << RtlsMeas::Table{{0xA1, entry(1, 3.5f, -90, 5, 0, 42)}};
        QTest::newRow("anchor only") << anchor << 1 << RtlsMeas::Table{{0xA1, entry(1, 0, 0, 0)}};
        QTest::newRow("unknown skipped") << tlv('\x3D', "abc") + anchor + tlv(')', le32(1)) << 3
                                         << RtlsMeas::Table{{0xA1, entry(1, 1, 0, 0)}};
        QTest::newRow("long tqf takes first byte") << anchor + tlv('*', "\x09\xFF\xFF") << 2
                                                   << RtlsMeas::Table{{0xA1, entry(1, 0, 0, 9)}};
        QTest::newRow("short anchor skipped") << tlv('(', "\xA1\x00") + tlv(')', le32(1)) << 0 << RtlsMeas::Table{};
        QTest::newRow("short value skipped") << anchor + tlv(')', "\x01") << 2 << RtlsMeas::Table{{0xA1, entry(1, 0, 0, 0)}};
        QTest::newRow("no anchor") << tlv(')', le32(1)) << 0 << RtlsMeas::Table{};
        QTest::newRow("empty") << QByteArray() << -1 << RtlsMeas::Table{};
        QTest::newRow("truncated stores nothing") << anchor + QByteArray(")\x04\x01", 3) << -1 << RtlsMeas::Table{};
    }

    void fromTlv()
    {
        QFETCH(QByteArray, run);
        QFETCH(RtlsMeas::Table, expected);
        RtlsMeas m;
        QByteArray copy(run.constData(), run.size());
        QTEST(m.updateFromTlv(copy.isEmpty() ? nullptr : copy.constData(), copy.size()), "ret");
        QCOMPARE(m.current(), expected);
        QVERIFY(m.previous().isEmpty());
    }

    void tlvReplacesEntryOfSameAnchor()
    {
        RtlsMeas m;
        const QByteArray a = tlv('(', le64(3)) + tlv(')', le32(1));
        const QByteArray b = tlv('(', le64(3)) + tlv(')', le32(2));
        m.updateFromTlv(a.constData(), a.size());
        m.updateFromTlv(b.constData(), b.size());
        QCOMPARE(m.current(), (RtlsMeas::Table{{3, entry(1, 2, 0, 0)}}));
    }
};

QTEST_GUILESS_MAIN(tst_RtlsMeas)
#include "tst_rtlsmeas.moc"
