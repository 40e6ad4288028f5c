#include "OrientationViewSettings.h"

#include "OrientationView.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

namespace {

constexpr Qt::Alignment kCell = Qt::AlignLeft | Qt::AlignVCenter;

QCheckBox *addCheck(QGridLayout *grid, int row, const QString &label, bool checked, const QString &name)
{
    grid->addWidget(new QLabel(label), row, 0, kCell);
    auto *box = new QCheckBox;
    box->setObjectName(name);
    box->setChecked(checked);
    grid->addWidget(box, row, 1, kCell);
    return box;
}

QSpinBox *addSpin(QGridLayout *grid, int row, const QString &label, int min, int max, int value,
                  const QString &name)
{
    grid->addWidget(new QLabel(label), row, 0, kCell);
    auto *spin = new QSpinBox;
    spin->setObjectName(name);
    spin->setRange(min, max);
    spin->setValue(value);
    grid->addWidget(spin, row, 1, kCell);
    return spin;
}

} // namespace

OrientationViewSettings::OrientationViewSettings(OrientationView *view, QWidget *parent)
    : SettingsTabWidget(parent)
{
    QGridLayout *basic = basicGrid();
    QCheckBox *body = addCheck(basic, 0, tr("Show body axes:"), view->showBodyAxes(), QStringLiteral("bodyAxes"));
    QCheckBox *world = addCheck(basic, 1, tr("Show world axes:"), view->showWorldAxes(), QStringLiteral("worldAxes"));
    QCheckBox *readout = addCheck(basic, 2, tr("Show node and angles:"), view->showReadout(), QStringLiteral("readout"));

    QGridLayout *advanced = advancedGrid();
    QSpinBox *interval = addSpin(advanced, 0, tr("Refresh interval [ms]:"), OrientationView::kMinRefreshInterval,
                                 OrientationView::kMaxRefreshInterval, view->refreshInterval(),
                                 QStringLiteral("refreshInterval"));
    QSpinBox *decimals = addSpin(advanced, 1, tr("Angle decimals:"), 0, OrientationView::kMaxAngleDecimals,
                                 view->angleDecimals(), QStringLiteral("angleDecimals"));
    finishGrids();

    // Connected after the initial values, so that building the panel changes nothing.
    connect(body, &QCheckBox::toggled, view, &OrientationView::setShowBodyAxes);
    connect(world, &QCheckBox::toggled, view, &OrientationView::setShowWorldAxes);
    connect(readout, &QCheckBox::toggled, view, &OrientationView::setShowReadout);
    connect(interval, QOverload<int>::of(&QSpinBox::valueChanged), view, &OrientationView::setRefreshInterval);
    connect(decimals, QOverload<int>::of(&QSpinBox::valueChanged), view, &OrientationView::setAngleDecimals);

    connect(view, &OrientationView::showBodyAxesChanged, body, &QCheckBox::setChecked);
    connect(view, &OrientationView::showWorldAxesChanged, world, &QCheckBox::setChecked);
    connect(view, &OrientationView::showReadoutChanged, readout, &QCheckBox::setChecked);
    connect(view, &OrientationView::refreshIntervalChanged, interval, &QSpinBox::setValue);
    connect(view, &OrientationView::angleDecimalsChanged, decimals, &QSpinBox::setValue);
}
