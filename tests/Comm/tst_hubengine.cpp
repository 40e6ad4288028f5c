// The engine behind the hub as a site would treat it: a location port with
// junk and cut lines on it, a flood of tags nobody knew, wide node ids, a
// master's configuration taken through an edit, and the end of the program.
// Real sockets on the protocol's ports, so it runs in the private namespace.
#include "Comm/HubProbe.h"
#include "Comm/LineServer.h"
#include "DetailsRequestQueue.h"
#include "RtlsConvert.h"
#include "RtlsModelConstants.h"
#include "RtlsLs.h"
#include "RtlsMdns.h"
#include "RtlsMdnsService.h"
#include "RtlsNodeConfig.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"
#include "SvcClient.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

namespace {

constexpr quint16 kLocationPort = 8786;

// A TLV report of one node: its id and one position.
QByteArray tlvReport(uint64_t id, float x)
{
    QByteArray d;
    d.append(char(1)).append(char(8));
    char raw[8];
    qToLittleEndian<quint64>(id, raw);
    d.append(raw, 8);
    QByteArray pos;
    for (char type : {'P', 'Q', 'R'}) {
        pos.append(type).append(char(4));
        qToLittleEndian<float>(type == 'P' ? x : 0.f, raw);
        pos.append(raw, 4);
    }
    d.append(char(8)).append(char(pos.size())).append(pos);
    return d;
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

class tst_HubEngine : public QObject
{
    Q_OBJECT

    SentrovaInterface *hub() const { return SentrovaInterface::instance(); }

    void send(const QByteArray &datagram)
    {
        QVERIFY(m_sender.writeDatagram(datagram, QHostAddress::LocalHost, kLocationPort) == datagram.size());
    }

    // Sends, then waits until the hub has heard of the node.
    bool heard(uint64_t id, const QList<QByteArray> &datagrams)
    {
        for (const QByteArray &d : datagrams)
            send(d);
        return QTest::qWaitFor([&] { return hub()->node(id) != nullptr; }, 10000);
    }

    QUdpSocket m_sender;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
            QSKIP("needs the private network namespace of tests/netns-run.sh");
        QCOMPARE(hub()->locationStream()->lsPort(), kLocationPort);
    }

    void junkAndCutLinesLoseNoReport()
    {
        QRandomGenerator random(7);
        for (int i = 0; i < 3000; ++i) {
            QByteArray junk(1 + int(random.bounded(1400)), Qt::Uninitialized);
            for (char &c : junk)
                c = char(random.bounded(256));
            // Some junk looks like the start of a JSON line.
            if (i % 3 == 0)
                junk[0] = '{';
            send(junk);
            // A marker after every few, so the socket's buffer never overflows.
            if (i % 50 == 49)
                QVERIFY(heard(0x0C000 + uint64_t(i), {tlvReport(0x0C000 + uint64_t(i), 0.f)}));
        }
        QVERIFY(heard(0x0A01, {"{\"id\":\"0x0A00\",\"coord", "{\"id\":\"0x0A01\",\"mode\":\"tag\"}\n"}));
        QVERIFY(heard(0x0A02, {"{\"id\":\"0x0A00\",\"coord", tlvReport(0x0A02, 1.f)}));
        QVERIFY(heard(0x0A03, {"{\"id\":\"0x0A03\",\"coordinates\":", "{\"x\":1,\"y\":2,\"z\":3}}\n"}));
        QCOMPARE(hub()->node(0x0A03)->pos()->y(), 2.f);
        QVERIFY(!hub()->node(0x0A00));
    }

    void wideIdJsonTagMovesAndGoesInactive()
    {
        QVERIFY(heard(0x12345678, {"{\"id\":\"0x12345678\",\"coordinates\":{\"x\":1,\"y\":1,\"z\":1}}\n"}));
        RtlsObject *node = hub()->node(0x12345678);
        QSignalSpy updated(hub(), &SentrovaInterface::nodeUpdatedSignal);
        send("{\"id\":\"0x12345678\",\"coordinates\":{\"x\":4,\"y\":5,\"z\":6}}\n");
        QVERIFY(updated.wait(10000));
        QCOMPARE(node->pos()->x(), 4.f);

        QSignalSpy inactive(hub(), &SentrovaInterface::nodeInactiveSignal);
        node->setLastUpdate(quint64(QDateTime::currentMSecsSinceEpoch() - 11000));
        hub()->checkActivity();
        QCOMPARE(inactive.count(), 1);
        QCOMPARE(inactive.at(0).at(0).value<RtlsObject *>(), node);
    }

    void wideIdAnchorSurvivesTheSettingsFile()
    {
        const QJsonObject anchor{{"id", "0xDECA12345678"},
                                 {"name", "Wide anchor"},
                                 {"mode", "anchor"},
                                 {"coordinates", QJsonObject{{"x", 1.5}, {"y", -2}, {"z", 3.25}}}};
        hub()->fromJSON(QJsonObject{{"node", QJsonArray{anchor}}});
        RtlsObject *node = hub()->node(0xDECA12345678);
        QVERIFY(node);
        QCOMPARE(node->name(), QStringLiteral("Wide anchor"));
        const QJsonObject saved = hub()->toJSON(QJsonObject());
        QJsonObject element;
        for (const QJsonValue &v : saved.value("node").toArray())
            if (v.toObject().value("id") == QLatin1String("0xDECA12345678"))
                element = v.toObject();
        QCOMPARE(element.value("name").toString(), QStringLiteral("Wide anchor"));
        QCOMPARE(element.value("coordinates").toObject(), anchor.value("coordinates").toObject());
        hub()->fromJSON(saved);
        QCOMPARE(node->pos()->z(), 3.25f);
    }

    // The master writes the rate as a decimal string; an edit of another
    // value and Apply must hand it back unchanged.
    void downloadRateKeptThroughEditAndApply()
    {
        LineServer master;
        HubProbe probe;
        QVERIFY(probe.connectMaster(master));
        hub()->svc()->processMessage(R"({"response":"listNodeConfig","nodeConfig":[{"cfgId":"9",)"
                                     R"("nodeOptions":"twr","msecTsync":"120000","downloadRate":"5"}]})");
        RtlsNodeConfig *config = hub()->findNodeConfig(9);
        QVERIFY(config);
        QCOMPARE(config->downloadRate(), 5);
        config->setMsecTsync(60000);
        probe.sentSinceLastCall(master);
        hub()->setNodeConfig(config);
        const QList<QJsonObject> sent = probe.sentSinceLastCall(master, 1);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().value("command").toString(), QStringLiteral("setNodeConfig"));
        QCOMPARE(sent.first().value("downloadRate").toString(), QStringLiteral("5"));
        QCOMPARE(sent.first().value("msecTsync").toString(), QStringLiteral("60000"));
    }

    // Tags nobody knew flood the stream, each id heard once (a device
    // sending random ids): memory stays bounded, the masters are asked
    // nothing about them, and the next report is seen at once. Ids heard
    // again are asked about at the service channel's pace, with a bounded
    // number waiting; one refused is asked about at a later report. Runs
    // late: the requests left waiting go to whichever master comes next.
    void randomIdFloodStaysBounded()
    {
        // The master of the test before is gone first.
        QTRY_COMPARE_WITH_TIMEOUT(hub()->svc()->clientCount(), 0, 10000);
        LineServer master;
        HubProbe probe;
        QVERIFY(probe.connectMaster(master));
        const quint32 address = QHostAddress(QHostAddress::LocalHost).toIPv4Address();
        QSignalSpy added(hub(), &SentrovaInterface::nodeAddedSignal);
        QRandomGenerator random(11);
        QSet<uint64_t> seen;
        QList<uint64_t> ids;
        constexpr int kTags = 100000;
        RtlsLs *stream = hub()->locationStream();
        // Handed to the socket's read handler directly: a kernel buffer
        // would drop most of a burst this size.
        while (ids.size() < kTags) {
            const uint64_t id = random.generate64() | 0x10000;
            if (seen.contains(id))
                continue;
            seen.insert(id);
            ids.append(id);
            stream->receiveDatagram(tlvReport(id, 1.f));
            if (ids.size() % 1000 == 0)
                QCoreApplication::processEvents();
        }
        QCOMPARE(added.count(), kTags);
        const qint64 rss = residentKiB();
        qInfo() << "resident after" << kTags << "tags:" << rss / 1024 << "MiB";
        QVERIFY2(rss > 0 && rss < 400 * 1024, qPrintable(QString::number(rss)));
        QVERIFY(heard(0x0B01, {"{\"id\":\"0x0B01\",\"mode\":\"tag\"}\n"}));
        QCOMPARE(hub()->waitingDetailRequests(), 0);
        QVERIFY(hub()->svc()->client(address)->queuedCount() <= DetailsRequestQueue::kMaxBacklog);

        // Heard a second time: asked about, a bounded number at a time.
        constexpr int kAgain = 3000;
        for (int i = 0; i < kAgain; ++i)
            stream->receiveDatagram(tlvReport(ids.at(i), 2.f));
        QCOMPARE(hub()->waitingDetailRequests(), DetailsRequestQueue::kMaxWaiting);
        QVERIFY(hub()->node(ids.at(0))->msgFlags() & Rtls::kMsgDetailsPending);
        RtlsObject *refused = hub()->node(ids.at(kAgain - 1));
        QVERIFY(!(refused->msgFlags() & Rtls::kMsgDetailsPending));
        master.clearLines();
        QTRY_VERIFY_WITH_TIMEOUT(master.lineCount() >= 10, 10000);
        // The requests' own line and perhaps a keep-alive ping.
        QVERIFY(hub()->svc()->client(address)->queuedCount() <= DetailsRequestQueue::kMaxBacklog + 2);
        QJsonObject first;
        for (const QByteArray &line : master.lines()) {
            first = HubProbe::parse(line);
            if (first.value("command") == QLatin1String("getDetails"))
                break;
        }
        // In the order they were heard again.
        QCOMPARE(first.value("id").toString(), QStringLiteral("0x") + Rtls::hexId(ids.at(0)));
        // A command of the user's does not wait behind the thousand (50 s of
        // send ticks), only behind the few in the master's queue.
        hub()->getVersion();
        QTRY_VERIFY_WITH_TIMEOUT(master.lines().contains("{\"command\":\"version\"}"), 10000);
        QCOMPARE(probe.consoleLines().filter("commands wait for the master at 127.0.0.1").size(), 0);
    }

    // Last: the end of the event loop stops and joins the discovery worker.
    void quittingJoinsTheDiscoveryWorker()
    {
        QPointer<RtlsMdns> worker = hub()->discovery()->findChild<RtlsMdns *>();
        QVERIFY(worker);
        QVERIFY(worker->isRunning());
        hub()->discovery()->scanMaster();
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
        QVERIFY(!hub()->discovery());
        QVERIFY(!worker);
        // A search asked for afterwards finds nothing to run and does no harm.
        hub()->scanMaster();
        hub()->svc()->init();
    }
};

QTEST_GUILESS_MAIN(tst_HubEngine)
#include "tst_hubengine.moc"
