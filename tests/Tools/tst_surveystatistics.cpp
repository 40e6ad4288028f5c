// The site acceptance figures against sets worked out by hand, and the
// session's rules: which reports a run takes, what a point's result and the
// site's verdict are, which anchors are named beside a point.
#include "RtlsObject.h"
#include "SiteAcceptanceSession.h"
#include "SurveyStatistics.h"

#include <QJsonDocument>
#include <QtTest>

#include <cmath>

using Position = SurveyStatistics::Position;
using Figures = SurveyStatistics::Figures;
using Status = SiteAcceptanceSession::Status;
using Verdict = SiteAcceptanceSession::Verdict;

Q_DECLARE_METATYPE(Position)
Q_DECLARE_METATYPE(Figures)

namespace {

constexpr uint64_t kTag = 0x2001;
constexpr double kExact = 1e-9;

// Expected figures; fields left NaN are not compared.
Figures expect(int count, Position mean, double bx, double by, double bz, double bh, double sx, double sy, double sz,
               double rms2d, double rms3d, double cep50, double cep95, double max, double rms3dError)
{
    Figures f;
    f.count = count;
    f.mean = mean;
    f.biasX = bx;
    f.biasY = by;
    f.biasZ = bz;
    f.biasHorizontal = bh;
    f.sdX = sx;
    f.sdY = sy;
    f.sdZ = sz;
    f.rms2d = rms2d;
    f.rms3d = rms3d;
    f.cep50 = cep50;
    f.cep95 = cep95;
    f.maxError = max;
    f.rms3dError = rms3dError;
    return f;
}

QVector<Position> along(int n, double step)
{
    QVector<Position> out;
    for (int k = 1; k <= n; ++k)
        out.append({k * step, 0.0, 0.0});
    return out;
}

// A report of the tag as the stream brings it: a time stamp, a position
// with its quality and the anchors it ranged to. The tag stands still (io
// bit 0x02), so the model smooths its position; the runs take the reported
// one.
void report(RtlsObject &tag, double time, double x, double y, double z, int pqf, const QVector<uint64_t> &anchors)
{
    QByteArray json = R"({"id":"0x2001","mode":"tag","io":2,"timestamp":)" + QByteArray::number(time, 'f', 3)
                      + R"(,"coordinates":{"x":)" + QByteArray::number(x) + R"(,"y":)" + QByteArray::number(y)
                      + R"(,"z":)" + QByteArray::number(z, 'f', 3) + R"(,"pqf":)" + QByteArray::number(pqf) + "}";
    if (!anchors.isEmpty()) {
        json += R"(,"meas":[)";
        for (int i = 0; i < anchors.size(); ++i)
            json += (i ? "," : "") + QByteArray(R"({"anchor":")") + QByteArray::number(qulonglong(anchors[i]), 16)
                    + R"(","dist":5.0,"tqf":1,"rssi":-80})";
        json += "]";
    }
    tag.updateFromJson(QJsonDocument::fromJson(json + "}").object());
}

SurveyPlan plan(int points)
{
    SurveyPlan p;
    for (int i = 0; i < points; ++i)
        p.points.append({QStringLiteral("P%1").arg(i + 1), 2.0 * i, 0.0, 1.0, 0});
    return p;
}

// Runs point `point` with positions at the given horizontal offsets from
// its truth, all of quality pqf.
void run(SiteAcceptanceSession &s, RtlsObject &tag, int point, const QVector<double> &offsets, int pqf = 90,
         int minPqf = 50)
{
    QVERIFY(s.start(point, kTag, minPqf, 1700000000000));
    static double time = 1000.0;
    const SurveyPoint &p = s.plan().points.at(point);
    for (double d : offsets) {
        report(tag, time += 0.1, p.x + d, p.y, p.z, pqf, {0x1000, 0x1001});
        QVERIFY(s.addReport(&tag));
    }
    s.stop();
}

} // namespace

class tst_SurveyStatistics : public QObject
{
    Q_OBJECT

private slots:
    void figures_data()
    {
        QTest::addColumn<QVector<Position>>("positions");
        QTest::addColumn<Position>("truth");
        QTest::addColumn<Figures>("expected");
        const double nan = qQNaN();
        // Four positions 1 m from the truth on each side: no bias; sample
        // deviations sqrt(2/3); RMS about the mean sqrt(4/4) = 1.
        QTest::newRow("cross around the truth")
            << QVector<Position>{{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}} << Position{0, 0, 0}
            << expect(4, {0, 0, 0}, 0, 0, 0, 0, std::sqrt(2.0 / 3), std::sqrt(2.0 / 3), 0, 1, 1, 1, 1, 1, 1);
        // Both 0.3 east and 0.4 north of the truth, 0.2 apart in height:
        // a horizontal bias of 0.5 and no horizontal scatter; 3D RMS error
        // sqrt((0.25 + 0.29) / 2).
        QTest::newRow("biased, scattered in height")
            << QVector<Position>{{10.3, 20.4, 1.0}, {10.3, 20.4, 1.2}} << Position{10, 20, 1}
            << expect(2, {10.3, 20.4, 1.1}, 0.3, 0.4, 0.1, 0.5, 0, 0, std::sqrt(0.02), 0, 0.1, 0.5, 0.5, 0.5,
                      std::sqrt(0.27));
        // Errors 0.01 .. 0.20: by nearest rank CEP50 is the 10th (0.10) and
        // CEP95 the 19th (0.19). The sample variance of 1..20 is 35.
        QTest::newRow("twenty along a line")
            << along(20, 0.01) << Position{0, 0, 0}
            << expect(20, {0.105, 0, 0}, 0.105, 0, 0, 0.105, std::sqrt(35.0) * 0.01, 0, 0,
                      std::sqrt(35.0 * 19 / 20) * 0.01, std::sqrt(35.0 * 19 / 20) * 0.01, 0.10, 0.19, 0.20, nan);
        // 21 errors: rank ceil(10.5) = 11 and ceil(19.95) = 20.
        QTest::newRow("twenty-one along a line")
            << along(21, 0.01) << Position{0, 0, 0}
            << expect(21, {0.11, 0, 0}, 0.11, 0, 0, 0.11, nan, 0, 0, nan, nan, 0.11, 0.20, 0.21, nan);
        // One position: no scatter, every percentile is its error.
        QTest::newRow("single position")
            << QVector<Position>{{1, 2, 3}} << Position{1, 1, 1}
            << expect(1, {1, 2, 3}, 0, 1, 2, 1, 0, 0, 0, 0, 0, 1, 1, 1, std::sqrt(5.0));
    }

    void figures()
    {
        QFETCH(QVector<Position>, positions);
        QFETCH(Position, truth);
        QFETCH(Figures, expected);
        const Figures f = SurveyStatistics::compute(positions, truth);
        QCOMPARE(f.count, expected.count);
        const struct {
            const char *name;
            double got, want;
        } checks[] = {
            {"mean x", f.mean.x, expected.mean.x}, {"mean y", f.mean.y, expected.mean.y},
            {"mean z", f.mean.z, expected.mean.z}, {"bias x", f.biasX, expected.biasX},
            {"bias y", f.biasY, expected.biasY},   {"bias z", f.biasZ, expected.biasZ},
            {"bias h", f.biasHorizontal, expected.biasHorizontal},
            {"sd x", f.sdX, expected.sdX},         {"sd y", f.sdY, expected.sdY},
            {"sd z", f.sdZ, expected.sdZ},         {"rms 2d", f.rms2d, expected.rms2d},
            {"rms 3d", f.rms3d, expected.rms3d},   {"cep50", f.cep50, expected.cep50},
            {"cep95", f.cep95, expected.cep95},    {"max", f.maxError, expected.maxError},
            {"rms 3d error", f.rms3dError, expected.rms3dError},
        };
        for (const auto &c : checks)
            if (!std::isnan(c.want))
                QVERIFY2(std::fabs(c.got - c.want) < kExact,
                         qPrintable(QStringLiteral("%1: %2, expected %3").arg(c.name).arg(c.got, 0, 'g', 12).arg(c.want)));
    }

    void noPositionsGiveNoFigures()
    {
        const Figures f = SurveyStatistics::compute({}, {1, 2, 3});
        QCOMPARE(f.count, 0);
        QVERIFY(!f.valid());
        QCOMPARE(SurveyStatistics::pooled({}).count, 0);
    }

    void quantileByNearestRank_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<double>("p");
        QTest::addColumn<double>("expected");
        QTest::newRow("median of three, unsorted") << QVector<double>{3, 1, 2} << 0.5 << 2.0;
        QTest::newRow("median of four: the lower middle") << QVector<double>{4, 1, 3, 2} << 0.5 << 2.0;
        QTest::newRow("all of them") << QVector<double>{3, 1, 2} << 1.0 << 3.0;
        QTest::newRow("a small share: the least") << QVector<double>{3, 1, 2} << 0.01 << 1.0;
        QTest::newRow("95 % of ten: the tenth") << QVector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << 0.95 << 10.0;
        QTest::newRow("none") << QVector<double>{} << 0.5 << qQNaN();
    }

    void quantileByNearestRank()
    {
        QFETCH(QVector<double>, values);
        QFETCH(double, p);
        QFETCH(double, expected);
        const double got = SurveyStatistics::quantile(values, p);
        if (std::isnan(expected))
            QVERIFY(std::isnan(got));
        else
            QCOMPARE(got, expected);
    }

    // Every position against its own point's truth: errors 0.1, 0.3 at one
    // point and 0.2, 0.4 at the other.
    void pooledOverPoints()
    {
        const QVector<Position> a{{0.1, 0, 0}, {0.3, 0, 0}};
        const QVector<Position> b{{5, 5.2, 0}, {5, 5.4, 0}};
        const Figures f = SurveyStatistics::pooled({{&a, {0, 0, 0}}, {&b, {5, 5, 0}}});
        QCOMPARE(f.count, 4);
        QVERIFY(std::fabs(f.cep50 - 0.2) < kExact);
        QVERIFY(std::fabs(f.cep95 - 0.4) < kExact);
        QVERIFY(std::fabs(f.maxError - 0.4) < kExact);
        QVERIFY(std::fabs(f.rms3dError - std::sqrt(0.075)) < kExact);
    }

    // Only new reports of the running tag that carry a position count; one
    // below the minimum quality is kept but not used.
    void aRunTakesTheTagsPositions()
    {
        SiteAcceptanceSession s;
        s.setPlan(plan(1));
        RtlsObject tag(kTag), other(0x2002);
        report(tag, 1.0, 0.0, 0.0, 1.0, 90, {});
        QVERIFY(!s.addReport(&tag)); // not running
        QVERIFY(s.start(0, kTag, 50, 0));
        QVERIFY(s.addReport(&tag));
        QVERIFY(!s.addReport(&tag)); // the same report again
        report(other, 2.0, 0.0, 0.0, 1.0, 90, {});
        QVERIFY(!s.addReport(&other));
        report(tag, 2.0, 0.1, 0.0, 1.0, 49, {0x1000});
        QVERIFY(s.addReport(&tag));
        tag.updateFromJson(QJsonDocument::fromJson(R"({"id":"0x2001","timestamp":3.0,"meas":[]})").object());
        QVERIFY(!s.addReport(&tag)); // no position
        const SiteAcceptanceSession::Run &r = s.runs(0).first();
        QCOMPARE(r.reports(), 2);
        QCOMPARE(r.used, 1);
        QCOMPARE(r.belowQuality(), 1);
        QCOMPARE(r.heard.value(0x1000), 1);
        QCOMPARE(s.plan().points.first().tag, kTag);
    }

    void pointResults_data()
    {
        QTest::addColumn<QVector<double>>("offsets");
        QTest::addColumn<int>("pqf");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("verdict");
        QTest::newRow("within the target") << QVector<double>{0.1, 0.2, 0.1} << 90 << int(Status::Pass)
                                           << int(Verdict::Pass);
        QTest::newRow("beyond the target") << QVector<double>{0.1, 0.2, 0.4} << 90 << int(Status::Fail)
                                           << int(Verdict::Fail);
        // Exactly on the target passes.
        QTest::newRow("on the target") << QVector<double>{0.3} << 90 << int(Status::Pass) << int(Verdict::Pass);
        QTest::newRow("every position below the minimum quality")
            << QVector<double>{0.0, 0.0} << 20 << int(Status::NoUsable) << int(Verdict::Fail);
        QTest::newRow("a run that heard nothing") << QVector<double>{} << 90 << int(Status::NoReports)
                                                  << int(Verdict::Incomplete);
    }

    void pointResults()
    {
        QFETCH(QVector<double>, offsets);
        QFETCH(int, pqf);
        QFETCH(int, status);
        QFETCH(int, verdict);
        SiteAcceptanceSession s;
        s.setPlan(plan(1));
        RtlsObject tag(kTag);
        run(s, tag, 0, offsets, pqf);
        const QVector<SiteAcceptanceSession::PointResult> results = s.results({});
        QCOMPARE(int(results.first().status), status);
        const SiteAcceptanceSession::Overall o = s.overall(results);
        QCOMPARE(int(o.verdict), verdict);
        if (status == int(Status::NoUsable) || status == int(Status::Fail))
            QCOMPARE(o.worst, 0);
    }

    void verdictOfTheSite()
    {
        SiteAcceptanceSession s;
        s.setPlan(plan(3));
        RtlsObject tag(kTag);
        QCOMPARE(s.overall(s.results({})).verdict, Verdict::NotRun);
        run(s, tag, 0, {0.05, 0.1});
        run(s, tag, 1, {0.2, 0.25});
        SiteAcceptanceSession::Overall o = s.overall(s.results({}));
        QCOMPARE(o.verdict, Verdict::Incomplete);
        QCOMPARE(o.passed, 2);
        QCOMPARE(o.open, 1);
        QCOMPARE(o.worst, 1);
        // A run again replaces the point's result; the first run stays.
        run(s, tag, 2, {0.5});
        run(s, tag, 2, {0.01});
        o = s.overall(s.results({}));
        QCOMPARE(o.verdict, Verdict::Pass);
        QCOMPARE(s.runs(2).size(), 2);
        QCOMPARE(o.figures.count, 5);
        QVERIFY(std::fabs(o.figures.maxError - 0.25) < 1e-6);
    }

    // The anchor a point is named with: flagged and among its four nearest
    // that the tag heard.
    void flaggedAnchorsNearAPoint()
    {
        SiteAcceptanceSession s;
        s.setPlan(plan(1)); // P1 at (0, 0, 1)
        const QVector<SiteAcceptanceSession::Anchor> anchors{
            {0x1000, 1, 0, 2, false}, {0x1001, 0, 1, 2, true}, {0x1002, -1, 0, 2, false},
            {0x1003, 0, -1, 2, false}, {0x1004, 30, 0, 2, true}};
        SiteAcceptanceSession::PointResult r = s.result(0, anchors);
        QCOMPARE(r.flaggedNear, QVector<uint64_t>{0x1001});
        QVERIFY(std::isfinite(r.hdop));
        // Heard only 0x1001 and the far one: both are among the nearest then.
        RtlsObject tag(kTag);
        QVERIFY(s.start(0, kTag, 0, 0));
        report(tag, 1.0, 0, 0, 1, 90, {0x1001, 0x1004});
        QVERIFY(s.addReport(&tag));
        s.stop();
        r = s.result(0, anchors);
        QCOMPARE(r.flaggedNear, (QVector<uint64_t>{0x1001, 0x1004}));
        QCOMPARE(r.inRange, (QVector<uint64_t>{0x1001, 0x1004}));
    }

    void csvHoldsEveryPositionOfEveryRun()
    {
        SiteAcceptanceSession s;
        SurveyPlan p = plan(2);
        p.points[1].name = QStringLiteral("dock, north");
        s.setPlan(p);
        RtlsObject tag(kTag);
        run(s, tag, 0, {0.1, 0.2}, 90);
        run(s, tag, 0, {0.3}, 20);
        run(s, tag, 1, {-0.5});
        const QStringList lines = s.toCsv().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 4);
        QCOMPARE(lines.first(),
                 QStringLiteral("point,run,tag,started,time,x,y,z,pqf,used,error_x,error_y,error_z,horizontal_error"));
        QVERIFY2(lines.at(1).startsWith(QStringLiteral("P1,1,0x2001,2023-11-14T22:13:20.000Z,")), qPrintable(lines.at(1)));
        QVERIFY2(lines.at(1).endsWith(QStringLiteral(",0.1000,0.0000,1.0000,90,1,0.1000,0.0000,0.0000,0.1000")),
                 qPrintable(lines.at(1)));
        QVERIFY2(lines.at(3).startsWith(QStringLiteral("P1,2,")) && lines.at(3).contains(QStringLiteral(",20,0,")),
                 qPrintable(lines.at(3)));
        QVERIFY2(lines.at(4).startsWith(QStringLiteral("\"dock, north\",1,")), qPrintable(lines.at(4)));
        QVERIFY2(lines.at(4).endsWith(QStringLiteral(",-0.5000,0.0000,0.0000,0.5000")), qPrintable(lines.at(4)));
    }
};

QTEST_GUILESS_MAIN(tst_SurveyStatistics)
#include "tst_surveystatistics.moc"
