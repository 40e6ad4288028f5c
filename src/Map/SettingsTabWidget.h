#pragma once

#include <QWidget>

class QGridLayout;

// The frame of a settings panel: a basic grid that is always shown and an
// advanced grid that is shown only while the settings tab's "show advanced"
// switch is on. Panels fill both grids, then call finishGrids().
class SettingsTabWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsTabWidget(QWidget *parent = nullptr);

    QGridLayout *basicGrid() const { return m_basicGrid; }
    QGridLayout *advancedGrid() const { return m_advancedGrid; }

    // Adds a stretching spacer after the last row and the last column of
    // each grid, so that the controls keep to the top left of the panel.
    void finishGrids();

    bool showAdvanced() const { return m_showAdvanced; }

public slots:
    // Shows or hides the advanced grid; connected to the settings tab's
    // showAdvancedChanged(bool) when the panel is registered.
    void setShowAdvanced(bool show);

private:
    QWidget *m_basic;
    QWidget *m_advanced;
    QGridLayout *m_basicGrid;
    QGridLayout *m_advancedGrid;
    bool m_showAdvanced = false;
};
