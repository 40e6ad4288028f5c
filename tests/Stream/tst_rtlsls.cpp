#include "FakeHubLink.h"
#include "RtlsLs.h"
#include "RtlsPos.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QByteArray kTlvNode("\x01\x08\x34\x12\x00\x00\x00\x00\x00\x00", 10);

} // namespace

class tst_RtlsLs : public QObject
{
    Q_OBJECT

private:
    // Feeds datagrams the way the socket handler does.
    static void feed(RtlsLs &ls, const QList<QByteArray> &datagrams)
    {
        for (const QByteArray &d : datagrams)
            ls.receiveDatagram(d);
    }

    QTemporaryDir m_dir;
    QString m_oldDir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }

    void cleanupTestCase() { QDir::setCurrent(m_oldDir); }

    void jsonReports_data()
    {
        QTest::addColumn<QList<QByteArray>>("datagrams");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("reports");

        using L = QList<QByteArray>;
        const QByteArray a = "{\"id\":\"0x0012\",\"coordinates\":{\"x\":1.5,\"y\":2,\"z\":0.5}}\n";
        const QByteArray b = "{\"id\":\"0013\",\"mode\":\"tag\"}\n";
        QTest::newRow("new tag added, then updated")
            << L{a, a} << QStringList{"added 0x0012", "updated 0x0012"} << 2;
        QTest::newRow("two objects in one datagram") << L{a + b} << QStringList{"added 0x0012", "added 0x0013"} << 2;
        QTest::newRow("split across datagrams") << L{a.left(10), a.mid(10)} << QStringList{"added 0x0012"} << 1;
        QTest::newRow("unfinished line waits") << L{a.left(10)} << QStringList{} << 0;
        QTest::newRow("anchor reports move nothing")
            << L{"{\"id\":\"0x0012\",\"mode\":\"anchor\",\"coordinates\":{\"x\":1}}\n"} << QStringList{} << 1;
        QTest::newRow("id zero dropped") << L{"{\"id\":\"0x0\"}\n"} << QStringList{} << 1;
        QTest::newRow("id not hexadecimal dropped") << L{"{\"id\":\"zz\"}\n"} << QStringList{} << 1;
        // The node record refuses a signed id; a node made for it would stay empty.
        QTest::newRow("id with a sign dropped") << L{"{\"id\":\"+12\"}\n"} << QStringList{} << 1;
        QTest::newRow("id missing dropped") << L{"{\"x\":1}\n"} << QStringList{} << 1;
        QTest::newRow("malformed line dropped, next one read")
            << L{"{\"id\":\n" + b} << QStringList{"added 0x0013"} << 1;
        QTest::newRow("text not starting with a brace goes to TLV")
            << L{"id 12 {}\n"} << QStringList{} << 0;
        QTest::newRow("TLV after a finished line is TLV")
            << L{a, kTlvNode} << QStringList{"added 0x0012", "added 0x1234", "updated 0x1234"} << 1;
        // A datagram is the unit: what an unfinished line is followed by is
        // glued to it only when that completes it.
        QTest::newRow("unfinished line, then a report of its own")
            << L{"{\"id\":\"0x0099\",\"coord", b} << QStringList{"added 0x0013"} << 1;
        QTest::newRow("unfinished line, then TLV") << L{a.left(10), kTlvNode}
                                                   << QStringList{"added 0x1234", "updated 0x1234"} << 0;
        QTest::newRow("unfinished line, then text that does not complete it")
            << L{a.left(10), "junk\n", b} << QStringList{"added 0x0013"} << 1;
        QTest::newRow("split line, then more lines in the second datagram")
            << L{a.left(20), a.mid(20) + b} << QStringList{"added 0x0012", "added 0x0013"} << 2;
        QTest::newRow("split inside an array, continuing with a brace")
            << L{"{\"id\":\"0x0014\",\"meas\":[", "{\"anchor\":\"1\",\"dist\":2}]}\n"}
            << QStringList{"added 0x0014"} << 1;
        QTest::newRow("unfinished line, then another unfinished one that is completed")
            << L{"{\"id\":", a.left(10), a.mid(10)} << QStringList{"added 0x0012"} << 1;
        QTest::newRow("a line over three datagrams is not joined")
            << L{a.left(10), a.mid(10, 10), a.mid(20)} << QStringList{} << 0;
    }

    void jsonReports()
    {
        QFETCH(QList<QByteArray>, datagrams);
        QFETCH(QStringList, events);
        QFETCH(int, reports);
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        feed(ls, datagrams);
        QCOMPARE(hub.events, events);
        QCOMPARE(hub.locationData.size(), reports);
    }

    void newJsonTagIsATagAwaitingDetails()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        feed(ls, {"{\"id\":\"0x0012\",\"coordinates\":{\"x\":1.5,\"y\":2,\"z\":0.5}}\n"});
        RtlsObject *node = hub.findNode(0x12);
        QVERIFY(node);
        QCOMPARE(node->category(), QStringLiteral("tag"));
        QCOMPARE(node->mode(), QStringLiteral("tag"));
        QCOMPARE(node->pos()->x(), 1.5f);
        QVERIFY(hub.nonAnchors.contains(0x12));
        // Asked for once it is heard again, as for a TLV tag; later reports
        // do not ask again.
        QCOMPARE(node->msgFlags() & 0x07000000u, 0x04000000u);
        QVERIFY(hub.detailsRequested.isEmpty());
        feed(ls, {"{\"id\":\"0x0012\"}\n"});
        QCOMPARE(node->msgFlags() & 0x07000000u, 0x02000000u);
        QCOMPARE(hub.detailsRequested, QList<uint64_t>{0x12});
        feed(ls, {"{\"id\":\"0x0012\"}\n"});
        QCOMPARE(hub.detailsRequested, QList<uint64_t>{0x12});
    }

    void wideIdTagMoves()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        feed(ls, {"{\"id\":\"0x12345678\",\"coordinates\":{\"x\":1,\"y\":2,\"z\":3}}\n",
                  "{\"id\":\"0x12345678\",\"coordinates\":{\"x\":4,\"y\":5,\"z\":6}}\n"});
        RtlsObject *node = hub.findNode(0x12345678);
        QVERIFY(node);
        QCOMPARE(hub.events, (QStringList{"added 0x12345678", "updated 0x12345678"}));
        QCOMPARE(node->pos()->x(), 4.f);
        QVERIFY(node->lastUpdate() != 0);
    }

    void droppedFragmentIsNamed()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        feed(ls, {"{\"id\":\"0x0099\",\"coord", kTlvNode});
        QCOMPARE(hub.messages, QStringList{"LS_IN: unfinished JSON line dropped - {\"id\":\"0x0099\",\"coord"});
    }

    // Junk on the port shows a few lines a second and sums up the rest.
    void failureLinesAreLimited()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        for (int i = 0; i < 100; ++i)
            feed(ls, {QByteArray("{junk ") + QByteArray::number(i) + "\n"});
        feed(ls, {"{\"a\":1}\n[1]\n"});
        QCOMPARE(hub.messages.size(), 5);
        QVERIFY(hub.messages.at(3).endsWith("{junk 3"));
        QVERIFY(hub.messages.at(4).startsWith("LS_IN: JSON structure mismatch"));
        QTRY_VERIFY_WITH_TIMEOUT(hub.messages.size() == 6, 5000);
        QCOMPARE(hub.messages.last(), QStringLiteral("LS_IN: Parse error \u2026 (96 more)"));
        // A new window shows lines again.
        feed(ls, {"{junk\n", "{\"id\":\"0x0012\"}\n"});
        QCOMPARE(hub.messages.size(), 7);
        QCOMPARE(hub.events, QStringList{"added 0x0012"});
    }

    void consoleLines_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("display");
        QTest::addColumn<QStringList>("lines");

        const QByteArray plain = "{\"id\":\"0x0012\"}";
        const QByteArray stamped = "{\"id\":\"0x0012\",\"timestamp\":1700000000.25}";
        const QString stamp = QDateTime::fromMSecsSinceEpoch(1700000000250LL).toString("yyyy-MM-dd HH:mm:ss.zzz");
        QTest::newRow("echo off") << plain + "\n" << false << QStringList{};
        QTest::newRow("echo without time stamp") << plain + "\n" << true
                                                 << QStringList{"LS_IN (....-..-.. --:--:--.---): 1) " + plain};
        QTest::newRow("echo with time stamp") << stamped + "\n" << true
                                              << QStringList{"LS_IN (" + stamp + "): 1) " + stamped};
        QTest::newRow("echo counts lines") << plain + "\n" + plain + "\n" << true
                                           << QStringList{"LS_IN (....-..-.. --:--:--.---): 1) " + plain,
                                                          "LS_IN (....-..-.. --:--:--.---): 2) " + plain};
        QTest::newRow("structure mismatch") << QByteArray("[1,2]\n") << false
                                            << QStringList{"LS_IN: JSON structure mismatch - [1,2]) "};
        QTest::newRow("user data") << QByteArray("{\"id\":\"0x12\",\"userData\":{\"type\":3,\"raw\":\"0xA1B2C3\"}}\n")
                                   << false << QStringList{"USER DATA (3) 3 - 0xA1B2C3"};
    }

    void consoleLines()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, display);
        QFETCH(QStringList, lines);
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        if (display)
            ls.toggleDisplayMessages();
        emit ls.jsonDataReadySignal(datagram);
        QCOMPARE(hub.messages, lines);
    }

    void parseErrorNamesTheLine()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        emit ls.jsonDataReadySignal("{\"id\":}\n");
        QCOMPARE(hub.messages.size(), 1);
        QVERIFY(hub.messages.first().startsWith("LS_IN: Parse error "));
        QVERIFY(hub.messages.first().endsWith(" - {\"id\":}"));
    }

    void pauseStopsUpdatesButNotEchoOrCapture()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        ls.toggleDisplayMessages();
        ls.pause();
        ls.toggleCapture();
        feed(ls, {"{\"id\":\"0x0012\"}\n", kTlvNode});
        QVERIFY(hub.events.isEmpty());
        QVERIFY(hub.registry.isEmpty());
        QCOMPARE(hub.messages.size(), 1);
        QCOMPARE(ls.recordCount(), 1);
        ls.pause();
        feed(ls, {"{\"id\":\"0x0012\"}\n", kTlvNode});
        QCOMPARE(hub.events, (QStringList{"added 0x0012", "added 0x1234", "updated 0x1234"}));
        ls.toggleCapture();
    }

    void capture()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        QSignalSpy recording(&ls, &RtlsLs::recordingSignal);
        QSignalSpy started(&ls, &RtlsLs::captureStarted);
        ls.toggleCapture();
        QVERIFY(ls.isRecording());
        // A viewer learns of the new capture at once, not at the first count.
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.first().at(0).toString(), QStringLiteral("test.dat"));
        QCOMPARE(recording.count(), 0);
        feed(ls, {"{\"id\":\"0x0012\"}\n{\"id\"", ":\"0x0013\"}\n", kTlvNode, "{\"id\":\"0x0014\"}\nnot json\n[1]\n"});
        QTRY_VERIFY_WITH_TIMEOUT(recording.count() >= 1, 10000);
        QCOMPARE(recording.last().at(0).toInt(), 3);
        ls.toggleCapture();
        QVERIFY(!ls.isRecording());
        QCOMPARE(recording.at(recording.count() - 2).at(0).toInt(), 3);
        QCOMPARE(recording.last().at(0).toInt(), -1);

        QFile file(QStringLiteral("test.dat"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("{\"id\":\"0x0012\"}\n{\"id\":\"0x0013\"}\n{\"id\":\"0x0014\"}\n"));
        file.close();

        ls.toggleCapture();
        QCOMPARE(started.count(), 2);
        feed(ls, {"{\"id\":\"0x0015\"}\n"});
        ls.toggleCapture();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("{\"id\":\"0x0015\"}\n"));
    }

    void captureStoppedOnDestruction()
    {
        FakeHubLink hub;
        auto *ls = new RtlsLs(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        ls->toggleCapture();
        feed(*ls, {"{\"id\":\"0x0016\"}\n"});
        QSignalSpy recording(ls, &RtlsLs::recordingSignal);
        delete ls;
        QCOMPARE(recording.count(), 2);
        QFile file(QStringLiteral("test.dat"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("{\"id\":\"0x0016\"}\n"));
    }

    void captureOpenFailureDoesNotRecord()
    {
        FakeHubLink hub;
        QDir().mkpath(QStringLiteral("blocked/test.dat"));
        QDir::setCurrent(m_dir.filePath(QStringLiteral("blocked")));
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        QSignalSpy recording(&ls, &RtlsLs::recordingSignal);
        QSignalSpy started(&ls, &RtlsLs::captureStarted);
        ls.toggleCapture();
        QDir::setCurrent(m_dir.path());
        QVERIFY(!ls.isRecording());
        QCOMPARE(started.count(), 0);
        feed(ls, {"{\"id\":\"0x0012\"}\n"});
        QCOMPARE(ls.recordCount(), 0);
        QCOMPARE(recording.count(), 0);
    }

    // A full disk: the capture stops with a console line and counts only
    // what reached the file.
    void captureWriteFailureStopsTheCapture()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("needs /dev/full");
        QDir().mkpath(QStringLiteral("full"));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), QStringLiteral("full/test.dat")));
        QDir::setCurrent(m_dir.filePath(QStringLiteral("full")));
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        QSignalSpy recording(&ls, &RtlsLs::recordingSignal);
        ls.toggleCapture();
        QDir::setCurrent(m_dir.path());
        QVERIFY(ls.isRecording());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Capture stopped: cannot write"));
        feed(ls, {"{\"id\":\"0x0012\"}\n{\"id\":\"0x0013\"}\n"});
        ls.liveViewCapture();
        QVERIFY(!ls.isRecording());
        QCOMPARE(hub.messages.size(), 1);
        QVERIFY2(hub.messages.first().startsWith("Capture stopped: cannot write test.dat: "), qPrintable(hub.messages.first()));
        QCOMPARE(recording.count(), 2);
        QCOMPARE(recording.at(0).at(0).toInt(), 0);
        QCOMPARE(recording.at(1).at(0).toInt(), -1);
        // The stream goes on.
        QCOMPARE(hub.events, (QStringList{"added 0x0012", "added 0x0013"}));
    }

    void datagramsOverLoopback_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("json") << QByteArray("{\"id\":\"0x0012\"}\n") << QStringList{"added 0x0012"};
        QTest::newRow("tlv") << kTlvNode << QStringList{"added 0x1234", "updated 0x1234"};
    }

    void datagramsOverLoopback()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QStringList, events);
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        QVERIFY(ls.lsPort() != 0);
        QUdpSocket sender;
        sender.writeDatagram(datagram, QHostAddress::LocalHost, ls.lsPort());
        QTRY_COMPARE_WITH_TIMEOUT(hub.events, events, 10000);
    }

    void internalEngineListensForTheDataConcentrator()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, false, &hub, RtlsLs::Ports::anyFree());
        QVERIFY(!ls.externalEngine());
        QVERIFY(ls.lsPort() != 0);
        QVERIFY(ls.dcPort() != 0);
        QUdpSocket sender;
        sender.writeDatagram(QByteArray(17, 'x'), QHostAddress::LocalHost, ls.dcPort());
        QTRY_COMPARE_WITH_TIMEOUT(hub.messages, QStringList{"DC_IN: packet received with size = 17"}, 10000);
        ls.useExternalEngine(true);
        QCOMPARE(ls.dcPort(), quint16(0));
        QVERIFY(ls.lsPort() != 0);
    }

    void failedBindIsReportedAndDoesNotBlock()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::Any, 0, QUdpSocket::DontShareAddress));
        RtlsLs::Ports ports = RtlsLs::Ports::anyFree();
        ports.lsExternalEngine = holder.localPort();
        FakeHubLink hub;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Unable to bind to port"));
        RtlsLs ls(nullptr, true, &hub, ports);
        QCOMPARE(ls.lsPort(), quint16(0));
        // Also a console line: all that a program without a display has.
        QCOMPARE(hub.messages, QStringList{QStringLiteral("Data Concentrator - LS UDP Server: Unable to bind to port: %1")
                                               .arg(holder.localPort())});
        hub.messages.clear();
        feed(ls, {"{\"id\":\"0x0012\"}\n"});
        QCOMPARE(hub.events, QStringList{"added 0x0012"});
    }

    // A remote view's stream: no socket whatever the engine, and the lines
    // another transport brings take the whole JSON path, capture included.
    void unboundStreamTakesLinesFromAnotherTransport()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::none());
        QVERIFY(!ls.isListening());
        QCOMPARE(ls.lsPort(), quint16(0));
        ls.useExternalEngine(false);
        QCOMPARE(ls.lsPort(), quint16(0));
        QCOMPARE(ls.dcPort(), quint16(0));
        ls.toggleCapture();
        ls.receiveLine("{\"id\":\"0x0012\",\"coordinates\":{\"x\":1,\"y\":2,\"z\":3}}");
        ls.receiveLine("not json");
        ls.toggleCapture();
        QCOMPARE(hub.events, QStringList{"added 0x0012"});
        QCOMPARE(hub.messages.size(), 1);
        QVERIFY(hub.messages.first().startsWith(QStringLiteral("LS_IN: Parse error")));
        QFile file(QStringLiteral("test.dat"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count('\n'), 1);

        // A listening stream that stops listening for good.
        RtlsLs live(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        QVERIFY(live.lsPort() != 0);
        live.stopListening();
        QCOMPARE(live.lsPort(), quint16(0));
        live.useExternalEngine(true);
        QCOMPARE(live.lsPort(), quint16(0));
    }

    void overLongJsonIsReportedOnceAndRecovers()
    {
        FakeHubLink hub;
        RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
        const QByteArray chunk = "{" + QByteArray(60000, ' ');
        for (int i = 0; i < 20; ++i)
            emit ls.jsonDataReadySignal(chunk);
        emit ls.jsonDataReadySignal("{\n{\"id\":\"0x0012\"}\n");
        QCOMPARE(hub.messages.size(), 1);
        QCOMPARE(hub.events, QStringList{"added 0x0012"});
    }
};

QTEST_GUILESS_MAIN(tst_RtlsLs)
#include "tst_rtlsls.moc"
