// The texts of the node details.
#include "CommConstants.h"
#include "NodeDetailText.h"

#include <QtTest>

class tst_NodeDetailText : public QObject
{
    Q_OBJECT

private slots:
    void age_data()
    {
        QTest::addColumn<quint64>("last");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<QString>("text");
        QTest::newRow("never") << quint64(0) << qint64(5000) << NodeDetailText::unknown();
        QTest::newRow("inactive") << Comm::kReportedInactive << qint64(5000) << "inactive";
        QTest::newRow("tenths") << quint64(1000) << qint64(1420) << "0.4 s";
        QTest::newRow("clock behind") << quint64(2000) << qint64(1000) << "0.0 s";
        QTest::newRow("seconds") << quint64(1000) << qint64(13999) << "12 s";
        QTest::newRow("minutes") << quint64(0x1000) << qint64(0x1000 + 185000) << "3 min 5 s";
        QTest::newRow("hours") << quint64(1) << qint64(1 + 2 * 3600000 + 61000) << "2 h 1 min";
    }

    void age()
    {
        QFETCH(quint64, last);
        QFETCH(qint64, now);
        QFETCH(QString, text);
        QCOMPARE(NodeDetailText::age(last, now), text);
    }

    void orientation_data()
    {
        QTest::addColumn<QVector<float>>("q");
        QTest::addColumn<QString>("text");
        const float h = float(std::sqrt(0.5));
        QTest::newRow("unknown") << QVector<float>{0, 0, 0, 0} << NodeDetailText::unknown();
        QTest::newRow("identity") << QVector<float>{1, 0, 0, 0} << "yaw 0.0°, pitch 0.0°, roll 0.0°";
        QTest::newRow("yaw 90") << QVector<float>{h, 0, 0, h} << "yaw 90.0°, pitch 0.0°, roll 0.0°";
        QTest::newRow("pitch 90") << QVector<float>{h, 0, h, 0} << "yaw 0.0°, pitch 90.0°, roll 0.0°";
        QTest::newRow("roll -90") << QVector<float>{h, -h, 0, 0} << "yaw 0.0°, pitch 0.0°, roll -90.0°";
        // Not normalised: the same rotation.
        QTest::newRow("scaled") << QVector<float>{2, 0, 0, 2} << "yaw 90.0°, pitch 0.0°, roll 0.0°";
    }

    void orientation()
    {
        QFETCH(QVector<float>, q);
        QFETCH(QString, text);
        QCOMPARE(NodeDetailText::orientation(q[0], q[1], q[2], q[3]), text);
    }

    void parseCoordinate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "4.25" << true << 4.25;
        QTest::newRow("spaces") << " -1.5 " << true << -1.5;
        QTest::newRow("integer") << "7" << true << 7.0;
        QTest::newRow("decimal comma") << "4,5" << true << 4.5;
        QTest::newRow("group separator") << "1,234.5" << false << 0.0;
        QTest::newRow("two commas") << "1,234,5" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("word") << "abc" << false << 0.0;
        QTest::newRow("trailing junk") << "4.2m" << false << 0.0;
        QTest::newRow("infinite") << "inf" << false << 0.0;
        QTest::newRow("nan") << "nan" << false << 0.0;
        QTest::newRow("beyond single precision") << "1e39" << false << 0.0;
    }

    void parseCoordinate()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        double got = -99.0;
        QCOMPARE(NodeDetailText::parseCoordinate(text, &got), ok);
        if (ok)
            QCOMPARE(got, value);
        else
            QCOMPARE(got, -99.0);
    }

    void values_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("text");
        QTest::newRow("version") << NodeDetailText::version(0x20A) << "0x020A";
        QTest::newRow("version unknown") << NodeDetailText::version(0) << NodeDetailText::unknown();
        QTest::newRow("no roles") << NodeDetailText::roles(0) << "0x0000";
        QTest::newRow("roles") << NodeDetailText::roles(0x2002) << "0x2002 (Anchor, Clock source)";
        QTest::newRow("unnamed role") << NodeDetailText::roles(0x8) << "0x0008 (bit 3)";
        QTest::newRow("seat") << NodeDetailText::seatOrGroup(3) << "3";
        QTest::newRow("no seat") << NodeDetailText::seatOrGroup(-1) << NodeDetailText::unknown();
        QTest::newRow("coordinate") << NodeDetailText::coordinate(-1.23456f, true) << "-1.235";
        QTest::newRow("coordinate unknown") << NodeDetailText::coordinate(1.0f, false) << "";
        QTest::newRow("io") << NodeDetailText::io(0xA2) << "0xA2";
        QTest::newRow("volts") << NodeDetailText::volts(3.7f) << "3.70";
        QTest::newRow("uptime") << NodeDetailText::uptime(3723) << "01:02:03";
        QTest::newRow("uptime days") << NodeDetailText::uptime(2 * 86400 + 59) << "2 d 00:00:59";
    }

    void values()
    {
        QFETCH(QString, got);
        QFETCH(QString, text);
        QCOMPARE(got, text);
    }
};

QTEST_GUILESS_MAIN(tst_NodeDetailText)
#include "tst_nodedetailtext.moc"
