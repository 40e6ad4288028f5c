#include "AnchorDelaySolver.h"
#include "CalibrationConstants.h"

#include <QtTest>

#include <cmath>
#include <random>

// The all-anchors delay solver on synthetic sites: known positions, known
// per-anchor range errors, seeded noise.
class tst_AnchorDelaySolver : public QObject
{
    Q_OBJECT

private slots:
    void recoversEveryAnchorsError_data();
    void recoversEveryAnchorsError();
    void pairsThatCannotBeSeparatedAreLeftAlone();
};

namespace {

struct Site {
    AnchorSurvey survey;
    QHash<uint64_t, double> truth;
};

// A hall like the simulator's: eight anchors on a 20 x 15 m floor plus two
// that see only each other.
Site makeSite(double noise, bool outlier, bool oneUnsurveyed)
{
    const double p[10][3] = {{0, 0, 2.5},  {20, 0, 3.2}, {20, 15, 2.2}, {0, 15, 3.0}, {10, 0, 1.6},
                             {10, 15, 3.4}, {0, 7.5, 1.8}, {20, 7.5, 2.8}, {2, 2, 6.5}, {18, 13, 7.0}};
    std::mt19937_64 rng(11);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> spread(-20.0, 20.0);
    Site site;
    for (int i = 0; i < 10; ++i) {
        AnchorSurvey::Anchor a;
        a.id = 0x1000 + uint64_t(i);
        a.surveyed = !(oneUnsurveyed && i == 3);
        a.x = p[i][0];
        a.y = p[i][1];
        a.z = p[i][2];
        site.survey.anchors.append(a);
        site.truth.insert(a.id, spread(rng) * Calib::kMetresPerDeviceUnit);
    }
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) {
            if (i == j || (i >= 8) != (j >= 8))
                continue;
            const auto &a = site.survey.anchors[i];
            const auto &b = site.survey.anchors[j];
            const double d = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
            double r = d + site.truth[a.id] + site.truth[b.id] + noise * gauss(rng);
            if (outlier && i == 1 && j == 5)
                r += 1.5;
            site.survey.add(AnchorSurvey::Range{a.id, b.id, r, noise});
        }
    return site;
}

} // namespace

void tst_AnchorDelaySolver::recoversEveryAnchorsError_data()
{
    QTest::addColumn<double>("noise");
    QTest::addColumn<bool>("outlier");
    QTest::addColumn<bool>("unsurveyed");
    QTest::addColumn<double>("toleranceUnits");

    QTest::newRow("exact ranges") << 0.0 << false << false << 1e-6;
    QTest::newRow("5 mm noise") << 0.005 << false << false << 1.5;
    QTest::newRow("a 1.5 m outlier is rejected") << 0.005 << true << false << 1.5;
    QTest::newRow("an anchor without coordinates takes no part") << 0.005 << false << true << 1.5;
}

void tst_AnchorDelaySolver::recoversEveryAnchorsError()
{
    QFETCH(double, noise);
    QFETCH(bool, outlier);
    QFETCH(bool, unsurveyed);
    QFETCH(double, toleranceUnits);

    const Site site = makeSite(noise, outlier, unsurveyed);
    const AnchorDelaySolver::Result result = AnchorDelaySolver::solve(site.survey);
    for (int i = 0; i < 8; ++i) {
        const uint64_t id = 0x1000 + uint64_t(i);
        const AnchorDelaySolver::AnchorResult r = result.anchors.value(id);
        if (unsurveyed && i == 3) {
            QVERIFY(!r.solved);
            continue;
        }
        QVERIFY2(r.solved, qPrintable(QString::number(id, 16)));
        const double expected = site.truth.value(id) / Calib::kMetresPerDeviceUnit;
        QVERIFY2(std::fabs(r.changeUnits - expected) <= toleranceUnits,
                 qPrintable(QStringLiteral("%1: %2 vs %3").arg(id, 0, 16).arg(r.changeUnits).arg(expected)));
    }
    QCOMPARE(result.pairsRejected, outlier ? 1 : 0);
    QVERIFY(result.rmsBefore > 0.04);
    QVERIFY(result.rmsAfter <= std::max(noise, 1e-9) * 1.5);
}

void tst_AnchorDelaySolver::pairsThatCannotBeSeparatedAreLeftAlone()
{
    const AnchorDelaySolver::Result result = AnchorDelaySolver::solve(makeSite(0.005, false, false).survey);
    QVERIFY(!result.anchors.value(0x1008).solved);
    QVERIFY(!result.anchors.value(0x1009).solved);

    // Four anchors in a square measured only around the square: an even
    // cycle, so each error trades against its neighbours' and nothing is
    // determined.
    AnchorSurvey square;
    const double p[4][2] = {{0, 0}, {5, 0}, {5, 5}, {0, 5}};
    for (int i = 0; i < 4; ++i)
        square.anchors.append(AnchorSurvey::Anchor{uint64_t(i + 1), true, p[i][0], p[i][1], 2.0});
    for (int i = 0; i < 4; ++i)
        square.add(AnchorSurvey::Range{uint64_t(i + 1), uint64_t((i + 1) % 4 + 1), 5.1, 0.0});
    const AnchorDelaySolver::Result r = AnchorDelaySolver::solve(square);
    for (int i = 1; i <= 4; ++i)
        QVERIFY(!r.anchors.value(uint64_t(i)).solved);
}

QTEST_APPLESS_MAIN(tst_AnchorDelaySolver)
#include "tst_anchordelaysolver.moc"
