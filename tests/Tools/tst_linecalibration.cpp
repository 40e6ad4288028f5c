#include "CalibrationConstants.h"
#include "LineCalibration.h"

#include <QHash>
#include <QtTest>

// The line method's arithmetic: which pair are the ends, the cosine of the
// angle at a middle anchor, the correction and the delay it gives.
class tst_LineCalibration : public QObject
{
    Q_OBJECT

private slots:
    void endsAreTheFarthestPair_data();
    void endsAreTheFarthestPair();
    void middleAnchor_data();
    void middleAnchor();
};

using Table = QHash<QPair<uint64_t, uint64_t>, double>;

void tst_LineCalibration::endsAreTheFarthestPair_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<uint64_t>("begin");
    QTest::addColumn<uint64_t>("end");
    QTest::addColumn<double>("length");

    QTest::newRow("three on a line") << Table{{{1, 2}, 5.0}, {{1, 3}, 10.0}, {{2, 3}, 5.0}} << uint64_t(1)
                                     << uint64_t(3) << 10.0;
    // Only the later partner is read from each anchor's table: 3 -> 1 does
    // not count, the pair is found from 1's side.
    QTest::newRow("measured one way") << Table{{{1, 3}, 12.0}, {{2, 3}, 4.0}} << uint64_t(1) << uint64_t(3) << 12.0;
    QTest::newRow("first pair wins a tie") << Table{{{1, 2}, 8.0}, {{2, 3}, 8.0}} << uint64_t(1) << uint64_t(2) << 8.0;
    QTest::newRow("no measurement") << Table{} << uint64_t(0) << uint64_t(0) << 0.0;
    QTest::newRow("zero and negative ranges are no measurement")
        << Table{{{1, 2}, 0.0}, {{1, 3}, -4.0}} << uint64_t(0) << uint64_t(0) << 0.0;
}

void tst_LineCalibration::endsAreTheFarthestPair()
{
    QFETCH(Table, table);
    const LineCalibration::Ends ends =
        LineCalibration::findEnds({1, 2, 3}, [&](uint64_t from, uint64_t to) -> std::optional<double> {
            const auto it = table.constFind(qMakePair(from, to));
            if (it == table.constEnd())
                return std::nullopt;
            return *it;
        });
    QTEST(ends.begin, "begin");
    QTEST(ends.end, "end");
    QTEST(ends.length, "length");
    QCOMPARE(ends.valid(), ends.begin != 0);
}

void tst_LineCalibration::middleAnchor_data()
{
    QTest::addColumn<double>("length");
    QTest::addColumn<double>("toBegin");
    QTest::addColumn<double>("toEnd");
    QTest::addColumn<bool>("hasCosine");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<double>("correction");
    QTest::addColumn<int>("newTx"); // -1: refused

    const int on = int(LineCalibration::Alignment::OnLine);
    const int near = int(LineCalibration::Alignment::Near);
    const int off = int(LineCalibration::Alignment::Off);
    QTest::newRow("exactly between") << 10.0 << 5.0 << 5.0 << true << on << 0.0 << 16511;
    // 0.05 m is 10.66 units: 16511 - 10.66 + 0.5 truncates to 16500.
    QTest::newRow("parts 0.1 m short") << 10.0 << 4.95 << 4.95 << true << on << 0.05 << 16500;
    QTest::newRow("parts 0.1 m long") << 10.0 << 5.05 << 5.05 << true << on << -0.05 << 16522;
    QTest::newRow("off the line") << 10.0 << 6.0 << 6.0 << true << off << -1.0 << 16724;
    QTest::newRow("near the line") << 10.0 << 5.2 << 5.2 << true << near << -0.2 << 16554;
    QTest::newRow("no distance to the end") << 10.0 << 5.0 << 0.0 << false << -1 << 2.5 << -1;
    // A correction of metres would take the delay out of the window: the
    // value is never offered for writing.
    QTest::newRow("implausible correction") << 30.0 << 5.0 << 5.0 << true << off << 10.0 << -1;
}

void tst_LineCalibration::middleAnchor()
{
    QFETCH(double, length);
    QFETCH(double, toBegin);
    QFETCH(double, toEnd);
    QFETCH(bool, hasCosine);
    QFETCH(int, alignment);
    QFETCH(double, correction);
    QFETCH(int, newTx);

    const std::optional<double> cos = LineCalibration::cosine(toBegin, toEnd, length);
    QCOMPARE(cos.has_value(), hasCosine);
    if (cos)
        QCOMPARE(int(LineCalibration::alignment(*cos)), alignment);
    const double c = LineCalibration::correction(length, toBegin, toEnd);
    QVERIFY(qAbs(c - correction) < 1e-9);
    if (!hasCosine)
        return;
    const std::optional<uint16_t> tx = LineCalibration::newDelay(16511, c);
    QCOMPARE(tx ? int(*tx) : -1, newTx);
}

QTEST_APPLESS_MAIN(tst_LineCalibration)
#include "tst_linecalibration.moc"
