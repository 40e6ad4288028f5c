#pragma once

#include "MapCameraState.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The main window's layout as it is kept between runs, in the preference
// store under a group of its own ("layout"): the window's geometry, the
// docks (QMainWindow's state), the current tab and the map's camera. A
// layout written by another layout version is not used: the docks of
// another build may not be the same.
class WindowLayout
{
public:
    // Raised whenever the docks or what is kept change meaning.
    static constexpr int kVersion = 1;

    QByteArray geometry;
    QByteArray dockState;
    // The current tab's title.
    QString currentTab;
    std::optional<MapCameraState> camera;

    // Nothing when no layout is kept or it is of another version.
    static std::optional<WindowLayout> read();
    void write() const;
    static void clear();
};
