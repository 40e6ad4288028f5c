#include "MapCameraState.h"

#include <QGLViewer/camera.h>

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

const char kPresetKey[] = "preset";
const char kPositionKey[] = "position";
const char kOrientationKey[] = "orientation";
const char kPivotKey[] = "pivot";
const char kOrthoScaleKey[] = "orthoScale";

struct PresetName
{
    MapCameraPreset::Kind kind;
    const char *name;
};
constexpr PresetName kPresetNames[] = {
    {MapCameraPreset::Perspective, "perspective"},
    {MapCameraPreset::Top, "top"},
    {MapCameraPreset::Front, "front"},
    {MapCameraPreset::Side, "side"},
};

// Numbers as one readable text ("1.5 -2 3"), written so that they read back
// exactly.
template <size_t N>
QString numbersText(const std::array<double, N> &values)
{
    QStringList parts;
    for (double v : values)
        parts << QString::number(v, 'g', 17);
    return parts.join(QLatin1Char(' '));
}

template <size_t N>
std::optional<std::array<double, N>> readNumbers(const QSettings &settings, const char *key)
{
    const QStringList parts =
        settings.value(QLatin1String(key)).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != int(N))
        return std::nullopt;
    std::array<double, N> values{};
    for (size_t i = 0; i < N; ++i) {
        bool ok = false;
        values[i] = parts.at(int(i)).toDouble(&ok);
        if (!ok || !std::isfinite(values[i]))
            return std::nullopt;
    }
    return values;
}

} // namespace

MapCameraState MapCameraState::of(const qglviewer::Camera &camera, MapCameraPreset::Kind preset)
{
    MapCameraState state;
    state.preset = preset;
    state.position = camera.position();
    state.orientation = camera.orientation();
    state.pivot = camera.pivotPoint();
    if (camera.type() == qglviewer::Camera::ORTHOGRAPHIC)
        state.orthoScale = orthoScaleOf(camera);
    return state;
}

void MapCameraState::applyTo(qglviewer::Camera *camera) const
{
    camera->setPosition(position);
    camera->setOrientation(orientation);
    camera->setPivotPoint(pivot);
    if (camera->type() == qglviewer::Camera::ORTHOGRAPHIC && orthoScale > 0.0)
        setOrthoScale(camera, orthoScale);
}

double MapCameraState::orthoScaleOf(const qglviewer::Camera &camera)
{
    const double distance = std::fabs(camera.cameraCoordinatesOf(camera.pivotPoint()).z);
    if (distance <= 0.0)
        return 0.0;
    GLdouble halfWidth = 0.0;
    GLdouble halfHeight = 0.0;
    camera.getOrthoWidthHeight(halfWidth, halfHeight);
    return std::min(halfWidth, halfHeight) / distance;
}

void MapCameraState::setOrthoScale(qglviewer::Camera *camera, double scale)
{
    if (!(scale > 0.0) || !std::isfinite(scale))
        return;
    // libQGLViewer sets the scale from the field of view when the camera
    // turns orthographic, and only then.
    const double fieldOfView = camera->fieldOfView();
    const qglviewer::Camera::Type type = camera->type();
    camera->setFieldOfView(2.0 * std::atan(scale));
    camera->setType(qglviewer::Camera::PERSPECTIVE);
    camera->setType(qglviewer::Camera::ORTHOGRAPHIC);
    camera->setType(type);
    camera->setFieldOfView(fieldOfView);
}

QString MapCameraState::presetName(MapCameraPreset::Kind kind)
{
    for (const PresetName &p : kPresetNames)
        if (p.kind == kind)
            return QLatin1String(p.name);
    return QString();
}

std::optional<MapCameraPreset::Kind> MapCameraState::presetFromName(const QString &name)
{
    for (const PresetName &p : kPresetNames)
        if (name == QLatin1String(p.name))
            return p.kind;
    return std::nullopt;
}

void MapCameraState::write(QSettings &settings) const
{
    settings.setValue(QLatin1String(kPresetKey), presetName(preset));
    settings.setValue(QLatin1String(kPositionKey),
                      numbersText(std::array<double, 3>{position.x, position.y, position.z}));
    settings.setValue(QLatin1String(kOrientationKey),
                      numbersText(std::array<double, 4>{orientation[0], orientation[1], orientation[2],
                                                        orientation[3]}));
    settings.setValue(QLatin1String(kPivotKey), numbersText(std::array<double, 3>{pivot.x, pivot.y, pivot.z}));
    settings.setValue(QLatin1String(kOrthoScaleKey), numbersText(std::array<double, 1>{orthoScale}));
}

std::optional<MapCameraState> MapCameraState::read(const QSettings &settings)
{
    const std::optional<MapCameraPreset::Kind> preset =
        presetFromName(settings.value(QLatin1String(kPresetKey)).toString());
    const auto position = readNumbers<3>(settings, kPositionKey);
    const auto orientation = readNumbers<4>(settings, kOrientationKey);
    const auto pivot = readNumbers<3>(settings, kPivotKey);
    const auto orthoScale = readNumbers<1>(settings, kOrthoScaleKey);
    if (!preset || !position || !orientation || !pivot || !orthoScale || (*orthoScale)[0] < 0.0)
        return std::nullopt;
    const auto &q = *orientation;
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    // A turn must be a unit quaternion; a zero one is no orientation at all.
    if (norm < 1e-6)
        return std::nullopt;
    MapCameraState state;
    state.preset = *preset;
    state.position = qglviewer::Vec((*position)[0], (*position)[1], (*position)[2]);
    state.orientation = qglviewer::Quaternion(q[0] / norm, q[1] / norm, q[2] / norm, q[3] / norm);
    state.pivot = qglviewer::Vec((*pivot)[0], (*pivot)[1], (*pivot)[2]);
    state.orthoScale = (*orthoScale)[0];
    return state;
}
