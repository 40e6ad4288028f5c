#include "LayoutCheck.h"

#include <QtTest>

#include <cmath>
#include <random>

// The layout check on a synthetic hall: the anchor whose surveyed
// coordinates are wrong is the one flagged, whichever way it is wrong.
class tst_LayoutCheck : public QObject
{
    Q_OBJECT

private slots:
    void flagsTheMisplacedAnchor_data();
    void flagsTheMisplacedAnchor();
    void tooFewAnchorsAreNotChecked();
};

namespace {

const double kHall[8][3] = {{0, 0, 2.5},  {20, 0, 3.2}, {20, 15, 2.2}, {0, 15, 3.0},
                            {10, 0, 1.6}, {10, 15, 3.4}, {0, 7.5, 1.8}, {20, 7.5, 2.8}};

AnchorSurvey hall(int wrong, double dx, double dy, double noise, double biasSpread)
{
    std::mt19937_64 rng(5);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> spread(-biasSpread, biasSpread);
    QVector<double> bias;
    AnchorSurvey s;
    for (int i = 0; i < 8; ++i) {
        AnchorSurvey::Anchor a{0x1000 + uint64_t(i), true, kHall[i][0], kHall[i][1], kHall[i][2]};
        if (i == wrong) {
            a.x += dx;
            a.y += dy;
        }
        s.anchors.append(a);
        bias.append(spread(rng));
    }
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            if (i == j)
                continue;
            const double d = std::sqrt(std::pow(kHall[i][0] - kHall[j][0], 2) + std::pow(kHall[i][1] - kHall[j][1], 2)
                                       + std::pow(kHall[i][2] - kHall[j][2], 2));
            s.add(AnchorSurvey::Range{0x1000 + uint64_t(i), 0x1000 + uint64_t(j), d + bias[i] + bias[j] + noise * gauss(rng),
                                      noise});
        }
    return s;
}

} // namespace

void tst_LayoutCheck::flagsTheMisplacedAnchor_data()
{
    QTest::addColumn<int>("wrong");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");

    QTest::newRow("corner 0.5 m in x") << 2 << 0.5 << 0.0;
    QTest::newRow("edge 0.5 m in y") << 4 << 0.0 << 0.5;
    QTest::newRow("master 0.5 m diagonal") << 0 << -0.35 << 0.35;
    QTest::newRow("side 0.5 m outwards") << 6 << -0.5 << 0.0;
}

void tst_LayoutCheck::flagsTheMisplacedAnchor()
{
    QFETCH(int, wrong);
    QFETCH(double, dx);
    QFETCH(double, dy);

    // 1.6 cm noise and up to 9 cm of antenna-delay error per anchor, as an
    // uncalibrated site measures.
    const LayoutCheck::Result r = LayoutCheck::check(hall(wrong, dx, dy, 0.016, 0.09));
    QCOMPARE(r.checkedCount, 8);
    QCOMPARE(r.flagged, 0x1000 + uint64_t(wrong));
    QVERIFY2(r.worstResidual > 0.35, qPrintable(QString::number(r.worstResidual)));
    for (auto it = r.anchors.constBegin(); it != r.anchors.constEnd(); ++it)
        if (it.key() != r.flagged)
            QVERIFY2(it->residual < 0.2, qPrintable(QStringLiteral("%1: %2").arg(it.key(), 0, 16).arg(it->residual)));

    // A layout that is right flags nothing worth a look.
    const LayoutCheck::Result good = LayoutCheck::check(hall(-1, 0, 0, 0.0, 0.0));
    QVERIFY(good.worstResidual < 1e-3);
}

void tst_LayoutCheck::tooFewAnchorsAreNotChecked()
{
    AnchorSurvey s = hall(-1, 0, 0, 0.0, 0.0);
    s.anchors.resize(3);
    AnchorSurvey three;
    three.anchors = s.anchors;
    for (const AnchorSurvey::Range &r : qAsConst(s.ranges))
        if (three.anchor(r.from) && three.anchor(r.to))
            three.add(r);
    const LayoutCheck::Result r = LayoutCheck::check(three);
    QCOMPARE(r.checkedCount, 0);
    QCOMPARE(r.flagged, uint64_t(0));
}

QTEST_APPLESS_MAIN(tst_LayoutCheck)
#include "tst_layoutcheck.moc"
