#include "RtlsLsTcpServer.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

class tst_RtlsLsTcpServer : public QObject
{
    Q_OBJECT

private slots:
    void everyClientIsDisconnectedAtOnce()
    {
        auto server = std::make_unique<RtlsLsTcpServer>(nullptr, 0);
        QVERIFY(server->isListening());
        QTcpSocket first;
        QTcpSocket second;
        QSignalSpy firstGone(&first, &QTcpSocket::disconnected);
        QSignalSpy secondGone(&second, &QTcpSocket::disconnected);
        first.connectToHost(QHostAddress::LocalHost, server->serverPort());
        second.connectToHost(QHostAddress::LocalHost, server->serverPort());
        QTRY_COMPARE_WITH_TIMEOUT(firstGone.count(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(secondGone.count(), 1, 10000);
        QCOMPARE(first.readAll(), QByteArray());
        QCOMPARE(second.readAll(), QByteArray());

        // A later client is served as well, and the server goes away cleanly
        // whatever its threads are doing.
        QTcpSocket third;
        QSignalSpy thirdGone(&third, &QTcpSocket::disconnected);
        third.connectToHost(QHostAddress::LocalHost, server->serverPort());
        QTRY_COMPARE_WITH_TIMEOUT(thirdGone.count(), 1, 10000);
        server.reset();
    }
};

QTEST_GUILESS_MAIN(tst_RtlsLsTcpServer)
#include "tst_rtlslstcpserver.moc"
