#include "ZonesTab.h"

#include "MapConstants.h"
#include "MapNodeSource.h"
#include "MapScene.h"
#include "MapTab.h"
#include "MapZone.h"
#include "RtlsConvert.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"
#include "SettingsRows.h"
#include "ZoneCommandsDialog.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr double kMaxExtent = 10000.0;
const char *const kTypes[] = {"FLOORPLAN", "STORAGE", "MACHINE"};

using Rtls::hexText;

QDoubleSpinBox *metresBox(double min)
{
    auto *box = new QDoubleSpinBox;
    box->setRange(min, kMaxExtent);
    box->setDecimals(3);
    box->setSingleStep(0.1);
    box->setKeyboardTracking(false);
    box->setFrame(false);
    return box;
}

template<typename T>
T *widgetAt(QTableWidget *table, int row, int column)
{
    QWidget *w = table->cellWidget(row, column);
    if (auto *direct = qobject_cast<T *>(w))
        return direct;
    return w ? w->findChild<T *>() : nullptr;
}

} // namespace

ZonesTab *ZonesTab::instance()
{
    static ZonesTab *tab = new ZonesTab();
    return tab;
}

ZonesTab::ZonesTab()
    : QWidget(nullptr),
      m_table(new QTableWidget(0, ColumnCount, this)),
      m_add(new QPushButton(tr("Add Zone"), this)),
      m_remove(new QPushButton(tr("Remove Zone"), this))
{
    setObjectName(QStringLiteral("zonesTab"));
    m_table->setHorizontalHeaderLabels({tr("Name"), tr("Id"), tr("Type"), tr("X [m]"), tr("Y [m]"), tr("Z [m]"),
                                        tr("Length [m]"), tr("Width [m]"), tr("Height [m]"), tr("Draw Height [m]"),
                                        tr("Level"), tr("Below Level"), tr("At Level"), tr("Image"),
                                        tr("Target Anchor"), tr("Tags Inside"), tr("Commands")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->setVisible(false);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(ImageColumn, QHeaderView::Stretch);

    m_add->setEnabled(false);
    m_remove->setEnabled(false);
    connect(m_add, &QPushButton::clicked, this, &ZonesTab::addZone);
    connect(m_remove, &QPushButton::clicked, this, &ZonesTab::removeSelectedZone);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { m_remove->setEnabled(m_scene && m_table->currentRow() >= 0); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_table, 1);
}

void ZonesTab::setMapTab(MapTab *map)
{
    m_map = map;
    setScene(map ? map->scene() : nullptr);
    if (map) {
        connect(SentrovaInterface::instance(), &SentrovaInterface::anchorListUpdated, this,
                &ZonesTab::refreshAnchors, Qt::UniqueConnection);
    }
}

void ZonesTab::setScene(MapScene *scene)
{
    if (m_scene)
        disconnect(m_scene, &QObject::destroyed, this, nullptr);
    m_scene = scene;
    // A map that goes (its tab closed) leaves an empty table, not rows of
    // zones that no longer exist.
    if (scene)
        connect(scene, &QObject::destroyed, this, [this] { setScene(nullptr); });
    m_table->setRowCount(0);
    m_rows.clear();
    m_add->setEnabled(scene != nullptr);
    m_remove->setEnabled(false);
    if (!scene)
        return;
    for (MapZone *zone : scene->zones())
        zoneAdded(zone);
}

MapZone *ZonesTab::zoneAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).data() : nullptr;
}

int ZonesTab::rowOf(const MapZone *zone) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row) == zone)
            return row;
    }
    return -1;
}

void ZonesTab::addZone()
{
    if (m_map)
        m_map->addZone();
    else if (m_scene)
        m_scene->addZone();
}

void ZonesTab::removeSelectedZone()
{
    MapZone *zone = zoneAt(m_table->currentRow());
    if (!zone)
        return;
    if (m_map)
        m_map->removeZone(zone);
    else if (m_scene)
        m_scene->removeZone(zone);
}

void ZonesTab::zoneAdded(MapZone *zone)
{
    if (!zone || rowOf(zone) >= 0)
        return;
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    m_rows.append(zone);
    fillRow(row, zone);
    showZone(row, zone);
    connect(zone, &MapZone::nodeEntered, this, [this, zone] { showInside(zone); });
    connect(zone, &MapZone::nodeLeft, this, [this, zone] { showInside(zone); });
}

void ZonesTab::zoneUpdated(MapZone *zone)
{
    if (zone == m_applying)
        return;
    const int row = rowOf(zone);
    if (row >= 0)
        showZone(row, zone);
}

void ZonesTab::zoneRemoved(MapZone *zone)
{
    const int row = rowOf(zone);
    if (row < 0)
        return;
    disconnect(zone, nullptr, this, nullptr);
    m_rows.removeAt(row);
    m_table->removeRow(row);
}

template<typename Apply>
void ZonesTab::apply(MapZone *zone, Apply &&change)
{
    if (!zone)
        return;
    m_applying = zone;
    change(zone);
    if (MapScene *scene = zone->map())
        scene->zoneChanged(zone);
    m_applying = nullptr;
    // The row's fields hold what the user typed; what follows from it (the
    // count's colour against a new level) is shown here, since the guard
    // above keeps zoneUpdated from refreshing the row.
    showInside(zone);
}

void ZonesTab::fillRow(int row, MapZone *zone)
{
    QPointer<MapZone> guard(zone);

    auto *name = new QLineEdit;
    name->setFrame(false);
    connect(name, &QLineEdit::editingFinished, this, [this, guard, name] {
        name->setModified(false);
        apply(guard, [name](MapZone *z) { z->setName(name->text()); });
    });
    m_table->setCellWidget(row, NameColumn, name);

    auto *id = new QTableWidgetItem;
    id->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    m_table->setItem(row, IdColumn, id);

    auto *type = new QComboBox;
    for (const char *t : kTypes)
        type->addItem(QLatin1String(t));
    connect(type, &QComboBox::textActivated, this,
            [this, guard](const QString &text) { apply(guard, [&text](MapZone *z) { z->setType(text); }); });
    m_table->setCellWidget(row, TypeColumn, type);

    struct Metric
    {
        Column column;
        double min;
        void (*set)(MapZone *, double);
    };
    const Metric metrics[] = {
        {XColumn, -kMaxExtent, [](MapZone *z, double v) { z->setX(v); }},
        {YColumn, -kMaxExtent, [](MapZone *z, double v) { z->setY(v); }},
        {ZColumn, -kMaxExtent, [](MapZone *z, double v) { z->setZ(v); }},
        {LengthColumn, -kMaxExtent, [](MapZone *z, double v) { z->setLength(v); }},
        {WidthColumn, -kMaxExtent, [](MapZone *z, double v) { z->setWidth(v); }},
        {HeightColumn, -kMaxExtent, [](MapZone *z, double v) { z->setHeight(v); }},
        {DrawHeightColumn, -kMaxExtent, [](MapZone *z, double v) { z->setDrawHeight(v); }},
    };
    for (const Metric &metric : metrics) {
        QDoubleSpinBox *box = metresBox(metric.min);
        auto set = metric.set;
        connect(box, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
                [this, guard, set](double v) { apply(guard, [set, v](MapZone *z) { set(z, v); }); });
        m_table->setCellWidget(row, metric.column, box);
    }

    auto *level = new QSpinBox;
    level->setRange(0, Map::kZoneMaxLevel);
    level->setKeyboardTracking(false);
    level->setFrame(false);
    connect(level, qOverload<int>(&QSpinBox::valueChanged), this,
            [this, guard](int v) { apply(guard, [v](MapZone *z) { z->setLevel(v); }); });
    m_table->setCellWidget(row, LevelColumn, level);

    auto *under = new QPushButton;
    connect(under, &QPushButton::clicked, this, [this, guard] { chooseColour(guard, false); });
    m_table->setCellWidget(row, UnderColorColumn, under);
    auto *over = new QPushButton;
    connect(over, &QPushButton::clicked, this, [this, guard] { chooseColour(guard, true); });
    m_table->setCellWidget(row, OverColorColumn, over);

    auto *imageCell = new QWidget;
    auto *image = new QLineEdit(imageCell);
    image->setFrame(false);
    image->setPlaceholderText(tr("floor-plan image"));
    auto *browse = new QToolButton(imageCell);
    browse->setText(QStringLiteral("..."));
    browse->setToolTip(tr("Choose a floor-plan image"));
    auto *imageLayout = new QHBoxLayout(imageCell);
    imageLayout->setContentsMargins(0, 0, 0, 0);
    imageLayout->addWidget(image, 1);
    imageLayout->addWidget(browse);
    connect(image, &QLineEdit::editingFinished, this, [this, guard, image] {
        image->setModified(false);
        apply(guard, [image](MapZone *z) { z->setImage(image->text()); });
    });
    connect(browse, &QToolButton::clicked, this, [this, guard] { browseImage(guard); });
    m_table->setCellWidget(row, ImageColumn, imageCell);

    auto *target = new QComboBox;
    connect(target, qOverload<int>(&QComboBox::activated), this, [this, guard, target](int index) {
        const qulonglong id = target->itemData(index).toULongLong();
        apply(guard, [id](MapZone *z) { z->setTarget(id); });
    });
    m_table->setCellWidget(row, TargetColumn, target);

    auto *inside = new QTableWidgetItem;
    inside->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    inside->setTextAlignment(Qt::AlignCenter);
    m_table->setItem(row, InsideColumn, inside);

    auto *commands = new QPushButton(tr("Edit..."));
    connect(commands, &QPushButton::clicked, this, [this, guard] { editCommands(rowOf(guard)); });
    m_table->setCellWidget(row, CommandsColumn, commands);
}

void ZonesTab::showZone(int row, MapZone *zone)
{
    // A field the user is typing in is left alone.
    auto editing = [](QWidget *w) {
        const auto *line = qobject_cast<QLineEdit *>(w);
        return w && (w->hasFocus() || (line && line->isModified()));
    };
    if (auto *name = widgetAt<QLineEdit>(m_table, row, NameColumn); !editing(name))
        name->setText(zone->name());
    m_table->item(row, IdColumn)->setText(hexText(zone->id()));
    auto *type = widgetAt<QComboBox>(m_table, row, TypeColumn);
    {
        const QSignalBlocker blocker(type);
        int index = type->findText(zone->type());
        if (index < 0) {
            type->addItem(zone->type());
            index = type->count() - 1;
        }
        type->setCurrentIndex(index);
    }
    const std::pair<Column, double> values[] = {
        {XColumn, zone->x()},           {YColumn, zone->y()},          {ZColumn, zone->z()},
        {LengthColumn, zone->length()}, {WidthColumn, zone->width()},  {HeightColumn, zone->height()},
        {DrawHeightColumn, zone->drawHeight()},
    };
    for (const auto &value : values) {
        auto *box = widgetAt<QDoubleSpinBox>(m_table, row, value.first);
        if (editing(box))
            continue;
        const QSignalBlocker blocker(box);
        box->setValue(value.second);
    }
    if (auto *level = widgetAt<QSpinBox>(m_table, row, LevelColumn); !editing(level)) {
        const QSignalBlocker blocker(level);
        level->setValue(zone->level());
    }
    SettingsRows::showColour(widgetAt<QPushButton>(m_table, row, UnderColorColumn), zone->underColor());
    SettingsRows::showColour(widgetAt<QPushButton>(m_table, row, OverColorColumn), zone->overColor());
    if (auto *image = widgetAt<QLineEdit>(m_table, row, ImageColumn); !editing(image))
        image->setText(zone->image());
    fillTargets(row, zone);
    showInside(zone);
}

void ZonesTab::showInside(MapZone *zone)
{
    const int row = rowOf(zone);
    if (row < 0)
        return;
    QTableWidgetItem *item = m_table->item(row, InsideColumn);
    item->setText(QString::number(zone->nodesInside().size()));
    item->setForeground(zone->nodesInside().size() >= zone->level() ? QColor(Qt::red) : QColor(Qt::black));
}

void ZonesTab::fillTargets(int row, MapZone *zone)
{
    auto *target = widgetAt<QComboBox>(m_table, row, TargetColumn);
    if (!target || target->view()->isVisible())
        return;
    QList<uint64_t> anchors;
    if (m_scene) {
        const QList<RtlsObject *> nodes = m_scene->source()->nodes();
        for (RtlsObject *node : nodes) {
            const QString mode = node->mode();
            if (Rtls::isAnchorOrMaster(mode))
                anchors.append(node->id());
        }
    }
    std::sort(anchors.begin(), anchors.end());
    const QSignalBlocker blocker(target);
    target->clear();
    target->addItem(tr("none"), qulonglong(0));
    for (uint64_t id : qAsConst(anchors))
        target->addItem(hexText(id), qulonglong(id));
    int index = target->findData(qulonglong(zone->target()));
    if (index < 0) {
        // A target from the file that this site has not (yet) reported.
        target->addItem(tr("%1 (not seen)").arg(hexText(zone->target())), qulonglong(zone->target()));
        index = target->count() - 1;
    }
    target->setCurrentIndex(index);
}

void ZonesTab::refreshAnchors()
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (MapZone *zone = zoneAt(row))
            fillTargets(row, zone);
    }
}

void ZonesTab::chooseColour(MapZone *zone, bool over)
{
    if (!zone)
        return;
    QPointer<MapZone> guard(zone);
    const QColor colour = QColorDialog::getColor(over ? zone->overColor() : zone->underColor(), this,
                                                 over ? tr("Colour at level") : tr("Colour below level"));
    if (!colour.isValid() || !guard)
        return;
    apply(guard.data(), [over, colour](MapZone *z) { over ? z->setOverColor(colour) : z->setUnderColor(colour); });
    const int row = rowOf(guard);
    if (row >= 0)
        showZone(row, guard);
}

void ZonesTab::browseImage(MapZone *zone)
{
    if (!zone)
        return;
    QPointer<MapZone> guard(zone);
    const QString start = zone->image().isEmpty() ? QString() : QFileInfo(zone->image()).absolutePath();
    const QString file = QFileDialog::getOpenFileName(this, tr("Floor-plan image"), start,
                                                      tr("Images (*.png *.jpg *.jpeg *.bmp *.gif *.svg)"));
    if (file.isEmpty() || !guard)
        return;
    apply(guard.data(), [&file](MapZone *z) { z->setImage(file); });
    const int row = rowOf(guard);
    if (row >= 0)
        showZone(row, guard);
}

void ZonesTab::editCommands(int row)
{
    QPointer<MapZone> zone = zoneAt(row);
    if (!zone)
        return;
    ZoneCommandsDialog dialog(zone->name(), this);
    dialog.setCommands(zone->commandList());
    if (dialog.exec() != QDialog::Accepted || !zone)
        return;
    const QJsonObject commands = dialog.commands();
    apply(zone.data(), [&commands](MapZone *z) { z->setCommandList(commands); });
}
