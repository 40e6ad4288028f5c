#include "SettingsTab.h"
#include "SettingsTabWidget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A panel with one row in each grid, as the views' panels are built.
SettingsTabWidget *makePanel(QLabel **basic = nullptr, QLabel **advanced = nullptr)
{
    auto *panel = new SettingsTabWidget;
    auto *b = new QLabel(QStringLiteral("basic"));
    auto *a = new QLabel(QStringLiteral("advanced"));
    panel->basicGrid()->addWidget(b, 0, 0);
    panel->advancedGrid()->addWidget(a, 0, 0);
    panel->finishGrids();
    if (basic)
        *basic = b;
    if (advanced)
        *advanced = a;
    return panel;
}

} // namespace

class TestSettingsTab : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void panelsShownInGroupBoxesInOrder();
    void switchShowsAndHidesAdvancedRows();
    void setterEmitsOnlyOnChange();
    void panelRegisteredLaterFollowsCurrentSwitch();
    void deletedPanelTakesItsGroupAlong();
    void finishGridsAddsSpacersAfterLastRowAndColumn_data();
    void finishGridsAddsSpacersAfterLastRowAndColumn();
};

void TestSettingsTab::init()
{
    SettingsTab::instance()->setShowAdvanced(false);
}

void TestSettingsTab::panelsShownInGroupBoxesInOrder()
{
    SettingsTab *tab = SettingsTab::instance();
    QCOMPARE(SettingsTab::instance(), tab);

    auto *plain = new QLabel(QStringLiteral("a plain widget"));
    tab->addSettingsWidget(QStringLiteral("Main Viewer Settings"), makePanel());
    tab->addSettingsWidget(QStringLiteral("Map Grid Settings"), plain);

    const QStringList titles = tab->settingsTitles();
    QVERIFY(titles.indexOf(QStringLiteral("Main Viewer Settings"))
            < titles.indexOf(QStringLiteral("Map Grid Settings")));

    QGroupBox *group = tab->settingsGroup(QStringLiteral("Map Grid Settings"));
    QVERIFY(group);
    QCOMPARE(plain->parentWidget(), group);
    // Many panels register: they sit in a scroll area, not in the page itself.
    auto *scroll = tab->findChild<QScrollArea *>();
    QVERIFY(scroll);
    QVERIFY(scroll->widget()->isAncestorOf(group));
}

void TestSettingsTab::switchShowsAndHidesAdvancedRows()
{
    SettingsTab *tab = SettingsTab::instance();
    QLabel *basic = nullptr;
    QLabel *advanced = nullptr;
    tab->addSettingsWidget(QStringLiteral("Orientation View Settings"), makePanel(&basic, &advanced));
    tab->resize(600, 400);
    tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(tab));

    QVERIFY(basic->isVisible());
    QVERIFY(!advanced->isVisible());

    auto *box = tab->findChild<QCheckBox *>(QStringLiteral("showAdvanced"));
    QVERIFY(box);
    QSignalSpy spy(tab, &SettingsTab::showAdvancedChanged);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QVERIFY(tab->showAdvanced());
    QVERIFY(advanced->isVisible());
    QVERIFY(basic->isVisible());

    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QVERIFY(!tab->showAdvanced());
    QVERIFY(!advanced->isVisible());
    QVERIFY(basic->isVisible());
    tab->hide();
}

void TestSettingsTab::setterEmitsOnlyOnChange()
{
    SettingsTab *tab = SettingsTab::instance();
    auto *box = tab->findChild<QCheckBox *>(QStringLiteral("showAdvanced"));
    QSignalSpy spy(tab, &SettingsTab::showAdvancedChanged);
    tab->setShowAdvanced(false);
    QCOMPARE(spy.count(), 0);
    tab->setShowAdvanced(true);
    tab->setShowAdvanced(true);
    QCOMPARE(spy.count(), 1);
    // The switch on the page shows the property set from code.
    QVERIFY(box->isChecked());
    QVERIFY(tab->setProperty("showAdvanced", false));
    QCOMPARE(spy.count(), 2);
    QVERIFY(!box->isChecked());
}

void TestSettingsTab::panelRegisteredLaterFollowsCurrentSwitch()
{
    SettingsTab *tab = SettingsTab::instance();
    tab->setShowAdvanced(true);
    auto *panel = makePanel();
    QVERIFY(!panel->showAdvanced());
    tab->addSettingsWidget(QStringLiteral("Heat Map Settings"), panel);
    QVERIFY(panel->showAdvanced());
    tab->setShowAdvanced(false);
    QVERIFY(!panel->showAdvanced());
}

void TestSettingsTab::deletedPanelTakesItsGroupAlong()
{
    SettingsTab *tab = SettingsTab::instance();
    auto *panel = makePanel();
    tab->addSettingsWidget(QStringLiteral("Closed Map Settings"), panel);
    QPointer<QGroupBox> group = tab->settingsGroup(QStringLiteral("Closed Map Settings"));
    QVERIFY(group);

    delete panel;
    QVERIFY(!tab->settingsTitles().contains(QStringLiteral("Closed Map Settings")));
    QTRY_VERIFY(group.isNull());
    // The switch still works for the panels that remain.
    tab->setShowAdvanced(true);
    tab->setShowAdvanced(false);
}

void TestSettingsTab::finishGridsAddsSpacersAfterLastRowAndColumn_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");

    QTest::newRow("empty grid") << 0 << 0;
    QTest::newRow("one cell") << 1 << 1;
    QTest::newRow("slider row with value label") << 11 << 3;
}

void TestSettingsTab::finishGridsAddsSpacersAfterLastRowAndColumn()
{
    QFETCH(int, rows);
    QFETCH(int, columns);

    SettingsTabWidget panel;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            panel.basicGrid()->addWidget(new QLabel(QStringLiteral("x")), r, c);
    panel.finishGrids();

    for (QGridLayout *grid : {panel.basicGrid(), panel.advancedGrid()}) {
        const bool filled = grid == panel.basicGrid() && rows > 0;
        const int spacerRow = filled ? rows : 0;
        const int spacerColumn = filled ? columns : 0;
        QLayoutItem *below = grid->itemAtPosition(spacerRow, 0);
        QLayoutItem *right = grid->itemAtPosition(0, spacerColumn);
        QVERIFY(below && below->spacerItem());
        QVERIFY(right && right->spacerItem());
        QVERIFY(below->expandingDirections() & Qt::Vertical);
        QVERIFY(right->expandingDirections() & Qt::Horizontal);
        QCOMPARE(grid->rowStretch(spacerRow), 1);
        QCOMPARE(grid->columnStretch(spacerColumn), 1);
        for (int r = 0; r < spacerRow; ++r)
            QCOMPARE(grid->rowStretch(r), 0);
    }
}

QTEST_MAIN(TestSettingsTab)
#include "tst_settingstab.moc"
