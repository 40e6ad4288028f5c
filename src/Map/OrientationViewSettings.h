#pragma once

#include "SettingsTabWidget.h"

class OrientationView;

// The "Orientation View Settings" panel: what the orientation view draws
// (basic) and how often and how finely (advanced). Every control writes
// straight into the view and follows the view's own changes.
class OrientationViewSettings : public SettingsTabWidget
{
    Q_OBJECT

public:
    explicit OrientationViewSettings(OrientationView *view, QWidget *parent = nullptr);
};
