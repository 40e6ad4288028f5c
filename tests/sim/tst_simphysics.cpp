// The simulated radio physics and location engine, driven through the
// simulator's classes without sockets.
#include "CommandHandler.h"
#include "FirmwareTable.h"
#include "Positioner.h"
#include "SimConstants.h"
#include "SiteEngine.h"

#include <QJsonArray>
#include <QtTest>

namespace {

constexpr qint64 kStart = 1700000000000;

QVector<const SimNode *> groundAnchors(const SimSite &site)
{
    QVector<const SimNode *> out;
    for (const SimNode &n : site.nodes)
        if (n.isAnchor() && n.storey == 0)
            out.append(&n);
    return out;
}

// Measured anchor-to-anchor distances as the master reports them.
QHash<QPair<quint64, quint64>, double> measured(CommandHandler &h)
{
    QHash<QPair<quint64, quint64>, double> out;
    for (quint64 id = 0x1000; id <= 0x1007; ++id) {
        QJsonObject cmd{{"command", "getDist"}, {"id", SimNode::idString(id)}};
        const QJsonArray meas = h.handle(cmd, kStart).responses.first().value("meas").toArray();
        for (const QJsonValue &m : meas)
            out.insert({id, m.toObject().value("anchor").toString().toULongLong(nullptr, 16)},
                       m.toObject().value("dist").toDouble());
    }
    return out;
}

double worstExcess(CommandHandler &h, const SimSite &site)
{
    double worst = 0;
    const auto d = measured(h);
    for (auto it = d.constBegin(); it != d.constEnd(); ++it) {
        const double truth = site.find(it.key().first)->truePos.distanceTo(site.find(it.key().second)->truePos);
        worst = std::max(worst, std::fabs(it.value() - truth));
    }
    return worst;
}

SimSite siteWithoutDelayErrors()
{
    SimSite s = SimSite::defaultSite();
    for (SimNode &n : s.nodes) {
        n.fixedDelayOffset = true;
        n.trueTxDelay = n.txDelay;
        n.trueRxDelay = n.rxDelay;
    }
    return s;
}

} // namespace

class TestSimPhysics : public QObject
{
    Q_OBJECT

private slots:
    void multilateration_data()
    {
        QTest::addColumn<double>("noise");
        QTest::addColumn<int>("anchors");
        QTest::addColumn<double>("outlier");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("maxError");
        QTest::newRow("exact ranges") << 0.0 << 8 << 0.0 << true << 1e-6;
        QTest::newRow("5 cm noise") << 0.05 << 8 << 0.0 << true << 0.2;
        QTest::newRow("outlier rejected") << 0.02 << 8 << 1.5 << true << 0.1;
        QTest::newRow("four anchors") << 0.0 << 4 << 0.0 << true << 1e-5;
        QTest::newRow("three anchors are too few") << 0.0 << 3 << 0.0 << false << 0.0;
    }

    void multilateration()
    {
        QFETCH(double, noise);
        QFETCH(int, anchors);
        QFETCH(double, outlier);
        QFETCH(bool, ok);
        QFETCH(double, maxError);
        const SimSite site = SimSite::defaultSite();
        const QVector<const SimNode *> ground = groundAnchors(site);
        std::mt19937_64 rng(11);
        std::normal_distribution<double> gauss(0.0, 1.0);
        const Vec3 truth{7.3, 4.1, 1.2};
        QVector<Vec3> pos;
        QVector<double> ranges;
        for (int i = 0; i < anchors; ++i) {
            pos.append(ground[i]->truePos);
            ranges.append(truth.distanceTo(ground[i]->truePos) + noise * gauss(rng) + (i == 2 ? outlier : 0.0));
        }
        const Positioner::Fix fix = Positioner::multilaterate(pos, ranges, Vec3{10, 7.5, 1.0}, std::max(noise, 0.01));
        QCOMPARE(fix.ok, ok);
        if (!ok)
            return;
        QVERIFY2(fix.pos.distanceTo(truth) < maxError, qPrintable(QString::number(fix.pos.distanceTo(truth))));
        if (outlier > 0)
            QCOMPARE(fix.used, anchors - 1);
        QVERIFY(fix.pqf > 50);
    }

    void pqfFallsWithTheResidual_data()
    {
        QTest::addColumn<double>("rms");
        QTest::addColumn<int>("pqf");
        QTest::newRow("perfect") << 0.0 << 100;
        QTest::newRow("noise-like") << 0.05 << 80;
        QTest::newRow("bad") << 0.25 << 0;
        QTest::newRow("worse") << 3.0 << 0;
    }

    void pqfFallsWithTheResidual()
    {
        QFETCH(double, rms);
        QFETCH(int, pqf);
        QCOMPARE(int(Positioner::pqfFromRms(rms)), pqf);
    }

    // Ranges carry both anchors' antenna-delay bias; estimating the biases
    // from known geometry and writing corrected delays removes it.
    void antennaDelayBiasAndCorrection_data()
    {
        QTest::addColumn<quint64>("seed");
        QTest::newRow("seed 1") << quint64(1);
        QTest::newRow("seed 2") << quint64(2);
        QTest::newRow("seed 99") << quint64(99);
    }

    void antennaDelayBiasAndCorrection()
    {
        QFETCH(quint64, seed);
        SimSite site = SimSite::defaultSite();
        site.assignDelayOffsets(seed);
        SiteEngine engine(site, 0.05, seed, kStart);
        engine.ranges().setOutlierProbability(0.0);
        FirmwareTable fw;
        CommandHandler h(engine, fw);
        h.handle(QJsonObject{{"command", "scanInfra"}, {"cnt", 400}}, kStart);
        const auto before = measured(h);
        QVERIFY(worstExcess(h, engine.site()) > 0.05);

        // Least squares for one bias per anchor: excess(i, j) = b_i + b_j.
        const QVector<const SimNode *> ground = groundAnchors(engine.site());
        const int n = ground.size();
        QVector<double> ata(n * n, 0.0), atb(n, 0.0);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                if (i == j)
                    continue;
                const double excess = before.value({ground[i]->id, ground[j]->id}) -
                                      ground[i]->truePos.distanceTo(ground[j]->truePos);
                ata[i * n + i] += 1;
                ata[i * n + j] += 1;
                atb[i] += excess;
            }
        QVector<double> bias;
        QVERIFY(Positioner::solveLinear(ata, atb, n, &bias));
        for (int i = 0; i < n; ++i) {
            const int units = int(std::lround(bias[i] / SimConst::kMetresPerDeviceUnit));
            const QJsonObject set{{"command", "setUwbAntConfig"},
                                  {"id", ground[i]->idString()},
                                  {"txDelay", ground[i]->txDelay + units},
                                  {"rxDelay", QString::number(ground[i]->rxDelay + units)}};
            QCOMPARE(h.handle(set, kStart).responses.first().value("response").toString(), QString("setUwbAntConfig"));
        }
        h.handle(QJsonObject{{"command", "scanInfra"}, {"cnt", 400}}, kStart);
        QVERIFY2(worstExcess(h, engine.site()) < 0.025, qPrintable(QString::number(worstExcess(h, engine.site()))));
    }

    // The anchor calibration tool's procedure: three anchors on a line, the
    // middle one's excess over the whole line is twice its ranging error.
    void calibrationOnALine()
    {
        const QByteArray doc = "{\"nodes\":[\n"
"            {\"id\":\"0x0A00\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0,\"z\":2},\"delayOffset\":0},\n"
"            {\"id\":\"0x0A01\",\"mode\":\"anchor\",\"position\":{\"x\":5,\"y\":0,\"z\":2},\"delayOffset\":15},\n"
"            {\"id\":\"0x0A02\",\"mode\":\"anchor\",\"position\":{\"x\":10,\"y\":0,\"z\":2},\"delayOffset\":0},\n"
"            {\"id\":\"0x0A03\",\"mode\":\"anchor\",\"position\":{\"x\":5,\"y\":6,\"z\":2}}]}";
        SimSite site;
        QString error;
        QVERIFY2(SimSite::fromJson(QJsonDocument::fromJson(doc).object(), &site, &error), qPrintable(error));
        SiteEngine engine(site, 0.01, 3, kStart);
        engine.ranges().setOutlierProbability(0.0);
        FirmwareTable fw;
        CommandHandler h(engine, fw);
        auto dist = [&](quint64 a, quint64 b) {
            const QJsonArray meas = h.handle(QJsonObject{{"command", "getDist"}, {"id", SimNode::idString(a)}}, kStart)
                                        .responses.first().value("meas").toArray();
            for (const QJsonValue &m : meas)
                if (m.toObject().value("anchor").toString().toULongLong(nullptr, 16) == b)
                    return m.toObject().value("dist").toDouble();
            return -1.0;
        };
        h.handle(QJsonObject{{"command", "scanInfra"}, {"cnt", 200}}, kStart);
        const double l = dist(0x0A00, 0x0A02);
        const double c = 0.5 * (l - dist(0x0A01, 0x0A00) - dist(0x0A01, 0x0A02));
        QVERIFY2(c < -0.05, "an anchor with a long real delay measures long");
        const QJsonObject reply =
            h.handle(QJsonObject{{"command", "getUwbAntConfig"}, {"id", "0x0A01"}}, kStart).responses.first();
        const int tx = int(reply.value("txDelay").toDouble() - c / SimConst::kMetresPerDeviceUnit + 0.5);
        const int rx = int(reply.value("rxDelay").toDouble() - c / SimConst::kMetresPerDeviceUnit + 0.5);
        QCOMPARE(tx, 16530);
        h.handle(QJsonObject{{"command", "setUwbAntConfig"}, {"id", "0x0A01"}, {"txDelay", tx}, {"rxDelay", rx}}, kStart);
        // No explicit scan: new delays take effect in the next distances.
        QVERIFY(std::fabs(dist(0x0A00, 0x0A02) - dist(0x0A01, 0x0A00) - dist(0x0A01, 0x0A02)) < 0.01);
    }

    void autoPositioning_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<bool>("frameFree");
        QTest::newRow("three anchors placed") << QStringList{
            "{\"command\":\"setPos\",\"id\":\"0x1004\",\"x\":\"auto\",\"y\":\"auto\",\"z\":\"auto\"}",
            "{\"command\":\"setPos\",\"id\":\"0x1005\",\"x\":\"auto\",\"y\":\"auto\",\"z\":\"auto\"}",
            "{\"command\":\"setPos\",\"id\":\"0x1006\",\"x\":\"auto\",\"y\":\"auto\",\"z\":\"auto\"}"} << false;
        // Heights entered by hand, as installers do: ranges between anchors
        // at similar heights say little about height.
        QTest::newRow("plan position of two anchors") << QStringList{
            "{\"command\":\"setPos\",\"id\":\"0x1002\",\"x\":\"auto\",\"y\":\"auto\"}",
            "{\"command\":\"setPos\",\"id\":\"0x1007\",\"x\":\"auto\",\"y\":\"auto\"}"} << false;
        QTest::newRow("nothing known") << QStringList{"{\"command\":\"removeAnchorCoor\"}"} << true;
    }

    // On the default site without delay errors, auto-positioning from the
    // anchors' own ranges lands closer than the noise of a single range.
    void autoPositioning()
    {
        QFETCH(QStringList, commands);
        QFETCH(bool, frameFree);
        SiteEngine engine(siteWithoutDelayErrors(), SimConst::kDefaultNoise, 5, kStart);
        FirmwareTable fw;
        CommandHandler h(engine, fw);
        for (const QString &c : commands)
            QCOMPARE(h.handle(QJsonDocument::fromJson(c.toUtf8()).object(), kStart).responses.first().value("status").toString(),
                     QString("ok"));
        const QJsonObject r = h.handle(QJsonObject{{"command", "setAutoPos"}, {"coordinates", "auto"}}, kStart).responses.first();
        // The upper storey's two anchors can never be placed on their own.
        QCOMPARE(r.value("status").toString(), frameFree ? QString() : QString("ok"));
        const QVector<const SimNode *> ground = groundAnchors(engine.site());
        for (const SimNode *a : ground) {
            QCOMPARE(a->cfgMask, 0xE0u);
            if (!frameFree) {
                QVERIFY2(a->cfgPos.distanceTo(a->truePos) < SimConst::kDefaultNoise,
                         qPrintable(QString("%1 off by %2").arg(a->idString()).arg(a->cfgPos.distanceTo(a->truePos))));
                continue;
            }
            for (const SimNode *b : ground) {
                const double err = a->cfgPos.distanceTo(b->cfgPos) - a->truePos.distanceTo(b->truePos);
                QVERIFY2(std::fabs(err) < SimConst::kDefaultNoise, qPrintable(QString::number(err)));
            }
        }
        if (frameFree) {
            QCOMPARE(ground[0]->cfgPos.norm(), 0.0);
            QVERIFY(std::fabs(ground[1]->cfgPos.y) < 1e-9 && std::fabs(ground[1]->cfgPos.z) < 1e-9);
        }
    }

    void reportInterval_data()
    {
        QTest::addColumn<int>("scheme");
        QTest::addColumn<int>("refreshMs");
        QTest::addColumn<double>("tagHz");
        QTest::addColumn<int>("rank");
        QTest::addColumn<double>("intervalMs");
        QTest::newRow("tag's own rate") << 0 << 100 << 2.0 << 0 << 500.0;
        QTest::newRow("configuration limits") << 0 << 250 << 10.0 << 0 << 250.0;
        QTest::newRow("scheme limits") << 3 << 20 << 50.0 << 0 << 100.0;
        QTest::newRow("fast scheme") << 13 << 10 << 100.0 << 9 << 10.0;
        QTest::newRow("beyond the scheme's capacity") << 13 << 10 << 100.0 << 10 << 0.0;
    }

    void reportInterval()
    {
        QFETCH(int, scheme);
        QFETCH(int, refreshMs);
        QFETCH(double, tagHz);
        QFETCH(int, rank);
        QFETCH(double, intervalMs);
        SimSite site = SimSite::defaultSite();
        site.tdmaScheme = scheme;
        site.configs.first().msecRefreshInterval = refreshMs;
        SimNode tag;
        tag.mode = "tag";
        tag.rateHz = tagHz;
        QCOMPARE(site.reportIntervalMs(tag, rank), intervalMs);
    }

    // Simulated time, ticking like the simulator's 10 ms timer: a tag's
    // count of reports follows the slowest of its rate, the configuration
    // and the TDMA scheme.
    void reportsPerTenSeconds_data()
    {
        QTest::addColumn<int>("refreshMs");
        QTest::addColumn<quint64>("tag");
        QTest::addColumn<int>("reports");
        QTest::newRow("5 Hz tag") << 100 << quint64(0x2001) << 50;
        QTest::newRow("10 Hz tag") << 100 << quint64(0x2002) << 100;
        QTest::newRow("1 Hz tag") << 100 << quint64(0x2005) << 10;
        QTest::newRow("configuration at 4 Hz") << 250 << quint64(0x2002) << 40;
        QTest::newRow("configuration at 4 Hz, slower tag") << 250 << quint64(0x2003) << 20;
    }

    void reportsPerTenSeconds()
    {
        QFETCH(int, refreshMs);
        QFETCH(quint64, tag);
        QFETCH(int, reports);
        SimSite site = SimSite::defaultSite();
        site.configs.first().msecRefreshInterval = refreshMs;
        SiteEngine engine(site, SimConst::kDefaultNoise, 1, kStart);
        int count = 0;
        for (qint64 t = kStart; t < kStart + 10000; t += SimConst::kStreamTickMs)
            for (const TagReport &r : engine.dueReports(t))
                count += r.id == tag;
        QCOMPARE(count, reports);
    }

    void lateTickSendsOneReport()
    {
        SiteEngine engine(SimSite::defaultSite(), SimConst::kDefaultNoise, 1, kStart);
        auto countOf = [&](qint64 t) {
            int n = 0;
            for (const TagReport &r : engine.dueReports(t))
                n += r.id == 0x2002;
            return n;
        };
        QCOMPARE(countOf(kStart + 100), 1);
        QCOMPARE(countOf(kStart + 5000), 1);
        QCOMPARE(countOf(kStart + 5010), 0);
        QCOMPARE(countOf(kStart + 5100), 1);
    }

    // An anchor surveyed off is configured off: the master locates the tags
    // from where it thinks the anchor hangs, while the ranges follow where
    // it really is.
    void surveyErrorMovesTheConfiguredPosition()
    {
        const QByteArray doc = R"({"nodes":[
            {"id":"0x1000","mode":"master","position":{"x":0,"y":0,"z":2}},
            {"id":"0x1001","mode":"anchor","position":{"x":10,"y":0,"z":2},"surveyError":{"x":0.5,"y":-0.25}},
            {"id":"0x1002","mode":"anchor","position":{"x":10,"y":8,"z":2},"surveyError":{"x":0.5,"y":0},
             "coordinatesKnown":false}]})";
        SimSite site;
        QString error;
        QVERIFY2(SimSite::fromJson(QJsonDocument::fromJson(doc).object(), &site, &error), qPrintable(error));
        const SimNode *off = site.find(0x1001);
        QCOMPARE(off->truePos.x, 10.0);
        QCOMPARE(off->cfgPos.x, 10.5);
        QCOMPARE(off->cfgPos.y, -0.25);
        QCOMPARE(off->cfgPos.z, 2.0);
        // Not surveyed at all: nothing configured to be off.
        QCOMPARE(site.find(0x1002)->cfgMask, 0u);
        QCOMPARE(site.find(0x1000)->cfgPos.x, 0.0);
    }

    // Inside the region the ranges to the blocked anchors are longer by the
    // bias; outside, and to the others, they are not.
    void nonLineOfSightRegion_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("excessTo1001");
        QTest::addColumn<double>("excessTo1002");
        QTest::newRow("inside") << 3.0 << 3.0 << 0.4 << 0.0;
        QTest::newRow("on its edge") << 2.0 << 4.0 << 0.4 << 0.0;
        QTest::newRow("outside") << 5.0 << 3.0 << 0.0 << 0.0;
        QTest::newRow("inside both") << 3.5 << 2.0 << 0.4 + 0.25 << 0.25;
    }

    void nonLineOfSightRegion()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, excessTo1001);
        QFETCH(double, excessTo1002);
        const QByteArray doc = R"({"nlos":[
            {"min":{"x":2,"y":2},"max":{"x":4,"y":4},"bias":0.4,"anchors":["0x1001"]},
            {"min":{"x":3,"y":1,"z":0},"max":{"x":4,"y":2,"z":2},"bias":0.25}],
            "nodes":[{"id":"0x1000","mode":"master","position":{"x":0,"y":0,"z":2}},
                     {"id":"0x1001","mode":"anchor","position":{"x":10,"y":0,"z":2}},
                     {"id":"0x1002","mode":"anchor","position":{"x":10,"y":8,"z":2}},
                     {"id":"0x2001","mode":"tag","position":{"x":1,"y":1,"z":1}}]})";
        SimSite site;
        QString error;
        QVERIFY2(SimSite::fromJson(QJsonDocument::fromJson(doc).object(), &site, &error), qPrintable(error));
        QCOMPARE(site.nlosExcess({x, y, 1.0}, 0x1001), excessTo1001);
        QCOMPARE(site.nlosExcess({x, y, 1.0}, 0x1002), excessTo1002);
        // And in what the tag measures, without noise or outliers.
        SiteEngine engine(site, 0.0, 3, kStart, 0.0);
        SimNode &tag = *engine.site().find(0x2001);
        const Vec3 at{x, y, 1.0};
        engine.park(tag, &at);
        const TagReport r = engine.measureTag(tag, kStart + 100);
        for (const MeasSample &m : r.meas) {
            const double truth = at.distanceTo(engine.site().find(m.anchor)->truePos);
            // The master, like 0x1002, is behind the regions of every anchor only.
            const double excess = m.anchor == 0x1001 ? excessTo1001 : excessTo1002;
            QVERIFY2(std::fabs(m.value - truth - excess) < 1e-9, qPrintable(QString::number(m.anchor, 16)));
        }
    }

    // A parked tag reports from where it stands until released; its first
    // position there is not averaged with where it came from.
    void parkedTagStandsOnThePoint()
    {
        SimSite site = siteWithoutDelayErrors();
        SiteEngine engine(site, 0.0, 3, kStart, 0.0);
        FirmwareTable firmware;
        CommandHandler handler(engine, firmware);
        // Fixes on its walk first, which the position filter holds.
        engine.measureTag(*engine.site().find(0x2001), kStart + 500);
        const auto answer = [&](const QJsonObject &cmd) { return handler.handle(cmd, kStart).responses.first(); };
        QJsonObject r = answer({{"command", "simParkTag"}, {"id", "0x2001"}, {"x", 6.5}, {"y", 3.25}, {"z", 1.1}});
        QCOMPARE(r.value("status").toString(), QStringLiteral("ok"));
        QCOMPARE(r.value("parked").toBool(), true);
        QCOMPARE(r.value("position").toObject().value("y").toDouble(), 3.25);
        SimNode &tag = *engine.site().find(0x2001);
        for (qint64 t = kStart + 1000; t < kStart + 30000; t += 7000) {
            const TagReport report = engine.measureTag(tag, t);
            QVERIFY(report.hasPos);
            QVERIFY2(report.pos.distanceTo({6.5, 3.25, 1.1}) < 1e-3, qPrintable(QString::number(report.pos.x)));
            // Standing still since it was carried there: the motion sensor
            // says so.
            QCOMPARE(report.io & 0x02, t == kStart + 1000 ? 0 : 0x02);
        }
        r = answer({{"command", "simParkTag"}, {"id", "0x2001"}, {"release", true}});
        QCOMPARE(r.value("parked").toBool(), false);
        bool present = true;
        QVERIFY(tag.pathPosition(3.0, &present).distanceTo({6.5, 3.25, 1.1}) > 1.0);

        QCOMPARE(answer({{"command", "simParkTag"}, {"id", "0x1001"}, {"x", 1}, {"y", 1}}).value("error").toString(),
                 QStringLiteral("only tags can be parked"));
        QCOMPARE(answer({{"command", "simParkTag"}, {"id", "0x2001"}, {"x", "here"}, {"y", 1}}).value("response").toString(),
                 QStringLiteral("error"));
    }

    // Tag 0x2009 leaves the hall long enough to be declared inactive and
    // comes back; the others keep reporting near where they really are.
    void tagsWalkAndReport()
    {
        SimSite site = siteWithoutDelayErrors();
        // Without the moving average, which lags behind a walking tag.
        site.configs.first().posFilter = "none";
        SiteEngine engine(site, SimConst::kDefaultNoise, 9, kStart);
        QVector<qint64> seen;
        QHash<quint64, quint8> lastIo;
        double errorSum = 0;
        int positioned = 0;
        for (qint64 t = kStart; t < kStart + 120000; t += 50) {
            const QVector<TagReport> reports = engine.dueReports(t);
            for (const TagReport &r : reports) {
                if (r.id == 0x2009)
                    seen.append(t);
                lastIo[r.id] = r.io;
                if (r.hasPos) {
                    // Plan error: heights are weakly determined by anchors
                    // that hang at similar heights.
                    Vec3 d = r.pos - engine.site().find(r.id)->truePos;
                    d.z = 0;
                    errorSum += d.norm();
                    ++positioned;
                }
            }
        }
        qint64 longestGap = 0;
        for (int i = 1; i < seen.size(); ++i)
            longestGap = std::max(longestGap, seen[i] - seen[i - 1]);
        QVERIFY2(longestGap > 10000 && longestGap < 60000, qPrintable(QString::number(longestGap)));
        QVERIFY(seen.last() > kStart + 60000);
        QVERIFY(positioned > 1000);
        // Tag 5 stands still, tag 1 walks: the motion bit tells them apart.
        QCOMPARE(lastIo.value(0x2005) & 0x02, 0x02);
        QCOMPARE(lastIo.value(0x2001) & 0x02, 0x00);
        // Tag 3 paces along x, so it faces +x or -x: yaw 0 or 180 degrees.
        const SimNode *pacer = engine.site().find(0x2003);
        QVERIFY(std::fabs(std::fabs(pacer->quat[0]) + std::fabs(pacer->quat[3]) - 1.0) < 1e-9);
        QCOMPARE(pacer->quat[1], 0.0);
        QVERIFY2(errorSum / positioned < 0.1, qPrintable(QString::number(errorSum / positioned)));
    }
};

QTEST_GUILESS_MAIN(TestSimPhysics)
#include "tst_simphysics.moc"
