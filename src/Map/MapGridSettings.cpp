#include "MapGridSettings.h"

#include "MapConstants.h"
#include "MapGrid.h"
#include "SettingsRows.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

constexpr double kMaxExtent = 10000.0;

} // namespace

MapGridSettings::MapGridSettings(MapGrid *grid, QWidget *parent) : SettingsTabWidget(parent), m_grid(grid)
{
    QGridLayout *basic = basicGrid();
    m_show = new QCheckBox(this);
    SettingsRows::addRow(this, basic, 0, tr("Show Grid:"), m_show);
    m_spacing = SettingsRows::addMetres(this, basic, 1, tr("Line Spacing [m]:"), 0.01, 100.0);
    m_step = new QSpinBox(this);
    m_step->setRange(1, Map::kGridMaxStepSize);
    SettingsRows::addRow(this, basic, 2, tr("Major Line Every:"), m_step);
    m_length = SettingsRows::addMetres(this, basic, 3, tr("Length [m]:"), 0.1, kMaxExtent);
    m_width = SettingsRows::addMetres(this, basic, 4, tr("Width [m]:"), 0.1, kMaxExtent);
    m_height = SettingsRows::addMetres(this, basic, 5, tr("Building Height [m]:"), 0.0, kMaxExtent);
    m_mirrorX = new QCheckBox(this);
    m_mirrorY = new QCheckBox(this);
    SettingsRows::addRow(this, basic, 6, tr("Mirror in X:"), m_mirrorX);
    SettingsRows::addRow(this, basic, 7, tr("Mirror in Y:"), m_mirrorY);

    QGridLayout *advanced = advancedGrid();
    m_x = SettingsRows::addMetres(this, advanced, 0, tr("Position X [m]:"), -kMaxExtent, kMaxExtent);
    m_y = SettingsRows::addMetres(this, advanced, 1, tr("Position Y [m]:"), -kMaxExtent, kMaxExtent);
    m_z = SettingsRows::addMetres(this, advanced, 2, tr("Position Z [m]:"), -kMaxExtent, kMaxExtent);
    m_xAxis = addColour(3, tr("X Axis Colour:"));
    m_yAxis = addColour(4, tr("Y Axis Colour:"));
    m_lines = addColour(5, tr("Line Colour:"));
    m_majorLines = addColour(6, tr("Major Line Colour:"));
    finishGrids();
    refresh();

    connect(m_show, &QCheckBox::toggled, grid, &MapGrid::setShow);
    connect(m_spacing, qOverload<double>(&QDoubleSpinBox::valueChanged), grid, &MapGrid::setGridres);
    connect(m_step, qOverload<int>(&QSpinBox::valueChanged), grid, &MapGrid::setStepSize);
    connect(m_length, qOverload<double>(&QDoubleSpinBox::valueChanged), grid, &MapGrid::setLength);
    connect(m_width, qOverload<double>(&QDoubleSpinBox::valueChanged), grid, &MapGrid::setWidth);
    connect(m_height, qOverload<double>(&QDoubleSpinBox::valueChanged), grid, &MapGrid::setHeight);
    connect(m_mirrorX, &QCheckBox::toggled, grid, &MapGrid::setMirrorX);
    connect(m_mirrorY, &QCheckBox::toggled, grid, &MapGrid::setMirrorY);
    connect(m_x, qOverload<double>(&QDoubleSpinBox::valueChanged), grid, &MapGrid::setX);
    connect(m_y, qOverload<double>(&QDoubleSpinBox::valueChanged), grid, &MapGrid::setY);
    connect(m_z, qOverload<double>(&QDoubleSpinBox::valueChanged), grid, &MapGrid::setZ);
    connect(m_xAxis, &QPushButton::clicked, this,
            [this] { chooseColour(m_xAxis, &MapGrid::xAxisColor, &MapGrid::setXAxisColor); });
    connect(m_yAxis, &QPushButton::clicked, this,
            [this] { chooseColour(m_yAxis, &MapGrid::yAxisColor, &MapGrid::setYAxisColor); });
    connect(m_lines, &QPushButton::clicked, this,
            [this] { chooseColour(m_lines, &MapGrid::axisColor, &MapGrid::setAxisColor); });
    connect(m_majorLines, &QPushButton::clicked, this,
            [this] { chooseColour(m_majorLines, &MapGrid::stepAxisColor, &MapGrid::setStepAxisColor); });
    connect(grid, &MapGrid::changed, this, &MapGridSettings::refresh);
    connect(grid, &MapGrid::showChanged, this, &MapGridSettings::refresh);
}

QPushButton *MapGridSettings::addColour(int row, const QString &text)
{
    auto *button = new QPushButton(this);
    SettingsRows::addRow(this, advancedGrid(), row, text, button);
    return button;
}

void MapGridSettings::chooseColour(QPushButton *button, QColor (MapGrid::*get)() const,
                                   void (MapGrid::*set)(const QColor &))
{
    if (!m_grid)
        return;
    const QColor colour = QColorDialog::getColor((m_grid->*get)(), this);
    if (!colour.isValid() || !m_grid)
        return;
    (m_grid->*set)(colour);
    SettingsRows::showColour(button, colour);
}

void MapGridSettings::refresh()
{
    if (!m_grid)
        return;
    const QSignalBlocker blockers[] = {QSignalBlocker(m_show), QSignalBlocker(m_spacing), QSignalBlocker(m_step),
                                       QSignalBlocker(m_length), QSignalBlocker(m_width), QSignalBlocker(m_height),
                                       QSignalBlocker(m_mirrorX), QSignalBlocker(m_mirrorY), QSignalBlocker(m_x),
                                       QSignalBlocker(m_y), QSignalBlocker(m_z)};
    Q_UNUSED(blockers)
    m_show->setChecked(m_grid->show());
    m_spacing->setValue(m_grid->gridres());
    m_step->setValue(m_grid->stepSize());
    m_length->setValue(m_grid->length());
    m_width->setValue(m_grid->width());
    m_height->setValue(m_grid->height());
    m_mirrorX->setChecked(m_grid->mirrorX());
    m_mirrorY->setChecked(m_grid->mirrorY());
    m_x->setValue(m_grid->x());
    m_y->setValue(m_grid->y());
    m_z->setValue(m_grid->z());
    SettingsRows::showColour(m_xAxis, m_grid->xAxisColor());
    SettingsRows::showColour(m_yAxis, m_grid->yAxisColor());
    SettingsRows::showColour(m_lines, m_grid->axisColor());
    SettingsRows::showColour(m_majorLines, m_grid->stepAxisColor());
}
