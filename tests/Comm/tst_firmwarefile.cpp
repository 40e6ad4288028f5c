#include "FirmwareFile.h"
#include "FwDescriptor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

namespace {

QByteArray image(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + 7) & 0xFF);
    return bytes;
}

quint32 zlibCrc(const QByteArray &bytes)
{
    return quint32(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size())));
}

QString hex(quint32 v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0'));
}

} // namespace

class TestFirmwareFile : public QObject
{
    Q_OBJECT

private slots:
    void headerChecked_data();
    void headerChecked();
    void loadsFromDisk();
    void descriptorsFromJson_data();
    void descriptorsFromJson();
};

void TestFirmwareFile::headerChecked_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("errorPart");

    const QByteArray body = image(5000);
    const QByteArray crc = hex(zlibCrc(body)).toLatin1();
    QTest::newRow("name and version") << QByteArray("{\"name\":\"sentrova-tag\",\"version\":\"2.11.0\"}\n") + body
                                      << true << QString();
    QTest::newRow("with size and CRC")
        << QByteArray("{\"name\":\"t\",\"version\":\"1\",\"imageSize\":5000,\"imageCrc32\":\"") + crc + "\"}\n" + body
        << true << QString();
    QTest::newRow("empty") << QByteArray() << false << "is empty";
    QTest::newRow("no header line") << body << false << "not a firmware file";
    QTest::newRow("header not JSON") << QByteArray("FWUP1 sentrova-tag\n") + body << false << "not a firmware file";
    QTest::newRow("header an array") << QByteArray("[\"name\",\"version\"]\n") + body << false << "not a firmware file";
    QTest::newRow("no version") << QByteArray("{\"name\":\"t\"}\n") + body << false << "not a firmware file";
    QTest::newRow("version not text") << QByteArray("{\"name\":\"t\",\"version\":2}\n") + body << false
                                      << "not a firmware file";
    QTest::newRow("header only") << QByteArray("{\"name\":\"t\",\"version\":\"1\"}\n") << false << "no firmware image";
    QTest::newRow("header line too long") << QByteArray("{\"name\":\"") + QByteArray(5000, 'a') + "\",\"version\":\"1\"}\n" + body
                                          << false << "not a firmware file";
    QTest::newRow("truncated") << QByteArray("{\"name\":\"t\",\"version\":\"1\",\"imageSize\":6000}\n") + body << false
                               << "truncated";
    QTest::newRow("size not a number") << QByteArray("{\"name\":\"t\",\"version\":\"1\",\"imageSize\":\"x\"}\n") + body
                                       << false << "not a size";
    QTest::newRow("damaged") << QByteArray("{\"name\":\"t\",\"version\":\"1\",\"imageCrc32\":\"0x12345678\"}\n") + body
                             << false << "damaged";
}

void TestFirmwareFile::headerChecked()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QFETCH(QString, errorPart);

    FirmwareFile file;
    QCOMPARE(file.parse(QStringLiteral("tag.fwup"), bytes), valid);
    QCOMPARE(file.isValid(), valid);
    if (valid) {
        QVERIFY(file.error().isEmpty());
        // The whole file goes to the master, with the CRC it will check.
        QCOMPARE(file.data(), bytes);
        QCOMPARE(file.crc32(), zlibCrc(bytes));
        QVERIFY(!file.name().isEmpty() && !file.version().isEmpty());
    } else {
        QVERIFY2(file.error().contains(errorPart), qPrintable(file.error()));
        QVERIFY(file.error().contains(QStringLiteral("tag.fwup")));
        QVERIFY(file.data().isEmpty());
    }
}

void TestFirmwareFile::loadsFromDisk()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("anchor.fwup"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("{\"name\":\"sentrova-anchor\",\"version\":\"2.11.0\"}\n" + image(100));
    out.close();

    FirmwareFile file;
    QVERIFY(file.load(path));
    QCOMPARE(file.fileName(), QStringLiteral("anchor.fwup"));
    QCOMPARE(file.name(), QStringLiteral("sentrova-anchor"));

    QVERIFY(!file.load(dir.filePath(QStringLiteral("missing.fwup"))));
    QVERIFY(file.error().startsWith(QStringLiteral("Cannot open")));
    QVERIFY(!file.isValid());

    // Larger than a master takes: refused without reading it all.
    QFile big(dir.filePath(QStringLiteral("big.fwup")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(FirmwareFile::kMaxSize + 1));
    big.close();
    QVERIFY(!file.load(big.fileName()));
    QVERIFY(file.error().contains(QStringLiteral("16 MiB")));
}

void TestFirmwareFile::descriptorsFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("slot");
    QTest::addColumn<quint32>("crc");
    QTest::addColumn<qint64>("size");

    QTest::newRow("as a master lists it")
        << QByteArray("[{\"id\":1,\"name\":\"sentrova-tag\",\"version\":\"2.10.0\",\"size\":196608,"
                      "\"crc32\":\"0x7A3B45E1\",\"enabled\":true,\"boot\":false}]")
        << 1 << 1 << quint32(0x7A3B45E1) << qint64(196608);
    QTest::newRow("CRC as a number") << QByteArray("[{\"id\":0,\"crc32\":4294967295,\"size\":1}]") << 1 << 0
                                     << quint32(0xFFFFFFFF) << qint64(1);
    QTest::newRow("no slot number") << QByteArray("[{\"name\":\"x\"},{\"id\":\"2\"},{\"id\":-1},{\"id\":1.5}]") << 0
                                    << -1 << quint32(0) << qint64(0);
    QTest::newRow("odd values read as absent")
        << QByteArray("[{\"id\":3,\"crc32\":\"zz\",\"size\":-5},5,\"x\"]") << 1 << 3 << quint32(0) << qint64(0);
}

void TestFirmwareFile::descriptorsFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(int, count);
    QFETCH(int, slot);
    QFETCH(quint32, crc);
    QFETCH(qint64, size);

    const QVector<FwDescriptor> list = FwDescriptor::listFromJson(QJsonDocument::fromJson(json).array());
    QCOMPARE(list.size(), count);
    if (count == 0)
        return;
    QCOMPARE(list[0].slot, slot);
    QCOMPARE(list[0].crc32, crc);
    QCOMPARE(list[0].size, size);
}

QTEST_APPLESS_MAIN(TestFirmwareFile)
#include "tst_firmwarefile.moc"
