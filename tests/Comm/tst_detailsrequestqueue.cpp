// The pace at which the stream's own details requests reach the masters.
#include "CommConstants.h"
#include "DetailsRequestQueue.h"

#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <limits>

class tst_DetailsRequestQueue : public QObject
{
    Q_OBJECT

private slots:
    // One a send tick while the masters' queues are short; none while they
    // are long or there is no master; a duplicate waits once; a full queue
    // refuses.
    void pacing_data()
    {
        QTest::addColumn<int>("backlog");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QList<uint64_t>>("sent");
        QTest::addColumn<int>("waiting");
        QTest::newRow("idle channel") << 0 << 3 << QList<uint64_t>{1, 2, 3} << 0;
        QTest::newRow("short queue") << DetailsRequestQueue::kMaxBacklog << 2 << QList<uint64_t>{1, 2} << 0;
        QTest::newRow("long queue") << DetailsRequestQueue::kMaxBacklog + 1 << 3 << QList<uint64_t>{} << 3;
        QTest::newRow("no master") << std::numeric_limits<int>::max() << 2 << QList<uint64_t>{} << 2;
    }

    void pacing()
    {
        QFETCH(int, backlog);
        QFETCH(int, requests);
        QFETCH(QList<uint64_t>, sent);
        QFETCH(int, waiting);
        QList<uint64_t> out;
        DetailsRequestQueue queue([&] { return backlog; }, [&](uint64_t id) { out.append(id); });
        for (int i = 1; i <= requests; ++i) {
            QVERIFY(queue.request(uint64_t(i)));
            QVERIFY(queue.request(uint64_t(i)));
        }
        QCOMPARE(out, QList<uint64_t>());
        if (sent.isEmpty()) {
            // Held: a few ticks go by and nothing goes out.
            QTest::qWait(Comm::kSendIntervalMs * 5);
            QCOMPARE(out, sent);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(out, sent, 10000);
        }
        QCOMPARE(queue.waiting(), waiting);
    }

    // A master slower than the send tick: its queue never grows past the
    // backlog the requests wait for.
    void neverFillsASlowMaster()
    {
        QList<uint64_t> masterQueue;
        QList<uint64_t> answered;
        int longest = 0;
        DetailsRequestQueue queue([&] { return masterQueue.size(); },
                                  [&](uint64_t id) {
                                      masterQueue.append(id);
                                      longest = std::max(longest, int(masterQueue.size()));
                                  });
        QTimer master;
        master.setInterval(Comm::kSendIntervalMs * 3);
        connect(&master, &QTimer::timeout, this, [&] {
            if (!masterQueue.isEmpty())
                answered.append(masterQueue.takeFirst());
        });
        master.start();
        for (uint64_t id = 1; id <= 12; ++id)
            QVERIFY(queue.request(id));
        QTRY_COMPARE_WITH_TIMEOUT(answered.size(), 12, 20000);
        QCOMPARE(answered.first(), uint64_t(1));
        QCOMPARE(answered.last(), uint64_t(12));
        QVERIFY2(longest <= DetailsRequestQueue::kMaxBacklog + 1, qPrintable(QString::number(longest)));
    }

    void boundedAndRefusing()
    {
        int backlog = std::numeric_limits<int>::max();
        QList<uint64_t> out;
        DetailsRequestQueue queue([&] { return backlog; },
                                  [&](uint64_t id) {
                                      out.append(id);
                                      // The master's queue is long again.
                                      backlog = std::numeric_limits<int>::max();
                                  });
        for (int i = 0; i < DetailsRequestQueue::kMaxWaiting; ++i)
            QVERIFY(queue.request(uint64_t(i)));
        QVERIFY(!queue.request(uint64_t(DetailsRequestQueue::kMaxWaiting)));
        // One already waiting is accepted all the same.
        QVERIFY(queue.request(5));
        QCOMPARE(queue.waiting(), DetailsRequestQueue::kMaxWaiting);
        // The channel frees up: the oldest goes first, and room comes back.
        backlog = 0;
        QTRY_COMPARE(out.size(), 1);
        QCOMPARE(out.first(), uint64_t(0));
        QVERIFY(queue.request(uint64_t(DetailsRequestQueue::kMaxWaiting)));
    }
};

QTEST_GUILESS_MAIN(tst_DetailsRequestQueue)
#include "tst_detailsrequestqueue.moc"
