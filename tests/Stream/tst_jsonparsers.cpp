// The location stream reads report lines with simdjson where that gives Qt's
// answer and with Qt's parser otherwise. Both must leave the same records,
// console lines and announcements for the same input: each row is fed to a
// stream with the fast parser and to one with Qt's parser alone, and
// everything is compared.
#include "FakeHubLink.h"
#include "Model/RecordDump.h"
#include "RtlsLs.h"

#include <QtTest>

#include <algorithm>

// Raw string literals confuse moc's scanner, so the class comes first and
// the rows after it.
class tst_JsonParsers : public QObject
{
    Q_OBJECT

private slots:
    void sameRecords_data();
    void sameRecords();
};

namespace {

// One stream and all that came out of it.
struct Run
{
    explicit Run(bool fast)
    {
        stream.setFastJson(fast);
        stream.setFailureClock([] { return qint64(0); });
        stream.toggleDisplayMessages();
    }

    // One JSON datagram of all the lines: every line goes the JSON way.
    void feed(const QList<QByteArray> &lines)
    {
        RtlsHubLink::setCurrent(&hub);
        stream.receiveDatagram("{}\n" + lines.join('\n') + '\n');
        RtlsHubLink::setCurrent(nullptr);
    }

    QString records() const
    {
        QList<uint64_t> ids = hub.registry.keys();
        std::sort(ids.begin(), ids.end());
        QStringList out;
        for (uint64_t id : ids)
            out << RecordDump::of(hub.registry.value(id));
        return out.join(QLatin1String("\n\n"));
    }

    FakeHubLink hub;
    RtlsLs stream{nullptr, true, &hub, RtlsLs::Ports::anyFree()};
};

const QByteArray kReport =
    R"({"id":"0x4001","timestamp":1700000000.125,"mode":"tag","coordinates":{"x":1.25,"y":2.5,"z":1.2,"pqf":90},)"
    R"("meas":[{"anchor":"0x1000","dist":3.5,"tqf":80,"rssi":-79.5,"stdev":0.02},)"
    R"({"anchor":"1001","dist":4,"tqf":81,"rssi":-80}],"sensors":{"temperature":21.5},"io":2,"vbat":3.7})";

} // namespace

void tst_JsonParsers::sameRecords_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<bool>("fastTakesAll");
    using L = QList<QByteArray>;

    QTest::newRow("a report, twice (averaging)") << L{kReport, kReport} << true;
    QTest::newRow("every key of a node")
        << L{R"({"id":"0x0012","name":"  Tag   one ","description":"d","mode":"tag","timestamp":12.3456,)"
             R"("io":3.9,"vbat":3,"coordinates":{"x":1,"y":2,"z":3,"heading":90.5,"pqf":300},)"
             R"("nodeDetails":{"nodeOptions":"0x0006","flags":"0x10"},"roles":"1F","seat":" 7 ",)"
             R"("sensors":{"pressure":101325.9,"temperature":-3.25},"nodeStatus":{"io":"0x3","vbat":3300.7},)"
             R"("distances":[{"anchor":"0x1","toa":12.5,"tqf":3,"rssi":-90}],"uptime":1e3,"memFree":4096,)"
             R"("cpuLoad":0.25,"tdoaCnt":7,"twrCnt":8,"twrErrCnt":-2,"reportsSent":99,"tsyncCnt":5,)"
             R"("dwVbat":3100,"dwTemp":40,"tsyncDrift":1.000002,"tsyncErr":-12,"rawTsyncDrift":0.999999,)"
             R"("rawTsyncErr":33})"}
        << true;
    QTest::newRow("keys of the wrong type")
        << L{R"({"id":"0x0013","name":5,"mode":true,"timestamp":"12","io":"2","vbat":null,"coordinates":[1],)"
             R"("nodeOptions":6,"roles":31,"seat":4,"sensors":"hot","meas":{"anchor":"1"},"uptime":"9"})",
             R"({"id":"0x0013","coordinates":{"x":"5","y":null,"z":true,"pqf":"9"},"meas":[1,"x",[],)"
             R"({"anchor":1,"dist":2},{"anchor":"0x0","dist":2},{"anchor":"7","dist":"far","tqf":"q"}]})"}
        << true;
    QTest::newRow("quality carried from element to element")
        << L{R"({"id":"0x0014","meas":[{"anchor":"1","dist":1,"tqf":5,"rssi":-70},{"anchor":"2","dist":2},)"
             R"({"anchor":"3","dist":3,"dqf":9},{"anchor":"4","toa":4,"tqf":1},{"anchor":"4","dist":5,"tqf":6}]})"}
        << true;
    // Qt's answer for a repeated key is not always the last value: such
    // lines must go to Qt, whatever the number and order of the repeats.
    QTest::newRow("a key named twice")
        << L{R"({"id":"0x0015","name":"first","name":"second","coordinates":{"x":1,"x":2},"io":2,"io":0})"}
        << false;
    QTest::newRow("several keys named twice, in turn")
        << L{R"({"id":"0x0030","tsyncDrift":1.5,"tsyncErr":-11,"mode":"tag","tsyncDrift":1.25,"tsyncErr":-12,)"
             R"("mode":"anchor","vbat":3.7})"}
        << false;
    QTest::newRow("a key named twice only inside coordinates")
        << L{R"({"id":"0x0031","coordinates":{"x":1,"y":2,"z":3,"y":4,"pqf":90}})"} << false;
    QTest::newRow("the same key in two objects is no repeat")
        << L{R"({"id":"0x0032","coordinates":{"x":1,"y":2},"meas":[{"anchor":"1","dist":1},{"anchor":"2","dist":2}]})"}
        << true;
    QTest::newRow("numbers at the edges")
        << L{R"({"id":"0x0016","coordinates":{"x":1e39,"y":-3.4e38,"z":123456789012345678},)"
             R"("uptime":-1,"memFree":4294967296,"tsyncErr":9223372036854775807,"twrErrCnt":-2147483649,)"
             R"("cpuLoad":4.9e-324,"tsyncCnt":18446744073709551615})"}
        << true;
    QTest::newRow("negative and fractional zeros")
        << L{R"({"id":"0x0017","coordinates":{"x":-0,"y":-0.0,"z":0.0},"vbat":0e5,"io":-0})"} << false;
    QTest::newRow("a number that underflows is refused by Qt")
        << L{R"({"id":"0x0018","name":"u","vbat":1e-400})"} << false;
    QTest::newRow("a number that overflows") << L{R"({"id":"0x0019","vbat":1e400})"} << false;
    QTest::newRow("an integer beyond 64 bits")
        << L{R"({"id":"0x001A","uptime":123456789012345678901234567890})"} << false;
    QTest::newRow("text with escapes and non-ASCII letters")
        << L{R"({"id":"0x001B","name":"K\u00fcche \"3\" \\ \/ \t","description":"Å→✓ \ud83d\ude00"})"} << true;
    QTest::newRow("a lone surrogate escape") << L{R"({"id":"0x001C","name":"\ud800x"})"} << false;
    QTest::newRow("a raw tab inside a text") << L{"{\"id\":\"0x001D\",\"name\":\"a\tb\"}"} << false;
    QTest::newRow("invalid UTF-8") << L{"{\"id\":\"0x001E\",\"name\":\"\xff\"}"} << false;
    QTest::newRow("ids written in several ways")
        << L{R"({"id":"1F"})", R"({"id":" 0x20 "})", R"({"id":"+21"})", R"({"id":"0x10022"})", R"({"id":34})",
             R"({"id":"0x0"})", R"({"id":"0x12345678"})", R"({"id":"0x12345678","io":2})"}
        << true;
    QTest::newRow("reports that change nothing")
        << L{R"({"id":"0x0023","mode":"anchor","coordinates":{"x":1}})", R"({})", R"({"x":1})"} << true;
    QTest::newRow("user data")
        << L{R"({"id":"0x0024","userData":{"type":3,"raw":"0xA1B2"}})",
             R"({"id":"0x0024","userData":{"type":3.5,"raw":7}})",
             R"({"id":"0x0024","userData":{"type":"3","raw":"0x"}})",
             R"({"id":"0x0024","userData":{"raw":"0x"}})"}
        << true;
    QTest::newRow("not objects, and broken lines")
        << L{R"([1,2])", R"("text")", R"({"id":"0x0025",})", R"({"id":"0x0025"} x)", R"({"id":)"} << false;
    QTest::newRow("deeply nested")
        << L{QByteArray(R"({"id":"0x0026","x":)") + QByteArray(1100, '[') + QByteArray(1100, ']') + "}",
             QByteArray(R"({"id":"0x0027","x":)") + QByteArray(500, '[') + QByteArray(500, ']') + "}"}
        << false;
}

void tst_JsonParsers::sameRecords()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(bool, fastTakesAll);
    Run fast(true);
    Run qt(false);
    fast.feed(lines);
    qt.feed(lines);
    QCOMPARE(fast.records(), qt.records());
    QCOMPARE(fast.hub.messages, qt.hub.messages);
    QCOMPARE(fast.hub.events, qt.hub.events);
    QCOMPARE(fast.hub.locationData, qt.hub.locationData);
    QCOMPARE(fast.hub.detailsRequested, qt.hub.detailsRequested);
    QCOMPARE(qt.stream.fastJsonLineCount(), quint64(0));
    // The rows of well-formed reports must really have gone the fast way.
    if (fastTakesAll)
        QCOMPARE(fast.stream.fastJsonLineCount(), quint64(lines.size() + 1));
}

QTEST_GUILESS_MAIN(tst_JsonParsers)
#include "tst_jsonparsers.moc"
