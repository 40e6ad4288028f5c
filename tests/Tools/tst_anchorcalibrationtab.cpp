#include "AnchorCalibrationTab.h"
#include "CalibrationConstants.h"
#include "Tools/ToolsSim.h"
#include "WriteCheck.h"

#include <QStandardItemModel>

// The line method end to end: anchors on a line in the simulator, the
// middle ones with known antenna-delay errors. One pass must bring each
// within a few device units of its real delay, a second pass must change
// almost nothing, and nothing is ever written twice from one measurement.
class tst_AnchorCalibrationTab : public QObject
{
    Q_OBJECT

    ToolsSim site;
    ServiceRelay relay;
    AnchorCalibrationTab *tab = nullptr;

    QStandardItemModel *model() const { return tab->lineModel(); }
    uint64_t id(int row) const
    {
        return model()->verticalHeaderItem(row)->data(AnchorCalibrationTab::kValueRole).value<uint64_t>();
    }
    QString text(int row, int column) const { return model()->item(row, column)->text(); }
    double number(int row, int column) const
    {
        return model()->item(row, column)->data(AnchorCalibrationTab::kValueRole).toDouble();
    }
    bool allWritten(const QList<int> &rows) const
    {
        for (int row : rows)
            if (!text(row, AnchorCalibrationTab::LineCheck).startsWith(QChar(0x2714)))
                return false;
        return true;
    }

    // Asks for distances as the tab's own button does after a fine scan.
    bool measureFromTab(int n)
    {
        site.hub->scanInfraWithCount(n);
        tab->readAllDistances();
        return site.roundTrip();
    }
    static bool isDistanceAnswer(const QByteArray &line)
    {
        return line.contains("\"response\":\"getDist\"");
    }
    static bool isDistanceAnswerOf(const QByteArray &line, const char *id)
    {
        return isDistanceAnswer(line) && line.contains(QByteArray("\"id\":\"") + id + '"');
    }
    int rowOf(uint64_t anchor) const
    {
        for (int row = 0; row < model()->rowCount(); ++row)
            if (id(row) == anchor)
                return row;
        return -1;
    }

    // Ends 6 m from the rest, four anchors between them with real delays
    // off by known amounts, one anchor on another storey that measures
    // nothing, and one 4 m off the line.
    static QByteArray lineSite()
    {
        return "{\"nodes\": ["
               "{\"id\":\"0x1000\",\"name\":\"Begin\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0,\"z\":2.5},\"delayOffset\":0},"
               "{\"id\":\"0x1001\",\"name\":\"Mid 1\",\"position\":{\"x\":6,\"y\":0,\"z\":2.5},\"delayOffset\":12},"
               "{\"id\":\"0x1002\",\"name\":\"Mid 2\",\"position\":{\"x\":8.5,\"y\":0,\"z\":2.5},\"delayOffset\":-9},"
               "{\"id\":\"0x1003\",\"name\":\"Mid 3\",\"position\":{\"x\":11,\"y\":0,\"z\":2.5},\"delayOffset\":17.4},"
               "{\"id\":\"0x1004\",\"name\":\"Mid 4\",\"position\":{\"x\":13.5,\"y\":0,\"z\":2.5},\"delayOffset\":-15.6},"
               "{\"id\":\"0x1005\",\"name\":\"End\",\"position\":{\"x\":20,\"y\":0,\"z\":2.5},\"delayOffset\":0},"
               "{\"id\":\"0x1006\",\"name\":\"Upstairs\",\"storey\":1,\"position\":{\"x\":9,\"y\":0,\"z\":6},\"delayOffset\":5},"
               "{\"id\":\"0x1007\",\"name\":\"Off\",\"position\":{\"x\":10,\"y\":4,\"z\":2.5},\"delayOffset\":8}"
               "]}";
    }

private slots:
    void initTestCase()
    {
        tab = AnchorCalibrationTab::instance();
        tab->show();
        QVERIFY(site.start(lineSite(), {}, &relay));
    }

    void theLineIsFoundAndChecked()
    {
        QVERIFY(site.measure(200));
        tab->createCalibrationList();
        QCOMPARE(model()->rowCount(), 8);
        QCOMPARE(model()->verticalHeaderItem(0)->text(), QStringLiteral("Begin"));
        QCOMPARE(model()->verticalHeaderItem(7)->text(), QStringLiteral("End"));
        QCOMPARE(model()->horizontalHeaderItem(2)->text(), QStringLiteral("cos(angle +/- [-1.00]"));
        QVERIFY(std::fabs(number(0, AnchorCalibrationTab::ToEnd) - 20.0) < 0.05);
        for (int row = 1; row <= 4; ++row) {
            QVERIFY(std::fabs(number(row, AnchorCalibrationTab::Cosine) + 1.0) < Calib::kOnLineCosBand);
            QCOMPARE(model()->item(row, AnchorCalibrationTab::Cosine)->background().color(), QColor(Qt::green));
            QCOMPARE(model()->item(row, AnchorCalibrationTab::ApplyRow)->checkState(), Qt::Checked);
        }
        // The anchor upstairs measures nothing: no cosine, nothing to tick.
        QCOMPARE(model()->verticalHeaderItem(5)->text(), QStringLiteral("Upstairs"));
        QCOMPARE(text(5, AnchorCalibrationTab::ToBegin), QStringLiteral("---"));
        QCOMPARE(text(5, AnchorCalibrationTab::Cosine), QStringLiteral("---"));
        QVERIFY(!model()->item(5, AnchorCalibrationTab::ApplyRow)->isCheckable());
        // The one off the line is red and left out unless ticked.
        QCOMPARE(model()->item(6, AnchorCalibrationTab::Cosine)->background().color(), QColor(Qt::red));
        QCOMPARE(model()->item(6, AnchorCalibrationTab::ApplyRow)->checkState(), Qt::Unchecked);
        QVERIFY(tab->lineStatus().contains("1 anchor(s) off the line"));
    }

    void onePassBringsEveryMiddleAnchorToItsRealDelay()
    {
        tab->getCurrentCalibrations();
        QVERIFY(site.roundTrip());
        // A reply about an end changes nothing.
        tab->newDelays(0x1000, 1, 2);
        QCOMPARE(text(0, AnchorCalibrationTab::CurrentTx), QStringLiteral("---"));
        QCOMPARE(text(5, AnchorCalibrationTab::NewTx), QStringLiteral("---"));

        QHash<uint64_t, double> before;
        for (int row = 1; row <= 4; ++row) {
            QCOMPARE(number(row, AnchorCalibrationTab::CurrentTx), 16515.0);
            before.insert(id(row), 16515.0 - site.realDelay.value(id(row)));
        }
        const int writes = site.countResponses("setUwbAntConfig");
        tab->setNewCalibrations();
        QTRY_VERIFY_WITH_TIMEOUT(allWritten({1, 2, 3, 4}), 15000);
        QVERIFY(site.roundTrip());
        QCOMPARE(site.countResponses("setUwbAntConfig"), writes + 4);
        for (int row = 1; row <= 4; ++row) {
            const double error = number(row, AnchorCalibrationTab::CurrentTx) - site.realDelay.value(id(row));
            qInfo().noquote() << QStringLiteral("line method, %1: delay error %2 -> %3 device units")
                                     .arg(model()->verticalHeaderItem(row)->text())
                                     .arg(before.value(id(row)), 0, 'f', 1)
                                     .arg(error, 0, 'f', 1);
            QVERIFY2(std::fabs(error) <= 3.0, qPrintable(QString::number(error)));
            QCOMPARE(number(row, AnchorCalibrationTab::CurrentRx), number(row, AnchorCalibrationTab::CurrentTx));
        }

        // No second write from the same measurement, and no list from
        // distances older than the write.
        tab->setNewCalibrations();
        QVERIFY(site.roundTrip());
        QCOMPARE(site.countResponses("setUwbAntConfig"), writes + 4);
        tab->createCalibrationList();
        QVERIFY(tab->lineStatus().contains("before the last Apply"));
        QCOMPARE(model()->rowCount(), 8);
    }

    void aSecondPassChangesAlmostNothing()
    {
        QVERIFY(measureFromTab(200));
        tab->createCalibrationList();
        tab->getCurrentCalibrations();
        QVERIFY(site.roundTrip());
        for (int row = 1; row <= 4; ++row) {
            const double change = number(row, AnchorCalibrationTab::NewTx) - number(row, AnchorCalibrationTab::CurrentTx);
            qInfo().noquote() << QStringLiteral("line method, second pass, %1: change %2 device units")
                                     .arg(model()->verticalHeaderItem(row)->text())
                                     .arg(change);
            QVERIFY2(std::fabs(change) <= 3.0, qPrintable(QString::number(change)));
        }
    }

    void anAnchorOffTheLineIsWrittenOnlyWhenTicked()
    {
        // "Off" was left out of both passes; ticked, it is written.
        QCOMPARE(model()->verticalHeaderItem(6)->text(), QStringLiteral("Off"));
        QCOMPARE(text(6, AnchorCalibrationTab::LineCheck), QStringLiteral("---"));
        const int writes = site.countResponses("setUwbAntConfig");
        model()->item(6, AnchorCalibrationTab::ApplyRow)->setCheckState(Qt::Checked);
        tab->setNewCalibrations();
        QTRY_VERIFY_WITH_TIMEOUT(allWritten({6}), 15000);
        QVERIFY(site.roundTrip());
        QVERIFY(site.countResponses("setUwbAntConfig") >= writes + 1);
    }

    // Distances the anchors measured before an Apply but whose answers
    // arrive after it describe the old delays: they are no reason to
    // compute again.
    void anAnswerOnItsWayDuringTheApplyIsNotFresh()
    {
        QVERIFY(measureFromTab(50));
        tab->createCalibrationList();
        QCOMPARE(model()->rowCount(), 8);
        tab->getCurrentCalibrations();
        QVERIFY(site.roundTrip());

        relay.hold = isDistanceAnswer;
        tab->readAllDistances();
        QTRY_COMPARE_WITH_TIMEOUT(relay.held.size(), 8, 15000);
        tab->setNewCalibrations();
        QTRY_VERIFY_WITH_TIMEOUT(allWritten({1, 2, 3, 4}), 15000);
        relay.hold = nullptr;
        relay.release();
        QVERIFY(site.roundTrip());

        tab->createCalibrationList();
        QVERIFY2(tab->lineStatus().contains("before the last Apply"), qPrintable(tab->lineStatus()));
        QVERIFY(site.roundTrip());
    }

    // One anchor that never answers is named once its time is up and left
    // out; the others go on. Once it answers again it is back.
    void aSilentAnchorIsNamedAndLeftOut()
    {
        relay.hold = [](const QByteArray &line) { return isDistanceAnswerOf(line, "0x1004"); };
        tab->readAllDistances();
        QVERIFY(site.roundTrip());
        tab->createCalibrationList();
        QVERIFY2(tab->lineStatus().startsWith("Waiting for the distances of Mid 4"), qPrintable(tab->lineStatus()));

        QTRY_VERIFY_WITH_TIMEOUT(tab->lineStatus().startsWith("Mid 4 did not answer"),
                                 Calib::kDistanceAnswerTimeoutMs + 10000);
        QVERIFY(tab->solveStatus().startsWith("Mid 4 did not answer"));
        tab->createCalibrationList();
        QCOMPARE(model()->rowCount(), 7);
        QCOMPARE(rowOf(0x1004), -1);
        QVERIFY2(tab->lineStatus().contains("Left out, no answer to the distance request: Mid 4."),
                 qPrintable(tab->lineStatus()));
        tab->computeAllAnchors();
        QVERIFY2(tab->solveStatus().contains("Left out, no answer to the distance request: Mid 4."),
                 qPrintable(tab->solveStatus()));
        QCOMPARE(model()->rowCount(), 7);

        relay.hold = nullptr;
        relay.held.clear();
        tab->readAllDistances();
        QVERIFY(site.roundTrip());
        tab->createCalibrationList();
        QCOMPARE(model()->rowCount(), 8);
        QVERIFY(!tab->lineStatus().contains("Left out"));
    }

    void cleanupTestCase()
    {
        QCOMPARE(site.sim.terminate(), 0);
    }
};

QTEST_MAIN(tst_AnchorCalibrationTab)
#include "tst_anchorcalibrationtab.moc"
