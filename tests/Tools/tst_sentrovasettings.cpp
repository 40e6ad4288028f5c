#include "RtlsNodeConfig.h"
#include "RtlsObject.h"
#include "SentrovaSettings.h"
#include "Tools/ToolsSim.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// The system settings page against the simulated site: what it shows from
// the masters' configuration, what Apply sends, the read-back of every
// write, the capacity line, and the stream after a format switch.
class tst_SentrovaSettings : public QObject
{
    Q_OBJECT

    ToolsSim site;
    SentrovaSettings *page = nullptr;
    QStringList boxTexts;

    QComboBox *combo(int n) const { return page->findChildren<QComboBox *>().value(n); }
    QComboBox *scheme() const { return combo(0); }
    QComboBox *policy() const { return combo(1); }
    QComboBox *rate() const { return combo(2); }
    QComboBox *engine() const { return combo(3); }
    QComboBox *averaging() const { return combo(4); }
    QCheckBox *external() const { return page->findChild<QCheckBox *>(); }

    // Answers the next message box with `which`.
    void answerBox(QMessageBox::StandardButton which)
    {
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer, which] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            boxTexts.append(box->text());
            timer->stop();
            timer->deleteLater();
            box->button(which)->click();
        });
        timer->start(20);
    }

    QJsonObject lastListedConfig() const
    {
        for (int i = site.answers.size() - 1; i >= 0; --i) {
            const QJsonObject obj = site.answers.at(i).at(0).toJsonObject();
            if (obj.value("response") == "listNodeConfig")
                return obj.value("nodeConfig").toArray().first().toObject();
        }
        return QJsonObject();
    }

    void select(QComboBox *box, const QVariant &data)
    {
        const int index = box->findData(data);
        QVERIFY2(index >= 0, qPrintable(data.toString()));
        box->setCurrentIndex(index);
    }

    void applyAndConfirm()
    {
        answerBox(QMessageBox::Ok);
        page->btnApplyPressed();
        QTRY_VERIFY_WITH_TIMEOUT(page->configCheckText().startsWith(QChar(0x2714)), 10000);
    }

private slots:
    void initTestCase()
    {
        page = new SentrovaSettings;
        page->show();
    }

    void applyIsRefusedUntilTheConfigurationWasRead()
    {
        QCOMPARE(site.hub->countNodeConfigs(), 0);
        page->btnApplyPressed();
        QVERIFY(page->statusText().contains("has not been read"));
        QVERIFY(boxTexts.isEmpty());
        QCOMPARE(site.hub->countNodeConfigs(), 0);
    }

    void showsTheMastersConfiguration()
    {
        QVERIFY(site.start());
        QTRY_VERIFY_WITH_TIMEOUT(site.hub->countNodeConfigs() > 0, 10000);
        QCOMPARE(policy()->currentText(), QStringLiteral("TWR (Two-way Ranging)"));
        QCOMPARE(rate()->currentText(), QStringLiteral("10 Hz (100ms)"));
        QCOMPARE(engine()->currentText(), QStringLiteral("Internal Location Engine"));
        QCOMPARE(averaging()->currentText(), QStringLiteral("Averaging over 3"));
    }

    void cancelSendsNothing()
    {
        select(rate(), 200);
        answerBox(QMessageBox::Cancel);
        page->btnApplyPressed();
        QCOMPARE(boxTexts.last(), QStringLiteral("The system will be down shortly, while applying the settings."));
        QVERIFY(site.roundTrip());
        QVERIFY(!site.hasResponse("setNodeConfig"));
        QCOMPARE(site.hub->getNodeConfig(0)->msecRefreshInterval(), 100);
    }

    void applySendsTheChoiceAndReadsItBack_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("average");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("argument"); // empty: not sent at all

        QTest::newRow("averaging over 2") << 200 << 2 << "ma" << "2";
        QTest::newRow("no averaging") << 1000 << 0 << "none" << "";
        QTest::newRow("averaging over 10") << 50 << 10 << "ma" << "10";
    }

    void applySendsTheChoiceAndReadsItBack()
    {
        QFETCH(int, interval);
        QFETCH(int, average);
        QFETCH(QString, filter);
        QFETCH(QString, argument);

        select(rate(), interval);
        select(averaging(), average);
        applyAndConfirm();
        const QJsonObject held = lastListedConfig();
        QCOMPARE(held.value("msecRefreshInterval").toString(), QString::number(interval));
        QCOMPARE(held.value("posFilter").toString(), filter);
        QCOMPARE(held.contains("posFilterArg"), !argument.isEmpty());
        if (!argument.isEmpty())
            QCOMPARE(held.value("posFilterArg").toString(), argument);
        // The record the hub sends is the one on the wire.
        const QJsonObject record = site.hub->getNodeConfig(0)->toJSON();
        QCOMPARE(record.value("posFilter").toString(), filter);
        QCOMPARE(record.contains("posFilterArg"), !argument.isEmpty());
    }

    void valuesTheListLacksAreKeptAndSentBack()
    {
        site.hub->sendJsonString("{\"command\":\"setNodeConfig\",\"cfgId\":\"0\",\"msecRefreshInterval\":\"150\","
                                 "\"locEngine\":\"1\",\"posFilter\":\"ma\",\"posFilterArg\":\"20\"}");
        page->btnReadBackPressed();
        QTRY_COMPARE_WITH_TIMEOUT(rate()->currentData().toInt(), 150, 10000);
        QCOMPARE(rate()->currentText(), QStringLiteral("6.67 Hz (150ms)"));
        QCOMPARE(averaging()->currentData().toInt(), 20);
        applyAndConfirm();
        QCOMPARE(lastListedConfig().value("msecRefreshInterval").toString(), QStringLiteral("150"));
        QCOMPARE(lastListedConfig().value("posFilterArg").toString(), QStringLiteral("20"));

        // The averaging follows the filter: "none" with an argument is none.
        site.hub->sendJsonString("{\"command\":\"setNodeConfig\",\"cfgId\":\"0\",\"posFilter\":\"none\","
                                 "\"posFilterArg\":\"5\"}");
        page->btnReadBackPressed();
        QTRY_COMPARE_WITH_TIMEOUT(averaging()->currentText(), QStringLiteral("No averaging"), 10000);
    }

    void externalEngineFollowsTheReadBack()
    {
        QVERIFY(site.hub->externalEngine());
        QVERIFY(external()->isChecked());
        site.hub->useExternalEngine(false);
        page->btnReadBackPressed();
        QTRY_VERIFY_WITH_TIMEOUT(!external()->isChecked(), 10000);
        site.hub->useExternalEngine(true);
        page->btnReadBackPressed();
        QTRY_VERIFY_WITH_TIMEOUT(external()->isChecked(), 10000);
        // Apply keeps what the box shows.
        applyAndConfirm();
        QVERIFY(site.hub->externalEngine());
    }

    void schemeIsWrittenAndCheckedWithItsCapacity()
    {
        select(scheme(), 3);
        select(rate(), 1000);
        QCOMPARE(page->capacityText(), QStringLiteral("Up to 93 tags, each at 1 Hz, latency 100 ms"));
        page->btnSetSchemePressed();
        QTRY_COMPARE_WITH_TIMEOUT(page->schemeCheckText(), QString(QChar(0x2714)) + " holds scheme 3", 10000);
        QCOMPARE(site.hub->tdmaScheme(), 3);

        // Ten tags fit scheme 13; an eleventh does not.
        QTRY_COMPARE_WITH_TIMEOUT(std::count_if(site.hub->nodes().begin(), site.hub->nodes().end(),
                                                [](RtlsObject *n) { return n->mode() == "tag"; }),
                                  10L, 15000);
        select(scheme(), 13);
        QVERIFY(page->capacityWarning().isEmpty());
        auto *extra = new RtlsObject(0x4444, site.hub);
        extra->setMode("tag");
        site.hub->insertNonAnchor(extra);
        site.hub->announceNodeAdded(extra);
        QVERIFY(page->capacityWarning().contains("11 tags"));
        select(scheme(), 0);
        page->btnSetSchemePressed();
        QTRY_COMPARE_WITH_TIMEOUT(page->schemeCheckText(), QString(QChar(0x2714)) + " holds scheme 0", 10000);
    }

    void theStreamStillDecodesAfterSwitchingToTlv()
    {
        QSignalSpy json(site.hub, &SentrovaInterface::lsDataReceived);
        QSignalSpy updates(site.hub, &SentrovaInterface::nodeUpdatedSignal);
        auto tagReports = [&] {
            int n = 0;
            for (const auto &args : qAsConst(updates))
                if (args.at(0).value<RtlsObject *>()->mode() == "tag")
                    ++n;
            return n;
        };
        page->btnSetTLVPressed();
        QVERIFY(site.roundTrip());
        QCOMPARE(site.hub->outDataFormat(), QStringLiteral("tlv"));
        // Reports in flight in JSON arrive first; after them only TLV.
        QTRY_VERIFY_WITH_TIMEOUT(tagReports() >= 30, 15000);
        json.clear();
        updates.clear();
        QTRY_VERIFY_WITH_TIMEOUT(tagReports() >= 30, 15000);
        QCOMPARE(json.count(), 0);
        page->btnSetJSONPressed();
        QTRY_VERIFY_WITH_TIMEOUT(json.count() > 0, 15000);
    }

    void cleanupTestCase()
    {
        delete page;
        QCOMPARE(site.sim.terminate(), 0);
    }
};

QTEST_MAIN(tst_SentrovaSettings)
#include "tst_sentrovasettings.moc"
