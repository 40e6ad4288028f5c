#include "SimOptions.h"

#include <QtTest>

class TestSimOptions : public QObject
{
    Q_OBJECT
private slots:
    void numbers_data();
    void numbers();
};

void TestSimOptions::numbers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("load mode") << QStringList{"--tags", "49151", "--rate", "1"} << true;
    QTest::newRow("too many tags") << QStringList{"--tags", "49152", "--rate", "1"} << false;
    QTest::newRow("tags beyond int") << QStringList{"--tags", "1e12", "--rate", "1"} << false;
    QTest::newRow("tags without rate") << QStringList{"--tags", "5"} << false;
    QTest::newRow("count") << QStringList{"--count", "1000000"} << true;
    QTest::newRow("count beyond qint64") << QStringList{"--count", "1e30"} << false;
    QTest::newRow("seed beyond quint64") << QStringList{"--seed", "1e300"} << false;
    QTest::newRow("negative count") << QStringList{"--count", "-1"} << false;
    QTest::newRow("infinite duration") << QStringList{"--duration", "inf"} << false;
    QTest::newRow("no outliers") << QStringList{"--outliers", "0"} << true;
    QTest::newRow("outliers beyond every range") << QStringList{"--outliers", "1.5"} << false;
}

void TestSimOptions::numbers()
{
    QFETCH(QStringList, args);
    QFETCH(bool, accepted);
    args.prepend(QStringLiteral("sentrova-sim"));
    SimOptions options;
    QString error;
    QCOMPARE(SimOptions::parse(args, &options, &error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
}

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simoptions.moc"
