// The measurement tool's numbers: running statistics, which reports count,
// biases against a reference, and the CSV.
#include "MeasurementSession.h"
#include "RtlsObject.h"

#include <QJsonDocument>
#include <QtTest>

#include <cmath>

namespace {

constexpr uint64_t kTag = 0x2001;

QJsonObject report(double timestamp, const QByteArray &body)
{
    return QJsonDocument::fromJson(QByteArray(R"({"id":"0x2001","timestamp":)") + QByteArray::number(timestamp, 'f', 3)
                                   + (body.isEmpty() ? QByteArray() : "," + body) + "}")
        .object();
}

QByteArray ranges(double a, double b)
{
    return QByteArray(R"("meas":[{"anchor":"1001","dist":)") + QByteArray::number(a) + R"(,"tqf":1,"rssi":-80},)"
           + R"({"anchor":"1002","dist":)" + QByteArray::number(b) + R"(,"tqf":1,"rssi":-80},)"
           + R"({"anchor":"1003","toa":12.5,"tqf":1,"rssi":-80}])";
}

} // namespace

class tst_MeasurementSession : public QObject
{
    Q_OBJECT

private slots:
    void statistics_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<double>("mean");
        QTest::addColumn<double>("stddev");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::newRow("none") << QVector<double>{} << 0.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("one") << QVector<double>{2.5} << 2.5 << 0.0 << 2.5 << 2.5;
        QTest::newRow("two") << QVector<double>{1.0, 3.0} << 2.0 << std::sqrt(2.0) << 1.0 << 3.0;
        QTest::newRow("negative") << QVector<double>{-1.0, -2.0, -3.0} << -2.0 << 1.0 << -3.0 << -1.0;
        // A naive sum of squares loses these digits entirely.
        QTest::newRow("far from zero") << QVector<double>{1e9 + 0.001, 1e9 + 0.002, 1e9 + 0.003} << 1e9 + 0.002
                                       << 0.001 << 1e9 + 0.001 << 1e9 + 0.003;
        QTest::newRow("not finite skipped") << QVector<double>{1.0, qQNaN(), 3.0, qInf()} << 2.0 << std::sqrt(2.0)
                                            << 1.0 << 3.0;
    }

    void statistics()
    {
        QFETCH(QVector<double>, values);
        QFETCH(double, mean);
        QFETCH(double, stddev);
        QFETCH(double, min);
        QFETCH(double, max);
        MeasurementStats s;
        for (double v : values)
            s.add(v);
        QCOMPARE(s.mean(), mean);
        QVERIFY2(std::abs(s.stddev() - stddev) < 1e-6, qPrintable(QString::number(s.stddev(), 'g', 12)));
        QCOMPARE(s.min(), min);
        QCOMPARE(s.max(), max);
        s.clear();
        QCOMPARE(s.count(), 0);
    }

    void whichReportsCount()
    {
        RtlsObject tag(kTag);
        MeasurementSession session;
        session.setNode(kTag);

        tag.updateFromJson(report(1.0, ranges(2.0, 5.0)));
        QVERIFY(session.addReport(&tag));
        // Heard of again without a new report (a view's second signal).
        QVERIFY(!session.addReport(&tag));
        // A master's answer about the node carries no ranges.
        tag.updateFromJson(report(1.0, R"("name":"Forklift")"));
        QVERIFY(!session.addReport(&tag));
        tag.updateFromJson(report(1.1, ranges(2.2, 5.2)));
        QVERIFY(session.addReport(&tag));

        QCOMPARE(session.reports(), 2);
        // Times of arrival are no ranges.
        QCOMPARE(session.ranges().keys(), (QList<uint64_t>{0x1001, 0x1002}));
        QVERIFY(std::abs(session.ranges().value(0x1001).mean() - 2.1) < 1e-6);
        QCOMPARE(session.ranges().value(0x1002).count(), 2);
        QCOMPARE(session.axis(0).count(), 0);

        // Another node does not count.
        RtlsObject other(0x2002);
        other.updateFromJson(QJsonDocument::fromJson(R"({"id":"0x2002","meas":[{"anchor":"1001","dist":9}]})").object());
        QVERIFY(!session.addReport(&other));
    }

    void oneAnchorAndPosition()
    {
        RtlsObject tag(kTag);
        MeasurementSession session;
        session.setNode(kTag);
        session.setAnchor(0x1002);
        tag.updateFromJson(report(1.0, ranges(2.0, 5.0) + R"(,"coordinates":{"x":1,"y":2,"z":0.5})"));
        QVERIFY(session.addReport(&tag));
        // A report with ranges to other anchors only adds its position.
        tag.updateFromJson(report(1.1, R"("coordinates":{"x":1,"y":2})"));
        QVERIFY(session.addReport(&tag));
        QCOMPARE(session.ranges().keys(), QList<uint64_t>{0x1002});
        QCOMPARE(session.axis(0).count(), 2);
        // A report without z counts the z the node keeps.
        QCOMPARE(session.axis(2).count(), 2);
        QCOMPARE(session.axis(2).mean(), 0.5);
    }

    void rowsAndCsv()
    {
        RtlsObject tag(kTag);
        MeasurementSession session;
        session.setNode(kTag);
        tag.updateFromJson(report(1.0, ranges(2.0, 5.0) + R"(,"coordinates":{"x":3,"y":4,"z":1})"));
        session.addReport(&tag);
        tag.updateFromJson(report(2.0, ranges(2.2, 5.0) + R"(,"coordinates":{"x":3,"y":4,"z":1})"));
        session.addReport(&tag);

        MeasurementSession::Reference none;
        QCOMPARE(MeasurementSession::toCsv(session.rows(none, {})),
                 QStringLiteral("measurement,count,mean,stddev,min,max,bias\n"
                                "Range to 0x1001,2,2.1000,0.1414,2.0000,2.2000,\n"
                                "Range to 0x1002,2,5.0000,0.0000,5.0000,5.0000,\n"
                                "X,2,3.0000,0.0000,3.0000,3.0000,\n"
                                "Y,2,4.0000,0.0000,4.0000,4.0000,\n"
                                "Z,2,1.0000,0.0000,1.0000,1.0000,\n"));

        MeasurementSession::Reference distance;
        distance.kind = MeasurementSession::Reference::Distance;
        distance.distance = 2.0;
        const auto byDistance = session.rows(distance, {});
        QVERIFY(byDistance[0].hasBias && std::abs(byDistance[0].bias - 0.1) < 1e-6);
        QVERIFY(!byDistance[2].hasBias);

        // Against a position: each range against the true distance to its
        // anchor, when the anchor's position is known.
        MeasurementSession::Reference position;
        position.kind = MeasurementSession::Reference::Position;
        position.position = QVector3D(3, 4, 0);
        const QHash<uint64_t, QVector3D> anchors{{0x1001, QVector3D(3, 4, 2)}};
        const auto byPosition = session.rows(position, anchors);
        QCOMPARE(byPosition.size(), 6);
        QVERIFY(std::abs(byPosition[0].bias - 0.1) < 1e-6);
        QVERIFY(!byPosition[1].hasBias);
        QCOMPARE(byPosition[4].label, QStringLiteral("Z"));
        QVERIFY(std::abs(byPosition[4].bias - 1.0) < 1e-6);
        QCOMPARE(byPosition[5].label, QStringLiteral("Position"));
        QVERIFY(!byPosition[5].hasStats);
        QVERIFY(std::abs(byPosition[5].bias - 1.0) < 1e-6);
        QVERIFY(MeasurementSession::toCsv(byPosition).endsWith(QLatin1String("Position,,,,,,1.0000\n")));
    }

    void clearKeepsTheReportOnHandOut()
    {
        RtlsObject tag(kTag);
        MeasurementSession session;
        session.setNode(kTag);
        tag.updateFromJson(report(1.0, ranges(2.0, 5.0)));
        session.addReport(&tag);
        session.clear();
        QVERIFY(!session.addReport(&tag));
        QCOMPARE(session.reports(), 0);
        QVERIFY(session.ranges().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_MeasurementSession)
#include "tst_measurementsession.moc"
