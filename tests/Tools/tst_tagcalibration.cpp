#include "CalibrationConstants.h"
#include "TagCalibration.h"

#include <QtTest>

#include <random>

// Tag calibration: median gate, per-anchor bias, the robust suggestion and
// its bound.
class tst_TagCalibration : public QObject
{
    Q_OBJECT

private slots:
    void suggestion_data();
    void suggestion();
};

void tst_TagCalibration::suggestion_data()
{
    QTest::addColumn<double>("tagBias");   // metres added to every range
    QTest::addColumn<int>("samples");      // per anchor
    QTest::addColumn<double>("badAnchor"); // extra bias of anchor 4
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("change");
    QTest::addColumn<bool>("limited");

    const int twelve = int(std::lround(12 * 0.0046917519677 / Calib::kMetresPerDeviceUnit));
    QTest::newRow("calibrated tag") << 0.0 << 60 << 0.0 << true << 0 << false;
    QTest::newRow("12 units long") << 12 * Calib::kMetresPerDeviceUnit << 60 << 0.0 << true << twelve << false;
    QTest::newRow("one anchor 0.5 m off does not steer it")
        << -8 * Calib::kMetresPerDeviceUnit << 60 << 0.5 << true << -8 << false;
    QTest::newRow("too few samples") << 0.1 << 49 << 0.0 << false << 0 << false;
    QTest::newRow("large error is applied in bounded steps") << 1.0 << 60 << 0.0 << true << Calib::kTagMaxStep << true;
}

void tst_TagCalibration::suggestion()
{
    QFETCH(double, tagBias);
    QFETCH(int, samples);
    QFETCH(double, badAnchor);

    TagCalibration cal(Calib::kTagMinSamples);
    cal.setTruePosition(4, 5, 1);
    const double anchors[4][3] = {{0, 0, 2.5}, {20, 0, 3}, {20, 15, 2}, {0, 15, 3}};
    for (int i = 0; i < 4; ++i)
        cal.setAnchorPosition(uint64_t(i + 1), anchors[i][0], anchors[i][1], anchors[i][2]);

    std::mt19937_64 rng(3);
    std::normal_distribution<double> gauss(0.0, 0.05);
    for (int n = 0; n < samples; ++n)
        for (int i = 0; i < 4; ++i) {
            const double d = std::sqrt(std::pow(anchors[i][0] - 4, 2) + std::pow(anchors[i][1] - 5, 2)
                                       + std::pow(anchors[i][2] - 1, 2));
            // Every tenth sample a non-line-of-sight excess the gate must drop.
            const double outlier = n % 10 == 3 ? 1.2 : 0.0;
            cal.addSample(uint64_t(i + 1), d + tagBias + (i == 3 ? badAnchor : 0.0) + gauss(rng) + outlier);
        }
    for (int i = 1; i <= 4; ++i) {
        const TagCalibration::AnchorStats s = cal.stats(uint64_t(i));
        QCOMPARE(s.samples, samples);
        QVERIFY(s.kept < samples && s.kept >= samples * 8 / 10);
    }
    const TagCalibration::Suggestion s = cal.suggestion(Calib::kTagMaxStep);
    QTEST(s.valid, "valid");
    if (!s.valid)
        return;
    QFETCH(int, change);
    QVERIFY2(std::abs(s.changeUnits - change) <= 3, qPrintable(QString::number(s.changeUnits)));
    QTEST(s.limited, "limited");

    cal.clearSamples();
    QCOMPARE(cal.sampleCount(1), 0);
    QVERIFY(!cal.suggestion(Calib::kTagMaxStep).valid);
}

QTEST_APPLESS_MAIN(tst_TagCalibration)
#include "tst_tagcalibration.moc"
