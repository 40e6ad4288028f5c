#include "SettingsRows.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QColor>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr Qt::Alignment kCell = Qt::AlignLeft | Qt::AlignVCenter;

} // namespace

QDoubleSpinBox *SettingsRows::addMetres(QWidget *panel, QGridLayout *grid, int row, const QString &text, double min,
                                        double max)
{
    auto *spin = new QDoubleSpinBox(panel);
    spin->setRange(min, max);
    spin->setDecimals(2);
    spin->setKeyboardTracking(false);
    addRow(panel, grid, row, text, spin);
    return spin;
}

void SettingsRows::addRow(QWidget *panel, QGridLayout *grid, int row, const QString &text, QWidget *control)
{
    grid->addWidget(new QLabel(text, panel), row, 0, kCell);
    grid->addWidget(control, row, 1, kCell);
}

void SettingsRows::showColour(QPushButton *button, const QColor &colour)
{
    button->setText(colour.name());
    button->setStyleSheet(QStringLiteral("background-color: %1; color: %2")
                              .arg(colour.name(), colour.lightness() < 128 ? QStringLiteral("white")
                                                                           : QStringLiteral("black")));
}
