#include "StreamTimeText.h"

#include <QDateTime>
#include <QtTest>

#include <cmath>
#include <limits>

// The echo's time stamp of a report: local time to the millisecond, made
// from a text kept per second. Each row is a sequence, so that the kept text
// is used, replaced and never carried into another second.
class tst_StreamTimeText : public QObject
{
    Q_OBJECT

private slots:
    void fromSeconds_data();
    void fromSeconds();
    void notATime_data();
    void notATime();
};

void tst_StreamTimeText::fromSeconds_data()
{
    QTest::addColumn<QList<double>>("seconds");

    const double base = double(QDateTime(QDate(2026, 12, 9), QTime(1, 59, 58)).toSecsSinceEpoch());
    QTest::newRow("same second") << QList<double>{base, base + 0.5, base + 0.999};
    QTest::newRow("next second") << QList<double>{base + 0.999, base + 1.0, base + 1.001};
    QTest::newRow("back and forth") << QList<double>{base + 2.25, base + 1.75, base + 2.5};
    QTest::newRow("fraction rounded down") << QList<double>{base + 0.0009, base + 0.9999};
    QTest::newRow("across midnight") << QList<double>{base + 79321.5, base + 79322.5};
    QTest::newRow("before the epoch") << QList<double>{-0.001, -1.0, -1.0005, 0.0};
    QTest::newRow("far future") << QList<double>{4102444800.123, 4102444800.456};
}

void tst_StreamTimeText::fromSeconds()
{
    QFETCH(QList<double>, seconds);
    for (double s : seconds) {
        const qint64 msecs = qint64(std::floor(1000.0 * s));
        const QString expected
            = QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        QCOMPARE(StreamTimeText::fromSeconds(s), expected);
    }
}

void tst_StreamTimeText::notATime_data()
{
    QTest::addColumn<double>("seconds");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
    QTest::newRow("beyond the calendar") << 1e300;
}

void tst_StreamTimeText::notATime()
{
    QFETCH(double, seconds);
    QCOMPARE(StreamTimeText::fromSeconds(seconds), StreamTimeText::placeholder());
}

QTEST_GUILESS_MAIN(tst_StreamTimeText)
#include "tst_streamtimetext.moc"
