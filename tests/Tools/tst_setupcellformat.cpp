#include "SetupCellFormat.h"

#include <QtTest>

// The setup table's colour bands at their edges, its texts, and how typed
// coordinates are read.
class tst_SetupCellFormat : public QObject
{
    Q_OBJECT

private slots:
    void colourBands_data();
    void colourBands();
    void typedCoordinates_data();
    void typedCoordinates();
    void texts();
};

void tst_SetupCellFormat::colourBands_data()
{
    QTest::addColumn<double>("difference");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("0") << 0.0 << QColor(0, 255, 0);
    QTest::newRow("exactly 0.1 is green") << 0.1 << QColor(0, 255, 0);
    QTest::newRow("just over 0.1") << 0.1000001 << QColor(165, 255, 0);
    QTest::newRow("exactly 0.2") << 0.2 << QColor(165, 255, 0);
    QTest::newRow("just over 0.2") << 0.2000001 << QColor(255, 255, 0);
    // The edge is 0.1 + 0.2 = 0.30000000000000004, not 0.3.
    QTest::newRow("exactly 0.3 is still yellow") << 0.3 << QColor(255, 255, 0);
    QTest::newRow("0.1 + 0.2 is still yellow") << 0.1 + 0.2 << QColor(255, 255, 0);
    QTest::newRow("just over 0.1 + 0.2") << 0.3000001 << QColor(255, 165, 0);
    QTest::newRow("exactly 0.4") << 0.4 << QColor(255, 165, 0);
    QTest::newRow("just over 0.4") << 0.4000001 << QColor(255, 82, 0);
    QTest::newRow("exactly 0.5 is orange-red") << 0.5 << QColor(255, 82, 0);
    QTest::newRow("just over 0.5 is red") << 0.5000001 << QColor(255, 0, 0);
    QTest::newRow("metres off") << 12.0 << QColor(255, 0, 0);
}

void tst_SetupCellFormat::colourBands()
{
    QFETCH(double, difference);
    QTEST(SetupCellFormat::distanceColour(difference), "colour");
}

void tst_SetupCellFormat::typedCoordinates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("typed");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("sent"); // as the export writes what Apply sends

    const int number = int(SetupCellFormat::Typed::Number);
    const int autoAxis = int(SetupCellFormat::Typed::Auto);
    const int invalid = int(SetupCellFormat::Typed::Invalid);
    QTest::newRow("number") << "12.345" << number << 12.345 << "12.345";
    QTest::newRow("spaces and sign") << "  -0.5 " << number << -0.5 << "-0.500";
    QTest::newRow("decimal comma") << "3,25" << number << 3.25 << "3.250";
    QTest::newRow("rounded to millimetres") << "1.23456" << number << 1.23456 << "1.235";
    QTest::newRow("half a millimetre, as stored") << "0,0005" << number << 0.0005 << "0.001";
    QTest::newRow("empty is auto") << "" << autoAxis << 0.0 << "";
    QTest::newRow("blank is auto") << "   " << autoAxis << 0.0 << "";
    QTest::newRow("unknown marker is auto") << "-.---" << autoAxis << 0.0 << "";
    QTest::newRow("auto") << "Auto" << autoAxis << 0.0 << "";
    QTest::newRow("letters are never 0") << "abc" << invalid << 0.0 << "";
    QTest::newRow("trailing junk") << "1.5m" << invalid << 0.0 << "";
    QTest::newRow("not finite") << "inf" << invalid << 0.0 << "";
    // "1,234.5" must become neither 1.2345 nor 1234.5.
    QTest::newRow("group separator") << "1,234.5" << invalid << 0.0 << "";
    QTest::newRow("two commas") << "1,234,5" << invalid << 0.0 << "";
}

void tst_SetupCellFormat::typedCoordinates()
{
    QFETCH(QString, text);
    QFETCH(int, typed);
    QFETCH(double, value);
    QFETCH(QString, sent);
    double v = 0.0;
    QCOMPARE(int(SetupCellFormat::readCoordinate(text, &v)), typed);
    QCOMPARE(v, value);
    if (typed == int(SetupCellFormat::Typed::Number))
        QCOMPARE(SetupCellFormat::sentCoordinate(v), sent);
}

void tst_SetupCellFormat::texts()
{
    QCOMPARE(SetupCellFormat::distanceText(9.5, 0.0123), QStringLiteral("9.500 (0.012)"));
    QCOMPARE(SetupCellFormat::distanceText(9.5, 0.0), QStringLiteral("9.500"));
    QCOMPARE(SetupCellFormat::distanceToolTip(9.5, 10.0, 0.5),
             QStringLiteral("measured: 9.500 [m]\nbased on position: 10.000 [m]\ndifference: 0.500 [m]"));
    QCOMPARE(SetupCellFormat::coordinateText(false, 0.0), QStringLiteral("-.---"));
    QCOMPARE(SetupCellFormat::coordinateText(true, -1.23456), QStringLiteral("-1.235"));
}

QTEST_APPLESS_MAIN(tst_SetupCellFormat)
#include "tst_setupcellformat.moc"
