#pragma once

#include "SettingsTabWidget.h"

#include <QPointer>

class MapTab;
class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;

// "Main Viewer Settings": the map view's drawing options. Every control
// writes straight into the view; the initial values are read from it when
// the panel is built.
class MapTabSettings : public SettingsTabWidget
{
    Q_OBJECT

public:
    explicit MapTabSettings(MapTab *view, QWidget *parent = nullptr);

    QLabel *floorSizeLabel() const { return m_floorSizeValue; }
    QLabel *floorExtendLabel() const { return m_floorExtendValue; }

public slots:
    // value / 1000 metres, shown with three decimals and given to the view.
    void setFloorSize(int val);
    void setFloorExtend(int val);

private:
    QCheckBox *addCheck(QGridLayout *grid, int row, int labelColumn, const QString &text, bool checked);
    QSlider *addSlider(int row, const QString &text, double metres, QLabel **valueLabel);
    QSpinBox *addSpin(int row, const QString &text, int min, int max, int value);

    QPointer<MapTab> m_view;
    QLabel *m_floorSizeValue = nullptr;
    QLabel *m_floorExtendValue = nullptr;
};
