#pragma once

#include <QString>

class QComboBox;
class QVariant;

// The order in which node names are listed: ascending by name as people
// read them, numbers by value ("Tag 2" before "Tag 10"), in the user's
// locale; names that are ids ("0x200A") by the id's value. Shared by the
// node list and every combo box that lists nodes.
class NodeNameOrder
{
public:
    // < 0, 0 or > 0 as a comes before, with or after b.
    static int compare(const QString &a, const QString &b);
    static bool lessThan(const QString &a, const QString &b) { return compare(a, b) < 0; }

    // Where text goes among the items from `first` on, which are already in
    // this order: after the names that sort with or before it.
    static int comboInsertIndex(const QComboBox *box, int first, const QString &text);
    // Puts the item of `data` with this text at its place among the items
    // from `first` on: added when new, moved when its text changed. The
    // current item stays current (an item added to an empty box becomes
    // current, as QComboBox does). Returns the item's index.
    static int placeInCombo(QComboBox *box, int first, const QString &text, const QVariant &data);
};
