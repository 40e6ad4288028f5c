#pragma once

#include <QTreeWidgetItem>

// Row types of the node list, given to each QTreeWidgetItem at creation.
// The "ZONES" group and its zone rows keep the default type.
enum NodeListItemType {
    ZoneItem = QTreeWidgetItem::Type,
    TagItem = QTreeWidgetItem::UserType,
    AnchorItem = QTreeWidgetItem::UserType + 1,
    MasterItem = QTreeWidgetItem::UserType + 2,
    TagGroupItem = QTreeWidgetItem::UserType + 4,
    AnchorGroupItem = QTreeWidgetItem::UserType + 5,
    ClosedNodeItem = QTreeWidgetItem::UserType + 7,
};

// Rows that stand for a node, whose id a command may address.
inline bool isNodeRowType(int type)
{
    return type == TagItem || type == AnchorItem || type == MasterItem || type == ClosedNodeItem;
}
