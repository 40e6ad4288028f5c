// The site acceptance tab against the simulated room with a parked tag, as
// an installer uses it: points imported from a CSV file, run one by one,
// the table's figures, the map's markers and arrows, the settings file, the
// report and the CSV of every position.
#include "PredictedDop.h"
#include "SiteAcceptanceReport.h"
#include "SurveyLook.h"
#include "SurveyTargetPlot.h"
#include "Tools/SiteAcceptanceSim.h"
#include "Tools/ToolsTestSupport.h"

#include <QGLViewer/camera.h>
#include <QLabel>
#include <QLineEdit>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTemporaryDir>

#include <memory>

using namespace SiteAcceptanceSim;
using Col = SiteAcceptanceTab::Column;

namespace {

constexpr int kPositions = 100;

// The room's points: near each corner, and the middle.
const char kPointsCsv[] = "name,x,y,z\n"
                          "SW,2,2,1\n"
                          "SE,10,2,1\n"
                          "NE,10,7,1\n"
                          "NW,2,7,1\n"
                          "Middle,5,4,1\n";

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class tst_SiteAcceptanceTab : public QObject
{
    Q_OBJECT

    ToolsSim sim;
    std::unique_ptr<MapTab> map;
    SiteAcceptanceTab *tab = nullptr;
    QTemporaryDir dir;

    QString csvFile(const char *text)
    {
        const QString name = dir.filePath(QStringLiteral("points-%1.csv").arg(qHash(QByteArray(text))));
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(text);
        return name;
    }

    QRgb pixelNear(const QImage &image, const qglviewer::Vec &world, QRgb wanted)
    {
        const qglviewer::Vec s = map->camera()->projectedCoordinatesOf(world);
        const qreal ratio = image.devicePixelRatio();
        QRgb found = image.pixel(int(s.x * ratio), int(s.y * ratio));
        // Lines are a few pixels wide and land where the rounding puts them.
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const QRgb c = image.pixel(int(s.x * ratio) + dx, int(s.y * ratio) + dy);
                if ((c & 0xFFFFFF) == (wanted & 0xFFFFFF))
                    return c;
            }
        return found;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(SimProcess::binary()), "build sentrova-sim first");
        QVERIFY(sim.start(site(), {QStringLiteral("--noise"), QString::number(kNoise), QStringLiteral("--outliers"),
                                   QStringLiteral("0")}));
        QTRY_VERIFY_WITH_TIMEOUT(tagPosition(sim.hub).x() > -90, kWait);
        map = std::make_unique<MapTab>();
        map->resize(800, 640);
        map->show();
        QVERIFY(QTest::qWaitForWindowExposed(map.get()));
        dress(map.get());
        tab = SiteAcceptanceTab::instance();
        tab->setMapTab(map.get());
        tab->resize(1400, 800);
        tab->show();
        QVERIFY(QTest::qWaitForWindowExposed(tab));
        setUp(tab, kPositions);
        tab->findChild<QLineEdit *>("site")->setText(QStringLiteral("Test room"));
        emit tab->findChild<QLineEdit *>("site")->textEdited(QStringLiteral("Test room"));
    }

    void cleanupTestCase()
    {
        tab->setMapTab(nullptr);
        map.reset();
        QCOMPARE(sim.sim.terminate(), 0);
    }

    void importsPointsFromCsv()
    {
        QVERIFY(tab->importCsv(csvFile(kPointsCsv)));
        QCOMPARE(tab->table()->rowCount(), 5);
        QCOMPARE(cell(tab, 2, Col::ColName), QStringLiteral("NE"));
        QCOMPARE(cell(tab, 2, Col::ColX), QStringLiteral("10.000"));
        QCOMPARE(cell(tab, 2, Col::ColY), QStringLiteral("7.000"));
        QCOMPARE(cell(tab, 2, Col::ColResult), QStringLiteral("not run"));
        // A broken file changes nothing and says why.
        QVERIFY(!tab->importCsv(csvFile("name,x,y,z\nA,1,2\n")));
        QCOMPARE(tab->table()->rowCount(), 5);
        QVERIFY2(tab->statusText().contains(QStringLiteral("line 2")), qPrintable(tab->statusText()));
    }

    // Nothing the tab shows asks anything of the masters.
    void showingSendsNothing()
    {
        ToolsTest::Console console;
        console.clear();
        tab->refresh();
        QTest::qWait(600);
        for (const QJsonObject &cmd : console.sent())
            QVERIFY2(!cmd.value("command").toString().startsWith(QLatin1String("set")),
                     qPrintable(QJsonDocument(cmd).toJson(QJsonDocument::Compact)));
    }

    void runsEveryPoint()
    {
        for (int row = 0; row < tab->table()->rowCount(); ++row)
            QVERIFY2(runRow(sim, tab, row), qPrintable(tab->statusText()));
        QVector<qglviewer::Vec> anchors;
        for (const Anchor &a : kAnchors)
            anchors.append(qglviewer::Vec(a.x, a.y, a.z));
        for (int row = 0; row < tab->table()->rowCount(); ++row) {
            const SurveyPoint p = tab->session().plan().points.at(row);
            const SiteAcceptanceSession::PointResult &r = tab->results().at(row);
            QCOMPARE(cell(tab, row, Col::ColUsed), QString::number(kPositions));
            QCOMPARE(cell(tab, row, Col::ColBelow), QStringLiteral("0"));
            QCOMPARE(cell(tab, row, Col::ColResult), QStringLiteral("PASS"));
            QCOMPARE(cell(tab, row, Col::ColAnchors), QStringLiteral("5"));
            QCOMPARE(cell(tab, row, Col::ColTag), QStringLiteral("Survey tag"));
            QCOMPARE(cell(tab, row, Col::ColHdop),
                     QString::number(PredictedDop::hdop(qglviewer::Vec(p.x, p.y, p.z), anchors), 'f', 2));
            QVERIFY(std::fabs(cell(tab, row, Col::ColMeanX).toDouble() - p.x) < 0.05);
            QVERIFY(std::fabs(cell(tab, row, Col::ColMeanY).toDouble() - p.y) < 0.05);
            QCOMPARE(cell(tab, row, Col::ColCep95), QString::number(r.figures.cep95, 'f', 3));
            QVERIFY(r.figures.cep50 <= r.figures.cep95 && r.figures.cep95 <= r.figures.maxError);
            QVERIFY(cell(tab, row, Col::ColFlagged).isEmpty());
        }
        QCOMPARE(tab->overall().verdict, SiteAcceptanceSession::Verdict::Pass);
        QVERIFY2(tab->summaryText().contains(QStringLiteral("Verdict: PASS")), qPrintable(tab->summaryText()));
    }

    // What the simulator's noise implies: Gaussian ranges of sigma 0.05 m
    // (no outliers in this run), and the master averages three fixes. The
    // horizontal error of a position is then about normal with
    // sigma_axis = HDOP * sigma / sqrt(2 * 3) on each axis, so CEP50 is
    // 1.177 sigma_axis and CEP95 2.448 sigma_axis: 0.025 m and 0.051 m at
    // the room's HDOP of 1.03. Over 500 positions the pooled figures are
    // within 30 % of that.
    void cleanSiteWithinTheNoise()
    {
        double hdop = 0.0;
        for (const SiteAcceptanceSession::PointResult &r : tab->results())
            hdop = std::max(hdop, r.hdop);
        const double sigmaAxis = hdop * kNoise / std::sqrt(6.0);
        const SurveyStatistics::Figures &f = tab->overall().figures;
        QCOMPARE(f.count, 5 * kPositions);
        const QString figures = QStringLiteral("CEP50 %1, CEP95 %2 against %3, %4")
                                    .arg(f.cep50).arg(f.cep95).arg(1.177 * sigmaAxis).arg(2.448 * sigmaAxis);
        QVERIFY2(std::fabs(f.cep50 / (1.177 * sigmaAxis) - 1.0) < 0.3, qPrintable(figures));
        QVERIFY2(std::fabs(f.cep95 / (2.448 * sigmaAxis) - 1.0) < 0.3, qPrintable(figures));
    }

    // A run whose positions are all below the map's minimum quality counts
    // them and uses none: the point fails. Run again, the newest run counts.
    void positionsBelowTheMinimumQuality()
    {
        setUp(tab, 20);
        map->setMinPqf(101);
        QVERIFY(runRow(sim, tab, 0));
        QCOMPARE(cell(tab, 0, Col::ColResult), QStringLiteral("FAIL: none usable (run 2)"));
        QCOMPARE(cell(tab, 0, Col::ColUsed), QStringLiteral("0"));
        QCOMPARE(cell(tab, 0, Col::ColBelow), QStringLiteral("20"));
        QCOMPARE(cell(tab, 0, Col::ColCep95), QString());
        QVERIFY2(tab->statusText().contains(QStringLiteral("20 below the minimum quality (pqf < 101), not used")),
                 qPrintable(tab->statusText()));
        QCOMPARE(tab->overall().verdict, SiteAcceptanceSession::Verdict::Fail);
        QCOMPARE(tab->overall().worst, 0);
        QVERIFY2(tab->summaryText().contains(QStringLiteral("Worst point: SW")), qPrintable(tab->summaryText()));

        map->setMinPqf(0);
        QVERIFY(runRow(sim, tab, 0));
        QCOMPARE(cell(tab, 0, Col::ColResult), QStringLiteral("PASS (run 3)"));
        QCOMPARE(cell(tab, 0, Col::ColUsed), QStringLiteral("20"));
        QCOMPARE(tab->overall().verdict, SiteAcceptanceSession::Verdict::Pass);
    }

    // Each point is a dot in its verdict's colour; a point whose truth was
    // typed 0.6 m off gets an arrow from there back to where the tag stood.
    void mapShowsThePointsAndArrows()
    {
        const QRgb green = QColor(0, 170, 0).rgb();
        const QRgb red = QColor(220, 0, 0).rgb();
        const SurveyPlan &plan = tab->session().plan();
        QImage image = map->mapImage();
        for (const SurveyPoint &p : plan.points)
            QCOMPARE(pixelNear(image, qglviewer::Vec(p.x, p.y, p.z), green) & 0xFFFFFF, green & 0xFFFFFF);

        tab->table()->item(2, Col::ColX)->setText(QStringLiteral("10.6"));
        tab->refresh();
        QCOMPARE(cell(tab, 2, Col::ColX), QStringLiteral("10.600"));
        QCOMPARE(cell(tab, 2, Col::ColResult), QStringLiteral("FAIL"));
        QVERIFY(std::fabs(cell(tab, 2, Col::ColBiasX).toDouble() + 0.6) < 0.05);
        image = map->mapImage();
        QCOMPARE(pixelNear(image, qglviewer::Vec(10.6, 7, 1), red) & 0xFFFFFF, red & 0xFFFFFF);
        QCOMPARE(pixelNear(image, qglviewer::Vec(10.3, 7, 1), red) & 0xFFFFFF, red & 0xFFFFFF);
        // Beside the arrow, none of it.
        QVERIFY((pixelNear(image, qglviewer::Vec(10.3, 7.3, 1), red) & 0xFFFFFF) != (red & 0xFFFFFF));

        tab->table()->item(2, Col::ColX)->setText(QStringLiteral("10"));
        tab->refresh();
        QCOMPARE(cell(tab, 2, Col::ColResult), QStringLiteral("PASS"));
        image = map->mapImage();
        QVERIFY((pixelNear(image, qglviewer::Vec(10.3, 7, 1), red) & 0xFFFFFF) != (red & 0xFFFFFF));
        QCOMPARE(pixelNear(image, qglviewer::Vec(10, 7, 1), green) & 0xFFFFFF, green & 0xFFFFFF);
    }

    // The report: a page for the summary and the anchors, one for the map,
    // then one per four points; its text holds the verdict.
    void reportPages_data()
    {
        QTest::addColumn<int>("extraPoints");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("five points run") << 0 << 4 << "Verdict: PASS";
        QTest::newRow("eight points, three not run") << 3 << 4 << "Verdict: INCOMPLETE";
        QTest::newRow("nine points") << 4 << 5 << "Verdict: INCOMPLETE";
    }

    void reportPages()
    {
        QFETCH(int, extraPoints);
        QFETCH(int, pages);
        QFETCH(QString, verdict);
        for (int i = 0; i < extraPoints; ++i)
            tab->addPoint();
        const QString file = dir.filePath(QStringLiteral("report-%1.pdf").arg(extraPoints));
        QVERIFY(tab->exportReport(file));
        QVERIFY(QFileInfo(file).size() > 10000);
        QCOMPARE(SiteAcceptanceReport::pageCount(tab->session().pointCount(), 5), pages);
        const QString info = run(QStringLiteral("pdfinfo"), {file});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))), qPrintable(info));
        const QString text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
        QVERIFY2(text.contains(verdict), qPrintable(text.left(2000)));
        for (const QString &expected : {QStringLiteral("Site acceptance report"), QStringLiteral("Test room"),
                                        QStringLiteral("North-west"), QStringLiteral("Middle"),
                                        QStringLiteral("CEP95 ≤ 0.300 m at every point"),
                                        QStringLiteral("page %1 of %1").arg(pages)})
            QVERIFY2(text.contains(expected), qPrintable(expected));
        for (int i = 0; i < extraPoints; ++i) {
            tab->table()->selectRow(tab->table()->rowCount() - 1);
            tab->removeSelectedPoint();
        }
        QCOMPARE(tab->session().pointCount(), 5);
    }

    // Every position of every run, the older runs of a point too.
    void csvOfEveryPosition()
    {
        const QString file = dir.filePath(QStringLiteral("positions.csv"));
        QVERIFY(tab->exportCsv(file));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QHash<QString, int> rows;
        int unused = 0;
        for (const QString &line : lines.mid(1)) {
            const QStringList fields = line.split(QLatin1Char(','));
            QCOMPARE(fields.size(), 14);
            ++rows[fields.at(0) + QLatin1Char('/') + fields.at(1)];
            unused += fields.at(9) == QLatin1String("0");
        }
        QCOMPARE(rows.value(QStringLiteral("SW/1")), kPositions);
        QCOMPARE(rows.value(QStringLiteral("SW/2")), 20);
        QCOMPARE(rows.value(QStringLiteral("SW/3")), 20);
        QCOMPARE(rows.value(QStringLiteral("Middle/1")), kPositions);
        QCOMPARE(lines.size(), 1 + 5 * kPositions + 40);
        QCOMPARE(unused, 20);
    }

    // The points and the target go to the settings file under "survey" and
    // come back the same; other keys are kept; a file without "survey"
    // leaves the points alone.
    void settingsRoundTrip()
    {
        const QJsonObject saved = tab->toJSON(QJsonObject{{"zone", QJsonArray()}});
        QVERIFY(saved.contains("zone"));
        const QJsonObject survey = saved.value("survey").toObject();
        QCOMPARE(survey.value("site").toString(), QStringLiteral("Test room"));
        QCOMPARE(survey.value("points").toArray().size(), 5);
        QCOMPARE(survey.value("points").toArray().at(2).toObject().value("tag").toString(), QStringLiteral("0x2001"));
        QCOMPARE(survey.value("run").toObject().value("limit").toString(), QStringLiteral("reports"));
        tab->fromJSON(QJsonObject{{"node", QJsonArray()}});
        QCOMPARE(tab->session().pointCount(), 5);
        // The file the points came from: the runs made on them stay.
        tab->fromJSON(saved);
        QCOMPARE(tab->toJSON(QJsonObject{{"zone", QJsonArray()}}), saved);
        QCOMPARE(cell(tab, 4, Col::ColResult), QStringLiteral("PASS"));
        // Other points: they start without runs.
        QJsonObject other = saved;
        QJsonObject otherSurvey = survey;
        otherSurvey.insert("site", "Other room");
        other.insert("survey", otherSurvey);
        tab->fromJSON(other);
        QCOMPARE(tab->toJSON(QJsonObject{{"zone", QJsonArray()}}), other);
        QCOMPARE(tab->table()->rowCount(), 5);
        QCOMPARE(cell(tab, 4, Col::ColName), QStringLiteral("Middle"));
        QCOMPARE(cell(tab, 4, Col::ColResult), QStringLiteral("not run"));
        QCOMPARE(tab->findChild<QLineEdit *>("site")->text(), QStringLiteral("Other room"));
    }

    // On a small screen the plot and the texts under it scroll; none is
    // drawn over another, and none is cut at the side.
    void sidePanelKeepsItsPartsApart_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1366 x 768 window") << QSize(1040, 420);
        QTest::newRow("roomy") << QSize(1400, 800);
        QTest::newRow("narrow and low") << QSize(700, 300);
    }
    void sidePanelKeepsItsPartsApart()
    {
        QFETCH(QSize, size);
        tab->resize(size);
        auto *panel = tab->findChild<QScrollArea *>(QStringLiteral("sidePanel"));
        QVERIFY(panel);
        QWidget *content = panel->widget();
        QTRY_COMPARE(content->width(), panel->viewport()->width());
        QList<QWidget *> parts;
        for (QWidget *w : content->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (w->isVisibleTo(content))
                parts << w;
        QVERIFY(parts.size() >= 3);
        for (int i = 0; i < parts.size(); ++i) {
            QVERIFY2(parts[i]->geometry().right() < content->width(), qPrintable(parts[i]->objectName()));
            for (int j = i + 1; j < parts.size(); ++j)
                QVERIFY2(!parts[i]->geometry().intersects(parts[j]->geometry()),
                         qPrintable(parts[i]->objectName() + QLatin1Char('/') + parts[j]->objectName()));
        }
        tab->resize(1400, 800);
    }
};

QTEST_MAIN(tst_SiteAcceptanceTab)
#include "tst_siteacceptancetab.moc"
