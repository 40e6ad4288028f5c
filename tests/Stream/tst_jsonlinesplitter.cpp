#include "JsonLineSplitter.h"

#include <QtTest>

class tst_JsonLineSplitter : public QObject
{
    Q_OBJECT

private:
    static QList<QByteArray> feedAll(JsonLineSplitter &splitter, const QList<QByteArray> &chunks, int *drops = nullptr)
    {
        QList<QByteArray> lines;
        for (const QByteArray &chunk : chunks) {
            // Copied: a line handed out may share the chunk's bytes.
            const bool dropped = splitter.feed(chunk, [&](const QByteArray &line) { lines.append(QByteArray(line.constData(), line.size())); });
            if (drops && dropped)
                ++*drops;
        }
        return lines;
    }

private slots:
    void lines_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<int>("pending");

        using L = QList<QByteArray>;
        QTest::newRow("two objects in one datagram") << L{"{\"a\":1}\n{\"b\":2}\n"} << L{"{\"a\":1}", "{\"b\":2}"} << 0;
        QTest::newRow("split across two datagrams") << L{"{\"a\":", "1}\n"} << L{"{\"a\":1}"} << 0;
        QTest::newRow("split across three datagrams") << L{"{\"a", "\":", "1}\n{"} << L{"{\"a\":1}"} << 1;
        QTest::newRow("nothing until the line ends") << L{"{\"a\":1}"} << L{} << 7;
        QTest::newRow("empty lines skipped") << L{"\n\n{}\n\n"} << L{"{}"} << 0;
        QTest::newRow("line feed alone ends a pending line") << L{"{}", "\n"} << L{"{}"} << 0;
        QTest::newRow("carriage return kept") << L{"{}\r\n"} << L{"{}\r"} << 0;
        QTest::newRow("text after the last line waits") << L{"{}\n{\"x\"", ":2}\n"} << L{"{}", "{\"x\":2}"} << 0;
    }

    void lines()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(int, pending);
        JsonLineSplitter splitter(1024);
        QCOMPARE(feedAll(splitter, chunks), lines);
        QCOMPARE(splitter.pendingSize(), pending);
    }

    void overLongLineIsDroppedOnceAndReadingRecovers_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<int>("drops");

        using L = QList<QByteArray>;
        const QByteArray six(6, 'x');
        QTest::newRow("grows past the limit, then a line")
            << L{six, six, six, "tail\n{}\n"} << L{"{}"} << 1;
        QTest::newRow("single chunk past the limit") << L{QByteArray(20, 'x'), "\n{}\n"} << L{"{}"} << 1;
        QTest::newRow("exactly at the limit is kept") << L{QByteArray(10, 'x'), "\n"} << L{QByteArray(10, 'x')} << 0;
        QTest::newRow("lines before the long one are kept") << L{"{}\n" + QByteArray(11, 'x'), "y\n{1}\n"} << L{"{}", "{1}"} << 1;
        QTest::newRow("two long lines, two reports") << L{QByteArray(11, 'x'), "\n", QByteArray(11, 'y'), "\n{}\n"} << L{"{}"} << 2;
    }

    void overLongLineIsDroppedOnceAndReadingRecovers()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(int, drops);
        JsonLineSplitter splitter(10);
        int seen = 0;
        QCOMPARE(feedAll(splitter, chunks, &seen), lines);
        QCOMPARE(seen, drops);
        QVERIFY(splitter.pendingSize() <= 10);
    }
};

QTEST_GUILESS_MAIN(tst_JsonLineSplitter)
#include "tst_jsonlinesplitter.moc"
