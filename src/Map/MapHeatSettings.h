#pragma once

#include "SettingsTabWidget.h"

#include <QPointer>

class MapHeat;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

// "Heat Map Settings": show the heat map, what it shows (position quality,
// signal strength of the selected node, or the predicted horizontal
// dilution of precision of the anchor layout), the ends of its colour scale,
// values as text, the cell size and a reset (basic); its box (advanced).
class MapHeatSettings : public SettingsTabWidget
{
    Q_OBJECT

public:
    explicit MapHeatSettings(MapHeat *heat, QWidget *parent = nullptr);

public slots:
    void refresh();

private:
    QSpinBox *addInt(int row, const QString &text);

    QPointer<MapHeat> m_heat;
    QCheckBox *m_show;
    QComboBox *m_mode;
    QSpinBox *m_min;
    QSpinBox *m_max;
    QCheckBox *m_values;
    QDoubleSpinBox *m_cell;
    QDoubleSpinBox *m_x;
    QDoubleSpinBox *m_y;
    QDoubleSpinBox *m_z;
    QDoubleSpinBox *m_length;
    QDoubleSpinBox *m_width;
};
