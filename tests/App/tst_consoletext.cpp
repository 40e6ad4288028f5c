#include "ConsoleText.h"
#include "ConsoleView.h"

#include <QDateTime>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTime>
#include <QtTest>

// The console's line format, its plain-text lines added once per frame, and
// its limit.
class TestConsoleText : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void lineFromMoment_data();
    void lineFromMoment();
    void appendKeepsTextLiteral_data();
    void appendKeepsTextLiteral();
    void limit_data();
    void limit();
    void linesWaitForTheFrame();
    void staysAtTheBottom();
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

// The stamp is made once per second and kept: lines of the same second, the
// next second, a step back and a jump all read as the local time of their
// own moment.
void TestConsoleText::lineFromMoment_data()
{
    QTest::addColumn<QList<qint64>>("moments");

    const qint64 base = QDateTime(QDate(2026, 12, 9), QTime(1, 59, 58)).toMSecsSinceEpoch();
    QTest::newRow("same second twice") << QList<qint64>{base, base + 999};
    QTest::newRow("second boundary") << QList<qint64>{base + 999, base + 1000, base + 1001};
    QTest::newRow("back a second") << QList<qint64>{base + 2000, base + 1500, base + 2000};
    QTest::newRow("across midnight") << QList<qint64>{base + 79321000, base + 79322000};
    QTest::newRow("before the epoch") << QList<qint64>{-1, -1000, -1001, 0};
}

void TestConsoleText::lineFromMoment()
{
    QFETCH(QList<qint64>, moments);
    for (qint64 at : moments) {
        const QString expected = QDateTime::fromMSecsSinceEpoch(at).time().toString(QStringLiteral("HH:mm:ss"))
            + QStringLiteral(": m");
        QCOMPARE(ConsoleText::line(at, QStringLiteral("m")), expected);
    }
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
    QTest::newRow("first line fills the empty console")
        << QStringList{"one", "two"} << "one\ntwo";
    QTest::newRow("line feeds become lines") << QStringList{"a\nb", "c"} << "a\nb\nc";
}

void TestConsoleText::appendKeepsTextLiteral()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, plainText);

    ConsoleView console;
    for (const QString &line : lines)
        console.appendLine(line);
    console.flush();
    QCOMPARE(console.toPlainText(), plainText);
}

void TestConsoleText::limit_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("kept");

    QTest::newRow("below the limit") << 999 << 1 << 999;
    QTest::newRow("at the limit") << 1000 << 1 << 1000;
    QTest::newRow("one over, one frame") << 1001 << 1 << 1000;
    QTest::newRow("far over, one frame") << 5000 << 1 << 1000;
    QTest::newRow("far over, many frames") << 5000 << 7 << 1000;
}

void TestConsoleText::limit()
{
    QFETCH(int, written);
    QFETCH(int, frames);
    QFETCH(int, kept);

    ConsoleView console;
    for (int i = 1; i <= written; ++i) {
        console.appendLine(QStringLiteral("line %1").arg(i));
        if (i % (written / frames) == 0)
            console.flush();
    }
    console.flush();
    QTextDocument *document = console.document();
    QCOMPARE(document->blockCount(), kept);
    // The oldest lines went first; the newest is the last one.
    QCOMPARE(document->firstBlock().text(), QStringLiteral("line %1").arg(written - kept + 1));
    QCOMPARE(document->lastBlock().text(), QStringLiteral("line %1").arg(written));
}

void TestConsoleText::linesWaitForTheFrame()
{
    ConsoleView console;
    console.appendLine(QStringLiteral("first"));
    console.appendLine(QStringLiteral("second"));
    QVERIFY(console.toPlainText().isEmpty());
    QCOMPARE(console.pendingCount(), 2);
    QTRY_COMPARE(console.toPlainText(), QStringLiteral("first\nsecond"));
    console.appendLine(QStringLiteral("third"));
    console.clearConsole();
    QCOMPARE(console.pendingCount(), 0);
    QVERIFY(console.toPlainText().isEmpty());
}

void TestConsoleText::staysAtTheBottom()
{
    ConsoleView console;
    console.resize(400, 200);
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    for (int i = 0; i < 300; ++i)
        console.appendLine(QStringLiteral("line %1").arg(i));
    console.flush();
    QScrollBar *bar = console.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    // Scrolled up by the user: new lines do not pull the view down.
    bar->setValue(0);
    console.appendLine(QStringLiteral("more"));
    console.flush();
    QCOMPARE(bar->value(), 0);
}

QTEST_MAIN(TestConsoleText)
#include "tst_consoletext.moc"
