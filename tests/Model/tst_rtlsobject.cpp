#include "RtlsHubLink.h"
#include "RtlsIMU.h"
#include "RtlsMeas.h"
#include "RtlsMetaTypes.h"
#include "RtlsObject.h"
#include "RtlsObjectStats.h"
#include "RtlsPos.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QtTest>

namespace {

// Collects console lines; the registry is not needed by the node record.
class ConsoleLink : public RtlsHubLink
{
public:
    QStringList lines;
    void postMessage(const QString &line) override { lines << line; }
    RtlsObject *findNode(uint64_t) const override { return nullptr; }
    bool hasNonAnchor(uint64_t) const override { return false; }
    void insertNonAnchor(RtlsObject *) override {}
    void announceNodeAdded(RtlsObject *) override {}
    void announceNodeUpdated(RtlsObject *) override {}
    void announceLocationData(const QJsonObject &) override {}
    void requestDetails(uint64_t) override {}
};

QJsonObject json(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

// "name", "imu.io", "stats.uptime": a property of the record or of a sub-record.
QVariant readPath(RtlsObject &node, const QString &path)
{
    const QStringList parts = path.split('.');
    QObject *target = &node;
    if (parts.size() == 2) {
        if (parts[0] == "imu")
            target = node.imu();
        else if (parts[0] == "stats")
            target = node.stats();
        else if (parts[0] == "pos")
            target = node.pos();
    }
    if (path == "pos.avg")
        return int(node.pos()->avg());
    // The anchor of the only entry, or 0.
    if (path == "meas.current" || path == "meas.previous") {
        const RtlsMeas::Table t = parts[1] == "current" ? node.meas()->current() : node.meas()->previous();
        return t.size() == 1 ? double(t.begin().key()) : 0.0;
    }
    return target->property(parts.last().toLatin1());
}

} // namespace

class tst_RtlsObject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerRtlsMetaTypes(); }

    void idMatching_data()
    {
        QTest::addColumn<quint64>("recordId");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<bool>("applied");
        QTest::newRow("padded prefix") << quint64(0x12) << QByteArray(R"({"id":"0x0012","name":"n"})") << true;
        QTest::newRow("low 16 bits") << quint64(0x12) << QByteArray(R"({"id":"10012","name":"n"})") << true;
        QTest::newRow("low 16 bits prefix") << quint64(0x12) << QByteArray(R"({"id":"0x10012","name":"n"})") << true;
        QTest::newRow("other node") << quint64(0x12) << QByteArray(R"({"id":"0x13","name":"n"})") << false;
        // Records made by the stream or the settings file carry the full id.
        QTest::newRow("wide record, same id") << quint64(0x12345678) << QByteArray(R"({"id":"0x12345678","name":"n"})") << true;
        QTest::newRow("wide record, low bits only") << quint64(0x12345678) << QByteArray(R"({"id":"5678","name":"n"})") << true;
        QTest::newRow("wide record, other node") << quint64(0x12345678) << QByteArray(R"({"id":"0x12345679","name":"n"})") << false;
        QTest::newRow("wide record, low bits zero") << quint64(0x12340000) << QByteArray(R"({"id":"0x12340000","name":"n"})") << true;
        QTest::newRow("other wide id, low bits zero") << quint64(0x12340000) << QByteArray(R"({"id":"0x56780000","name":"n"})") << false;
        QTest::newRow("no id") << quint64(0x12) << QByteArray(R"({"name":"n"})") << false;
        QTest::newRow("numeric id") << quint64(0x12) << QByteArray(R"({"id":18,"name":"n"})") << false;
        QTest::newRow("id zero") << quint64(0) << QByteArray(R"({"id":"0","name":"n"})") << false;
        QTest::newRow("low bits zero") << quint64(0) << QByteArray(R"({"id":"0x10000","name":"n"})") << false;
        QTest::newRow("not hex") << quint64(0) << QByteArray(R"({"id":"node","name":"n"})") << false;
    }

    void idMatching()
    {
        QFETCH(quint64, recordId);
        QFETCH(QByteArray, in);
        QFETCH(bool, applied);
        RtlsObject node(recordId);
        node.setMsgFlags(0x1);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        node.updateFromJson(json(in));
        QCOMPARE(node.name() == "n", applied);
        // An update for another node leaves even the flags alone.
        QCOMPARE(node.msgFlags(), applied ? 0u : 0x1u);
        QCOMPARE(node.lastUpdate() >= uint64_t(before), applied);
    }

    void keys_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("name simplified") << QByteArray(R"("name":"  a \t b "})") << "name" << QVariant("a b");
        QTest::newRow("name wrong type") << QByteArray(R"("name":5})") << "name" << QVariant("0x0012");
        QTest::newRow("description") << QByteArray(R"("description":"d"})") << "description" << QVariant("d");
        QTest::newRow("mode") << QByteArray(R"("mode":"offline"})") << "mode" << QVariant("offline");
        QTest::newRow("timestamp ms") << QByteArray(R"("timestamp":12.3456})") << "msgtime" << QVariant(12345.0);
        QTest::newRow("timestamp negative") << QByteArray(R"("timestamp":-1})") << "msgtime" << QVariant(0.0);
        QTest::newRow("io 8 bits") << QByteArray(R"("io":258.9})") << "imu.io" << QVariant(2);
        QTest::newRow("io text ignored") << QByteArray(R"("io":"2"})") << "imu.io" << QVariant(0);
        QTest::newRow("vbat") << QByteArray(R"("vbat":3.5})") << "imu.vbat" << QVariant(3.5);
        QTest::newRow("options master") << QByteArray(R"("nodeOptions":"4"})") << "mode" << QVariant("master");
        QTest::newRow("options master and anchor") << QByteArray(R"("nodeOptions":"6"})") << "mode" << QVariant("master");
        QTest::newRow("options anchor") << QByteArray(R"("nodeOptions":"0x2"})") << "mode" << QVariant("anchor");
        QTest::newRow("options tag") << QByteArray(R"("nodeOptions":"0"})") << "mode" << QVariant("tag");
        QTest::newRow("options unparsable") << QByteArray(R"("nodeOptions":"zz"})") << "mode" << QVariant("tag");
        QTest::newRow("options value") << QByteArray(R"("nodeOptions":"a6"})") << "nodeoptions" << QVariant(0xA6);
        QTest::newRow("details options") << QByteArray(R"("nodeDetails":{"nodeOptions":"2"}})") << "mode" << QVariant("anchor");
        QTest::newRow("details flags") << QByteArray(R"("nodeDetails":{"flags":"ff"}})") << "flags" << QVariant(255);
        QTest::newRow("roles hex") << QByteArray(R"("roles":"1f"})") << "roles" << QVariant(31);
        QTest::newRow("seat decimal") << QByteArray(R"("seat":"12"})") << "seat" << QVariant(12);
        QTest::newRow("seat number ignored") << QByteArray(R"("seat":12})") << "seat" << QVariant(-1);
        QTest::newRow("group decimal") << QByteArray(R"("group":"3"})") << "group" << QVariant(3);
        QTest::newRow("group number ignored") << QByteArray(R"("group":3})") << "group" << QVariant(-1);
        QTest::newRow("hw version hex") << QByteArray(R"("hwVersion":"0x0103"})") << "hwversion" << QVariant(0x103);
        QTest::newRow("loader version hex") << QByteArray(R"("ldrVersion":"0201"})") << "ldrversion" << QVariant(0x201);
        QTest::newRow("fw version hex") << QByteArray(R"("fwVersion":"0x020A"})") << "fwversion" << QVariant(0x20A);
        QTest::newRow("fw version unparsable") << QByteArray(R"("fwVersion":"v2"})") << "fwversion" << QVariant(0);
        QTest::newRow("pressure") << QByteArray(R"("sensors":{"pressure":1013.9}})") << "imu.pressure" << QVariant(1013);
        QTest::newRow("temperature") << QByteArray(R"("sensors":{"temperature":21.5}})") << "imu.temperature" << QVariant(21.5);
        QTest::newRow("status io hex") << QByteArray(R"("nodeStatus":{"io":"82"}})") << "imu.io" << QVariant(0x82);
        QTest::newRow("status vbat") << QByteArray(R"("nodeStatus":{"vbat":3.9}})") << "imu.vbat" << QVariant(3.0);
        QTest::newRow("uptime") << QByteArray(R"("uptime":100.7})") << "stats.uptime" << QVariant(100);
        QTest::newRow("uptime negative") << QByteArray(R"("uptime":-5})") << "stats.uptime" << QVariant(0);
        QTest::newRow("memFree") << QByteArray(R"("memFree":2048})") << "stats.memFree" << QVariant(2048);
        QTest::newRow("cpuLoad") << QByteArray(R"("cpuLoad":0.25})") << "stats.cpuLoad" << QVariant(0.25);
        QTest::newRow("tdoaCnt") << QByteArray(R"("tdoaCnt":7})") << "stats.tdoaCnt" << QVariant(7);
        QTest::newRow("twrCnt") << QByteArray(R"("twrCnt":8})") << "stats.twrCnt" << QVariant(8);
        QTest::newRow("twrErrCnt") << QByteArray(R"("twrErrCnt":-2.5})") << "stats.twrErr" << QVariant(-2);
        QTest::newRow("twrErrCnt out of range") << QByteArray(R"("twrErrCnt":3e9})") << "stats.twrErr" << QVariant(INT32_MIN);
        QTest::newRow("reportsSent") << QByteArray(R"("reportsSent":9})") << "stats.reportsSent" << QVariant(9);
        QTest::newRow("tsyncCnt") << QByteArray(R"("tsyncCnt":10})") << "stats.tsyncCnt" << QVariant(10);
        QTest::newRow("dwVbat") << QByteArray(R"("dwVbat":3300})") << "stats.dwVBat" << QVariant(3300);
        QTest::newRow("dwTemp") << QByteArray(R"("dwTemp":-4})") << "stats.dwTemp" << QVariant(-4);
        QTest::newRow("tsyncDrift") << QByteArray(R"("tsyncDrift":2})") << "stats.tsyncDrift" << QVariant(2e12);
        QTest::newRow("tsyncErr") << QByteArray(R"("tsyncErr":-5000000000.9})") << "stats.tsyncErr" << QVariant(-5000000000LL);
        QTest::newRow("rawTsyncDrift") << QByteArray(R"("rawTsyncDrift":3})") << "stats.rawTsyncDrift" << QVariant(2e12);
        QTest::newRow("rawTsyncErr") << QByteArray(R"("rawTsyncErr":6})") << "stats.rawTsyncErr" << QVariant(6);
        QTest::newRow("stats wrong type") << QByteArray(R"("uptime":"5"})") << "stats.uptime" << QVariant(0);
    }

    void keys()
    {
        QFETCH(QByteArray, in);
        QFETCH(QString, path);
        QFETCH(QVariant, expected);
        RtlsObject node(0x12);
        node.updateFromJson(json(R"({"id":"0x12",)" + in));
        const QVariant got = readPath(node, path);
        if (expected.type() == QVariant::String)
            QCOMPARE(got.toString(), expected.toString());
        else
            QCOMPARE(got.toDouble(), expected.toDouble());
    }

    // A record's keys come in alphabetical order, not in the order their
    // effects must be applied; these keys touch the same field or flag.
    void orderOfEffects_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("status vbat after vbat") << QByteArray(R"("vbat":3.5,"nodeStatus":{"vbat":3.9}})") << "imu.vbat"
                                                << QVariant(3.0);
        QTest::newRow("status io after io") << QByteArray(R"("io":1,"nodeStatus":{"io":"4"}})") << "imu.io" << QVariant(4);
        QTest::newRow("io before coordinates") << QByteArray(R"("io":2,"coordinates":{"x":1}})") << "pos.avg" << QVariant(0);
        QTest::newRow("options after mode") << QByteArray(R"("nodeOptions":"0","mode":"offline"})") << "mode" << QVariant("tag");
        QTest::newRow("options after details")
            << QByteArray(R"("nodeOptions":"2","nodeDetails":{"nodeOptions":"4"}})") << "mode" << QVariant("anchor");
        QTest::newRow("distances after meas, current")
            << QByteArray(R"("meas":[{"anchor":"1","dist":1}],"distances":[{"anchor":"2","dist":2}]})") << "meas.current"
            << QVariant(2.0);
        QTest::newRow("distances after meas, previous")
            << QByteArray(R"("meas":[{"anchor":"1","dist":1}],"distances":[{"anchor":"2","dist":2}]})") << "meas.previous"
            << QVariant(1.0);
        QTest::newRow("unknown keys ignored") << QByteArray(R"("nam":"x","names":"y","name":"n","zz":1})") << "name"
                                              << QVariant("n");
    }

    void orderOfEffects() { keys(); }

    void msgFlags_data()
    {
        QTest::addColumn<uint>("before");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<uint>("after");
        QTest::addColumn<uint>("result");
        QTest::newRow("coordinates x") << 0u << QByteArray(R"("coordinates":{"x":1}})") << 0x221u << 0x220u;
        QTest::newRow("coordinates xyz") << 0u << QByteArray(R"("coordinates":{"x":1,"y":2,"z":3}})") << 0x2E1u << 0x2E0u;
        QTest::newRow("coordinates not object") << 0x1u << QByteArray(R"("coordinates":[1]})") << 0u << 0u;
        QTest::newRow("no coordinates") << 0x1u << QByteArray(R"("name":"n"})") << 0u << 0u;
        QTest::newRow("position bits stay") << 0xE0u << QByteArray(R"("name":"n"})") << 0xE0u << 0u;
        QTest::newRow("meas") << 0u << QByteArray(R"("meas":[]})") << 0x4u << 0u;
        QTest::newRow("distances") << 0u << QByteArray(R"("distances":[]})") << 0x4u << 0u;
        QTest::newRow("meas not array") << 0x4u << QByteArray(R"("meas":{}})") << 0u << 0u;
        QTest::newRow("no meas") << 0x4u << QByteArray(R"("name":"n"})") << 0u << 0u;
        QTest::newRow("pressure") << 0x800u << QByteArray(R"("sensors":{"pressure":1}})") << 0x100u << 0u;
        QTest::newRow("temperature") << 0x100u << QByteArray(R"("sensors":{"temperature":1}})") << 0x200u << 0u;
        QTest::newRow("empty sensors") << 0xB00u << QByteArray(R"("sensors":{}})") << 0u << 0u;
        QTest::newRow("no sensors") << 0xB00u << QByteArray(R"("name":"n"})") << 0xB00u << 0u;
        QTest::newRow("options") << 0x02000000u << QByteArray(R"("nodeOptions":"0"})") << 0x01000000u << 0u;
        QTest::newRow("empty details") << 0x02000000u << QByteArray(R"("nodeDetails":{}})") << 0x01000000u << 0u;
    }

    void msgFlags()
    {
        QFETCH(uint, before);
        QFETCH(QByteArray, in);
        RtlsObject node(0x12);
        node.setMsgFlags(before);
        QTEST(node.updateFromJson(json(R"({"id":"0x12",)" + in)), "result");
        QTEST(node.msgFlags(), "after");
    }

    void msgFlagSetters()
    {
        RtlsObject node(1);
        node.setMsgFlags(0x5);
        node.setMsgFlags(0x2);
        QCOMPARE(node.msgFlags(), 0x7u);
        node.clearMsgFlags(0x4);
        QCOMPARE(node.msgFlags(), 0x3u);
        node.clearMsgFlags();
        QCOMPARE(node.msgFlags(), 0u);
        QVERIFY(!node.setProperty("msgflags", QVariant::fromValue<uint32_t>(1)));
    }

    void measurementsReachSubRecord()
    {
        RtlsObject node(0x12);
        node.updateFromJson(json(R"({"id":"0x12","distances":[{"anchor":"0x1","dist":2}]})"));
        QCOMPARE(node.meas()->current().value(1).value, 2.f);
    }

    void ioDrivesAveraging_data()
    {
        QTest::addColumn<bool>("withPos");
        QTest::addColumn<QList<double>>("ios");
        QTest::addColumn<int>("avg");
        QTest::newRow("io 2 raises") << true << QList<double>{2} << 40;
        QTest::newRow("io 3 raises") << true << QList<double>{2, 3} << 41;
        QTest::newRow("io 0 lowers") << true << QList<double>{2, 0} << 4;
        QTest::newRow("io 1 lowers twice") << true << QList<double>{1, 1} << 0;
        QTest::newRow("no position") << false << QList<double>{2} << -1;
    }

    void ioDrivesAveraging()
    {
        QFETCH(bool, withPos);
        QFETCH(QList<double>, ios);
        QFETCH(int, avg);
        RtlsObject node(0x12);
        if (withPos)
            node.pos();
        for (double io : ios)
            node.updateFromJson(QJsonObject{{"id", "0x12"}, {"io", io}});
        QCOMPARE(node.hasPos(), withPos);
        if (withPos)
            QCOMPARE(int(node.pos()->avg()), avg);
        QCOMPARE(double(node.imu()->io()), ios.last());
    }

    void buttonStatusGoesToConsole()
    {
        RtlsObject node(0x12);
        // Without a hub the line has nowhere to go, and nothing breaks.
        RtlsHubLink::setCurrent(nullptr);
        node.updateFromJson(json(R"({"id":"0x12","nodeStatus":{"io":"0x82"}})"));
        ConsoleLink link;
        RtlsHubLink::setCurrent(&link);
        node.updateFromJson(json(R"({"id":"0x12","nodeStatus":{"io":"0x82"}})"));
        RtlsHubLink::setCurrent(nullptr);
        QCOMPARE(link.lines, QStringList{"BUTTON STATUS (18): 0x82) "});
        QCOMPARE(node.imu()->io(), uint8_t(0x82));
    }

    void setNodeOptions_data()
    {
        QTest::addColumn<uint>("options");
        QTest::addColumn<QString>("mode");
        QTest::newRow("master") << 0x4u << "master";
        QTest::newRow("master wins") << 0x6u << "master";
        QTest::newRow("anchor") << 0x2u << "anchor";
        QTest::newRow("neither keeps mode") << 0x0u << "offline";
        QTest::newRow("other bits keep mode") << 0x9u << "offline";
    }

    void setNodeOptions()
    {
        QFETCH(uint, options);
        RtlsObject node(1);
        node.setMode("offline");
        node.setNodeOptions(options);
        QTEST(node.mode(), "mode");
        QCOMPARE(node.nodeOptions(), options);
    }

    void toJson_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("posAxes"); // axes set on the position; -1: no position record
        QTest::addColumn<uint>("flags");
        QTest::addColumn<QString>("coordinates");
        QTest::newRow("anchor own flags") << "anchor" << 0xE0 << 0u << R"({"x":1.235,"y":2,"z":-3})";
        QTest::newRow("master record flags") << "master" << 0xE0 << 0x20u << R"({"x":1.235})";
        QTest::newRow("tag never") << "tag" << 0xE0 << 0u << "";
        QTest::newRow("mode case-sensitive") << "Anchor" << 0xE0 << 0u << "";
        QTest::newRow("anchor without position") << "anchor" << -1 << 0u << "";
        // Loaded again, an empty "coordinates" would push "auto" for every
        // axis; an unknown axis would come back as 0.
        QTest::newRow("anchor with an empty position record") << "anchor" << 0 << 0u << "";
        QTest::newRow("only the known axis") << "anchor" << 0x40 << 0u << R"({"y":2})";
        QTest::newRow("record flags name an unknown axis") << "master" << 0x40 << 0x60u << R"({"y":2})";
        QTest::newRow("record flags name only unknown axes") << "anchor" << 0x40 << 0x20u << "";
    }

    void toJson()
    {
        QFETCH(QString, mode);
        QFETCH(int, posAxes);
        QFETCH(uint, flags);
        QFETCH(QString, coordinates);
        RtlsObject node(0x12);
        node.setMode(mode);
        node.setFlags(flags);
        node.setCategory("c");
        if (posAxes >= 0) {
            RtlsPos *pos = node.pos();
            if (posAxes & 0x20)
                pos->setX(1.23456f);
            if (posAxes & 0x40)
                pos->setY(2);
            if (posAxes & 0x80)
                pos->setZ(-3);
        }
        const QJsonObject out = node.toJson();
        QCOMPARE(out.value("id").toString(), QStringLiteral("0x0012"));
        QCOMPARE(out.value("name"), QJsonValue(""));
        QCOMPARE(out.value("description"), QJsonValue(""));
        QCOMPARE(out.value("category"), QJsonValue("c"));
        QCOMPARE(out.contains("coordinates"), !coordinates.isEmpty());
        if (!coordinates.isEmpty())
            QCOMPARE(QJsonDocument(out.value("coordinates").toObject()).toJson(QJsonDocument::Compact), coordinates.toUtf8());
        QCOMPARE(node.hasPos(), posAxes >= 0);
    }

    void nameFallsBackToId_data()
    {
        QTest::addColumn<quint64>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("padded") << quint64(0x12) << "0x0012";
        QTest::newRow("wide") << quint64(0x12345) << "0x12345";
    }

    void nameFallsBackToId()
    {
        QFETCH(quint64, id);
        RtlsObject node(id);
        QTEST(node.name(), "name");
        QTEST(node.idString(), "name");
    }

    void propertiesThroughMetaObject()
    {
        RtlsObject node;
        QVERIFY(node.setProperty("id", QVariant::fromValue<uint64_t>(0xDECA0000000000FFull)));
        QVERIFY(node.setProperty("seat", QVariant::fromValue<int32_t>(-7)));
        QVERIFY(node.setProperty("lastupdate", QVariant::fromValue<uint64_t>(99)));
        QCOMPARE(node.id(), uint64_t(0xDECA0000000000FFull));
        QCOMPARE(node.property("seat").value<int32_t>(), int32_t(-7));
        QCOMPARE(node.lastUpdate(), uint64_t(99));
        QCOMPARE(node.group(), int32_t(-1));
    }

    void subRecordsAreChildren()
    {
        RtlsObject node(1);
        QVERIFY(!node.hasStats());
        RtlsObjectStats *stats = node.stats();
        QCOMPARE(node.stats(), stats);
        QCOMPARE(stats->parent(), &node);
        QCOMPARE(node.pos()->flags(), 0x200u);
    }
};

QTEST_GUILESS_MAIN(tst_RtlsObject)
#include "tst_rtlsobject.moc"
