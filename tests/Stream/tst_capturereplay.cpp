// Capture replay on a clock the test moves by hand: the recorded pace,
// pause, speed, seek, the live stream set aside meanwhile, and a capture
// with bad lines.
#include "CaptureReplay.h"
#include "FakeHubLink.h"
#include "RtlsLs.h"
#include "RtlsPos.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A report of tag `id` at x, recorded `ms` after 1700000000 s.
QByteArray report(int id, double x, qint64 ms)
{
    return QStringLiteral("{\"id\":\"0x%1\",\"timestamp\":%2,\"coordinates\":{\"x\":%3,\"y\":0,\"z\":0}}")
        .arg(id, 4, 16, QLatin1Char('0'))
        .arg(1700000000.0 + ms / 1000.0, 0, 'f', 3)
        .arg(x)
        .toUtf8();
}

} // namespace

class tst_CaptureReplay : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    qint64 m_now = 0;

    QString write(const QList<QByteArray> &lines)
    {
        const QString name = m_dir.filePath(QStringLiteral("capture%1.dat").arg(++m_files));
        QFile file(name);
        if (file.open(QIODevice::WriteOnly))
            for (const QByteArray &line : lines)
                file.write(line + '\n');
        return name;
    }
    int m_files = 0;

    // The replay on this test's clock, with its stream and hub.
    struct Rig
    {
        FakeHubLink hub;
        RtlsLs stream{nullptr, true, &hub, RtlsLs::Ports::anyFree()};
        CaptureReplay replay{&stream};
    };

    void useTestClock(CaptureReplay &replay)
    {
        replay.setClock([this] { return m_now; });
    }

private slots:
    void init() { m_now = 1000; }

    // Reports arrive at their recorded distance, scaled by the speed.
    void recordedPace_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<QList<qint64>>("steps");   // clock advance before each look
        QTest::addColumn<QList<int>>("played");     // reports played at each look
        // Reports at 0, 1, 2, 2 (no time stamp) and 7 s; the last look is
        // one clock millisecond before 7 s, and one more plays the last.
        QTest::newRow("real time") << 1.0 << QList<qint64>{0, 999, 1, 1000, 4999} << QList<int>{1, 1, 2, 4, 4};
        QTest::newRow("four times") << 4.0 << QList<qint64>{0, 249, 1, 250, 1249} << QList<int>{1, 1, 2, 4, 4};
        QTest::newRow("a quarter") << 0.25 << QList<qint64>{0, 3999, 1, 4000, 19999} << QList<int>{1, 1, 2, 4, 4};
    }

    void recordedPace()
    {
        QFETCH(double, speed);
        QFETCH(QList<qint64>, steps);
        QFETCH(QList<int>, played);
        // A line without a time stamp plays with the one before it.
        const QString file = write({report(1, 1, 0), report(1, 2, 1000), report(1, 3, 2000),
                                    "{\"id\":\"0x0001\",\"coordinates\":{\"x\":4,\"y\":0,\"z\":0}}", report(1, 5, 7000)});
        Rig rig;
        useTestClock(rig.replay);
        rig.replay.setSpeed(speed);
        QString error;
        QVERIFY(rig.replay.open(file, &error));
        QCOMPARE(rig.replay.reportCount(), 5);
        QCOMPARE(rig.replay.duration(), qint64(7000));
        for (int i = 0; i < steps.size(); ++i) {
            m_now += steps.at(i);
            rig.replay.playDue();
            QCOMPARE(rig.replay.position(), played.at(i));
        }
        QCOMPARE(rig.hub.findNode(1)->pos()->x(), 4.f);
        QCOMPARE(rig.replay.state(), CaptureReplay::State::Playing);
        m_now += 1;
        rig.replay.playDue();
        QCOMPARE(rig.replay.state(), CaptureReplay::State::Finished);
        QCOMPARE(rig.hub.findNode(1)->pos()->x(), 5.f);
    }

    void pauseSeekAndTheLiveStream()
    {
        const QString file = write({report(2, 1, 0), report(2, 2, 1000), report(2, 3, 2000), report(2, 4, 3000)});
        Rig rig;
        useTestClock(rig.replay);
        QSignalSpy states(&rig.replay, &CaptureReplay::stateChanged);
        QSignalSpy finished(&rig.replay, &CaptureReplay::finished);
        QString error;
        QVERIFY(rig.replay.open(file, &error));
        QVERIFY(rig.stream.isLiveSuspended());
        // Live reports are set aside while the capture plays.
        rig.stream.receiveDatagram("{\"id\":\"0x0099\"}\n");
        QVERIFY(!rig.hub.findNode(0x99));

        rig.replay.pause();
        m_now += 5000;
        rig.replay.playDue();
        QCOMPARE(rig.replay.position(), 1);
        QCOMPARE(rig.replay.elapsed(), qint64(0));
        rig.replay.play();
        m_now += 1000;
        rig.replay.playDue();
        QCOMPARE(rig.replay.position(), 2);

        // Forward: the reports in between are not played.
        rig.replay.seek(2500);
        QCOMPARE(rig.replay.position(), 3);
        m_now += 500;
        rig.replay.playDue();
        QCOMPARE(rig.replay.position(), 4);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(rig.hub.findNode(2)->pos()->x(), 4.f);
        QVERIFY(!rig.stream.isLiveSuspended());
        rig.stream.receiveDatagram("{\"id\":\"0x0099\"}\n");
        QVERIFY(rig.hub.findNode(0x99));

        // Back to the start after the end: paused there, the live stream
        // set aside again until it plays out or is stopped.
        rig.replay.seek(0);
        QCOMPARE(rig.replay.state(), CaptureReplay::State::Paused);
        QVERIFY(rig.stream.isLiveSuspended());
        rig.replay.stop();
        QVERIFY(!rig.stream.isLiveSuspended());
        QCOMPARE(states.last().at(0).value<CaptureReplay::State>(), CaptureReplay::State::Idle);
    }

    void speedIsBounded_data()
    {
        QTest::addColumn<double>("asked");
        QTest::addColumn<double>("speed");
        QTest::newRow("below") << 0.1 << 0.25;
        QTest::newRow("above") << 100.0 << 16.0;
        QTest::newRow("inside") << 2.0 << 2.0;
    }

    void speedIsBounded()
    {
        QFETCH(double, asked);
        Rig rig;
        rig.replay.setSpeed(asked);
        QTEST(rig.replay.speed(), "speed");
    }

    // The good reports of a damaged capture play; each bad line is reported
    // once, as the live stream reports it.
    void badLinesAreReportedOnceEach()
    {
        const QString file = write({report(3, 1, 0), "{\"id\":\"0x0003\",\"timestamp\":1700000000.5,", "[1,2]",
                                    "", "not json at all", report(3, 2, 1000)});
        Rig rig;
        useTestClock(rig.replay);
        QString error;
        QVERIFY(rig.replay.open(file, &error));
        m_now += 2000;
        rig.replay.playDue();
        QCOMPARE(rig.replay.state(), CaptureReplay::State::Finished);
        QCOMPARE(rig.hub.findNode(3)->pos()->x(), 2.f);
        QCOMPARE(rig.hub.messages.size(), 3);
        QVERIFY(rig.hub.messages.at(0).startsWith("LS_IN: Parse error "));
        QVERIFY(rig.hub.messages.at(0).endsWith("1700000000.5,"));
        QCOMPARE(rig.hub.messages.at(1), QStringLiteral("LS_IN: JSON structure mismatch - [1,2]) "));
        QVERIFY(rig.hub.messages.at(2).endsWith(" - not json at all"));
    }

    void unreadableFileChangesNothing()
    {
        Rig rig;
        QString error;
        QVERIFY(!rig.replay.open(m_dir.filePath("missing.dat"), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(rig.replay.state(), CaptureReplay::State::Idle);
        QVERIFY(!rig.stream.isLiveSuspended());
    }

    // Replayed reports are not recorded into a running capture.
    void replayIsNotRecorded()
    {
        const QString file = write({report(4, 1, 0)});
        Rig rig;
        rig.stream.setCaptureFileName(m_dir.filePath("recorded.dat"));
        rig.stream.toggleCapture();
        QString error;
        QVERIFY(rig.replay.open(file, &error));
        QCOMPARE(rig.replay.state(), CaptureReplay::State::Finished);
        QVERIFY(rig.hub.findNode(4));
        QCOMPARE(rig.stream.recordCount(), 0);
        rig.stream.toggleCapture();
    }
};

QTEST_GUILESS_MAIN(tst_CaptureReplay)
#include "tst_capturereplay.moc"
