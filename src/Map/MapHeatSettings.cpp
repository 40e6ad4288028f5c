#include "MapHeatSettings.h"

#include "MapHeat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

constexpr Qt::Alignment kCell = Qt::AlignLeft | Qt::AlignVCenter;
constexpr double kMaxExtent = 10000.0;
constexpr int kScaleLimit = 1000;

} // namespace

MapHeatSettings::MapHeatSettings(MapHeat *heat, QWidget *parent) : SettingsTabWidget(parent), m_heat(heat)
{
    QGridLayout *basic = basicGrid();
    m_show = new QCheckBox(this);
    basic->addWidget(new QLabel(tr("Show Heat Map:"), this), 0, 0, kCell);
    basic->addWidget(m_show, 0, 1, kCell);
    m_mode = new QComboBox(this);
    m_mode->addItem(tr("Position quality (pqf)"), int(MapHeat::Pqf));
    m_mode->addItem(tr("Signal strength of the selected node (rssi)"), int(MapHeat::Rssi));
    m_mode->addItem(tr("Predicted horizontal dilution of precision (anchor layout)"), int(MapHeat::Hdop));
    basic->addWidget(new QLabel(tr("Show:"), this), 1, 0, kCell);
    basic->addWidget(m_mode, 1, 1, kCell);
    m_min = addInt(2, tr("Scale Minimum:"));
    m_max = addInt(3, tr("Scale Maximum:"));
    m_values = new QCheckBox(this);
    basic->addWidget(new QLabel(tr("Show Values:"), this), 4, 0, kCell);
    basic->addWidget(m_values, 4, 1, kCell);
    m_cell = addLength(basic, 5, tr("Cell Size [m]:"), 0.05, 100.0);
    auto *reset = new QPushButton(tr("Reset"), this);
    basic->addWidget(new QLabel(tr("Collected Values:"), this), 6, 0, kCell);
    basic->addWidget(reset, 6, 1, kCell);

    QGridLayout *advanced = advancedGrid();
    m_x = addLength(advanced, 0, tr("Position X [m]:"), -kMaxExtent, kMaxExtent);
    m_y = addLength(advanced, 1, tr("Position Y [m]:"), -kMaxExtent, kMaxExtent);
    m_z = addLength(advanced, 2, tr("Tag Height [m]:"), -kMaxExtent, kMaxExtent);
    m_length = addLength(advanced, 3, tr("Length [m]:"), 0.1, kMaxExtent);
    m_width = addLength(advanced, 4, tr("Width [m]:"), 0.1, kMaxExtent);
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

QDoubleSpinBox *MapHeatSettings::addLength(QGridLayout *grid, int row, const QString &text, double min, double max)
{
    auto *spin = new QDoubleSpinBox(this);
    spin->setRange(min, max);
    spin->setDecimals(2);
    spin->setKeyboardTracking(false);
    grid->addWidget(new QLabel(text, this), row, 0, kCell);
    grid->addWidget(spin, row, 1, kCell);
    return spin;
}

QSpinBox *MapHeatSettings::addInt(int row, const QString &text)
{
    auto *spin = new QSpinBox(this);
    spin->setRange(-kScaleLimit, kScaleLimit);
    spin->setKeyboardTracking(false);
    basicGrid()->addWidget(new QLabel(text, this), row, 0, kCell);
    basicGrid()->addWidget(spin, row, 1, kCell);
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
