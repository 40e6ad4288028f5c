#include "MapHeatSettings.h"

#include "MapConstants.h"
#include "MapHeat.h"
#include "SettingsRows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

constexpr double kMaxExtent = 10000.0;

} // namespace

MapHeatSettings::MapHeatSettings(MapHeat *heat, QWidget *parent) : SettingsTabWidget(parent), m_heat(heat)
{
    QGridLayout *basic = basicGrid();
    m_show = new QCheckBox(this);
    SettingsRows::addRow(this, basic, 0, tr("Show Heat Map:"), m_show);
    m_mode = new QComboBox(this);
    m_mode->addItem(tr("Position quality (pqf)"), int(MapHeat::Pqf));
    m_mode->addItem(tr("Signal strength of the selected node (rssi)"), int(MapHeat::Rssi));
    m_mode->addItem(tr("Predicted horizontal dilution of precision (anchor layout)"), int(MapHeat::Hdop));
    SettingsRows::addRow(this, basic, 1, tr("Show:"), m_mode);
    m_min = addInt(2, tr("Scale Minimum:"));
    m_max = addInt(3, tr("Scale Maximum:"));
    m_values = new QCheckBox(this);
    SettingsRows::addRow(this, basic, 4, tr("Show Values:"), m_values);
    m_cell = SettingsRows::addMetres(this, basic, 5, tr("Cell Size [m]:"), 0.05, 100.0);
    auto *reset = new QPushButton(tr("Reset"), this);
    SettingsRows::addRow(this, basic, 6, tr("Collected Values:"), reset);

    QGridLayout *advanced = advancedGrid();
    m_x = SettingsRows::addMetres(this, advanced, 0, tr("Position X [m]:"), -kMaxExtent, kMaxExtent);
    m_y = SettingsRows::addMetres(this, advanced, 1, tr("Position Y [m]:"), -kMaxExtent, kMaxExtent);
    m_z = SettingsRows::addMetres(this, advanced, 2, tr("Tag Height [m]:"), -kMaxExtent, kMaxExtent);
    m_length = SettingsRows::addMetres(this, advanced, 3, tr("Length [m]:"), 0.1, kMaxExtent);
    m_width = SettingsRows::addMetres(this, advanced, 4, tr("Width [m]:"), 0.1, kMaxExtent);
    finishGrids();
    refresh();

    connect(m_show, &QCheckBox::toggled, heat, &MapHeat::setShow);
    connect(m_mode, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) {
                if (m_heat)
                    m_heat->setMode(m_mode->itemData(index).toInt());
            });
    connect(m_min, qOverload<int>(&QSpinBox::valueChanged), heat, &MapHeat::setMin);
    connect(m_max, qOverload<int>(&QSpinBox::valueChanged), heat, &MapHeat::setMax);
    connect(m_values, &QCheckBox::toggled, heat, &MapHeat::setShowValues);
    connect(m_cell, qOverload<double>(&QDoubleSpinBox::valueChanged), heat, &MapHeat::setGridres);
    connect(reset, &QPushButton::clicked, heat, &MapHeat::resetDataStore);
    connect(m_x, qOverload<double>(&QDoubleSpinBox::valueChanged), heat, &MapHeat::setX);
    connect(m_y, qOverload<double>(&QDoubleSpinBox::valueChanged), heat, &MapHeat::setY);
    connect(m_z, qOverload<double>(&QDoubleSpinBox::valueChanged), heat, &MapHeat::setZ);
    connect(m_length, qOverload<double>(&QDoubleSpinBox::valueChanged), heat, &MapHeat::setLength);
    connect(m_width, qOverload<double>(&QDoubleSpinBox::valueChanged), heat, &MapHeat::setWidth);
    connect(heat, &MapHeat::changed, this, &MapHeatSettings::refresh);
    connect(heat, &MapHeat::showChanged, this, &MapHeatSettings::refresh);
}

QSpinBox *MapHeatSettings::addInt(int row, const QString &text)
{
    auto *spin = new QSpinBox(this);
    spin->setRange(-Map::kHeatScaleLimit, Map::kHeatScaleLimit);
    spin->setKeyboardTracking(false);
    SettingsRows::addRow(this, basicGrid(), row, text, spin);
    return spin;
}

void MapHeatSettings::refresh()
{
    if (!m_heat)
        return;
    const QSignalBlocker blockers[] = {QSignalBlocker(m_show), QSignalBlocker(m_mode),   QSignalBlocker(m_min),
                                       QSignalBlocker(m_max),  QSignalBlocker(m_values), QSignalBlocker(m_cell),
                                       QSignalBlocker(m_x),    QSignalBlocker(m_y),      QSignalBlocker(m_z),
                                       QSignalBlocker(m_length), QSignalBlocker(m_width)};
    Q_UNUSED(blockers)
    m_show->setChecked(m_heat->show());
    m_mode->setCurrentIndex(m_mode->findData(m_heat->mode()));
    m_min->setValue(m_heat->min());
    m_max->setValue(m_heat->max());
    m_values->setChecked(m_heat->showValues());
    m_cell->setValue(m_heat->gridres());
    m_x->setValue(m_heat->x());
    m_y->setValue(m_heat->y());
    m_z->setValue(m_heat->z());
    m_length->setValue(m_heat->length());
    m_width->setValue(m_heat->width());
}
