#include "CalibrationConstants.h"
#include "TagCalibrationTab.h"
#include "Tools/ToolsSim.h"

#include <QComboBox>
#include <QTableWidget>

// Tag calibration end to end: a tag of the simulator stands at a known
// position with its antenna delays 14 units off; one Apply must bring its
// range bias to within the noise and its delays onto the real ones.
class tst_TagCalibrationTab : public QObject
{
    Q_OBJECT

    ToolsSim site;
    TagCalibrationTab *tab = nullptr;

    // Calibrated anchors, a tag reporting at 100 Hz.
    static QByteArray standingTag()
    {
        return "{\"tdmaScheme\": 13,"
               "\"nodeConfig\": [{\"cfgId\": 0, \"nodeOptions\": \"twr\", \"msecRefreshInterval\": 10, \"locEngine\": 1}],"
               "\"nodes\": ["
               "{\"id\":\"0x1000\",\"name\":\"Master\",\"mode\":\"master\",\"position\":{\"x\":0,\"y\":0,\"z\":2.5},\"delayOffset\":0},"
               "{\"id\":\"0x1001\",\"position\":{\"x\":12,\"y\":0,\"z\":3.0},\"delayOffset\":0},"
               "{\"id\":\"0x1002\",\"position\":{\"x\":12,\"y\":9,\"z\":2.2},\"delayOffset\":0},"
               "{\"id\":\"0x1003\",\"position\":{\"x\":0,\"y\":9,\"z\":2.8},\"delayOffset\":0},"
               "{\"id\":\"0x1004\",\"position\":{\"x\":6,\"y\":4.5,\"z\":3.2},\"delayOffset\":0},"
               "{\"id\":\"0x2001\",\"name\":\"Probe\",\"mode\":\"tag\",\"rate\":100,\"position\":{\"x\":4,\"y\":3,\"z\":1},"
               "\"delayOffset\":14}"
               "]}";
    }

    bool suggestionReady() const { return tab->calibration().suggestion(Calib::kTagMaxStep).valid; }

private slots:
    void initTestCase()
    {
        tab = TagCalibrationTab::instance();
        tab->show();
        QVERIFY(site.start(standingTag()));
        QTRY_VERIFY_WITH_TIMEOUT(tab->tagCombo()->findData(QVariant::fromValue<uint64_t>(0x2001)) >= 0, 15000);
    }

    void oneApplyTakesTheBiasOut()
    {
        tab->setTag(0x2001);
        // The stream knows no names; the master's list does.
        site.hub->listTags();
        QTRY_COMPARE_WITH_TIMEOUT(tab->tagCombo()->currentText(), QStringLiteral("Probe"), 10000);
        QVERIFY(tab->setTruePosition(4, 3, 1));
        tab->startCollecting();
        QVERIFY(tab->collecting());
        QTRY_VERIFY_WITH_TIMEOUT(suggestionReady(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(tab->suggestionText().contains("TX 16515"), 10000);
        const TagCalibration::Suggestion before = tab->calibration().suggestion(Calib::kTagMaxStep);
        QCOMPARE(tab->table()->rowCount(), 5);
        QVERIFY(std::abs(before.changeUnits - 14) <= 3);

        tab->apply();
        // The samples taken with the old delays are gone.
        QVERIFY(!suggestionReady());
        QTRY_VERIFY_WITH_TIMEOUT(tab->checkText().contains(QChar(0x2714)), 10000);
        QVERIFY(tab->checkText().contains(QStringLiteral("holds TX %1").arg(16515 + before.changeUnits)));
        const double real = site.realDelay.value(0x2001);
        QVERIFY(std::fabs(16515 + before.changeUnits - real) <= 3.0);

        QTRY_VERIFY_WITH_TIMEOUT(suggestionReady(), 15000);
        const TagCalibration::Suggestion after = tab->calibration().suggestion(Calib::kTagMaxStep);
        qInfo().noquote() << QStringLiteral("tag calibration: range bias %1 mm -> %2 mm, delays 16515 -> %3 (real %4)")
                                 .arg(before.biasMetres * 1000.0, 0, 'f', 1)
                                 .arg(after.biasMetres * 1000.0, 0, 'f', 1)
                                 .arg(16515 + before.changeUnits)
                                 .arg(real, 0, 'f', 1);
        // Noise of 5 cm averaged over 50 ranges per anchor: about 7 mm.
        QVERIFY2(std::fabs(after.biasMetres) < 0.02, qPrintable(QString::number(after.biasMetres)));
        tab->stopCollecting();
    }

    void cleanupTestCase()
    {
        QCOMPARE(site.sim.terminate(), 0);
    }
};

QTEST_MAIN(tst_TagCalibrationTab)
#include "tst_tagcalibrationtab.moc"
