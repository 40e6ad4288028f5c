#include "VersionMatrix.h"

#include <QtTest>

class TestVersionMatrix : public QObject
{
    Q_OBJECT

private slots:
    void outdatedAgainstNewestOfColumn_data();
    void outdatedAgainstNewestOfColumn();
    void rowsInIdOrderAndUpdatedInPlace();
    void text_data();
    void text();
};

void TestVersionMatrix::outdatedAgainstNewestOfColumn_data()
{
    // Three nodes: hardware, loader, firmware each.
    QTest::addColumn<QVector<quint32>>("versions");
    QTest::addColumn<QVector<bool>>("outdated");

    QTest::newRow("all equal") << QVector<quint32>{0x103, 0x100, 0x20A, 0x103, 0x100, 0x20A, 0x103, 0x100, 0x20A}
                               << QVector<bool>(9, false);
    QTest::newRow("one firmware behind")
        << QVector<quint32>{0x103, 0x100, 0x20A, 0x103, 0x100, 0x209, 0x103, 0x100, 0x20A}
        << QVector<bool>{false, false, false, false, false, true, false, false, false};
    QTest::newRow("unknown is not behind")
        << QVector<quint32>{0x103, 0, 0x20A, 0, 0, 0, 0x102, 0x100, 0x20B}
        << QVector<bool>{false, false, true, false, false, false, true, false, false};
    QTest::newRow("nothing known") << QVector<quint32>(9, 0) << QVector<bool>(9, false);
}

void TestVersionMatrix::outdatedAgainstNewestOfColumn()
{
    QFETCH(QVector<quint32>, versions);
    QFETCH(QVector<bool>, outdated);

    VersionMatrix m;
    for (int n = 0; n < 3; ++n)
        m.set(0x1000 + n, QString(), QStringLiteral("anchor"), versions[n * 3], versions[n * 3 + 1], versions[n * 3 + 2]);
    for (int n = 0; n < 3; ++n)
        for (int c = 0; c < VersionMatrix::ColumnCount; ++c)
            QCOMPARE(m.isOutdated(n, VersionMatrix::Column(c)), outdated[n * 3 + c]);
}

void TestVersionMatrix::rowsInIdOrderAndUpdatedInPlace()
{
    VersionMatrix m;
    m.set(0x2001, QStringLiteral("Forklift"), QStringLiteral("tag"), 0x103, 0, 0x20A);
    m.set(0x1000, QStringLiteral("Master"), QStringLiteral("master"), 0x103, 0, 0x20A);
    m.set(0x1003, QString(), QStringLiteral("anchor"), 0x103, 0, 0x209);
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(m.row(0).id, uint64_t(0x1000));
    QCOMPARE(m.row(2).id, uint64_t(0x2001));
    QCOMPARE(m.indexOf(0x1003), 1);
    QCOMPARE(m.indexOf(0x1004), -1);

    // An update that knows less keeps what was known.
    QCOMPARE(m.set(0x2001, QString(), QString(), 0, 0x100, 0), 2);
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(m.row(2).name, QStringLiteral("Forklift"));
    QCOMPARE(m.row(2).versions[VersionMatrix::Firmware], 0x20Au);
    QCOMPARE(m.row(2).versions[VersionMatrix::Loader], 0x100u);
    QCOMPARE(m.newest(VersionMatrix::Firmware), 0x20Au);
}

void TestVersionMatrix::text_data()
{
    QTest::addColumn<quint32>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown") << 0u << "—";
    QTest::newRow("short") << 0x20Au << "0x020A";
    QTest::newRow("long") << 0x1020304u << "0x1020304";
}

void TestVersionMatrix::text()
{
    QFETCH(quint32, version);
    QFETCH(QString, text);
    QCOMPARE(VersionMatrix::text(version), text);
}

QTEST_APPLESS_MAIN(TestVersionMatrix)
#include "tst_versionmatrix.moc"
