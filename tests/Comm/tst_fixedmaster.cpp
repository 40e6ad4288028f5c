// A master named on the command line: the hub talks to it alone, never
// searches, ignores a settings file's address, and greets the same master
// again when its link breaks.
#include "Comm/LineServer.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

class tst_FixedMaster : public QObject
{
    Q_OBJECT

private slots:
    void talksToTheNamedMasterOnly();
};

void tst_FixedMaster::talksToTheNamedMasterOnly()
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    LineServer master;
    QVERIFY(master.start());
    hub->svc()->setServicePort(master.serverPort());
    QSignalSpy console(hub, &SentrovaInterface::displayMessage);
    auto consoleHas = [&console](const QString &text) {
        for (const QList<QVariant> &line : console)
            if (line.at(0).toString().contains(text))
                return true;
        return false;
    };

    hub->setFixedMaster(loopbackAddress());
    hub->fromJSON(QJsonObject{{"master", QJsonObject{{"ip", "192.0.2.77"}}}});
    QVERIFY(consoleHas(QStringLiteral("master address 192.0.2.77 not used")));
    QCOMPARE(hub->svc()->clientCount(), 0);

    hub->init();
    QTRY_COMPARE_WITH_TIMEOUT(master.lineCount(0), 3, 10000);
    QCOMPARE(hub->svc()->clientCount(), 1);

    hub->scanMaster();
    QVERIFY(consoleHas(QStringLiteral("No search for masters")));

    // The master goes away: no search, the same address again.
    master.peer(0)->disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(master.peerCount() == 2 && master.lineCount(1) == 3, 15000);
    QVERIFY(!consoleHas(QStringLiteral("mDNS query for")));
    QVERIFY(!consoleHas(QStringLiteral("Looking for masters using broadcast")));
    // The settings file's address is still saved as it was.
    QCOMPARE(hub->toJSON(QJsonObject()).value("master").toObject().value("ip").toString(),
             QStringLiteral("192.0.2.77"));
}

QTEST_GUILESS_MAIN(tst_FixedMaster)
#include "tst_fixedmaster.moc"
