// A capture recorded from the simulated site and replayed into a fresh model
// ends with every node exactly where the live run left it: the replay takes
// the same JSON path as the live stream.
#include "CaptureReplay.h"
#include "FakeHubLink.h"
#include "RtlsLs.h"
#include "RtlsPos.h"
#include "sim/SimProcess.h"

#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

namespace {

struct Where
{
    float x, y, z;
    bool operator==(const Where &o) const { return x == o.x && y == o.y && z == o.z; }
};

QMap<uint64_t, Where> positions(const FakeHubLink &hub)
{
    QMap<uint64_t, Where> out;
    for (RtlsObject *node : hub.registry)
        if (node->hasPos())
            out.insert(node->id(), {node->pos()->x(), node->pos()->y(), node->pos()->z()});
    return out;
}

} // namespace

class tst_ReplaySim : public QObject
{
    Q_OBJECT

private slots:
    void replayEndsWhereTheLiveRunEnded()
    {
        QTemporaryDir dir;
        const QString capture = dir.filePath(QStringLiteral("site.dat"));

        FakeHubLink liveHub;
        RtlsLs live(nullptr, true, &liveHub, RtlsLs::Ports::anyFree());
        live.setCaptureFileName(capture);
        live.toggleCapture();
        QVERIFY(live.isRecording());

        SimProcess sim;
        QVERIFY(sim.start({"--format", "json", "--duration", "3", "--stream-to",
                           QStringLiteral("127.0.0.1:%1").arg(live.lsPort())}));
        QTRY_VERIFY_WITH_TIMEOUT(sim.process().state() == QProcess::NotRunning, 30000);
        // A last report of our own: once it is in, everything the site sent
        // before it has been read.
        QUdpSocket marker;
        marker.writeDatagram("{\"id\":\"0x7FFF\",\"coordinates\":{\"x\":1,\"y\":2,\"z\":3}}\n", QHostAddress::LocalHost,
                             live.lsPort());
        QTRY_VERIFY_WITH_TIMEOUT(liveHub.findNode(0x7FFF), 10000);
        live.toggleCapture();
        const QMap<uint64_t, Where> wanted = positions(liveHub);
        QVERIFY(wanted.size() >= 2);

        FakeHubLink replayHub;
        RtlsLs stream(nullptr, true, &replayHub, RtlsLs::Ports::anyFree());
        CaptureReplay replay(&stream);
        qint64 now = 0;
        replay.setClock([&now] { return now; });
        QString error;
        QVERIFY2(replay.open(capture, &error), qPrintable(error));
        QCOMPARE(quint64(replay.reportCount()), live.jsonLineCount());
        QVERIFY(replay.reportCount() > 50);
        now += replay.duration() + 1;
        while (replay.state() == CaptureReplay::State::Playing)
            replay.playDue();
        QCOMPARE(replay.state(), CaptureReplay::State::Finished);
        const QMap<uint64_t, Where> got = positions(replayHub);
        QCOMPARE(got.keys(), wanted.keys());
        for (auto it = wanted.cbegin(); it != wanted.cend(); ++it)
            QVERIFY2(got.value(it.key()) == it.value(), qPrintable(QString::number(it.key(), 16)));
    }
};

QTEST_GUILESS_MAIN(tst_ReplaySim)
#include "tst_replaysim.moc"
