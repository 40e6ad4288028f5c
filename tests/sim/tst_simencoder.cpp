// The simulator's hand-written JSON report encoder: numbers must come out as
// JSON readers expect, whatever their sign and rounding.
#include "ReportEncoder.h"
#include "TagReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestSimEncoder : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("integer") << 12.0 << QByteArray("\"x\":12.000,");
        QTest::newRow("rounds half up") << 2.9995 << QByteArray("\"x\":3.000,");
        QTest::newRow("negative") << -0.25 << QByteArray("\"x\":-0.250,");
        QTest::newRow("negative zero after rounding") << -0.0004 << QByteArray("\"x\":0.000,");
        QTest::newRow("small negative") << -0.0006 << QByteArray("\"x\":-0.001,");
        QTest::newRow("not a number") << qQNaN() << QByteArray("\"x\":0.000,");
        QTest::newRow("infinite") << qInf() << QByteArray("\"x\":0.000,");
    }

    void numbers()
    {
        QFETCH(double, x);
        QFETCH(QByteArray, text);
        TagReport r;
        r.id = 0x12;
        r.hasPos = true;
        r.pos.x = x;
        QByteArray line;
        ReportEncoder::appendJson(&line, r);
        QVERIFY2(line.contains(text), line.constData());
        QVERIFY(line.endsWith("}\n"));
        QJsonParseError e;
        QJsonDocument::fromJson(line, &e);
        QCOMPARE(e.error, QJsonParseError::NoError);
    }

    void wholeReport()
    {
        TagReport r;
        r.id = 0x1A2;
        r.timestamp = 1700000000.5;
        r.hasPos = true;
        r.pos = Vec3{1.5, -2.25, 0.125};
        r.pqf = 77;
        r.io = 2;
        r.vbat = 3.71;
        r.temperature = 21.5;
        r.meas = {MeasSample{0x1000, 4.5, false, 90, -70.0, 0.05}, MeasSample{0xBEEF, 12.25, true, 80, -80.5, 0}};
        QByteArray line;
        ReportEncoder::appendJson(&line, r);
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QCOMPARE(o.value("id").toString(), QString("0x01A2"));
        QCOMPARE(o.value("timestamp").toDouble(), 1700000000.5);
        QCOMPARE(o.value("coordinates").toObject().value("y").toDouble(), -2.25);
        QCOMPARE(o.value("coordinates").toObject().value("pqf").toInt(), 77);
        const QJsonArray meas = o.value("meas").toArray();
        QCOMPARE(meas.at(0).toObject().value("anchor").toString(), QString("1000"));
        QCOMPARE(meas.at(0).toObject().value("dist").toDouble(), 4.5);
        QCOMPARE(meas.at(1).toObject().value("anchor").toString(), QString("BEEF"));
        QCOMPARE(meas.at(1).toObject().value("toa").toDouble(), 12.25);
        QVERIFY(!meas.at(1).toObject().contains("stdev"));
        QCOMPARE(o.value("io").toInt(), 2);
        QCOMPARE(o.value("vbat").toDouble(), 3.71);
        QCOMPARE(o.value("sensors").toObject().value("temperature").toDouble(), 21.5);
    }

    // Nested elements carry their own length: a wrong one shifts every
    // element after it, so the run is walked to its exact end.
    void tlvNestedLengths()
    {
        TagReport r;
        r.id = 0x1A2;
        r.hasPos = true;
        r.hasImu = true;
        r.meas = {MeasSample{0x1000, 4.5, false, 90, -70.0, 0.05}, MeasSample{0x1001, 6.0, false, 80, -72.0, 0.05}};
        QByteArray run;
        ReportEncoder::appendTlv(&run, r);
        QMap<quint8, QVector<int>> nestedSizes;
        int at = 0;
        while (at + 2 <= run.size()) {
            const quint8 type = quint8(run.at(at));
            const int length = quint8(run.at(at + 1));
            nestedSizes[type].append(length);
            at += 2 + length;
        }
        QCOMPARE(at, run.size());
        // anchor (8), value (4), tqf (1), rssi (4), each behind two header bytes
        QCOMPARE(nestedSizes.value(ReportEncoder::kTypeMeas), (QVector<int>{25, 25}));
        QCOMPARE(nestedSizes.value(ReportEncoder::kTypePos), QVector<int>{21});
        QCOMPARE(nestedSizes.value(ReportEncoder::kTypeImu), QVector<int>{36});
    }
};

QTEST_GUILESS_MAIN(TestSimEncoder)
#include "tst_simencoder.moc"
