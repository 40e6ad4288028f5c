#include "RtlsMetaTypes.h"
#include "RtlsObjectStats.h"

#include <QtTest>

class tst_RtlsObjectStats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerRtlsMetaTypes(); }

    void drift_data()
    {
        QTest::addColumn<bool>("raw");
        QTest::addColumn<double>("in");
        QTest::addColumn<double>("stored");
        QTest::newRow("ratio") << false << 1.000002 << 2e6;
        QTest::newRow("offset") << false << 0.000002 << 2e6;
        QTest::newRow("ratio below one") << false << 0.999999 << -1e6;
        QTest::newRow("at 1.4 is an offset") << false << 1.4 << 1.4e12;
        QTest::newRow("at 0.6 is an offset") << false << 0.6 << 0.6e12;
        QTest::newRow("large") << false << 2.0 << 2e12;
        QTest::newRow("raw ratio") << true << 1.000002 << 2e6;
        QTest::newRow("raw is always a ratio") << true << 0.000002 << -999998e6;
    }

    void drift()
    {
        QFETCH(bool, raw);
        QFETCH(double, in);
        QFETCH(double, stored);
        RtlsObjectStats s;
        raw ? s.setRawTsyncDrift(in) : s.setTsyncDrift(in);
        const double got = raw ? s.rawTsyncDrift() : s.tsyncDrift();
        QVERIFY2(qAbs(got - stored) <= qAbs(stored) * 1e-6, qPrintable(QString::number(got)));
        const QVector<double> history = raw ? s.rawTsyncDriftHistory() : s.tsyncDriftHistory();
        QCOMPARE(history, QVector<double>{got});
    }

    void historyKeepsLast1001InOrder_data()
    {
        QTest::addColumn<int>("calls");
        QTest::newRow("below") << 1000;
        QTest::newRow("at") << 1001;
        QTest::newRow("one over") << 1002;
        QTest::newRow("many over") << 1500;
    }

    void historyKeepsLast1001InOrder()
    {
        QFETCH(int, calls);
        RtlsObjectStats s;
        for (int i = 0; i < calls; ++i) {
            s.setTsyncCnt(uint32_t(i));
            s.setTsyncErr(-i);
            s.setRawTsyncErr(i);
            s.setTsyncDrift(0.0);
            s.setRawTsyncDrift(1.0);
        }
        const int kept = qMin(calls, 1001);
        QVector<double> expected;
        for (int i = calls - kept; i < calls; ++i)
            expected.append(i);
        QCOMPARE(s.tsyncCntHistory(), expected);
        QCOMPARE(s.rawTsyncErrHistory(), expected);
        QCOMPARE(s.tsyncErrHistory().size(), kept);
        QCOMPARE(s.tsyncErrHistory().last(), double(1 - calls));
        QCOMPARE(s.tsyncDriftHistory().size(), kept);
        QCOMPARE(s.rawTsyncDriftHistory().size(), kept);
        QCOMPARE(s.tsyncCnt(), uint32_t(calls - 1));
    }

    void clearHistoryKeepsValues()
    {
        RtlsObjectStats s;
        s.setTsyncCnt(5);
        s.setTsyncErr(-7);
        s.clearHistory();
        QVERIFY(s.tsyncCntHistory().isEmpty());
        QVERIFY(s.tsyncErrHistory().isEmpty());
        QCOMPARE(s.tsyncCnt(), 5u);
        QCOMPARE(s.tsyncErr(), int64_t(-7));
        s.setTsyncCnt(6);
        QCOMPARE(s.tsyncCntHistory(), QVector<double>{6});
    }

    void int64PropertiesThroughMetaObject()
    {
        RtlsObjectStats s;
        QVERIFY(s.setProperty("tsyncErr", QVariant::fromValue<int64_t>(-5000000000LL)));
        QVERIFY(s.setProperty("twrErr", QVariant::fromValue<int32_t>(-3)));
        QCOMPARE(s.property("tsyncErr").value<int64_t>(), int64_t(-5000000000LL));
        QCOMPARE(s.twrErr(), int32_t(-3));
        QCOMPARE(s.tsyncErrHistory(), QVector<double>{-5e9});
    }
};

QTEST_GUILESS_MAIN(tst_RtlsObjectStats)
#include "tst_rtlsobjectstats.moc"
