#include "Dispatch.h"
#include "RtlsMeas.h"
#include "RtlsPos.h"
#include "SetupTab.h"
#include "SetupTableView.h"
#include "Tools/ToolsSim.h"
#include "WriteCheck.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTimer>

// The setup table: what the cells show, editing and sending coordinates,
// the export, the antenna-delay editor and the layout check, against the
// simulated site.
class tst_SetupTab : public QObject
{
    Q_OBJECT

    ToolsSim site;
    SetupTab *tab = nullptr;

    QStandardItemModel *model() const { return tab->model(); }
    int row(uint64_t id) const
    {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->verticalHeaderItem(r)->data(SetupTab::kSetTextRole).value<uint64_t>() == id)
                return r;
        return -1;
    }
    QStandardItem *cell(uint64_t id, int column) const { return model()->item(row(id), column); }
    QStandardItem *distance(uint64_t from, uint64_t to) const
    {
        return model()->item(row(from), SetupTab::kFirstDistanceColumn + row(to));
    }
    QString checkLine(const QString &start) const
    {
        for (int i = 0; i < tab->checkList()->count(); ++i)
            if (tab->checkList()->item(i)->text().startsWith(start))
                return tab->checkList()->item(i)->text();
        return QString();
    }
    void type(uint64_t id, int column, const QString &text) { cell(id, column)->setText(text); }
    bool confirmed(uint64_t id) const
    {
        return tab->writeCheck()->entry(WriteCheck::positionKey(id)).state == WriteCheck::State::Confirmed;
    }
    // Sends the typed coordinates; true once the node confirmed them and
    // every answer on its way has arrived.
    bool sendCoordinates(uint64_t id)
    {
        tab->setNewCoordinates();
        return QTest::qWaitFor([&] { return confirmed(id); }, 10000) && site.roundTrip();
    }

private slots:
    void initTestCase()
    {
        tab = SetupTab::instance();
        tab->resize(1400, 800);
        tab->show();
    }

    void cellsShowRangesAgainstCoordinates()
    {
        // Three anchors from a settings document, before any master: two
        // with coordinates 10 m apart, one without.
        auto anchor = [](const char *id, bool located) {
            QJsonObject a{{"id", id}, {"mode", "anchor"}};
            if (located)
                a.insert("coordinates", QJsonObject{{"x", QString(id) == "0x7002" ? 10.0 : 0.0}, {"y", 0.0}, {"z", 0.0}});
            return a;
        };
        site.hub->fromJSON(QJsonObject{{"node", QJsonArray{anchor("0x7001", true), anchor("0x7002", true),
                                                           anchor("0x7003", false)}}});
        site.hub->node(0x7001)->meas()->updateFromJson(
            QJsonArray{QJsonObject{{"anchor", "7002"}, {"dist", 9.5}, {"stdev", 0.012}},
                       QJsonObject{{"anchor", "7003"}, {"dist", 4.0}}});
        site.hub->node(0x7002)->meas()->updateFromJson(QJsonArray{QJsonObject{{"anchor", "7001"}, {"dist", 10.125}}});
        site.hub->node(0x7003)->meas()->updateFromJson(
            QJsonArray{QJsonObject{{"anchor", "7001"}, {"toa", 5.0}, {"tqf", 1}, {"rssi", -70.0}}});
        tab->NodeListUpdated(nullptr);

        QCOMPARE(model()->rowCount(), 3);
        QCOMPARE(model()->columnCount(), 7);
        QCOMPARE(model()->horizontalHeaderItem(3)->text(), QStringLiteral("seat/group"));
        QCOMPARE(model()->horizontalHeaderItem(5)->text(), QStringLiteral("0x7002"));
        QCOMPARE(distance(0x7001, 0x7001)->text(), QStringLiteral(" ----- "));
        QCOMPARE(distance(0x7001, 0x7001)->flags(), Qt::NoItemFlags);
        // 0.5 m off exactly: orange-red, not red.
        QCOMPARE(distance(0x7001, 0x7002)->text(), QStringLiteral("9.500 (0.012)"));
        QCOMPARE(distance(0x7001, 0x7002)->background().color(), QColor(255, 82, 0));
        QCOMPARE(distance(0x7001, 0x7002)->toolTip(),
                 QStringLiteral("measured: 9.500 [m]\nbased on position: 10.000 [m]\ndifference: 0.500 [m]"));
        QCOMPARE(distance(0x7002, 0x7001)->background().color(), QColor(165, 255, 0));
        // No position, no colour; a time of arrival is no distance.
        QCOMPARE(distance(0x7001, 0x7003)->text(), QStringLiteral("4.000"));
        QCOMPARE(distance(0x7001, 0x7003)->background().style(), Qt::NoBrush);
        QCOMPARE(distance(0x7003, 0x7001)->text(), QStringLiteral("..."));
        QCOMPARE(cell(0x7003, 0)->text(), QStringLiteral("-.---"));
        QCOMPARE(cell(0x7003, 0)->background().color(), QColor(Qt::lightGray));
        QCOMPARE(cell(0x7001, 0)->background().color(), QColor(Qt::green));
        QCOMPARE(cell(0x7001, 3)->text(), QStringLiteral("unknown"));

        // The export: strings in quotes, ids without prefix, "auto" for what
        // is not known.
        QString shown;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            shown = box->text();
            box->accept();
        });
        tab->printCurrentCoordinatesCommands();
        QCOMPARE(shown, QStringLiteral("Please send the following commands line by line: \n\n")
                            + "{\"command\":\"setPos\",\"id\":\"7001\",\"x\":\"0.000\",\"y\":\"0.000\",\"z\":\"0.000\"}\n"
                              "{\"command\":\"setPos\",\"id\":\"7002\",\"x\":\"10.000\",\"y\":\"0.000\",\"z\":\"0.000\"}\n"
                              "{\"command\":\"setPos\",\"id\":\"7003\",\"x\":\"auto\",\"y\":\"auto\",\"z\":\"auto\"}\n");
    }

    void theSitesAnchorsReplaceTheList()
    {
        QVERIFY(site.start());
        // The master's list drops the three that it does not know.
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), 10, 15000);
        QCOMPARE(row(0x7001), -1);
        QTRY_VERIFY_WITH_TIMEOUT(distance(0x1000, 0x1001)->text() != "...", 15000);
        QCOMPARE(distance(0x1000, 0x1101)->text(), QStringLiteral("..."));
        QCOMPARE(tab->anchorCombo()->count(), 10);

        // The frozen columns: X, Y, Z and seat stay, the distances scroll;
        // a click on them selects the row's node like one on the table.
        QTableView *frozen = tab->tableView()->frozenView();
        for (int c = 0; c < model()->columnCount(); ++c) {
            QCOMPARE(frozen->isColumnHidden(c), c >= 4);
            if (c < 4)
                QCOMPARE(frozen->columnWidth(c), 75);
        }
        const QRect rect = frozen->visualRect(model()->index(row(0x1003), 1));
        QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(Dispatch::instance()->selectedId(), uint64_t(0x1003));
    }

    void editsAreValidatedMarkedAndSent()
    {
        tab->editModeChanged(true);
        QVERIFY(cell(0x1001, 0)->isEditable());
        // Typing back what the program had set leaves the cell unmarked.
        type(0x1001, 0, "21");
        QCOMPARE(cell(0x1001, 0)->background().color(), QColor(Qt::blue));
        type(0x1001, 0, "20.000");
        QCOMPARE(cell(0x1001, 0)->background().color(), QColor(Qt::green));

        // A typed y moves the anchor: its row and its column follow it, and
        // a rebuild keeps what was typed.
        type(0x1001, 1, "0.5");
        tab->NodeListUpdated(nullptr);
        QCOMPARE(cell(0x1001, 1)->text(), QStringLiteral("0.5"));
        QCOMPARE(cell(0x1001, 1)->background().color(), QColor(Qt::blue));
        const double expected = std::sqrt(20.0 * 20.0 + 0.5 * 0.5 + 0.7 * 0.7);
        QVERIFY2(distance(0x1000, 0x1001)->toolTip().contains(QStringLiteral("based on position: %1").arg(expected, 0, 'f', 3)),
                 qPrintable(distance(0x1000, 0x1001)->toolTip()));
        QVERIFY2(distance(0x1001, 0x1000)->toolTip().contains(QStringLiteral("based on position: %1").arg(expected, 0, 'f', 3)),
                 qPrintable(distance(0x1001, 0x1000)->text() + distance(0x1001, 0x1000)->toolTip()));

        // Text that is no number is marked and never sent.
        type(0x1001, 2, "abc");
        QCOMPARE(cell(0x1001, 2)->background().color(), QColor(Qt::red));
        QVERIFY(sendCoordinates(0x1001));
        QCOMPARE(checkLine("Anchor 1 position"),
                 QString("Anchor 1 position: ") + QChar(0x2714) + " holds x 20.000, y 0.500, z 3.200");
        QCOMPARE(cell(0x1001, 1)->text(), QStringLiteral("0.500"));
        QCOMPARE(cell(0x1001, 1)->background().color(), QColor(Qt::green));
        QCOMPARE(cell(0x1001, 2)->text(), QStringLiteral("abc"));

        // Empty means "auto".
        type(0x1001, 2, "");
        QVERIFY(sendCoordinates(0x1001));
        QVERIFY(checkLine("Anchor 1 position").endsWith("z auto"));
        QCOMPARE(cell(0x1001, 2)->text(), QStringLiteral("-.---"));

        type(0x1001, 1, "0");
        type(0x1001, 2, "3.2");
        QVERIFY(sendCoordinates(0x1001));
        QVERIFY(checkLine("Anchor 1 position").endsWith("x 20.000, y 0.000, z 3.200"));
        tab->editModeChanged(false);
        QVERIFY(!cell(0x1001, 0)->isEditable());
    }

    void delayEditorRoundTrip()
    {
        auto *getButton = tab->findChildren<QPushButton *>().at(8);
        QCOMPARE(getButton->text(), QStringLiteral("Get Current Delays"));
        // A tag is no anchor: the editor addresses nothing.
        Dispatch::instance()->emitIdSelected(0x2001);
        QCOMPARE(tab->anchorCombo()->currentIndex(), -1);
        QVERIFY(!getButton->isEnabled());
        tab->getCurrentDelays();
        tab->setNewDelays();
        QVERIFY(site.roundTrip());
        QVERIFY(!site.hasResponse("error"));

        Dispatch::instance()->emitIdSelected(0x1003);
        QCOMPARE(tab->anchorCombo()->currentText(), QStringLiteral("Anchor 3"));
        // Its own delays first: nothing else may be written to it.
        tab->getCurrentDelays();
        QTRY_COMPARE_WITH_TIMEOUT(tab->txDelayBox()->value(), 16515, 10000);
        tab->txDelayBox()->setValue(16480);
        tab->rxDelayBox()->setValue(16490);
        tab->setNewDelays();
        QTRY_COMPARE_WITH_TIMEOUT(checkLine("Anchor 3 delays"),
                                  QString("Anchor 3 delays: ") + QChar(0x2714) + " holds TX 16480, RX 16490", 10000);
        tab->txDelayBox()->setValue(16000);
        tab->getCurrentDelays();
        QTRY_COMPARE_WITH_TIMEOUT(tab->txDelayBox()->value(), 16480, 10000);
        QCOMPARE(tab->rxDelayBox()->value(), 16490);
        tab->txDelayBox()->setValue(16515);
        tab->rxDelayBox()->setValue(16515);
        tab->setNewDelays();
        QTRY_VERIFY_WITH_TIMEOUT(checkLine("Anchor 3 delays").endsWith("holds TX 16515, RX 16515"), 10000);
    }

    void layoutCheckFlagsTheMistypedAnchor()
    {
        // Anchor 2 typed half a metre off.
        tab->editModeChanged(true);
        type(0x1002, 0, "20.5");
        QVERIFY(sendCoordinates(0x1002));
        tab->editModeChanged(false);
        QVERIFY(site.measure(50));
        tab->checkLayout();
        QVERIFY2(tab->layoutVerdict().startsWith("Anchor 2 disagrees most"), qPrintable(tab->layoutVerdict()));
        const QTableWidget *table = tab->layoutTable();
        for (int r = 0; r < table->rowCount(); ++r) {
            const bool flagged = table->item(r, 0)->text() == "Anchor 2";
            const double residual = table->item(r, 5)->text().toDouble();
            if (table->item(r, 0)->text().startsWith("Upper"))
                QCOMPARE(table->item(r, 5)->text(), QStringLiteral("not checked"));
            else if (flagged)
                QCOMPARE(table->item(r, 5)->background().color(), QColor(255, 0, 0));
            else
                QVERIFY(residual < 0.2);
        }
        tab->editModeChanged(true);
        type(0x1002, 0, "20");
        QVERIFY(sendCoordinates(0x1002));
        tab->editModeChanged(false);
    }

    void cleanupTestCase()
    {
        QCOMPARE(site.sim.terminate(), 0);
    }
};

QTEST_MAIN(tst_SetupTab)
#include "tst_setuptab.moc"
