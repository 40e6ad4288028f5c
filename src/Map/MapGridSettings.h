#pragma once

#include "SettingsTabWidget.h"

#include <QColor>
#include <QPointer>

class MapGrid;
class QCheckBox;
class QDoubleSpinBox;
class QPushButton;
class QSpinBox;

// "Map Grid Settings": show the grid, its line spacing and major-line
// interval, its size and mirroring (basic), its position and colours
// (advanced). Controls write straight into the grid and follow its changes.
class MapGridSettings : public SettingsTabWidget
{
    Q_OBJECT

public:
    explicit MapGridSettings(MapGrid *grid, QWidget *parent = nullptr);

public slots:
    // Shows the grid's current values (for changes made elsewhere, such as a
    // settings file being loaded).
    void refresh();

private:
    QPushButton *addColour(int row, const QString &text);
    void chooseColour(QPushButton *button, QColor (MapGrid::*get)() const, void (MapGrid::*set)(const QColor &));

    QPointer<MapGrid> m_grid;
    QCheckBox *m_show;
    QDoubleSpinBox *m_spacing;
    QSpinBox *m_step;
    QDoubleSpinBox *m_length;
    QDoubleSpinBox *m_width;
    QDoubleSpinBox *m_height;
    QCheckBox *m_mirrorX;
    QCheckBox *m_mirrorY;
    QDoubleSpinBox *m_x;
    QDoubleSpinBox *m_y;
    QDoubleSpinBox *m_z;
    QPushButton *m_xAxis;
    QPushButton *m_yAxis;
    QPushButton *m_lines;
    QPushButton *m_majorLines;
};
