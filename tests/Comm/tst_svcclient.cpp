#include "Comm/LineServer.h"
#include "CommConstants.h"
#include "SvcClient.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback port on which nothing listens (bound once, then released).
quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A listening socket whose accept queue is full, so the kernel drops every
// further SYN: a master that is there but never answers.
class SilentListener
{
public:
    SilentListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        ::listen(m_fd, 0);
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        // With a backlog of 0 the kernel queues exactly one connection.
        QTcpSocket *filler = new QTcpSocket;
        filler->connectToHost(QHostAddress::LocalHost, m_port);
        m_fillers.append(filler);
    }
    ~SilentListener()
    {
        qDeleteAll(m_fillers);
        for (int fd : qAsConst(m_accepted))
            ::close(fd);
        ::close(m_fd);
    }

    quint16 port() const { return m_port; }
    bool backlogFull()
    {
        for (QTcpSocket *filler : qAsConst(m_fillers))
            if (filler->state() != QAbstractSocket::ConnectedState)
                return false;
        return true;
    }
    // Takes whatever waits in the accept queue, making room again.
    void drain()
    {
        int fd;
        while ((fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK)) >= 0)
            m_accepted.append(fd);
    }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    QList<QTcpSocket *> m_fillers;
    QList<int> m_accepted;
};

} // namespace

class tst_SvcClient : public QObject
{
    Q_OBJECT

private slots:
    void emptyWriteQueuesNothing()
    {
        SvcClient client(loopbackAddress(), nullptr, unusedPort());
        QCOMPARE(client.write(QByteArray()), 0);
        QCOMPARE(client.queuedCount(), 0);
        QCOMPARE(client.write("{}"), 3);
    }

    void messagesGoOutInOrderOnePerTick()
    {
        LineServer server;
        QVERIFY(server.start());
        SvcClient client(loopbackAddress(), nullptr, server.serverPort());
        QList<int> waitingAtEachWrite;
        connect(&client, &SvcClient::dataWritten, this,
                [&] { waitingAtEachWrite.append(client.queuedCount()); });
        QSignalSpy written(&client, &SvcClient::dataWritten);

        for (int i = 1; i <= 4; ++i)
            client.write(QStringLiteral("{\"n\":%1}").arg(i).toUtf8());

        QTRY_COMPARE_WITH_TIMEOUT(server.lineCount(), 4, 10000);
        QCOMPARE(server.lines(), (QList<QByteArray>{"{\"n\":1}", "{\"n\":2}", "{\"n\":3}", "{\"n\":4}"}));
        QTRY_COMPARE(written.count(), 4);
        QCOMPARE(written.at(0).at(0).toByteArray(), QByteArray("{\"n\":1}\n"));
        QCOMPARE(written.at(3).at(0).toByteArray(), QByteArray("{\"n\":4}\n"));
        // Each tick hands one message to the socket, the rest keep waiting.
        QCOMPARE(waitingAtEachWrite, (QList<int>{3, 2, 1, 0}));
    }

    void pingsAreNeverReportedWritten_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("reported");
        QTest::newRow("ping") << QByteArray("{\"command\":\"ping\"}") << false;
        QTest::newRow("ping before a NUL") << QByteArray("{\"command\":\"ping\"}\0x", 20) << false;
        QTest::newRow("ping after a NUL") << QByteArray("x\0{\"command\":\"ping\"}", 20) << true;
        QTest::newRow("other command") << QByteArray("{\"command\":\"pingx\"}") << true;
    }
    void pingsAreNeverReportedWritten()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, reported);
        LineServer server;
        QVERIFY(server.start());
        SvcClient client(loopbackAddress(), nullptr, server.serverPort());
        QSignalSpy written(&client, &SvcClient::dataWritten);
        client.write(message);
        client.write("{\"command\":\"marker\"}");
        QTRY_COMPARE_WITH_TIMEOUT(server.lineCount(), 2, 10000);
        QTRY_COMPARE(written.count(), reported ? 2 : 1);
        QCOMPARE(written.last().at(0).toByteArray(), QByteArray("{\"command\":\"marker\"}\n"));
    }

    void receivedBytesAreCutIntoLines_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("one and a half lines")
            << QList<QByteArray>{"{\"a\":1}\n{\"b\":", "2}\n"}
            << QList<QByteArray>{"{\"a\":1}", "{\"b\":2}"};
        QTest::newRow("empty line kept")
            << QList<QByteArray>{"\n{\"a\":1}\n"} << QList<QByteArray>{"", "{\"a\":1}"};
        QTest::newRow("line feed alone later")
            << QList<QByteArray>{"{\"a\":1}", "\n"} << QList<QByteArray>{"{\"a\":1}"};
        QTest::newRow("byte by byte")
            << QList<QByteArray>{"{", "}", "\n", "[", "]", "\n"} << QList<QByteArray>{"{}", "[]"};
    }
    void receivedBytesAreCutIntoLines()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, lines);
        LineServer server;
        QVERIFY(server.start());
        SvcClient client(loopbackAddress(), nullptr, server.serverPort());
        QSignalSpy ready(&client, &SvcClient::dataReady);
        client.write("{\"command\":\"hello\"}");
        QTRY_COMPARE_WITH_TIMEOUT(server.lineCount(), 1, 10000);
        int expected = 0;
        for (const QByteArray &chunk : qAsConst(chunks)) {
            server.peer(0)->write(chunk);
            server.peer(0)->flush();
            expected += chunk.count('\n');
            QTRY_COMPARE(ready.count(), expected);
        }
        QList<QByteArray> got;
        for (const auto &args : qAsConst(ready))
            got.append(args.at(0).toByteArray());
        QCOMPARE(got, lines);
    }

    void reconnectionStartsWithAnEmptyLine_data()
    {
        QTest::addColumn<QByteArray>("leftOver");
        QTest::newRow("half a line") << QByteArray("{\"partial\":");
        QTest::newRow("overlong line") << QByteArray(Comm::kMaxLineBytes + 1, 'x');
    }
    void reconnectionStartsWithAnEmptyLine()
    {
        QFETCH(QByteArray, leftOver);
        LineServer server;
        QVERIFY(server.start());
        SvcClient client(loopbackAddress(), nullptr, server.serverPort());
        QSignalSpy ready(&client, &SvcClient::dataReady);
        QSignalSpy error(&client, &SvcClient::error);
        client.write("{\"command\":\"hello\"}");
        QTRY_COMPARE_WITH_TIMEOUT(server.lineCount(), 1, 10000);

        server.peer(0)->write(leftOver);
        server.peer(0)->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(!error.isEmpty(), 10000);

        client.write("{\"command\":\"again\"}");
        QTRY_COMPARE_WITH_TIMEOUT(server.peerCount(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(server.lineCount(1), 1, 10000);
        server.peer(1)->write("{\"b\":2}\n");
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
        QCOMPARE(ready.first().at(0).toByteArray(), QByteArray("{\"b\":2}"));
    }

    void overlongLineIsDroppedOnce_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("drops");
        QTest::newRow("below the limit") << 200000 << 0;
        QTest::newRow("just over the limit") << Comm::kMaxLineBytes + 1 << 1;
        QTest::newRow("endless stream") << 5 * Comm::kMaxLineBytes << 1;
    }
    void overlongLineIsDroppedOnce()
    {
        QFETCH(int, length);
        QFETCH(int, drops);
        LineServer server;
        QVERIFY(server.start());
        SvcClient client(loopbackAddress(), nullptr, server.serverPort());
        QSignalSpy ready(&client, &SvcClient::dataReady);
        QSignalSpy dropped(&client, &SvcClient::lineDropped);
        client.write("{\"command\":\"hello\"}");
        QTRY_COMPARE_WITH_TIMEOUT(server.lineCount(), 1, 10000);

        const QByteArray filler(length, 'x');
        for (int sent = 0; sent < filler.size(); sent += 256 * 1024)
            server.peer(0)->write(filler.mid(sent, 256 * 1024));
        server.peer(0)->write("\n{\"after\":1}\n");

        QTRY_VERIFY_WITH_TIMEOUT(!ready.isEmpty()
                                     && ready.last().at(0).toByteArray() == "{\"after\":1}",
                                 20000);
        QCOMPARE(dropped.count(), drops);
        QCOMPARE(ready.count(), drops ? 1 : 2);
        if (!drops)
            QCOMPARE(ready.first().at(0).toByteArray().size(), length);
    }

    void closeSendsQueuedMessagesFirst()
    {
        LineServer server;
        QVERIFY(server.start());
        SvcClient client(loopbackAddress(), nullptr, server.serverPort());
        QSignalSpy written(&client, &SvcClient::dataWritten);
        QSignalSpy errors(&client, &SvcClient::error);
        QList<int> writtenAtClose;
        connect(&client, &SvcClient::error, this, [&] { writtenAtClose.append(written.count()); });

        client.write("{\"n\":1}");
        client.write("{\"n\":2}");
        client.write("{\"n\":3}");
        client.close();

        QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 10000);
        QCOMPARE(errors.first().at(1).toInt(), Comm::kCloseCode);
        QCOMPARE(errors.first().at(2).toString(), QStringLiteral("Connection closed on request"));
        QCOMPARE(writtenAtClose, QList<int>{3});
        QTRY_COMPARE(server.disconnects(), 1);
        QCOMPARE(server.lineCount(), 3);
        QVERIFY(!client.isOpen());
    }

    void closeWithNothingPendingIsImmediate()
    {
        SvcClient client(loopbackAddress(), nullptr, unusedPort());
        QSignalSpy errors(&client, &SvcClient::error);
        client.close();
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(0).toUInt(), loopbackAddress());
    }

    void twoClientsNeverMixBytes()
    {
        LineServer server;
        QVERIFY(server.start());
        SvcClient first(loopbackAddress(), nullptr, server.serverPort());
        SvcClient second(loopbackAddress(), nullptr, server.serverPort());
        QSignalSpy readyFirst(&first, &SvcClient::dataReady);
        QSignalSpy readySecond(&second, &SvcClient::dataReady);
        first.write("{\"who\":1}");
        QTRY_COMPARE_WITH_TIMEOUT(server.peerCount(), 1, 10000);
        second.write("{\"who\":2}");
        QTRY_COMPARE_WITH_TIMEOUT(server.peerCount(), 2, 10000);

        // Interleaved halves: each client must only ever join its own.
        server.peer(0)->write("{\"to\":");
        server.peer(1)->write("{\"to\":");
        QTRY_COMPARE(server.peer(0)->bytesToWrite() + server.peer(1)->bytesToWrite(), qint64(0));
        server.peer(1)->write("\"second\"}\n");
        server.peer(0)->write("\"first\"}\n");

        QTRY_COMPARE(readyFirst.count(), 1);
        QTRY_COMPARE(readySecond.count(), 1);
        QCOMPARE(readyFirst.first().at(0).toByteArray(), QByteArray("{\"to\":\"first\"}"));
        QCOMPARE(readySecond.first().at(0).toByteArray(), QByteArray("{\"to\":\"second\"}"));
    }

    void refusedConnectionKeepsTheQueueAndRetries()
    {
        const quint16 port = unusedPort();
        SvcClient client(loopbackAddress(), nullptr, port);
        QSignalSpy errors(&client, &SvcClient::error);
        client.write("{\"n\":1}");
        client.write("{\"n\":2}");
        QTRY_VERIFY_WITH_TIMEOUT(errors.count() >= 2, 10000);
        for (const auto &args : qAsConst(errors))
            QCOMPARE(args.at(1).toInt(), int(QAbstractSocket::ConnectionRefusedError));
        QCOMPARE(client.queuedCount(), 2);

        LineServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, port));
        QTRY_COMPARE_WITH_TIMEOUT(server.lineCount(), 2, 10000);
        QCOMPARE(server.lines(), (QList<QByteArray>{"{\"n\":1}", "{\"n\":2}"}));
    }

    // A master that cannot be reached while a busy site keeps asking: the
    // same request waits once, and the queue stops growing at its bound.
    void queueTakesNoDuplicateAndHasABound()
    {
        SvcClient client(loopbackAddress(), nullptr, unusedPort());
        QSignalSpy full(&client, &SvcClient::queueFull);
        QVERIFY(client.write("{\"command\":\"getDetails\",\"id\":\"0x0001\"}") > 0);
        QCOMPARE(client.write("{\"command\":\"getDetails\",\"id\":\"0x0001\"}"), 0);
        QCOMPARE(client.queuedCount(), 1);
        for (int i = 2; i <= Comm::kMaxQueuedLines + 5; ++i)
            client.write(QStringLiteral("{\"command\":\"getDetails\",\"id\":\"%1\"}").arg(i).toUtf8());
        QCOMPARE(client.queuedCount(), Comm::kMaxQueuedLines);
        QCOMPARE(full.count(), 1);
        QCOMPARE(client.write("{\"command\":\"version\"}"), 0);
        QCOMPARE(full.count(), 1);
    }

    void masterThatStopsReadingIsReported()
    {
        // Accepts, then never reads: the kernel buffers fill and stay full.
        QTcpServer deaf;
        QVERIFY(deaf.listen(QHostAddress::LocalHost, 0));
        SvcClient client(loopbackAddress(), nullptr, deaf.serverPort());
        QSignalSpy written(&client, &SvcClient::dataWritten);
        QSignalSpy errors(&client, &SvcClient::error);
        client.write("{\"command\":\"first\"}");
        QTRY_COMPARE_WITH_TIMEOUT(written.count(), 1, 10000);
        QTRY_VERIFY(deaf.hasPendingConnections());
        QTcpSocket *peer = deaf.nextPendingConnection();
        peer->setReadBufferSize(1);
        client.write(QByteArray(64 * 1024 * 1024, ' '));
        QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 20000);
        QCOMPARE(errors.first().at(1).toInt(), int(QAbstractSocket::SocketTimeoutError));
        QCOMPARE(written.count(), 1);
    }

    void silentMasterNeverBlocksTheEventLoop()
    {
        SilentListener silent;
        QTRY_VERIFY_WITH_TIMEOUT(silent.backlogFull(), 10000);

        SvcClient client(loopbackAddress(), nullptr, silent.port());
        QSignalSpy written(&client, &SvcClient::dataWritten);
        int ticks = 0;
        QTimer beat;
        connect(&beat, &QTimer::timeout, this, [&] { ++ticks; });
        beat.start(100);
        client.write("{\"n\":1}");

        // Several connect attempts time out meanwhile; a client that waited
        // on the GUI thread would let only about one beat through per second.
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 40, 15000);
        QVERIFY(!client.isOpen());
        QCOMPARE(client.queuedCount(), 1);
        QCOMPARE(written.count(), 0);

        // Once the master takes connections again, the message goes out.
        silent.drain();
        QTRY_COMPARE_WITH_TIMEOUT(written.count(), 1, 15000);
    }
};

QTEST_GUILESS_MAIN(tst_SvcClient)
#include "tst_svcclient.moc"
