// Firmware descriptors and the "*.fwup" block upload of the simulator.
#include "CommandHandler.h"
#include "FirmwareTable.h"
#include "FirmwareUpload.h"
#include "SimProcess.h"
#include "SiteEngine.h"

#include <QJsonArray>
#include <QtEndian>

namespace {

QByteArray image(const QString &name, const QString &version, int payload)
{
    QByteArray b = QStringLiteral("{\"name\":\"%1\",\"version\":\"%2\"}\n").arg(name, version).toUtf8();
    for (int i = 0; i < payload; ++i)
        b.append(char(i * 7 + 3));
    return b;
}

QByteArray block(quint32 offset, const QByteArray &bytes)
{
    QByteArray h(8, '\0');
    qToLittleEndian<quint32>(offset, h.data());
    qToLittleEndian<quint32>(quint32(bytes.size()), h.data() + 4);
    return h + bytes;
}

QByteArray blocks(const QByteArray &img, int size)
{
    QByteArray out;
    for (int at = 0; at < img.size(); at += size)
        out += block(quint32(at), img.mid(at, size));
    return out;
}

QJsonObject opening(const QByteArray &img, quint32 crc)
{
    return QJsonObject{{"command", "fwUpload"},
                       {"name", "x.fwup"},
                       {"size", img.size()},
                       {"crc32", QStringLiteral("0x%1").arg(crc, 8, 16, QLatin1Char('0'))}};
}

// The table as "slot:flags" words, for compact comparisons.
QString summary(const QJsonArray &table)
{
    QStringList words;
    for (const QJsonValue &v : table) {
        const QJsonObject d = v.toObject();
        QString w = QString::number(d.value("id").toInt()) + ":" + d.value("name").toString();
        if (!d.value("enabled").toBool())
            w += ",off";
        if (d.value("boot").toBool())
            w += ",boot";
        words.append(w);
    }
    return words.join(' ');
}

} // namespace

class TestSimFirmware : public QObject
{
    Q_OBJECT

private slots:
    void uploadFraming_data()
    {
        QTest::addColumn<QByteArray>("img");
        QTest::addColumn<bool>("goodCrc");
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<bool>("byteByByte");
        QTest::addColumn<bool>("done");
        const QByteArray img = image("sentrova-anchor", "2.11.0", 10000);
        QTest::newRow("one block per 4 KiB") << img << true << blocks(img, 4096) << false << true;
        QTest::newRow("small blocks, byte by byte") << img << true << blocks(img, 700) << true << true;
        QTest::newRow("bad checksum") << img << false << blocks(img, 4096) << false << false;
        QTest::newRow("block out of order") << img << true << block(100, img.mid(100, 100)) << false << false;
        QTest::newRow("block too long") << img << true << block(0, img.left(5000)) << false << false;
        QTest::newRow("block of length zero") << img << true << block(0, QByteArray()) << false << false;
        QTest::newRow("block past the end") << img << true << (blocks(img.left(9000), 4096) + block(9000, img.mid(9000) + "xx"))
                                            << false << false;
        const QByteArray headless(3000, 'z');
        QTest::newRow("not a firmware image") << headless << true << blocks(headless, 4096) << false << false;
    }

    void uploadFraming()
    {
        QFETCH(QByteArray, img);
        QFETCH(bool, goodCrc);
        QFETCH(QByteArray, stream);
        QFETCH(bool, byteByByte);
        QFETCH(bool, done);
        QJsonObject answer;
        FirmwareUpload up(opening(img, FirmwareUpload::crc32(img) ^ (goodCrc ? 0u : 1u)), &answer);
        QCOMPARE(answer.value("status").toString(), QString("ready"));
        QByteArray buffer;
        QVector<QJsonObject> replies;
        if (byteByByte) {
            for (char c : stream) {
                buffer.append(c);
                replies += up.feed(&buffer);
            }
        } else {
            buffer = stream;
            replies = up.feed(&buffer);
        }
        QCOMPARE(up.state() == FirmwareUpload::State::Done, done);
        if (done) {
            QCOMPARE(up.descriptor().name, QString("sentrova-anchor"));
            QCOMPARE(up.descriptor().version, QString("2.11.0"));
            QCOMPARE(up.descriptor().size, quint32(img.size()));
        } else {
            QCOMPARE(up.state(), FirmwareUpload::State::Failed);
            QCOMPARE(replies.last().value("status").toString(), QString("error"));
        }
    }

    void refusedOpenings_data()
    {
        QTest::addColumn<QJsonObject>("open");
        QTest::newRow("no size") << QJsonObject{{"command", "fwUpload"}, {"crc32", "0x1"}};
        QTest::newRow("size zero") << QJsonObject{{"command", "fwUpload"}, {"size", 0}, {"crc32", "0x1"}};
        QTest::newRow("too large") << QJsonObject{{"command", "fwUpload"}, {"size", 64 * 1024 * 1024}, {"crc32", "0x1"}};
        QTest::newRow("crc not hex") << QJsonObject{{"command", "fwUpload"}, {"size", 10}, {"crc32", "zz"}};
    }

    void refusedOpenings()
    {
        QFETCH(QJsonObject, open);
        QJsonObject answer;
        FirmwareUpload up(open, &answer);
        QCOMPARE(up.state(), FirmwareUpload::State::Failed);
        QCOMPARE(answer.value("status").toString(), QString("error"));
    }

    void descriptorCommands_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("lastResponse");
        QTest::newRow("initial") << QStringList{"{\"command\":\"listFwDesc\"}"}
                                 << "0:sentrova-anchor,boot 1:sentrova-tag" << "listFwDesc";
        QTest::newRow("disable") << QStringList{"{\"command\":\"enableFwDesc\",\"id\":1,\"enable\":false}"}
                                 << "0:sentrova-anchor,boot 1:sentrova-tag,off" << "enableFwDesc";
        QTest::newRow("flag as text, then as number")
            << QStringList{"{\"command\":\"enableFwDesc\",\"id\":\"1\",\"enable\":\"0\"}",
                           "{\"command\":\"enableFwDesc\",\"id\":1,\"enable\":1}"}
            << "0:sentrova-anchor,boot 1:sentrova-tag" << "enableFwDesc";
        QTest::newRow("the boot image cannot be disabled")
            << QStringList{"{\"command\":\"enableFwDesc\",\"id\":0,\"enable\":0}"}
            << "0:sentrova-anchor,boot 1:sentrova-tag" << "error";
        QTest::newRow("the boot image cannot be removed")
            << QStringList{"{\"command\":\"removeFwDesc\",\"id\":0}"} << "0:sentrova-anchor,boot 1:sentrova-tag" << "error";
        QTest::newRow("remove after booting another")
            << QStringList{"{\"command\":\"bootFwDesc\",\"id\":1}", "{\"command\":\"removeFwDesc\",\"id\":0}"}
            << "1:sentrova-tag,boot" << "removeFwDesc";
        QTest::newRow("a disabled image cannot boot")
            << QStringList{"{\"command\":\"enableFwDesc\",\"id\":1,\"enable\":false}", "{\"command\":\"bootFwDesc\",\"id\":1}"}
            << "0:sentrova-anchor,boot 1:sentrova-tag,off" << "error";
        QTest::newRow("boot the other") << QStringList{"{\"command\":\"bootFwDesc\",\"id\":\"1\"}"}
                                        << "0:sentrova-anchor 1:sentrova-tag,boot" << "bootFwDesc";
        QTest::newRow("remove") << QStringList{"{\"command\":\"removeFwDesc\",\"id\":1}"} << "0:sentrova-anchor,boot"
                                << "removeFwDesc";
        QTest::newRow("remove a missing slot") << QStringList{"{\"command\":\"removeFwDesc\",\"id\":5}"}
                                               << "0:sentrova-anchor,boot 1:sentrova-tag" << "error";
        QTest::newRow("an id beyond int names no slot")
            << QStringList{"{\"command\":\"bootFwDesc\",\"id\":1}", "{\"command\":\"removeFwDesc\",\"id\":4294967296}"}
            << "0:sentrova-anchor 1:sentrova-tag,boot" << "error";
        QTest::newRow("a hexadecimal id beyond int names no slot")
            << QStringList{"{\"command\":\"bootFwDesc\",\"id\":\"0x100000001\"}"}
            << "0:sentrova-anchor,boot 1:sentrova-tag" << "error";
    }

    void descriptorCommands()
    {
        QFETCH(QStringList, commands);
        QFETCH(QString, table);
        QFETCH(QString, lastResponse);
        SiteEngine engine(SimSite::defaultSite(), 0.05, 1, 0);
        FirmwareTable fw;
        CommandHandler h(engine, fw);
        QJsonObject last;
        for (const QString &c : commands)
            last = h.handle(QJsonDocument::fromJson(c.toUtf8()).object(), 0).responses.last();
        QCOMPARE(last.value("response").toString(), lastResponse);
        QCOMPARE(summary(fw.toJson()), table);
    }

    void onlySaveCommits()
    {
        SiteEngine engine(SimSite::defaultSite(), 0.05, 1, 0);
        FirmwareTable fw;
        CommandHandler h(engine, fw);
        h.handle(QJsonObject{{"command", "removeFwDesc"}, {"id", 1}}, 0);
        QCOMPARE(fw.saved().size(), 2);
        QCOMPARE(h.handle(QJsonObject{{"command", "saveFwDescList"}}, 0).responses.first().value("status").toString(),
                 QString("ok"));
        QCOMPARE(fw.saved().size(), 1);
        QCOMPARE(fw.saved().first().name, QString("sentrova-anchor"));
    }

    // Over the wire: a cut-off upload changes nothing, a whole one installs.
    void uploadAgainstTheSimulator()
    {
        SimProcess sim;
        QVERIFY(sim.start({}));
        LineClient control;
        QVERIFY(control.connectTo(sim.port));
        const QString before = summary(control.request(QByteArray("{\"command\":\"listFwDesc\"}")).value("fwDesc").toArray());

        const QByteArray img = image("sentrova-gateway", "1.0.0", 20000);
        {
            LineClient cut;
            QVERIFY(cut.connectTo(sim.port));
            QCOMPARE(cut.request(opening(img, FirmwareUpload::crc32(img))).value("status").toString(), QString("ready"));
            cut.socket.write(blocks(img, 4096).left(9000));
            QCOMPARE(QJsonDocument::fromJson(cut.readLine()).object().value("status").toString(), QString("block"));
            cut.socket.disconnectFromHost();
        }
        QCOMPARE(control.request(QByteArray("{\"command\":\"ping\"}")).value("response").toString(), QString("ping"));
        QCOMPARE(summary(control.request(QByteArray("{\"command\":\"listFwDesc\"}")).value("fwDesc").toArray()), before);

        LineClient up;
        QVERIFY(up.connectTo(sim.port));
        QCOMPARE(up.request(opening(img, FirmwareUpload::crc32(img))).value("blockSize").toInt(), 4096);
        up.socket.write(blocks(img, 4096));
        QJsonObject last;
        for (int i = 0; i < 10 && last.value("status").toString() != "done"; ++i)
            last = QJsonDocument::fromJson(up.readLine()).object();
        QCOMPARE(last.value("status").toString(), QString("done"));
        QCOMPARE(last.value("id").toInt(), 2);
        QTRY_COMPARE(up.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(summary(control.request(QByteArray("{\"command\":\"listFwDesc\"}")).value("fwDesc").toArray()),
                 before + " 2:sentrova-gateway");
    }
};

QTEST_GUILESS_MAIN(TestSimFirmware)
#include "tst_simfirmware.moc"
