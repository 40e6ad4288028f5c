#include "AppTestEnvironment.h"
#include "SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

// Reading and writing the JSON settings file in a temporary folder.
class TestSettingsFile : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void init();
    void read_data();
    void read();
    void roundTrip();
    void writeReplacesWholeFile();
    void failedWriteTouchesNothing_data();
    void failedWriteTouchesNothing();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    void writeRaw(const QString &name, const QByteArray &content) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettingsFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSettingsFile::writeRaw(const QString &name, const QByteArray &content) const
{
    QFile file(path(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void TestSettingsFile::read_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonObject>("expected");

    using S = SettingsFile::Status;
    QTest::newRow("missing") << QByteArray() << int(S::CannotOpen) << QJsonObject();
    QTest::newRow("empty object") << QByteArray("{}") << int(S::Ok) << QJsonObject();
    QTest::newRow("master and nodes")
        << QByteArray("{\"master\":{\"ip\":\"192.0.2.7\"},\"node\":[]}") << int(S::Ok)
        << QJsonObject{{"master", QJsonObject{{"ip", "192.0.2.7"}}}, {"node", QJsonArray()}};
    QTest::newRow("array instead of object") << QByteArray("[{\"node\":[]}]") << int(S::CannotParse)
                                             << QJsonObject();
    QTest::newRow("bare value") << QByteArray("42") << int(S::CannotParse) << QJsonObject();
    QTest::newRow("not JSON") << QByteArray("node = 1") << int(S::CannotParse) << QJsonObject();
    QTest::newRow("empty file") << QByteArray("") << int(S::CannotParse) << QJsonObject();
    QTest::newRow("truncated") << QByteArray("{\"node\":[{\"id\":") << int(S::CannotParse)
                               << QJsonObject();
    QTest::newRow("trailing garbage") << QByteArray("{} x") << int(S::CannotParse) << QJsonObject();
}

void TestSettingsFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    QFETCH(QJsonObject, expected);

    if (!content.isNull())
        writeRaw(QStringLiteral("sentrova.json"), content);
    SettingsFile file(path(QStringLiteral("sentrova.json")));
    QJsonObject root{{"untouched", true}};
    QCOMPARE(int(file.read(&root)), status);
    if (status == int(SettingsFile::Status::Ok))
        QCOMPARE(root, expected);
    else
        QCOMPARE(root, QJsonObject({{"untouched", true}}));
}

void TestSettingsFile::roundTrip()
{
    const QJsonObject written{
        {"master", QJsonObject{{"ip", "192.0.2.1"}, {"externalEngine", true}}},
        {"node", QJsonArray{QJsonObject{{"id", "0x1A2B"}, {"coordinates", QJsonObject{{"x", 1.25}}}}}},
        {"gui", QJsonObject{{"grid", false}}}};
    SettingsFile out(path(QStringLiteral("sentrova.json")));
    QCOMPARE(out.write(written), SettingsFile::Status::Ok);

    QJsonObject read;
    SettingsFile in(path(QStringLiteral("sentrova.json")));
    QCOMPARE(in.read(&read), SettingsFile::Status::Ok);
    QCOMPARE(read, written);

    QFile raw(path(QStringLiteral("sentrova.json")));
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY2(raw.readAll().contains("\n    \""), "the settings file is written indented");
    // Nothing is left behind by the atomic replace.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"sentrova.json"});
}

void TestSettingsFile::writeReplacesWholeFile()
{
    writeRaw(QStringLiteral("sentrova.json"), QByteArray(4096, ' ') + "{\"old\":1}");
    SettingsFile file(path(QStringLiteral("sentrova.json")));
    QCOMPARE(file.write(QJsonObject{{"new", 2}}), SettingsFile::Status::Ok);

    QJsonObject read;
    QCOMPARE(file.read(&read), SettingsFile::Status::Ok);
    QCOMPARE(read, QJsonObject({{"new", 2}}));
}

void TestSettingsFile::failedWriteTouchesNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("folder does not exist") << "missing/sentrova.json";
    QTest::newRow("name is a folder") << "folder";
    QTest::newRow("empty name") << "";
}

void TestSettingsFile::failedWriteTouchesNothing()
{
    QFETCH(QString, target);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    writeRaw(QStringLiteral("folder/keep.json"), "{\"keep\":true}");
    const QStringList before = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    SettingsFile file(target.isEmpty() ? QString() : path(target));
    QCOMPARE(file.write(QJsonObject{{"new", 1}}), SettingsFile::Status::CannotOpen);
    QVERIFY(!file.errorString().isEmpty());

    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QJsonObject kept;
    SettingsFile keep(path(QStringLiteral("folder/keep.json")));
    QCOMPARE(keep.read(&kept), SettingsFile::Status::Ok);
    QCOMPARE(kept, QJsonObject({{"keep", true}}));
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
