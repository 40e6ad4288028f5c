#include "ConsoleText.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTime>
#include <QtTest>

// The console's line format, its plain-text paragraphs and its trimming.
class TestConsoleText : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void appendKeepsTextLiteral_data();
    void appendKeepsTextLiteral();
    void trim_data();
    void trim();
};

void TestConsoleText::line_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");

    QTest::newRow("morning, zero padded") << QTime(9, 5, 3) << "Ready." << "09:05:03: Ready.";
    QTest::newRow("midnight") << QTime(0, 0, 0) << "x" << "00:00:00: x";
    QTest::newRow("24-hour clock") << QTime(23, 59, 59) << "late" << "23:59:59: late";
    QTest::newRow("milliseconds dropped") << QTime(12, 0, 1, 999) << "m" << "12:00:01: m";
    QTest::newRow("empty message") << QTime(7, 7, 7) << "" << "07:07:07: ";
}

void TestConsoleText::line()
{
    QFETCH(QTime, time);
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QCOMPARE(ConsoleText::line(time, message), expected);
}

void TestConsoleText::appendKeepsTextLiteral_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("plainText");

    QTest::newRow("html tags from the network")
        << QStringList{"<b>bold</b> <img src='/etc/passwd'>"} << "<b>bold</b> <img src='/etc/passwd'>";
    QTest::newRow("entity") << QStringList{"a &lt; b"} << "a &lt; b";
    QTest::newRow("tag after a time stamp")
        << QStringList{"10:00:00: <h1>big</h1>"} << "10:00:00: <h1>big</h1>";
    QTest::newRow("first line fills the empty document")
        << QStringList{"one", "two"} << "one\ntwo";
    QTest::newRow("line feeds become paragraphs") << QStringList{"a\nb", "c"} << "a\nb\nc";
}

void TestConsoleText::appendKeepsTextLiteral()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, plainText);

    QTextEdit console;
    for (const QString &line : lines)
        ConsoleText::appendLine(&console, line);
    QCOMPARE(console.toPlainText(), plainText);
}

void TestConsoleText::trim_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("kept");

    QTest::newRow("below the limit") << 999 << 1000 << 999;
    QTest::newRow("at the limit") << 1000 << 1000 << 1000;
    QTest::newRow("one over") << 1001 << 1000 << 1000;
    QTest::newRow("far over") << 1500 << 1000 << 1000;
    QTest::newRow("small limit") << 10 << 3 << 3;
}

void TestConsoleText::trim()
{
    QFETCH(int, written);
    QFETCH(int, limit);
    QFETCH(int, kept);

    QTextEdit console;
    for (int i = 1; i <= written; ++i)
        ConsoleText::appendLine(&console, QStringLiteral("line %1").arg(i));
    ConsoleText::trim(console.document(), limit, limit);

    QTextDocument *document = console.document();
    QCOMPARE(document->blockCount(), kept);
    // The oldest lines went first; the newest is still the last one.
    QCOMPARE(document->firstBlock().text(), QStringLiteral("line %1").arg(written - kept + 1));
    QCOMPARE(document->lastBlock().text(), QStringLiteral("line %1").arg(written));
}

QTEST_MAIN(TestConsoleText)
#include "tst_consoletext.moc"
