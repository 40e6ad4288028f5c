#include "MapTabSettings.h"

#include "MapConstants.h"
#include "MapTab.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

#include <cmath>

namespace {

constexpr Qt::Alignment kCell = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int kSliderMin = 1;
constexpr int kSliderMax = 10000;
constexpr int kSliderMinWidth = 500;
constexpr double kMillimetres = 1000.0;
constexpr int kTempLimit = 100;
constexpr int kHistoryMin = 2;
constexpr int kQualityMax = 100;

QString metres(double value)
{
    return QStringLiteral("%1").arg(value, 0, 'f', 3);
}

} // namespace

MapTabSettings::MapTabSettings(MapTab *view, QWidget *parent) : SettingsTabWidget(parent), m_view(view)
{
    QGridLayout *basic = basicGrid();
    QCheckBox *lines = addCheck(basic, 0, 0, tr("Draw Lines:"), view->drawLinesActive());
    QCheckBox *circles = addCheck(basic, 1, 0, tr("Draw Measurements:"), view->drawCirclesActive());
    QCheckBox *selectedOnly = addCheck(basic, 2, 0, tr("Draw Selected node only:"), view->selectedNodeOnly());
    QSlider *floorSize = addSlider(3, tr("Floor Size:"), view->floorSize(), &m_floorSizeValue);
    QSlider *floorExtend = addSlider(4, tr("Floor Extend:"), view->floorExtend(), &m_floorExtendValue);
    basic->addWidget(new QLabel(tr("Node View Mode:"), this), 5, 0, kCell);
    const uint mode = view->nodeMode();
    QCheckBox *temp = addCheck(basic, 6, 1, tr("Color by Temperature:"), mode & Map::kModeTemperature);
    QCheckBox *labels = addCheck(basic, 7, 1, tr("Show Node Labels:"), mode & Map::kModeLabels);
    QCheckBox *history = addCheck(basic, 8, 1, tr("Show History:"), mode & Map::kModeHistory);
    QCheckBox *oneD = addCheck(basic, 9, 1, tr("Draw all nodes in 1D (distance only):"), mode & Map::kMode1D);
    QCheckBox *arrow = addCheck(basic, 10, 1, tr("Show orientation of nodes (arrow):"), mode & Map::kModeArrow);

    QSpinBox *minTemp = addSpin(0, tr("Minimal temperature:"), -kTempLimit, kTempLimit, int(view->minTemp()));
    QSpinBox *maxTemp = addSpin(1, tr("Maximum temperature:"), -kTempLimit, kTempLimit, int(view->maxTemp()));
    QSpinBox *historySize = addSpin(2, tr("History size:"), kHistoryMin, Map::kHistoryLimit, view->historySize());
    QSpinBox *minPqf = addSpin(3, tr("Minimal Quality level:"), 0, kQualityMax, view->minPqf());

    finishGrids();

    // Connected only now: building the panel changes nothing in the view.
    connect(lines, &QCheckBox::toggled, view, &MapTab::setDrawLinesActive);
    connect(circles, &QCheckBox::toggled, view, &MapTab::setDrawCirclesActive);
    connect(selectedOnly, &QCheckBox::toggled, view, &MapTab::setSelectedNodeOnly);
    connect(floorSize, &QSlider::valueChanged, this, &MapTabSettings::setFloorSize);
    connect(floorExtend, &QSlider::valueChanged, this, &MapTabSettings::setFloorExtend);
    connect(temp, &QCheckBox::toggled, view, &MapTab::setNodeModeTemp);
    connect(labels, &QCheckBox::toggled, view, &MapTab::setNodeModeLabeled);
    connect(history, &QCheckBox::toggled, view, &MapTab::setNodeModeHistory);
    connect(oneD, &QCheckBox::toggled, view, &MapTab::setNodeMode1D);
    connect(arrow, &QCheckBox::toggled, view, &MapTab::setNodeModeArrow);
    connect(minTemp, qOverload<int>(&QSpinBox::valueChanged), view, qOverload<int>(&MapTab::setMinTemp));
    connect(maxTemp, qOverload<int>(&QSpinBox::valueChanged), view, qOverload<int>(&MapTab::setMaxTemp));
    connect(historySize, qOverload<int>(&QSpinBox::valueChanged), view, &MapTab::setHistorySize);
    connect(minPqf, qOverload<int>(&QSpinBox::valueChanged), view, &MapTab::setMinPqf);
}

QCheckBox *MapTabSettings::addCheck(QGridLayout *grid, int row, int labelColumn, const QString &text, bool checked)
{
    auto *box = new QCheckBox(this);
    box->setChecked(checked);
    grid->addWidget(new QLabel(text, this), row, labelColumn, kCell);
    grid->addWidget(box, row, labelColumn + 1, kCell);
    return box;
}

QSlider *MapTabSettings::addSlider(int row, const QString &text, double value, QLabel **valueLabel)
{
    auto *slider = new QSlider(Qt::Horizontal, this);
    slider->setMinimumWidth(kSliderMinWidth);
    slider->setRange(kSliderMin, kSliderMax);
    slider->setValue(int(std::lround(value * kMillimetres)));
    *valueLabel = new QLabel(metres(value), this);
    basicGrid()->addWidget(new QLabel(text, this), row, 0, kCell);
    basicGrid()->addWidget(slider, row, 1, kCell);
    basicGrid()->addWidget(*valueLabel, row, 2, kCell);
    return slider;
}

QSpinBox *MapTabSettings::addSpin(int row, const QString &text, int min, int max, int value)
{
    auto *spin = new QSpinBox(this);
    spin->setRange(min, max);
    spin->setValue(value);
    advancedGrid()->addWidget(new QLabel(text, this), row, 0, kCell);
    advancedGrid()->addWidget(spin, row, 1, kCell);
    return spin;
}

void MapTabSettings::setFloorSize(int val)
{
    const double value = val / kMillimetres;
    m_floorSizeValue->setText(metres(value));
    if (m_view)
        m_view->setFloorSize(value);
}

void MapTabSettings::setFloorExtend(int val)
{
    const double value = val / kMillimetres;
    m_floorExtendValue->setText(metres(value));
    if (m_view)
        m_view->setFloorExtend(value);
}
