#include "TlvBytes.h"
#include "TlvReader.h"

#include <QtTest>

#include <cmath>

class tst_TlvReader : public QObject
{
    Q_OBJECT

private:
    // The walk of a run as text: "type:length" per element, then "end" or "error".
    static QString walk(const QByteArray &run)
    {
        TlvReader r(run.constData(), run.size());
        QStringList steps;
        for (int guard = 0; guard < 1000; ++guard) {
            const TlvReader::Result res = r.next();
            if (res == TlvReader::Result::End)
                return (steps << QStringLiteral("end")).join(' ');
            if (res == TlvReader::Result::Error) {
                // A failed reader stays failed.
                if (r.next() != TlvReader::Result::Error)
                    return QStringLiteral("error not sticky");
                return (steps << QStringLiteral("error")).join(' ');
            }
            steps << QStringLiteral("%1:%2").arg(r.type()).arg(r.length());
        }
        return QStringLiteral("no end");
    }

private slots:
    void elements_data()
    {
        QTest::addColumn<QByteArray>("run");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QByteArray() << "end";
        QTest::newRow("one byte") << QByteArray("\x01", 1) << "error";
        QTest::newRow("zero length") << QByteArray("\x05\x00", 2) << "5:0 end";
        QTest::newRow("two elements") << QByteArray("\x01\x01\xAA\x02\x02\xBB\xCC", 7) << "1:1 2:2 end";
        QTest::newRow("value cut short") << QByteArray("\x01\x04\xAA\xBB", 4) << "error";
        QTest::newRow("good then cut") << QByteArray("\x01\x00\x02\x03\x00", 5) << "1:0 error";
        QTest::newRow("good then lone byte") << QByteArray("\x01\x00\x02", 3) << "1:0 error";
        QTest::newRow("length 255 exact") << tlv('\x09', QByteArray(255, 'x')) << "9:255 end";
        QTest::newRow("length 255 short") << tlv('\x09', QByteArray(255, 'x')).left(200) << "error";
    }

    void elements()
    {
        QFETCH(QByteArray, run);
        QFETCH(QString, expected);
        QCOMPARE(walk(run), expected);
    }

    void offsetCountsHeaderAndValue()
    {
        const QByteArray run("\x01\x03\xAA\xBB\xCC\x02\x00", 7);
        TlvReader r(run.constData(), run.size());
        QCOMPARE(r.next(), TlvReader::Result::Element);
        QCOMPARE(r.offset(), 5);
        QCOMPARE(QByteArray(r.value(), r.length()), QByteArray("\xAA\xBB\xCC", 3));
        QCOMPARE(r.next(), TlvReader::Result::Element);
        QCOMPARE(r.offset(), 7);
    }

    // Short values are refused with the output untouched; long values give
    // their first bytes only.
    void numbers_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("expected");
        QTest::newRow("u8") << QByteArray("\xFE", 1) << "u8" << true << 254.0;
        QTest::newRow("u8 empty") << QByteArray() << "u8" << false << 0.0;
        QTest::newRow("i8 negative") << QByteArray("\xFE", 1) << "i8" << true << -2.0;
        QTest::newRow("u32") << QByteArray("\x01\x02\x03\x04", 4) << "u32" << true << double(0x04030201);
        QTest::newRow("u32 longer") << QByteArray("\x01\x00\x00\x00\xFF\xFF", 6) << "u32" << true << 1.0;
        QTest::newRow("u32 short") << QByteArray("\x01\x02", 2) << "u32" << false << 0.0;
        QTest::newRow("i32 negative") << QByteArray("\xFF\xFF\xFF\xFF", 4) << "i32" << true << -1.0;
        QTest::newRow("u64") << le64(0x0102030405060708ull) << "u64" << true << double(0x0102030405060708ull);
        QTest::newRow("u64 short") << QByteArray(7, '\x01') << "u64" << false << 0.0;
        QTest::newRow("float") << le32(1.5f) << "float" << true << 1.5;
        QTest::newRow("float short") << le32(1.5f).left(2) << "float" << false << 0.0;
        double d = -2.25;
        QTest::newRow("double") << QByteArray(reinterpret_cast<const char *>(&d), 8) << "double" << true << -2.25;
        QTest::newRow("double short") << QByteArray(4, '\0') << "double" << false << 0.0;
    }

    void numbers()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, kind);
        QFETCH(bool, ok);
        QFETCH(double, expected);
        // Copy into an exact-size heap buffer so a read past the end is an ASan error.
        QScopedArrayPointer<char> buf(new char[qMax(1, value.size())]);
        std::memcpy(buf.data(), value.constData(), value.size());
        const char *p = buf.data();
        const int n = value.size();
        double got = 0.0;
        bool res = false;
        if (kind == "u8") { uint8_t v = 0; res = TlvReader::readUInt8(p, n, v); got = v; }
        if (kind == "i8") { int8_t v = 0; res = TlvReader::readInt8(p, n, v); got = v; }
        if (kind == "u32") { uint32_t v = 0; res = TlvReader::readUInt32(p, n, v); got = v; }
        if (kind == "i32") { int32_t v = 0; res = TlvReader::readInt32(p, n, v); got = v; }
        if (kind == "u64") { uint64_t v = 0; res = TlvReader::readUInt64(p, n, v); got = double(v); }
        if (kind == "float") { float v = 0; res = TlvReader::readFloat(p, n, v); got = v; }
        if (kind == "double") { double v = 0; res = TlvReader::readDouble(p, n, v); got = v; }
        QCOMPARE(res, ok);
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(tst_TlvReader)
#include "tst_tlvreader.moc"
