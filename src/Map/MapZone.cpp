#include "MapZone.h"

#include "GlBox.h"
#include "HubNodeSource.h"
#include "MapColors.h"
#include "MapConstants.h"
#include "MapGeometry.h"
#include "MapLog.h"
#include "MapPixelRatio.h"
#include "MapScene.h"
#include "RtlsConvert.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QDateTime>
#include <QJsonValue>

#include <GL/gl.h>

namespace {

const char kGlSource[] = "src/Map/MapZone";

using Rtls::key;

MapZone::Mode modeForType(const QString &type)
{
    if (type == QLatin1String("STORAGE"))
        return MapZone::Storage;
    if (type == QLatin1String("MACHINE"))
        return MapZone::Machine;
    return MapZone::FloorPlan;
}

using Rtls::hexText;

void outline(double length, double width, double z)
{
    glBegin(GL_LINE_LOOP);
    glVertex3d(0.0, 0.0, z);
    glVertex3d(length, 0.0, z);
    glVertex3d(length, width, z);
    glVertex3d(0.0, width, z);
    glEnd();
}

} // namespace

MapZone::MapZone(MapScene *map, QObject *parent)
    : CubeVolume(parent),
      m_map(map),
      m_level(Map::kZoneDefaultLevel),
      m_underColor(QLatin1String(Map::kZoneDefaultUnderColor)),
      m_overColor(QLatin1String(Map::kZoneDefaultOverColor)),
      m_type(QLatin1String(Map::kZoneDefaultType))
{
}

MapZone::~MapZone()
{
    const unsigned int texture = m_texture.takeName();
    if (texture != 0 && m_map)
        m_map->releaseTexture(texture);
}

MapScene *MapZone::map() const
{
    return m_map;
}

QColor MapZone::levelColor() const
{
    return m_inside.size() >= m_level ? m_overColor : m_underColor;
}

void MapZone::setShow(bool show)
{
    if (show == m_show)
        return;
    m_show = show;
    emit showChanged(show);
}

void MapZone::setID(qulonglong id)
{
    m_id = id;
}

void MapZone::setName(QString name)
{
    m_name = name;
}

void MapZone::setType(QString type)
{
    m_type = type;
    m_mode = modeForType(type);
    if (m_map)
        m_map->zoneChanged(this);
}

void MapZone::setImage(QString image)
{
    if (image == m_image)
        return;
    m_image = image;
    loadTexture(image);
}

void MapZone::setLevel(int level)
{
    m_level = level;
}

void MapZone::setUnderColor(QColor color)
{
    m_underColor = color;
}

void MapZone::setOverColor(QColor color)
{
    m_overColor = color;
}

void MapZone::setDrawHeight(double drawHeight)
{
    m_drawHeight = drawHeight;
}

void MapZone::setTarget(qulonglong target)
{
    m_target = target;
}

void MapZone::destroy()
{
    if (m_map)
        m_map->removeZone(this);
    else
        deleteLater();
}

void MapZone::loadTexture(QString filename)
{
    // An empty name or a file that cannot be read leaves the plan without a
    // picture, not with the one shown before.
    if (!m_texture.load(filename)) {
        qCWarning(lcMap, "Unable to load file %s, unsupported file format", qUtf8Printable(filename));
        report(tr("Unable to load file %1, unsupported file format").arg(filename));
    }
    if (m_map)
        m_map->markDirty();
}

void MapZone::report(const QString &line) const
{
    if (m_map)
        m_map->postMessage(line);
}

MapNodeSource *MapZone::source() const
{
    return m_map ? m_map->source() : HubNodeSource::instance();
}

void MapZone::nodeUpdated(RtlsObject *rtlsNode)
{
    if (!rtlsNode)
        return;
    const uint64_t nodeId = rtlsNode->id();
    const bool wasInside = m_insideSet.contains(nodeId);
    // Zones are for tags; a node that stopped being one leaves, and the
    // masters hear of it as of any other exit.
    if (rtlsNode->mode() != QLatin1String("tag")) {
        if (wasInside)
            leave(nodeId);
        return;
    }
    // Reading a position that the node does not have must not create one.
    if (!rtlsNode->hasPos())
        return;
    const RtlsPos *pos = rtlsNode->pos();
    const qglviewer::Vec p(pos->x(), pos->y(), pos->z());
    if (!wasInside) {
        if (!isInside(p))
            return;
        send("on_enter", nodeId);
        m_inside.append(nodeId);
        m_insideSet.insert(nodeId);
        emit nodeEntered(nodeId);
    } else {
        // A tag standing on a face jitters across it: it leaves only once it
        // is clearly outside.
        if (isInsideWithMargin(p, Map::kZoneHysteresis))
            return;
        leave(nodeId);
    }
}

void MapZone::nodeInactive(RtlsObject *rtlsNode)
{
    // A tag that fell silent is no longer counted; its next report inside
    // enters it again.
    if (rtlsNode && m_insideSet.contains(rtlsNode->id()))
        leave(rtlsNode->id());
}

void MapZone::leave(uint64_t nodeId)
{
    // Every way out of the count is an exit: the masters get "on_exit" and
    // the MQTT side nodeLeft, so that both hear of the same exits.
    send("on_exit", nodeId);
    m_inside.removeOne(nodeId);
    m_insideSet.remove(nodeId);
    emit nodeLeft(nodeId);
}

QJsonObject MapZone::commandFor(const QJsonObject &command, uint64_t nodeId)
{
    QJsonObject copy = command;
    const QJsonValue id = copy.value(key("id"));
    if (id.isString() && id.toString().startsWith(QLatin1String(Map::kZoneSelfId)))
        copy.insert(key("id"), hexText(nodeId));
    return copy;
}

void MapZone::send(const char *which, uint64_t nodeId)
{
    const QJsonValue command = m_commands.value(key(which));
    if (!command.isObject())
        return;
    source()->sendJson(commandFor(command.toObject(), nodeId));
}

uint64_t MapZone::idFromClock()
{
    static uint64_t last = 0;
    const QString digits = QStringLiteral("A5EA")
        + QDateTime::currentDateTime().toString(QStringLiteral("0yyhhmmsszzz"));
    uint64_t id = Rtls::parseHex64(digits);
    if (id <= last)
        id = last + 1;
    last = id;
    return id;
}

void MapZone::readColor(const QJsonObject &obj, const char *name, const char *fallback, QColor *value) const
{
    const QString line =
        MapColors::readColorKey(obj, name, QColor(QLatin1String(fallback)), value, tr("Zone %1").arg(m_name));
    if (line.isEmpty())
        return;
    qCWarning(lcMap).noquote() << line;
    report(line);
}

void MapZone::readInt(const QJsonObject &obj, const char *name, int min, int max, int *value,
                      const QString &owner) const
{
    const QString line = Rtls::readIntKey(obj, name, min, max, value, owner);
    if (line.isEmpty())
        return;
    qCWarning(lcMap).noquote() << line;
    report(line);
}

void MapZone::fromJSON(const QJsonObject &obj)
{
    CubeVolume::fromJSON(obj);
    const QJsonValue name = obj.value(key("name"));
    if (name.isString())
        m_name = name.toString();
    const QJsonValue id = obj.value(key("id"));
    if (id.isString())
        m_id = Rtls::parseHex64(id.toString());
    else if (id.isUndefined())
        m_id = 0;
    // A zone needs an id (its commands and events name it): one that is
    // missing, of another type or not hexadecimal is made as for a missing one.
    if (m_id == 0)
        m_id = idFromClock();
    const QJsonValue image = obj.value(key("image"));
    if (image.isString())
        setImage(image.toString());
    const QJsonValue commands = obj.value(key("cmdlist"));
    if (commands.isObject())
        m_commands = commands.toObject();
    const QJsonValue target = obj.value(key("target"));
    if (target.isString()) {
        const QString text = target.toString();
        m_target = text == QLatin1String(Map::kZoneSelfTarget) ? 0 : Rtls::parseHex64(text);
    }
    const QString owner = tr("Zone %1").arg(m_name);
    readInt(obj, "level", 0, Map::kZoneMaxLevel, &m_level, owner);
    readColor(obj, "under_level_color", Map::kZoneDefaultUnderColor, &m_underColor);
    readColor(obj, "over_level_color", Map::kZoneDefaultOverColor, &m_overColor);
    int mode = m_mode;
    readInt(obj, "mode", FloorPlan, Machine, &mode, owner);
    m_mode = static_cast<Mode>(mode);
    const QJsonValue drawHeight = obj.value(key("draw_height"));
    if (drawHeight.isDouble())
        m_drawHeight = drawHeight.toDouble();
    const QJsonValue type = obj.value(key("type"));
    if (type.isString())
        setType(type.toString());
}

QJsonObject MapZone::toJSON() const
{
    QJsonObject obj = CubeVolume::toJSON();
    obj.insert(key("name"), m_name);
    obj.insert(key("id"), hexText(m_id));
    obj.insert(key("image"), m_image);
    obj.insert(key("mode"), int(m_mode));
    obj.insert(key("level"), m_level);
    obj.insert(key("under_level_color"), m_underColor.name());
    obj.insert(key("over_level_color"), m_overColor.name());
    obj.insert(key("draw_height"), m_drawHeight);
    // A zone whose mode does not follow from its type (a translucent box
    // has no type of its own) is written without one: a reader keeps the
    // mode of a zone without "type", and lets "type" decide otherwise.
    if (modeForType(m_type) == m_mode)
        obj.insert(key("type"), m_type);
    obj.insert(key("cmdlist"), m_commands);
    if (m_target != 0)
        obj.insert(key("target"), hexText(m_target));
    return obj;
}

void MapZone::draw(double floorSize, double floorExtend)
{
    if (m_mode == TranslucentBox)
        return;
    const qglviewer::Vec p = m_frame.position();
    const double length = m_size.x;
    const double width = m_size.y;
    // Heights are spread as world heights, so that the box drawn is the box
    // that isInside tests, on every storey.
    const double base = MapGeometry::spread(p.z, floorSize, floorExtend);
    const double plan = MapGeometry::spread(p.z + m_drawHeight, floorSize, floorExtend) - base;
    const double roof = MapGeometry::spread(p.z + m_drawHeight + m_size.z, floorSize, floorExtend) - base;

    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT);
    glPushMatrix();
    glTranslated(p.x, p.y, base);
    glDisable(GL_LIGHTING);
    switch (m_mode) {
    case FloorPlan: {
        const unsigned int texture = m_texture.bind(true, kGlSource);
        if (texture != 0) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        }
        const float s = m_texture.s();
        const float t = m_texture.t();
        glColor3f(1.0f, 1.0f, 1.0f);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 1.0f - t);
        glVertex3d(0.0, 0.0, plan);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3d(0.0, width, plan);
        glTexCoord2f(s, 1.0f);
        glVertex3d(length, width, plan);
        glTexCoord2f(s, 1.0f - t);
        glVertex3d(length, 0.0, plan);
        glEnd();
        break;
    }
    case Storage: {
        const QColor c = levelColor();
        glColor3f(c.redF(), c.greenF(), c.blueF());
        glLineWidth(MapPixelRatio::lineWidth(Map::kZoneLineWidth));
        outline(length, width, plan);
        break;
    }
    case Machine: {
        const QColor c = levelColor();
        glColor3f(c.redF(), c.greenF(), c.blueF());
        glLineWidth(MapPixelRatio::lineWidth(Map::kZoneLineWidth));
        outline(length, width, plan);
        outline(length, width, roof);
        glBegin(GL_LINES);
        const double corners[4][2] = {{0.0, 0.0}, {length, 0.0}, {length, width}, {0.0, width}};
        for (const auto &corner : corners) {
            glVertex3d(corner[0], corner[1], plan);
            glVertex3d(corner[0], corner[1], roof);
        }
        glEnd();
        break;
    }
    default:
        break;
    }
    glPopMatrix();
    glPopAttrib();
}

void MapZone::drawFaces(double floorSize, double floorExtend)
{
    if (m_mode != TranslucentBox)
        return;
    const qglviewer::Vec lo = minCorner();
    const qglviewer::Vec hi = maxCorner();
    const double z0 = MapGeometry::spread(lo.z, floorSize, floorExtend);
    const double z1 = MapGeometry::spread(hi.z, floorSize, floorExtend);
    const QColor c = levelColor();

    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // The faces must not hide what stands inside the zone.
    glDepthMask(GL_FALSE);
    glColor4f(c.redF(), c.greenF(), c.blueF(), Map::kZoneFaceAlpha);
    const double x[2] = {lo.x, hi.x};
    const double y[2] = {lo.y, hi.y};
    const double z[2] = {z0, z1};
    GlBox::faces(x, y, z);
    glPopAttrib();
}

void MapZone::releaseGL()
{
    m_texture.release();
}
