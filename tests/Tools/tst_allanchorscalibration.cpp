#include "AnchorCalibrationTab.h"
#include "Tools/ToolsSim.h"
#include "WriteCheck.h"

#include <QStandardItemModel>

// The all-anchors method end to end on the simulator's default site with
// its random antenna-delay errors: the range error between anchors must fall
// at least five-fold and every delay written must land within three device
// units of the anchor's real one. The two anchors upstairs see only each
// other; their errors cannot be told apart and they are left alone.
class tst_AllAnchorsCalibration : public QObject
{
    Q_OBJECT

    ToolsSim site;
    AnchorCalibrationTab *tab = nullptr;

    QStandardItemModel *model() const { return tab->solveModel(); }
    uint64_t id(int row) const
    {
        return model()->verticalHeaderItem(row)->data(AnchorCalibrationTab::kValueRole).value<uint64_t>();
    }
    QString text(int row, int column) const { return model()->item(row, column)->text(); }
    double number(int row, int column) const
    {
        return model()->item(row, column)->data(AnchorCalibrationTab::kValueRole).toDouble();
    }
    bool upstairs(int row) const { return id(row) >= 0x1100; }

private slots:
    void initTestCase()
    {
        tab = AnchorCalibrationTab::instance();
        tab->show();
        QVERIFY(site.start());
    }

    void errorsFallAndDelaysLandOnTheTruth()
    {
        tab->setScanCount(100);
        tab->scanAndReadDistances();
        QVERIFY(site.roundTrip());
        tab->computeAllAnchors();
        tab->readAllDelays();
        QVERIFY(site.roundTrip());
        QCOMPARE(model()->rowCount(), 10);
        const double before = tab->rmsBefore();
        const double predicted = tab->rmsPredicted();
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (upstairs(row)) {
                QCOMPARE(text(row, AnchorCalibrationTab::Change), QStringLiteral("not determinable"));
                QCOMPARE(text(row, AnchorCalibrationTab::SolveNewTx), QStringLiteral("---"));
            } else {
                QCOMPARE(number(row, AnchorCalibrationTab::SolveCurrentTx), 16515.0);
                QVERIFY(model()->item(row, AnchorCalibrationTab::SolveNewTx)->data(AnchorCalibrationTab::kValueRole).isValid());
            }
        }

        // Tags keep reporting; the computed values stay.
        QSignalSpy reports(site.hub, &SentrovaInterface::nodeUpdatedSignal);
        QTRY_VERIFY_WITH_TIMEOUT(reports.count() >= 50, 15000);
        QCOMPARE(model()->rowCount(), 10);
        QVERIFY(model()->item(0, AnchorCalibrationTab::SolveNewTx)->data(AnchorCalibrationTab::kValueRole).isValid());

        const int writes = site.countResponses("setUwbAntConfig");
        tab->applyAllAnchors();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (int row = 0; row < 8; ++row)
                    if (!text(row, AnchorCalibrationTab::SolveCheck).startsWith(QChar(0x2714)))
                        return false;
                return true;
            }(),
            15000);
        QVERIFY(site.roundTrip());
        QVERIFY(site.countResponses("setUwbAntConfig") - writes <= 8);
        // Nothing more from the same measurement.
        tab->computeAllAnchors();
        QVERIFY(tab->solveStatus().contains("before the last Apply"));

        for (int row = 0; row < model()->rowCount(); ++row) {
            const double held = number(row, AnchorCalibrationTab::SolveCurrentTx);
            const double real = site.realDelay.value(id(row));
            qInfo().noquote() << QStringLiteral("all anchors, %1: delay error %2 -> %3 device units")
                                     .arg(model()->verticalHeaderItem(row)->text())
                                     .arg(16515.0 - real, 0, 'f', 1)
                                     .arg(held - real, 0, 'f', 1);
            if (upstairs(row)) {
                QCOMPARE(held, 16515.0);
                QCOMPARE(text(row, AnchorCalibrationTab::SolveCheck), QStringLiteral("---"));
            } else {
                QVERIFY2(std::fabs(held - real) <= 3.0, qPrintable(QString::number(held - real)));
            }
        }

        tab->scanAndReadDistances();
        QVERIFY(site.roundTrip());
        tab->computeAllAnchors();
        const double after = tab->rmsBefore();
        qInfo().noquote() << QStringLiteral("all anchors: range RMS error between anchors %1 mm -> %2 mm "
                                            "(%3 mm predicted)")
                                 .arg(before * 1000.0, 0, 'f', 1)
                                 .arg(after * 1000.0, 0, 'f', 1)
                                 .arg(predicted * 1000.0, 0, 'f', 1);
        QVERIFY2(after * 5.0 <= before, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
        QVERIFY(tab->solveStatus().contains("Before the last Apply"));
    }

    void cleanupTestCase()
    {
        QCOMPARE(site.sim.terminate(), 0);
    }
};

QTEST_MAIN(tst_AllAnchorsCalibration)
#include "tst_allanchorscalibration.moc"
