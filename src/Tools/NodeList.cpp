#include "NodeList.h"

#include "Dispatch.h"
#include "MapTab.h"
#include "MapZone.h"
#include "NodeListItemType.h"
#include "NodeNameOrder.h"
#include "NodeToolsConstants.h"
#include "RemoteViewGuard.h"
#include "RtlsConvert.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kColumns = 4;
constexpr int kIconColumnWidth = 20;
constexpr int kFontPointSize = 8;
constexpr int kLayoutSpacing = 5;
constexpr int kLayoutMargin = 5;
constexpr int kColSeat = 3;
constexpr int kRoleMode = Qt::UserRole + 1;

// Rows a batch puts into a group one by one; a batch larger than this takes
// the group's rows out once and puts them back merged with the new ones.
constexpr int kRowsInsertedOneByOne = 16;

const QString kUnknownGroup = QStringLiteral("UNKNOWN");
const QString kZonesGroup = QStringLiteral("ZONES");

uint64_t rowId(const QTreeWidgetItem *item)
{
    return item->data(0, Qt::UserRole).toULongLong();
}

QString rowKey(const QTreeWidgetItem *item)
{
    return item->data(0, Qt::UserRole).toString();
}


SentrovaInterface *hub()
{
    return SentrovaInterface::instance();
}

} // namespace

NodeList::NodeList(QWidget *parent) : QWidget(parent)
{
    QFont small = font();
    small.setPointSize(kFontPointSize);
    setFont(small);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("nodesTree"));
    m_tree->setColumnCount(kColumns);
    m_tree->setHeaderLabel(QStringLiteral("NodesTree"));
    m_tree->setHeaderHidden(true);
    QHeaderView *header = m_tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int col = 1; col < kColumns; ++col) {
        header->setSectionResizeMode(col, QHeaderView::Fixed);
        header->resizeSection(col, kIconColumnWidth);
    }
    m_tree->setRootIsDecorated(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectItems);
    // Rows are selected by this class only, never by a click of its own.
    m_tree->setSelectionMode(QAbstractItemView::NoSelection);
    m_tree->setDragEnabled(true);
    m_tree->viewport()->setAcceptDrops(false);
    m_tree->setDropIndicatorShown(true);
    m_tree->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_tree->invisibleRootItem()->setFlags(m_tree->invisibleRootItem()->flags() & ~Qt::ItemIsDropEnabled);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);

    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(kLayoutSpacing);
    layout->setContentsMargins(kLayoutMargin, kLayoutMargin, kLayoutMargin, kLayoutMargin);
    layout->addWidget(m_tree);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(NodeTools::kListRebuildDelayMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &NodeList::refreshList);
    m_batchTimer = new QTimer(this);
    m_batchTimer->setSingleShot(true);
    m_batchTimer->setInterval(NodeTools::kListBatchDelayMs);
    connect(m_batchTimer, &QTimer::timeout, this, &NodeList::addWaitingRows);

    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, &NodeList::onCustomContextMenuRequested);
    connect(m_tree, &QTreeWidget::itemClicked, this, &NodeList::itemClicked);
    connect(Dispatch::instance(), &Dispatch::idSelected, this, &NodeList::selectNode);
    SentrovaInterface *h = hub();
    connect(h, &SentrovaInterface::nodeAddedSignal, this, &NodeList::NodeAdded);
    connect(h, &SentrovaInterface::nodeUpdatedSignal, this, &NodeList::NodeUpdated);
    connect(h, &SentrovaInterface::nodeInactiveSignal, this, &NodeList::NodeInactive);
    connect(h, &SentrovaInterface::nodeRemovedSignal, this, &NodeList::NodeRemoved);
    // A listing of the anchors announces every anchor in it: one rebuild
    // answers the whole burst.
    connect(h, &SentrovaInterface::anchorListUpdated, this, &NodeList::scheduleRefresh);

    refreshList();
}

NodeList::~NodeList() = default;

// ---- rows ------------------------------------------------------------------

void NodeList::scheduleRefresh()
{
    if (!m_refreshTimer->isActive())
        m_refreshTimer->start();
}

void NodeList::refreshList()
{
    m_refreshTimer->stop();
    m_tree->setUpdatesEnabled(false);
    // Brought in line with the registry: rows of nodes it no longer holds
    // go, rows whose node moved to another group or name are made again,
    // the others are kept (with the selection and the place the user
    // scrolled to) and redrawn as a new row would be.
    const QHash<uint64_t, RtlsObject *> &nodes = hub()->nodes();
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        RtlsObject *node = nodes.value(it.key(), nullptr);
        if (node && !rowIsStale(*it, node)) {
            applyLook(*it, NodeRowLook::of(node, NodeRowLook::Made));
            ++it;
            continue;
        }
        QTreeWidgetItem *group = it->item->parent();
        delete it->item;
        if (group)
            updateGroupText(group);
        it = m_rows.erase(it);
    }
    m_waiting.clear();
    for (auto it = nodes.constBegin(); it != nodes.constEnd(); ++it) {
        if (it.key() != 0 && !m_rows.contains(it.key()) && isListed(it.value()))
            m_waiting.insert(it.key(), it.value());
    }
    for (auto it = m_groups.begin(); it != m_groups.end();) {
        if (it.value()->childCount() > 0) {
            ++it;
            continue;
        }
        delete it.value();
        it = m_groups.erase(it);
    }
    addWaitingRows();

    m_zones.removeAll(QPointer<MapZone>());
    for (const QPointer<MapZone> &zone : qAsConst(m_zones))
        updateZoneRow(zone);
    showSelectedRow();
    m_tree->setUpdatesEnabled(true);
}

bool NodeList::rowIsStale(const Row &row, RtlsObject *node) const
{
    return row.category != node->category() || row.mode != node->mode() || row.look.type != NodeRowLook::typeOf(node)
        || row.name != node->name();
}

void NodeList::showSelectedRow()
{
    const uint64_t selected = Dispatch::instance()->selectedId();
    if (QTreeWidgetItem *row = m_rows.value(selected).item) {
        if (!row->isSelected())
            row->setSelected(true);
        if (m_tree->currentItem() != row)
            m_tree->setCurrentItem(row);
    }
}

void NodeList::NodeAdded(RtlsObject *node)
{
    if (!node || node->id() == 0)
        return;
    if (!m_rows.contains(node->id())) {
        waitForRow(node);
        return;
    }
    // A node that has a row moves at once.
    removeNodeRow(node->id(), true);
    addNodeRow(node);
    if (node->id() == Dispatch::instance()->selectedId()) {
        QTreeWidgetItem *row = m_rows.value(node->id()).item;
        row->setSelected(true);
        m_tree->setCurrentItem(row);
    }
}

bool NodeList::isListed(const RtlsObject *node)
{
    // A node made by one location report and not heard since is an id of a
    // corrupt datagram or of a device sending random ids until it is heard
    // again: a flood of them costs the list no rows.
    return !(node->msgFlags() & Rtls::kMsgHeardOnce);
}

void NodeList::waitForRow(RtlsObject *node)
{
    if (!isListed(node))
        return;
    m_waiting.insert(node->id(), node);
    if (!m_batchTimer->isActive())
        m_batchTimer->start();
}

void NodeList::addWaitingRows()
{
    m_batchTimer->stop();
    if (m_waiting.isEmpty())
        return;
    const bool wasEnabled = m_tree->updatesEnabled();
    m_tree->setUpdatesEnabled(false);
    QHash<QTreeWidgetItem *, QVector<QTreeWidgetItem *>> byGroup;
    for (auto it = m_waiting.constBegin(); it != m_waiting.constEnd(); ++it) {
        RtlsObject *node = it.value();
        if (!node || m_rows.contains(it.key()))
            continue;
        QTreeWidgetItem *group = groupFor(node);
        byGroup[group].append(makeRow(node));
    }
    m_waiting.clear();
    for (auto it = byGroup.begin(); it != byGroup.end(); ++it) {
        insertRows(it.key(), std::move(it.value()));
        updateGroupText(it.key());
    }
    showSelectedRow();
    m_tree->setUpdatesEnabled(wasEnabled);
}

void NodeList::NodeUpdated(RtlsObject *node)
{
    if (!node)
        return;
    auto it = m_rows.find(node->id());
    if (it == m_rows.end() || it->category != node->category() || it->mode != node->mode()
        || it->look.type != NodeRowLook::typeOf(node)) {
        NodeAdded(node);
        return;
    }
    Row &row = *it;
    applyLook(row, NodeRowLook::of(node, NodeRowLook::Updated));
    const QString name = node->name();
    if (name != row.name) {
        // A new name shows at once and takes its place in the sorted group.
        row.name = name;
        row.item->setText(0, name);
        QTreeWidgetItem *group = row.item->parent();
        const bool selected = row.item->isSelected();
        const bool current = m_tree->currentItem() == row.item;
        group->removeChild(row.item);
        insertSorted(group, row.item);
        row.item->setSelected(selected);
        if (current)
            m_tree->setCurrentItem(row.item);
    }
}

void NodeList::NodeInactive(RtlsObject *node)
{
    if (!node)
        return;
    auto it = m_rows.find(node->id());
    if (it == m_rows.end())
        return;
    NodeRowLook look = it->look;
    look.modeIcon = NodeRowLook::inactiveIcon(node->mode());
    applyLook(*it, look);
}

void NodeList::NodeRemoved(RtlsObject *node)
{
    if (!node)
        return;
    m_waiting.remove(node->id());
    removeNodeRow(node->id(), false);
}

void NodeList::applyLook(Row &row, const NodeRowLook &look)
{
    QTreeWidgetItem *item = row.item;
    if (look.modeIcon != row.look.modeIcon)
        item->setIcon(0, NodeIcons::icon(look.modeIcon));
    if (look.clockIcon != row.look.clockIcon)
        item->setIcon(1, NodeIcons::icon(look.clockIcon));
    if (look.collectorIcon != row.look.collectorIcon)
        item->setIcon(2, NodeIcons::icon(look.collectorIcon));
    if (look.seat != row.look.seat)
        item->setText(kColSeat, NodeRowLook::seatText(look.seat));
    row.look = look;
}

QTreeWidgetItem *NodeList::makeRow(RtlsObject *node)
{
    const NodeRowLook look = NodeRowLook::of(node, NodeRowLook::Made);
    auto *item = new QTreeWidgetItem(look.type);
    Row row;
    row.item = item;
    row.category = node->category();
    row.mode = node->mode();
    row.name = node->name();
    item->setText(0, row.name);
    item->setData(0, Qt::UserRole, QVariant(qulonglong(node->id())));
    item->setData(0, kRoleMode, row.mode);
    item->setIcon(0, NodeIcons::icon(look.modeIcon));
    item->setIcon(1, NodeIcons::icon(look.clockIcon));
    item->setIcon(2, NodeIcons::icon(look.collectorIcon));
    item->setText(kColSeat, NodeRowLook::seatText(look.seat));
    item->setFlags(item->flags() | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren);
    row.look = look;
    m_rows.insert(node->id(), row);
    return item;
}

void NodeList::addNodeRow(RtlsObject *node)
{
    QTreeWidgetItem *group = groupFor(node);
    insertSorted(group, makeRow(node));
    updateGroupText(group);
}

void NodeList::insertRows(QTreeWidgetItem *group, QVector<QTreeWidgetItem *> rows)
{
    if (rows.size() <= kRowsInsertedOneByOne) {
        for (QTreeWidgetItem *row : qAsConst(rows))
            insertSorted(group, row);
        return;
    }
    // The one sort: the new rows among themselves (equal names keep their
    // order, and go after the rows the group had).
    std::vector<std::pair<QString, QTreeWidgetItem *>> added;
    added.reserve(size_t(rows.size()));
    for (QTreeWidgetItem *row : qAsConst(rows))
        added.emplace_back(row->text(0), row);
    std::stable_sort(added.begin(), added.end(),
                     [](const auto &a, const auto &b) { return a.first.localeAwareCompare(b.first) < 0; });
    // Where each goes among the group's rows, found by halving from where
    // the one before went.
    const int count = group->childCount();
    std::vector<int> at(added.size());
    int from = 0;
    for (size_t i = 0; i < added.size(); ++i) {
        int lo = from;
        int hi = count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (group->child(mid)->text(0).localeAwareCompare(added[i].first) <= 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        at[i] = from = lo;
    }
    // The group's rows are taken out once and put back with the new ones
    // among them: one change of the model rather than one per row. What the
    // user looks at stays: the selection, the current row, the scrolling.
    const QList<QTreeWidgetItem *> selected = m_tree->selectedItems();
    QTreeWidgetItem *current = m_tree->currentItem();
    const int scrolled = m_tree->verticalScrollBar()->value();
    const QList<QTreeWidgetItem *> old = group->takeChildren();
    QList<QTreeWidgetItem *> merged;
    merged.reserve(old.size() + int(added.size()));
    int next = 0;
    for (size_t i = 0; i < added.size(); ++i) {
        for (; next < at[i]; ++next)
            merged.append(old.at(next));
        merged.append(added[i].second);
    }
    for (; next < old.size(); ++next)
        merged.append(old.at(next));
    group->addChildren(merged);
    if (current)
        m_tree->setCurrentItem(current);
    for (QTreeWidgetItem *item : selected)
        item->setSelected(true);
    m_tree->verticalScrollBar()->setValue(scrolled);
}

void NodeList::removeNodeRow(uint64_t id, bool dropEmptyGroup)
{
    const auto it = m_rows.find(id);
    if (it == m_rows.end())
        return;
    QTreeWidgetItem *item = it->item;
    m_rows.erase(it);
    QTreeWidgetItem *group = item->parent();
    delete item;
    if (!group)
        return;
    updateGroupText(group);
    if (dropEmptyGroup && group->childCount() == 0) {
        m_groups.remove(rowKey(group));
        delete group;
    }
}

QTreeWidgetItem *NodeList::groupFor(RtlsObject *node)
{
    // A node without a category goes to "UNKNOWN", whatever else the tree holds.
    QString key = node->category().toUpper();
    if (key.isEmpty())
        key = kUnknownGroup;
    if (QTreeWidgetItem *group = m_groups.value(key))
        return group;
    // The first node of a category decides what kind of group it is.
    const int type = key != kUnknownGroup && Rtls::isAnchorOrMaster(node->mode()) ? AnchorGroupItem : TagGroupItem;
    auto *group = new QTreeWidgetItem(type);
    group->setData(0, Qt::UserRole, key);
    group->setFlags(group->flags() | Qt::ItemIsDropEnabled);
    updateGroupText(group);
    insertTopLevel(group, key);
    m_groups.insert(key, group);
    return group;
}

void NodeList::insertTopLevel(QTreeWidgetItem *group, const QString &key)
{
    int lo = 0;
    int hi = m_tree->topLevelItemCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (NodeNameOrder::compare(rowKey(m_tree->topLevelItem(mid)), key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    m_tree->insertTopLevelItem(lo, group);
    group->setExpanded(true);
}

void NodeList::insertSorted(QTreeWidgetItem *parent, QTreeWidgetItem *row)
{
    const QString text = row->text(0);
    int lo = 0;
    int hi = parent->childCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (NodeNameOrder::compare(parent->child(mid)->text(0), text) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    parent->insertChild(lo, row);
}

void NodeList::updateGroupText(QTreeWidgetItem *group)
{
    group->setText(0, QStringLiteral("%1 [%2]").arg(rowKey(group)).arg(group->childCount()));
}

// ---- zones -----------------------------------------------------------------

void NodeList::setMapTab(MapTab *map)
{
    if (m_map)
        disconnect(m_map, nullptr, this, nullptr);
    m_map = map;
    if (!map)
        return;
    connect(map, &MapTab::zoneUpdated, this, &NodeList::zoneUpdated);
    connect(map, &MapTab::zoneRemoved, this, &NodeList::zoneRemoved);
    for (MapZone *zone : map->zones())
        zoneAdded(zone);
}

QTreeWidgetItem *NodeList::zonesGroup()
{
    if (!m_zonesGroup) {
        m_zonesGroup = new QTreeWidgetItem(ZoneItem);
        m_zonesGroup->setText(0, kZonesGroup);
        m_zonesGroup->setData(0, Qt::UserRole, kZonesGroup);
        m_zonesGroup->setFlags(m_zonesGroup->flags() | Qt::ItemIsDropEnabled);
        insertTopLevel(m_zonesGroup, kZonesGroup);
    }
    return m_zonesGroup;
}

void NodeList::zoneAdded(MapZone *zone)
{
    if (!zone || m_zoneRows.contains(zone))
        return;
    m_zones.append(QPointer<MapZone>(zone));
    connect(zone, &QObject::destroyed, this, &NodeList::zoneDestroyed, Qt::UniqueConnection);
    addZoneRow(zone);
}

void NodeList::zoneUpdated(MapZone *zone)
{
    if (zone)
        updateZoneRow(zone);
}

void NodeList::zoneRemoved(MapZone *zone)
{
    if (!zone)
        return;
    removeZoneRow(zone);
    m_zones.removeAll(QPointer<MapZone>(zone));
}

void NodeList::zoneDestroyed(QObject *zone)
{
    removeZoneRow(zone);
    m_zones.removeAll(QPointer<MapZone>());
}

void NodeList::addZoneRow(MapZone *zone)
{
    auto *item = new QTreeWidgetItem(ZoneItem);
    item->setIcon(0, NodeIcons::icon(NodeIcons::ZoneBlue));
    item->setData(0, Qt::UserRole, QVariant(qulonglong(zone->id())));
    item->setData(0, kRoleMode, QVariant());
    item->setFlags((item->flags() & ~Qt::ItemIsDropEnabled) | Qt::ItemIsDragEnabled);
    zonesGroup()->addChild(item);
    m_zoneRows.insert(zone, item);
    updateZoneRow(zone);
}

void NodeList::updateZoneRow(MapZone *zone)
{
    QTreeWidgetItem *item = m_zoneRows.value(zone);
    if (!item)
        return;
    const QString name = zone->name();
    item->setText(0, name.isEmpty() ? Rtls::hexId(zone->id()) : name);
}

void NodeList::removeZoneRow(const QObject *zone)
{
    delete m_zoneRows.take(zone);
    if (m_zonesGroup && m_zonesGroup->childCount() == 0) {
        delete m_zonesGroup;
        m_zonesGroup = nullptr;
    }
}

// ---- selection -------------------------------------------------------------

void NodeList::itemClicked(QTreeWidgetItem *item, int col)
{
    Q_UNUSED(col)
    if (!item)
        return;
    const QList<QTreeWidgetItem *> selected = m_tree->selectedItems();
    if (selected.size() == 1 && selected.first() == item) {
        m_tree->clearSelection();
        Dispatch::instance()->emitIdSelected(0);
        return;
    }
    m_tree->clearSelection();
    item->setSelected(true);
    m_tree->setCurrentItem(item);
    // Group and zone rows select no node: a zone's number is not a node id.
    Dispatch::instance()->emitIdSelected(isNodeRowType(item->type()) ? rowId(item) : 0);
}

void NodeList::selectNode(uint64_t id)
{
    QTreeWidgetItem *current = m_tree->currentItem();
    if (current && isNodeRowType(current->type()) && rowId(current) == id && current->isSelected())
        return;
    if (current && !isNodeRowType(current->type()) && id == 0)
        return;
    m_tree->clearSelection();
    if (id == 0)
        return;
    if (QTreeWidgetItem *row = m_rows.value(id).item) {
        row->setSelected(true);
        m_tree->setCurrentItem(row);
        m_tree->scrollToItem(row);
    }
}

// ---- context menu ----------------------------------------------------------

void NodeList::onCustomContextMenuRequested(QPoint pos)
{
    QTreeWidgetItem *item = m_tree->itemAt(pos);
    if (!item)
        return;
    m_selectedId = isNodeRowType(item->type()) ? rowId(item) : 0;
    m_selectedType = item->type();
    showContextMenu(item, m_tree->viewport()->mapToGlobal(pos));
}

void NodeList::showContextMenu(QTreeWidgetItem *item, QPoint globalPos)
{
    const int type = item->type();
    QMenu menu(this);
    QAction *title = menu.addAction(item->text(0));
    QFont italic = title->font();
    italic.setItalic(true);
    title->setFont(italic);
    menu.addSeparator();

    switch (type) {
    case TagItem: {
        menu.addAction(tr("Send Text"), this, &NodeList::sendText);
        menu.addAction(tr("Set Cursor"), this, &NodeList::sendCursor);
        menu.addAction(tr("Set Target"), this, &NodeList::sendTarget);
        addInfoMenu(&menu, type);
        QMenu *sensors = menu.addMenu(tr("Sensors"));
        const std::pair<const char *, const char *> modes[] = {
            {QT_TR_NOOP("None"), "none"},           {QT_TR_NOOP("Yaw-Pitch-Roll"), "ypr"},
            {QT_TR_NOOP("Raw Data (9-DOF)"), "agm"}, {QT_TR_NOOP("Quaterions"), "quat"},
            {QT_TR_NOOP("Idle detect"), "idle"},
        };
        for (const auto &m : modes) {
            const QString mode = QLatin1String(m.second);
            sensors->addAction(tr(m.first), this, [this, mode] { setSensorOutput(mode); });
        }
        QMenu *groups = menu.addMenu(tr("Assign Group"));
        groups->addAction(tr("No Group"), this, [this] { setGroup(0); });
        for (int g = 1; g <= NodeTools::kGroupMenuLast; ++g)
            groups->addAction(tr("Group %1").arg(g), this, [this, g] { setGroup(g); });
        break;
    }
    case AnchorItem:
        addInfoMenu(&menu, type);
        break;
    case MasterItem: {
        addInfoMenu(&menu, type);
        QMenu *channels = menu.addMenu(tr("Select UWB channel"));
        for (int channel : {2, 3, 5})
            channels->addAction(QString::number(channel), this,
                                [channel] { hub()->setUwbChannel(channel); });
        break;
    }
    case TagGroupItem:
        menu.addAction(tr("Get Tag List"), this, [] { hub()->listTags(); });
        break;
    case AnchorGroupItem:
        menu.addAction(tr("Get Anchor List"), this, [] { hub()->listAnchors(); });
        break;
    case ClosedNodeItem:
        addInfoMenu(&menu, type);
        break;
    default:
        break;
    }

    menu.addSeparator();
    addModeMenu(&menu, type);
    if (type == TagItem || type == AnchorItem || type == MasterItem) {
        menu.addSeparator();
        addAlignmentMenu(&menu);
    }
    RemoteViewGuard::guardMenu(&menu, title);
    menu.exec(globalPos);
}

// "Info" and "Actions" (and for masters the channel menu after them).
void NodeList::addInfoMenu(QMenu *menu, int type)
{
    QMenu *info = menu->addMenu(tr("Info"));
    info->addAction(tr("Get Details"), this, &NodeList::getNodeDetails);
    if (type != ClosedNodeItem)
        info->addAction(tr("Get Roles"), this, &NodeList::getRoles);
    if (type == AnchorItem || type == MasterItem)
        info->addAction(tr("Get Parent"), this, &NodeList::getParent);
    if (type != ClosedNodeItem)
        info->addAction(tr("Get TDMA Details"), this, &NodeList::getTdmaDetails);
    info->addAction(tr("Get Statistics"), this, &NodeList::getNodeStats);
    if (type != TagItem) {
        info->addAction(tr("Get Distances"), this, &NodeList::getDistances);
        info->addAction(tr("Get Position"), this, &NodeList::getPosition);
    }
    if (type == AnchorItem || type == ClosedNodeItem)
        info->addAction(tr("Get Free Cluster Mask"), this, &NodeList::getFreeMask);

    if (type == AnchorItem) {
        // "Set Parent" comes between "Info" and "Actions" on anchor rows.
        menu->addAction(tr("Set Parent"), this, qOverload<>(&NodeList::setParent));
    }
    QMenu *actions = menu->addMenu(tr("Actions"));
    actions->addAction(tr("Force FW update"), this, &NodeList::doForceUpdate);
    actions->addAction(tr("Reset"), this, &NodeList::doNodeReset);
}

void NodeList::addModeMenu(QMenu *menu, int type)
{
    QMenu *modes = menu->addMenu(tr("Mode"));
    const std::pair<const char *, const char *> entries[] = {
        {QT_TR_NOOP("Set Mode to Primary Master"), "primary"},
        {QT_TR_NOOP("Set Mode to Secondary Master"), "master"},
        {QT_TR_NOOP("Set Mode to Anchor"), "anchor"},
        {QT_TR_NOOP("Set Mode to Tag"), "tag"},
        {QT_TR_NOOP("Set Mode to Offline"), "offline"},
    };
    for (const auto &e : entries) {
        const QString mode = QLatin1String(e.second);
        modes->addAction(tr(e.first), this, [this, mode] { setMode(mode); });
    }
    // Group and zone rows stand for no node: their mode entries are shown
    // but cannot be chosen.
    modes->setEnabled(isNodeRowType(type));
    if (type != AnchorItem && type != MasterItem)
        return;

    modes->addSeparator();
    const std::pair<const char *, uint32_t> presets[] = {
        {QT_TR_NOOP("Set Master Roles (Auto) (in test phase)"), NodeTools::kRolesMasterAuto},
        {QT_TR_NOOP("Set Anchor Roles (Auto)"), NodeTools::kRolesAnchorAuto},
        {QT_TR_NOOP("Set Anchor Role =UWB FORCED="), NodeTools::kRolesAnchorUwbForced},
        {QT_TR_NOOP("Set Anchor Role =INET FORCED="), NodeTools::kRolesAnchorInetForced},
        {QT_TR_NOOP("Set Anchor/Offloader =FORCED="), NodeTools::kRolesAnchorOffloaderForced},
    };
    for (const auto &p : presets) {
        const uint32_t roles = p.second;
        modes->addAction(tr(p.first), this, [this, roles] { setRoles(roles); });
    }
    modes->addAction(tr("Enable Data Collector"), this, [this] { addRoles(NodeTools::kRolesDataCollectorPair); });
    modes->addAction(tr("Disable Data Collector"), this,
                     [this] { removeRoles(NodeTools::kRolesDataCollectorPair); });
    modes->addAction(tr("Enable Backup Clock"), this, [this] { addRoles(NodeTools::kRolesBackupClockBit); });
    modes->addAction(tr("Disable Backup Clock"), this, [this] { removeRoles(NodeTools::kRolesBackupClockBit); });

    QMenu *seats = menu->addMenu(tr("Assign Seat"));
    for (int seat = 0; seat < NodeTools::kSeatMenuCount; ++seat)
        seats->addAction(QString::number(seat), this, [this, seat] { setSeat(seat); });
}

void NodeList::addAlignmentMenu(QMenu *menu)
{
    QMenu *align = menu->addMenu(tr("Alignment"));
    align->addAction(tr("Set as Origin"), this, &NodeList::setAsOrigin);
    align->addAction(tr("Put on X"), this, &NodeList::putOnX);
    align->addAction(tr("Put on Y"), this, &NodeList::putOnY);
    align->addAction(tr("Put on Z"), this, &NodeList::putOnZ);
    align->addAction(tr("Rotate to X"), this, &NodeList::rotateToX);
    align->addAction(tr("Rotate to Y"), this, &NodeList::rotateToY);
    align->addAction(tr("Rotate to -X"), this, &NodeList::rotateToNegX);
    align->addAction(tr("Rotate to -Y"), this, &NodeList::rotateToNegY);
    align->addSeparator();
    align->addAction(tr("Flip over X"), this, &NodeList::flipOverX);
    align->addAction(tr("Flip over Y"), this, &NodeList::flipOverY);
    align->addAction(tr("Flip over Z"), this, &NodeList::flipOverZ);
    align->addAction(tr("Mirror over XY"), this, &NodeList::mirrorOverXY);
    align->addAction(tr("Mirror over XZ"), this, &NodeList::mirrorOverXZ);
    align->addAction(tr("Mirror over YZ"), this, &NodeList::mirrorOverYZ);
}

// ---- commands --------------------------------------------------------------

bool NodeList::selectedIs(std::initializer_list<int> types) const
{
    if (m_selectedId == 0)
        return false;
    return std::find(types.begin(), types.end(), m_selectedType) != types.end();
}

bool NodeList::selectedIsNode() const
{
    return m_selectedId != 0 && isNodeRowType(m_selectedType);
}

QString NodeList::selectedHex() const
{
    return Rtls::hexId(m_selectedId);
}

void NodeList::doForceUpdate()
{
    if (selectedIsNode())
        hub()->forceFwUpdate(m_selectedId);
}

void NodeList::doNodeReset()
{
    if (selectedIsNode())
        hub()->resetNode(m_selectedId);
}

void NodeList::setMode(QString mode)
{
    if (selectedIsNode())
        hub()->setMode(m_selectedId, mode);
}

void NodeList::setGroup(int group)
{
    if (selectedIs({TagItem}))
        hub()->setGroup(m_selectedId, group);
}

void NodeList::setSeat(int seat)
{
    if (selectedIs({AnchorItem, MasterItem}))
        hub()->setSeat(m_selectedId, uint32_t(seat));
}

void NodeList::setRoles(uint32_t roles)
{
    if (selectedIs({AnchorItem, MasterItem}))
        hub()->setRoles(m_selectedId, roles);
}

void NodeList::addRoles(uint32_t roles)
{
    if (selectedIs({AnchorItem, MasterItem}))
        hub()->addRoles(m_selectedId, roles);
}

void NodeList::removeRoles(uint32_t roles)
{
    if (selectedIs({AnchorItem, MasterItem}))
        hub()->removeRoles(m_selectedId, roles);
}

void NodeList::getFreeMask()
{
    if (selectedIs({AnchorItem, ClosedNodeItem}))
        hub()->getFreeMask(m_selectedId);
}

void NodeList::setSensorOutput(QString mode)
{
    if (selectedIs({TagItem}))
        hub()->setSensorOutput(m_selectedId, mode);
}

void NodeList::getNodeDetails()
{
    if (selectedIsNode())
        hub()->getDetails(m_selectedId);
}

void NodeList::getRoles()
{
    if (selectedIsNode())
        hub()->getRoles(m_selectedId);
}

void NodeList::getParent()
{
    if (selectedIs({AnchorItem, MasterItem}))
        hub()->getParent(m_selectedId);
}

void NodeList::getTdmaDetails()
{
    if (selectedIsNode())
        hub()->getTdmaDetails(m_selectedId);
}

void NodeList::getNodeStats()
{
    if (selectedIsNode())
        hub()->getStats(m_selectedId);
}

void NodeList::getDistances()
{
    if (selectedIs({AnchorItem, MasterItem, ClosedNodeItem}))
        hub()->getDistances(m_selectedId);
}

void NodeList::getPosition()
{
    if (selectedIs({AnchorItem, MasterItem, ClosedNodeItem}))
        hub()->getPosition(m_selectedId);
}

// The dialogs run their own event loop: the id is copied first, and no row
// is touched afterwards (the list may be rebuilt meanwhile).
void NodeList::sendText()
{
    if (!selectedIs({TagItem}))
        return;
    const uint64_t id = m_selectedId;
    bool ok = false;
    const QString text = QInputDialog::getText(this, tr("Send User Text"), tr("Send User Text to 0x%1").arg(selectedHex()),
                                               QLineEdit::Normal, tr("Alarm"), &ok);
    if (ok && !text.isEmpty())
        hub()->sendUserText(id, NodeTools::kUserDataText, text);
}

void NodeList::sendTextToAll()
{
    bool ok = false;
    const QString text = QInputDialog::getText(this, tr("Send User Text"), tr("Send User Text to All"),
                                               QLineEdit::Normal, tr("Alarm"), &ok);
    if (ok && !text.isEmpty())
        hub()->sendUserText(NodeTools::kBroadcastId, NodeTools::kUserDataText, text);
}

void NodeList::sendCursor()
{
    if (!selectedIs({TagItem}))
        return;
    const uint64_t id = m_selectedId;
    bool ok = false;
    const int cursor = QInputDialog::getInt(this, tr("Select Cursor"), tr("Select Cursor for 0x%1").arg(selectedHex()),
                                            NodeTools::kCursorInitial, NodeTools::kCursorMin, NodeTools::kCursorMax, 1,
                                            &ok);
    if (ok)
        hub()->sendUserText(id, NodeTools::kUserDataCursor, QString::number(cursor));
}

QString NodeList::chooseAnchor(const QString &title, const QString &prompt, bool *ok)
{
    QList<uint64_t> anchors = hub()->anchorIds();
    std::sort(anchors.begin(), anchors.end());
    QStringList items{QStringLiteral("None")};
    for (uint64_t anchor : qAsConst(anchors))
        items.append(Rtls::hexId(anchor));
    return QInputDialog::getItem(this, title, prompt, items, 0, false, ok);
}

void NodeList::sendTarget()
{
    if (!selectedIs({TagItem}))
        return;
    const uint64_t id = m_selectedId;
    bool ok = false;
    const QString choice = chooseAnchor(tr("Select Target Anchor"),
                                        tr("Select Target Anchor for 0x%1").arg(selectedHex()), &ok);
    if (ok && !choice.isEmpty())
        hub()->sendUserText(id, NodeTools::kUserDataTarget, choice);
}

void NodeList::setParent()
{
    if (!selectedIs({AnchorItem}))
        return;
    const uint64_t id = m_selectedId;
    bool ok = false;
    const QString choice = chooseAnchor(tr("Select Parent / offloading anchor"),
                                        tr("Select Parent / offloading Anchor for 0x%1").arg(selectedHex()), &ok);
    if (ok && !choice.isEmpty())
        hub()->setParentAnchor(id, choice);
}

// ---- alignment -------------------------------------------------------------

void NodeList::runAlignment(NodeAlignment::Operation op, const QString &label)
{
    if (!selectedIs({TagItem, AnchorItem, MasterItem}))
        return;
    SentrovaInterface *h = hub();
    RtlsObject *reference = h->node(m_selectedId);
    if (NodeAlignment::referenceAxes(op) && !reference)
        return;
    const NodeAlignment::Result result = NodeAlignment::apply(op, h->nodes().values(), reference);
    if (!result.refusal.isEmpty()) {
        h->postMessage(tr("%1 with 0x%2: %3; no anchor moved").arg(label, selectedHex(), result.refusal));
        return;
    }
    for (const auto &moved : result.moved) {
        h->setAnchorPosition(moved.first->id(), moved.second);
        h->announceNodeUpdated(moved.first);
    }
}

void NodeList::setAsOrigin()
{
    runAlignment(NodeAlignment::SetAsOrigin, tr("Set as Origin"));
}

void NodeList::shiftToX()
{
    runAlignment(NodeAlignment::ShiftToX, tr("Shift to X"));
}

void NodeList::shiftToY()
{
    runAlignment(NodeAlignment::ShiftToY, tr("Shift to Y"));
}

void NodeList::shiftToZ()
{
    runAlignment(NodeAlignment::ShiftToZ, tr("Shift to Z"));
}

void NodeList::putOnX()
{
    runAlignment(NodeAlignment::PutOnX, tr("Put on X"));
}

void NodeList::putOnY()
{
    runAlignment(NodeAlignment::PutOnY, tr("Put on Y"));
}

void NodeList::putOnZ()
{
    runAlignment(NodeAlignment::PutOnZ, tr("Put on Z"));
}

void NodeList::rotateToX()
{
    runAlignment(NodeAlignment::RotateToX, tr("Rotate to X"));
}

void NodeList::rotateToY()
{
    runAlignment(NodeAlignment::RotateToY, tr("Rotate to Y"));
}

void NodeList::rotateToNegX()
{
    runAlignment(NodeAlignment::RotateToNegX, tr("Rotate to -X"));
}

void NodeList::rotateToNegY()
{
    runAlignment(NodeAlignment::RotateToNegY, tr("Rotate to -Y"));
}

void NodeList::flipOverX()
{
    runAlignment(NodeAlignment::FlipOverX, tr("Flip over X"));
}

void NodeList::flipOverY()
{
    runAlignment(NodeAlignment::FlipOverY, tr("Flip over Y"));
}

void NodeList::flipOverZ()
{
    runAlignment(NodeAlignment::FlipOverZ, tr("Flip over Z"));
}

void NodeList::mirrorOverXY()
{
    runAlignment(NodeAlignment::MirrorOverXY, tr("Mirror over XY"));
}

void NodeList::mirrorOverXZ()
{
    runAlignment(NodeAlignment::MirrorOverXZ, tr("Mirror over XZ"));
}

void NodeList::mirrorOverYZ()
{
    runAlignment(NodeAlignment::MirrorOverYZ, tr("Mirror over YZ"));
}
