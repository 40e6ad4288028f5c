// Survey points as installers bring them (a CSV file, rows pasted from a
// spreadsheet) and as the settings file keeps them.
#include "SurveyPlan.h"

#include <QJsonDocument>
#include <QtTest>

Q_DECLARE_METATYPE(SurveyPoint)

namespace {

QString describe(const QVector<SurveyPoint> &points)
{
    QStringList out;
    for (const SurveyPoint &p : points)
        out.append(QStringLiteral("%1(%2,%3,%4)").arg(p.name).arg(p.x).arg(p.y).arg(p.z));
    return out.join(QLatin1Char(' '));
}

} // namespace

class tst_SurveyPlan : public QObject
{
    Q_OBJECT

private slots:
    void csv_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("points"); // as describe() writes them; empty: refused
        QTest::addColumn<QString>("error");
        QTest::newRow("plain") << "name,x,y,z\nP1,1.5,2,0.8\nP2,-3,4.25,1\n" << "P1(1.5,2,0.8) P2(-3,4.25,1)" << "";
        QTest::newRow("header in capitals, spaces, CRLF, blank lines")
            << "Name, X, Y, Z\r\n\r\n P1 , 1 , 2 , 3 \r\n" << "P1(1,2,3)" << "";
        QTest::newRow("quoted name with a comma and a quote")
            << "name,x,y,z\n\"Dock, \"\"north\"\"\",1,2,3\n" << "Dock, \"north\"(1,2,3)" << "";
        QTest::newRow("header only") << "name,x,y,z\n" << "" << "";
        QTest::newRow("no header") << "P1,1,2,3\n" << "" << "line 1: the first line must be the header name,x,y,z";
        QTest::newRow("empty file") << "" << "" << "the file is empty";
        QTest::newRow("a comma decimal splits the row")
            << "name,x,y,z\nP1,1,5,2,3\n" << "" << "line 2: 5 fields instead of 4 (name, x, y, z)";
        QTest::newRow("not a number") << "name,x,y,z\nP1,1,two,3\n" << "" << "line 2: y \"two\" is not a number";
        QTest::newRow("missing z") << "name,x,y,z\nP1,1,2\n" << "" << "line 2: 3 fields instead of 4 (name, x, y, z)";
        QTest::newRow("no name") << "name,x,y,z\n,1,2,3\n" << "" << "line 2: the point has no name";
        QTest::newRow("same name twice") << "name,x,y,z\nP1,1,2,3\nP1,4,5,6\n" << "" << "the point name P1 appears twice";
        QTest::newRow("quote not closed") << "name,x,y,z\n\"P1,1,2,3\n" << "" << "line 2: a quote is not closed";
        QTest::newRow("infinite") << "name,x,y,z\nP1,inf,2,3\n" << "" << "line 2: x \"inf\" is not a number";
    }

    void csv()
    {
        QFETCH(QString, text);
        QFETCH(QString, points);
        QFETCH(QString, error);
        QVector<SurveyPoint> got{{QStringLiteral("untouched"), 0, 0, 0, 0}};
        QString why;
        const bool ok = SurveyPlan::parseCsv(text, &got, &why);
        QCOMPARE(ok, error.isEmpty());
        if (ok)
            QCOMPARE(describe(got), points);
        else {
            QCOMPARE(why, error);
            QCOMPARE(describe(got), QStringLiteral("untouched(0,0,0)"));
        }
    }

    void pasted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("points");
        QTest::newRow("tabs from a spreadsheet, with its header") << "name\tx\ty\tz\nA\t1\t2\t3\nB\t4\t5\t6\n"
                                                                  << "A(1,2,3) B(4,5,6)";
        QTest::newRow("tabs with decimal commas") << "A\t1,5\t2,25\t0,8\n" << "A(1.5,2.25,0.8)";
        QTest::newRow("semicolons with decimal commas") << "A;1,5;2;3\n" << "A(1.5,2,3)";
        QTest::newRow("commas") << "A,1.5,2,3\nB, 4, 5, 6" << "A(1.5,2,3) B(4,5,6)";
        QTest::newRow("nothing") << "\n  \n" << "";
        QTest::newRow("a bad row refuses all") << "A\t1\t2\t3\nB\t4\tfive\t6\n" << "";
    }

    void pasted()
    {
        QFETCH(QString, text);
        QFETCH(QString, points);
        QVector<SurveyPoint> got;
        QString why;
        const bool ok = SurveyPlan::parsePasted(text, &got, &why);
        QCOMPARE(ok, !points.isEmpty());
        QCOMPARE(describe(got), points);
        QVERIFY(ok || !why.isEmpty());
    }

    void roundTrip()
    {
        SurveyPlan plan;
        plan.siteName = QStringLiteral("Hall 3");
        plan.points = {{QStringLiteral("P1"), 1.5, -2.25, 1.2, 0x2001}, {QStringLiteral("P2"), 0, 0, 0, 0}};
        plan.figure = SurveyPlan::Figure::Cep50;
        plan.target = 0.15;
        plan.limit = SurveyPlan::Limit::Reports;
        plan.seconds = 45;
        plan.reports = 120;
        const QJsonObject json = plan.toJson();
        QCOMPARE(json.value("points").toArray().at(0).toObject().value("tag").toString(), QStringLiteral("0x2001"));
        QVERIFY(!json.value("points").toArray().at(1).toObject().contains("tag"));
        QStringList problems;
        const SurveyPlan back = SurveyPlan::fromJson(json, &problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
        QVERIFY(back == plan);
        QCOMPARE(back.toJson(), json);
        QVERIFY(SurveyPlan().isDefault());
        QVERIFY(!plan.isDefault());
    }

    void badValuesKeepTheirDefaults_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("problems");
        QTest::newRow("all well") << QByteArray(R"({"points":[{"name":"A","x":1,"y":2,"z":3}]})") << 1 << 0;
        QTest::newRow("coordinates as texts")
            << QByteArray(R"({"points":[{"name":"A","x":"1","y":2,"z":3},{"name":"B","x":1,"y":2,"z":3}]})") << 1 << 1;
        QTest::newRow("nameless point") << QByteArray(R"({"points":[{"x":1,"y":2,"z":3}]})") << 0 << 1;
        QTest::newRow("negative target") << QByteArray(R"({"target":{"metres":-1}})") << 0 << 1;
        QTest::newRow("unknown figure") << QByteArray(R"({"target":{"figure":"cep99"}})") << 0 << 1;
        QTest::newRow("zero seconds") << QByteArray(R"({"run":{"seconds":0}})") << 0 << 1;
        QTest::newRow("points not a list") << QByteArray(R"({"points":{}})") << 0 << 1;
    }

    void badValuesKeepTheirDefaults()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, points);
        QFETCH(int, problems);
        QStringList found;
        const SurveyPlan plan = SurveyPlan::fromJson(QJsonDocument::fromJson(json).object(), &found);
        QCOMPARE(plan.points.size(), points);
        QCOMPARE(found.size(), problems);
        QCOMPARE(plan.target, SurveyPlan::kDefaultTarget);
        QCOMPARE(plan.seconds, SurveyPlan::kDefaultSeconds);
        QCOMPARE(plan.figure, SurveyPlan::Figure::Cep95);
    }
};

QTEST_GUILESS_MAIN(tst_SurveyPlan)
#include "tst_surveyplan.moc"
