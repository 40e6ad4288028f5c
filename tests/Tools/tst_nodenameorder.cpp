// The order in which nodes are listed: names with numbers by the numbers'
// value, ids by value, and combo boxes that keep that order as names come
// and change.
#include "NodeChoices.h"
#include "NodeNameOrder.h"

#include <QComboBox>
#include <QtTest>

#include <algorithm>
#include <utility>

class tst_NodeNameOrder : public QObject
{
    Q_OBJECT

private slots:
    void compare_data();
    void compare();
    void sortsAList();
    void comboKeepsOrderAndChoice();
    void pickerFindsByNameAndId();
};

void tst_NodeNameOrder::compare_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");

    // first comes before second
    QTest::newRow("numbers by value") << "Tag 2" << "Tag 10";
    QTest::newRow("three digits") << "Tag 99" << "Tag 100";
    QTest::newRow("number inside a name") << "Gate 9 North" << "Gate 10 North";
    QTest::newRow("text before number") << "Anchor 10" << "Tag 1";
    QTest::newRow("case does not decide") << "tag 2" << "Tag 10";
    QTest::newRow("one case first, then the other") << "Tag 1" << "tag 1";
    QTest::newRow("ids by value") << "0x2009" << "0x200A";
    QTest::newRow("ids of different length") << "0xFFF" << "0x1000";
    QTest::newRow("id before a name") << "0x2001" << "Forklift";
    QTest::newRow("empty first") << "" << "A";
}

void tst_NodeNameOrder::compare()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QVERIFY(NodeNameOrder::compare(first, second) < 0);
    QVERIFY(NodeNameOrder::compare(second, first) > 0);
    QCOMPARE(NodeNameOrder::compare(first, first), 0);
}

void tst_NodeNameOrder::sortsAList()
{
    QStringList names{"Tag 10", "Tag 1", "Tag 2", "Master", "Anchor 12", "Anchor 3", "0x200A", "0x2009"};
    std::sort(names.begin(), names.end(), NodeNameOrder::lessThan);
    QCOMPARE(names, (QStringList{"0x2009", "0x200A", "Anchor 3", "Anchor 12", "Master", "Tag 1", "Tag 2", "Tag 10"}));
}

// The items after the fixed first one ("All anchors", say) stay in order;
// a renamed item moves to its place and, if it was chosen, stays chosen.
void tst_NodeNameOrder::comboKeepsOrderAndChoice()
{
    QComboBox box;
    box.addItem(QStringLiteral("All anchors"), 0);
    const std::pair<const char *, int> items[] = {{"Tag 10", 10}, {"Tag 1", 1}, {"Tag 2", 2}};
    for (const auto &item : items)
        NodeNameOrder::placeInCombo(&box, 1, QString::fromLatin1(item.first), item.second);
    auto texts = [&box] {
        QStringList out;
        for (int i = 0; i < box.count(); ++i)
            out << box.itemText(i);
        return out;
    };
    QCOMPARE(texts(), (QStringList{"All anchors", "Tag 1", "Tag 2", "Tag 10"}));
    QCOMPARE(box.currentIndex(), 0);

    box.setCurrentIndex(box.findData(10));
    QCOMPARE(NodeNameOrder::placeInCombo(&box, 1, QStringLiteral("Forklift 3"), 10), 1);
    QCOMPARE(texts(), (QStringList{"All anchors", "Forklift 3", "Tag 1", "Tag 2"}));
    QCOMPARE(box.currentData().toInt(), 10);
    // The same text again changes nothing.
    QCOMPARE(NodeNameOrder::placeInCombo(&box, 1, QStringLiteral("Tag 2"), 2), 3);
    QCOMPARE(box.count(), 4);

    // A box with nothing chosen has nothing chosen after a rename.
    QComboBox tags;
    NodeNameOrder::placeInCombo(&tags, 0, QStringLiteral("Tag 2"), 2);
    NodeNameOrder::placeInCombo(&tags, 0, QStringLiteral("Tag 3"), 3);
    tags.setCurrentIndex(-1);
    NodeNameOrder::placeInCombo(&tags, 0, QStringLiteral("Tag 1"), 3);
    QCOMPARE(tags.currentIndex(), -1);
    QCOMPARE(tags.itemText(0), QStringLiteral("Tag 1"));
}

// The tools' node pickers: placed by name, nodes of one name by id, found
// again by (name, id); a rename moves the item and keeps the choice.
void tst_NodeNameOrder::pickerFindsByNameAndId()
{
    QComboBox box;
    box.addItem(QStringLiteral("All anchors"), 0);
    const std::pair<const char *, qulonglong> items[] = {
        {"Tag 10", 0x10}, {"Tag 1", 0x31}, {"Tag 2", 0x2}, {"Tag 1", 0x21}, {"0x200A", 0x200A}, {"0x2009", 0x2009}};
    for (const auto &item : items)
        NodeChoices::insert(&box, 1, QString::fromLatin1(item.first), item.second, item.second);
    QStringList texts;
    QList<qulonglong> ids;
    for (int i = 1; i < box.count(); ++i) {
        texts << box.itemText(i);
        ids << box.itemData(i).toULongLong();
    }
    QCOMPARE(texts, (QStringList{"0x2009", "0x200A", "Tag 1", "Tag 1", "Tag 2", "Tag 10"}));
    QCOMPARE(ids, (QList<qulonglong>{0x2009, 0x200A, 0x21, 0x31, 0x2, 0x10}));
    for (const auto &item : items)
        QCOMPARE(box.itemData(NodeChoices::find(&box, 1, QString::fromLatin1(item.first), item.second)).toULongLong(),
                 item.second);
    QCOMPARE(NodeChoices::find(&box, 1, QStringLiteral("Tag 1"), 0x99), -1);
    QCOMPARE(NodeChoices::find(&box, 1, QStringLiteral("Tag 3"), 0x2), -1);
    // The fixed entry is not a node.
    QCOMPARE(NodeChoices::find(&box, 1, QStringLiteral("All anchors"), 0), -1);

    box.setCurrentIndex(NodeChoices::find(&box, 1, QStringLiteral("Tag 10"), 0x10));
    const int moved = NodeChoices::rename(&box, 1, QStringLiteral("Tag 10"), QStringLiteral("Forklift"), 0x10);
    QCOMPARE(box.itemText(moved), QStringLiteral("Forklift"));
    QCOMPARE(moved, 3);
    QCOMPARE(box.currentData().toULongLong(), qulonglong(0x10));
    QCOMPARE(NodeChoices::rename(&box, 1, QStringLiteral("Tag 10"), QStringLiteral("Again"), 0x10), -1);
    QCOMPARE(box.count(), 7);
}

QTEST_MAIN(tst_NodeNameOrder)
#include "tst_nodenameorder.moc"
