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
        QVERIFY(site.start(lineSite()));
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
        QVERIFY(site.measure(200));
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

    void cleanupTestCase()
    {
        QCOMPARE(site.sim.terminate(), 0);
    }
};

QTEST_MAIN(tst_AnchorCalibrationTab)
#include "tst_anchorcalibrationtab.moc"
