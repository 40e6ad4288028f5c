#include "WindowLayout.h"

#include <QSettings>

namespace {

const char kGroup[] = "layout";
const char kVersionKey[] = "version";
const char kGeometryKey[] = "geometry";
const char kStateKey[] = "docks";
const char kTabKey[] = "currentTab";
const char kCameraGroup[] = "camera";

} // namespace

std::optional<WindowLayout> WindowLayout::read()
{
    QSettings settings;
    settings.beginGroup(QLatin1String(kGroup));
    bool ok = false;
    const int version = settings.value(QLatin1String(kVersionKey)).toInt(&ok);
    if (!ok || version != kVersion)
        return std::nullopt;
    WindowLayout layout;
    layout.geometry = settings.value(QLatin1String(kGeometryKey)).toByteArray();
    layout.dockState = settings.value(QLatin1String(kStateKey)).toByteArray();
    layout.currentTab = settings.value(QLatin1String(kTabKey)).toString();
    settings.beginGroup(QLatin1String(kCameraGroup));
    layout.camera = MapCameraState::read(settings);
    return layout;
}

void WindowLayout::write() const
{
    QSettings settings;
    settings.remove(QLatin1String(kGroup));
    settings.beginGroup(QLatin1String(kGroup));
    settings.setValue(QLatin1String(kVersionKey), kVersion);
    settings.setValue(QLatin1String(kGeometryKey), geometry);
    settings.setValue(QLatin1String(kStateKey), dockState);
    settings.setValue(QLatin1String(kTabKey), currentTab);
    if (camera) {
        settings.beginGroup(QLatin1String(kCameraGroup));
        camera->write(settings);
        settings.endGroup();
    }
}

void WindowLayout::clear()
{
    QSettings().remove(QLatin1String(kGroup));
}
