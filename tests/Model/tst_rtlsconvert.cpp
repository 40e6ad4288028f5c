#include "RtlsConvert.h"

#include <QtTest>

#include <limits>

class tst_RtlsConvert : public QObject
{
    Q_OBJECT

private slots:
    void truncate_data()
    {
        QTest::addColumn<double>("in");
        QTest::addColumn<qint64>("i32");
        QTest::addColumn<qint64>("u32");
        QTest::addColumn<qint64>("i64");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const qint64 i32min = std::numeric_limits<int32_t>::min();
        const qint64 i64min = std::numeric_limits<int64_t>::min();
        QTest::newRow("positive fraction") << 2.9 << qint64(2) << qint64(2) << qint64(2);
        QTest::newRow("negative fraction") << -2.9 << qint64(-2) << qint64(0) << qint64(-2);
        QTest::newRow("small negative") << -0.5 << qint64(0) << qint64(0) << qint64(0);
        QTest::newRow("i32 max") << 2147483647.0 << qint64(2147483647) << qint64(2147483647) << qint64(2147483647);
        QTest::newRow("above i32") << 2147483648.0 << i32min << qint64(2147483648) << qint64(2147483648);
        QTest::newRow("u32 max") << 4294967295.0 << i32min << qint64(4294967295) << qint64(4294967295);
        QTest::newRow("above u32") << 4294967296.0 << i32min << qint64(0) << qint64(4294967296);
        QTest::newRow("below i32") << -2147483649.0 << i32min << qint64(0) << qint64(-2147483649);
        QTest::newRow("i64 top") << 9223372036854775808.0 << i32min << qint64(0) << i64min;
        QTest::newRow("nan") << nan << i32min << qint64(0) << i64min;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << i32min << qint64(0) << i64min;
    }

    void truncate()
    {
        QFETCH(double, in);
        QFETCH(qint64, i32);
        QFETCH(qint64, u32);
        QFETCH(qint64, i64);
        QCOMPARE(qint64(Rtls::truncateTo<int32_t>(in)), i32);
        QCOMPARE(qint64(Rtls::truncateTo<uint32_t>(in)), u32);
        QCOMPARE(qint64(Rtls::truncateTo<int64_t>(in)), i64);
    }

    void uint64Range()
    {
        QCOMPARE(Rtls::truncateTo<uint64_t>(18446744073709549568.0), uint64_t(18446744073709549568ull));
        QCOMPARE(Rtls::truncateTo<uint64_t>(18446744073709551616.0), uint64_t(0));
    }

    void hex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint64>("value");
        QTest::newRow("plain") << "10012" << quint64(0x10012);
        QTest::newRow("prefix") << "0x10012" << quint64(0x10012);
        QTest::newRow("upper prefix") << "0XaBc" << quint64(0xABC);
        QTest::newRow("64 bit") << "FFFFFFFFFFFFFFFF" << quint64(0xFFFFFFFFFFFFFFFFull);
        QTest::newRow("too long") << "1FFFFFFFFFFFFFFFF" << quint64(0);
        QTest::newRow("not hex") << "xyz" << quint64(0);
        QTest::newRow("prefix only") << "0x" << quint64(0);
        QTest::newRow("signed") << "-1" << quint64(0);
        QTest::newRow("empty") << "" << quint64(0);
        QTest::newRow("surrounding white space") << " \t0x1a " << quint64(0x1A);
        QTest::newRow("inner space") << "1 A" << quint64(0);
        QTest::newRow("space after prefix") << "0x 1A" << quint64(0x1A);
        QTest::newRow("leading zeros beyond 16 digits") << "0x00000000000000001A" << quint64(0x1A);
        QTest::newRow("trailing garbage") << "1Ag" << quint64(0);
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("1\u0661") << quint64(0);
    }

    void hex()
    {
        QFETCH(QString, text);
        QFETCH(quint64, value);
        QCOMPARE(quint64(Rtls::parseHex64(text)), value);
        // UTF-8 text, as the fast JSON parser hands it over, reads the same.
        const QByteArray utf8 = text.toUtf8();
        QCOMPARE(quint64(Rtls::parseHex64(std::string_view(utf8.constData(), size_t(utf8.size())))), value);
    }

    void hex32RejectsWideValues()
    {
        QCOMPARE(Rtls::parseHex32(QStringLiteral("FFFFFFFF")), 0xFFFFFFFFu);
        QCOMPARE(Rtls::parseHex32(QStringLiteral("100000000")), 0u);
        QCOMPARE(Rtls::parseHex32(std::string_view("FFFFFFFF")), 0xFFFFFFFFu);
        QCOMPARE(Rtls::parseHex32(std::string_view("100000000")), 0u);
    }

    void hexId_data()
    {
        QTest::addColumn<quint64>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("padded") << quint64(0x1A2) << "01A2";
        QTest::newRow("zero") << quint64(0) << "0000";
        QTest::newRow("five digits") << quint64(0x12345) << "12345";
        QTest::newRow("full") << quint64(0xDECA0000000000FFull) << "DECA0000000000FF";
    }

    void hexId()
    {
        QFETCH(quint64, id);
        QFETCH(QString, text);
        QCOMPARE(Rtls::hexId(id), text);
    }
};

QTEST_GUILESS_MAIN(tst_RtlsConvert)
#include "tst_rtlsconvert.moc"
