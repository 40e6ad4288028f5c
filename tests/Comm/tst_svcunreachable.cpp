#include "CommConstants.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "SvcClient.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

// Runs inside the private namespace: 192.0.2.50 is on the test LAN but no
// host answers there, so every SYN of the service channel goes unanswered.
class tst_SvcUnreachable : public QObject
{
    Q_OBJECT

private slots:
    void unreachableMasterKeepsTheWindowAlive()
    {
        const quint32 address = QHostAddress(QStringLiteral("192.0.2.50")).toIPv4Address();
        SentrovaInterface *hub = SentrovaInterface::instance();
        RtlsSvc *svc = hub->svc();
        QCOMPARE(svc->servicePort(), Comm::kServicePort);
        QSignalSpy console(hub, &SentrovaInterface::displayMessage);

        int ticks = 0;
        QTimer beat;
        connect(&beat, &QTimer::timeout, this, [&] { ++ticks; });
        beat.start(100);
        svc->masterDetected(address);
        hub->listTags();

        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 50, 20000);
        SvcClient *client = svc->client(address);
        QVERIFY(client);
        QVERIFY(!client->isOpen());
        // The greeting and the command wait, in order, for the master.
        QCOMPARE(client->queuedCount(), 4);
        QCOMPARE(svc->clientCount(), 1);
        QStringList lines;
        for (const auto &args : qAsConst(console))
            lines.append(args.at(0).toString());
        QCOMPARE(lines, (QStringList{"Master detected at 192.0.2.50", "Request master to send all anchors",
                                     "Request masters to send all tags"}));
    }
};

QTEST_GUILESS_MAIN(tst_SvcUnreachable)
#include "tst_svcunreachable.moc"
