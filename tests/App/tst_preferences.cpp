#include "AppTestEnvironment.h"
#include "Preferences.h"

#include <QSettings>
#include <QtTest>

// The preference store: defaults written once, and the recent-file list.
class TestPreferences : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void init() { QSettings().clear(); }

    void withRecentFile_data();
    void withRecentFile();
    void defaultStoredAndAnnouncedOnce_data();
    void defaultStoredAndAnnouncedOnce();
    void recentFilesPersistAndAreCapped();
};

void TestPreferences::withRecentFile_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("first file") << QStringList{} << "a" << QStringList{"a"};
    QTest::newRow("newest first") << QStringList{"a", "b"} << "c" << QStringList{"c", "a", "b"};
    QTest::newRow("reopened moves to the top")
        << QStringList{"a", "b", "c"} << "c" << QStringList{"c", "a", "b"};
    QTest::newRow("already on top") << QStringList{"a", "b"} << "a" << QStringList{"a", "b"};
    QTest::newRow("every duplicate removed") << QStringList{"a", "b", "a"} << "a" << QStringList{"a", "b"};
    QTest::newRow("sixth pushes the oldest out")
        << QStringList{"e", "d", "c", "b", "a"} << "f" << QStringList{"f", "e", "d", "c", "b"};
    QTest::newRow("over-long stored list cut")
        << QStringList{"1", "2", "3", "4", "5", "6", "7"} << "x" << QStringList{"x", "1", "2", "3", "4"};
    QTest::newRow("same name, other folder is another file")
        << QStringList{"/a/f.dat"} << "/b/f.dat" << QStringList{"/b/f.dat", "/a/f.dat"};
}

void TestPreferences::withRecentFile()
{
    QFETCH(QStringList, list);
    QFETCH(QString, added);
    QFETCH(QStringList, expected);
    QCOMPARE(Preferences::withRecentFile(list, added, 5), expected);
}

void TestPreferences::defaultStoredAndAnnouncedOnce_data()
{
    QTest::addColumn<bool>("site");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<QStringList>("expectedLines");

    QTest::newRow("settings file, first start")
        << false << "sentrova/name" << QString() << "sentrova.json"
        << QStringList{"Using default RtlsIf: sentrova.json"};
    QTest::newRow("settings file, chosen before")
        << false << "sentrova/name" << "/srv/site-a.json" << "/srv/site-a.json" << QStringList{};
    QTest::newRow("site file, first start")
        << true << "site" << QString() << "test-site.ini"
        << QStringList{"Using default site: test-site.ini"};
    QTest::newRow("site file, chosen before")
        << true << "site" << "hall.ini" << "hall.ini" << QStringList{};
}

void TestPreferences::defaultStoredAndAnnouncedOnce()
{
    QFETCH(bool, site);
    QFETCH(QString, key);
    QFETCH(QString, preset);
    QFETCH(QString, expectedName);
    QFETCH(QStringList, expectedLines);

    if (!preset.isNull())
        QSettings().setValue(key, preset);
    QStringList lines;
    const Preferences preferences([&lines](const QString &line) { lines << line; });
    auto name = [&] { return site ? preferences.siteFileName() : preferences.settingsFileName(); };

    QCOMPARE(name(), expectedName);
    QCOMPARE(name(), expectedName);
    QCOMPARE(lines, expectedLines);
    QCOMPARE(QSettings().value(key).toString(), expectedName);
}

void TestPreferences::recentFilesPersistAndAreCapped()
{
    const Preferences preferences(nullptr);
    for (const char *name : {"1.dat", "2.dat", "3.dat", "4.dat", "5.dat", "6.dat", "2.dat"})
        preferences.addRecentFile(QLatin1String(name));
    const QStringList expected{"2.dat", "6.dat", "5.dat", "4.dat", "3.dat"};
    QCOMPARE(preferences.recentFiles(), expected);
    QCOMPARE(QSettings().value("recentFileList").toStringList(), expected);

    // A longer list written by someone else is shown only up to five.
    QSettings().setValue("recentFileList", QStringList{"a", "b", "c", "d", "e", "f", "g"});
    QCOMPARE(preferences.recentFiles(), (QStringList{"a", "b", "c", "d", "e"}));
}

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
