#include "Comm/HubProbe.h"
#include "RtlsNodeConfig.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SvcClient.h"
#include "sim/SimProcess.h"

// The service channel against the real simulated site.
class tst_SvcSim : public QObject
{
    Q_OBJECT

    SimProcess sim;
    HubProbe *probe = nullptr;
    uint64_t anchor = 0;

    RtlsSvc *svc() const { return probe->hub->svc(); }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<RtlsObject *>();
        QVERIFY2(QFile::exists(SimProcess::binary()), "build sentrova-sim first");
        QVERIFY(sim.start({}));
        probe = new HubProbe;
    }

    void greetingFillsTheModel()
    {
        SentrovaInterface *hub = probe->hub;
        QSignalSpy scheme(hub, &SentrovaInterface::tdmaSchemeChanged);
        QSignalSpy added(hub, &SentrovaInterface::nodeAddedSignal);
        QSignalSpy configs(hub, &SentrovaInterface::nodeConfigListChanged);
        svc()->setServicePort(sim.port);
        svc()->masterDetected(loopbackAddress());

        QTRY_VERIFY_WITH_TIMEOUT(scheme.count() == 1 && configs.count() >= 1, 15000);
        QTRY_VERIFY(!added.isEmpty());
        QVERIFY(hub->countNodeConfigs() >= 1);
        for (const auto &args : qAsConst(added)) {
            RtlsObject *node = args.at(0).value<RtlsObject *>();
            if (hub->isAnchor(node->id()) && node->pos()->flags() & 0x20) {
                anchor = node->id();
                break;
            }
        }
        QVERIFY(anchor != 0);

        // Outgoing and incoming lines share one running number.
        const QStringList console = probe->consoleLines();
        QCOMPARE(console.mid(0, 2), (QStringList{"Master detected at 127.0.0.1", "Request master to send all anchors"}));
        QCOMPARE(console.at(2), QStringLiteral("SVC_OUT 1) {\"command\":\"listAnchors\"}"));
        QVERIFY(console.filter(QRegularExpression("^SVC_IN: \\d+\\) \\{")).size() >= 3);
    }

    void seatRoundTrip()
    {
        probe->hub->setSeat(anchor, 9);
        probe->hub->getSeat(anchor);
        QTRY_COMPARE_WITH_TIMEOUT(probe->hub->node(anchor)->seat(), 9, 10000);
    }

    void antennaDelaysRoundTrip()
    {
        QSignalSpy delays(probe->hub, &SentrovaInterface::newAntennaDelays);
        probe->hub->setAntennaDelays(anchor, 16400, 16450);
        probe->hub->getAntennaDelays(anchor);
        QTRY_COMPARE_WITH_TIMEOUT(delays.count(), 1, 10000);
        QCOMPARE(delays.at(0).at(0).value<uint64_t>(), anchor & 0xFFFF);
        QCOMPARE(delays.at(0).at(1).value<uint16_t>(), uint16_t(16400));
        QCOMPARE(delays.at(0).at(2).value<uint16_t>(), uint16_t(16450));
    }

    void nodeConfigurationRoundTrip()
    {
        SentrovaInterface *hub = probe->hub;
        RtlsNodeConfig *config = new RtlsNodeConfig;
        config->setCfgId(5);
        config->setMsecTsync(5000);
        config->setPosFilter("none");
        QSignalSpy answers(hub, &SentrovaInterface::svcDataReceived);
        hub->setNodeConfig(config);
        // The list comes back two seconds later and lands in the same record.
        auto relisted = [&] {
            for (const auto &args : qAsConst(answers))
                if (args.at(0).toJsonObject().value("response") == "listNodeConfig")
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(relisted(), 10000);
        QCOMPARE(hub->findNodeConfig(5), config);
        QCOMPARE(config->msecTsync(), 5000);
        QCOMPARE(config->posFilter(), QStringLiteral("none"));
    }

    void positionRoundTrip()
    {
        RtlsObject *node = probe->hub->node(anchor);
        node->pos()->setPos(1.5f, -2.25f, 3.125f);
        probe->hub->setAnchorPosition(anchor);
        node->pos()->setPos(0, 0, 0);
        probe->hub->listAnchors();
        QTRY_COMPARE_WITH_TIMEOUT(node->pos()->x(), 1.5f, 10000);
        QCOMPARE(node->pos()->y(), -2.25f);
        QCOMPARE(node->pos()->z(), 3.125f);
    }

    void pingAnswersStayQuiet()
    {
        QSignalSpy answers(probe->hub, &SentrovaInterface::svcDataReceived);
        svc()->client(loopbackAddress())->write("{\"command\":\"ping\"}");
        probe->hub->getVersion();
        QTRY_VERIFY_WITH_TIMEOUT(!answers.isEmpty()
                                     && answers.last().at(0).toJsonObject().value("response") == "version",
                                 10000);
        const QStringList console = probe->consoleLines();
        QCOMPARE(console.filter("ping").size(), 0);
        QCOMPARE(console.filter("\"response\":\"version\"").size(), 1);
        for (const auto &args : qAsConst(answers))
            QVERIFY(args.at(0).toJsonObject().value("response") != "ping");
    }

    void resetDropsTheMaster()
    {
        QSignalSpy rescan(svc(), &RtlsSvc::scanMasterSignal);
        probe->hub->resetMaster();
        QTRY_COMPARE_WITH_TIMEOUT(rescan.count(), 1, 10000);
        QCOMPARE(svc()->clientCount(), 0);
        const QStringList lines = probe->consoleLines();
        const int rescanLine = lines.indexOf("No Masters left. Rescanning for masters...");
        QVERIFY(rescanLine > 0);
        QCOMPARE(lines.value(rescanLine + 1), QStringLiteral("mDNS query for _svc_sentrova._tcp.local."));
        QCOMPARE(sim.terminate(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_SvcSim)
#include "tst_svcsim.moc"
