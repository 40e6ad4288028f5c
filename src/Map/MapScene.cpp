#include "MapScene.h"

#include "HubNodeSource.h"
#include "MapColors.h"
#include "MapConstants.h"
#include "MapGrid.h"
#include "MapHeat.h"
#include "MapLog.h"
#include "MapZone.h"
#include "NodeObject.h"
#include "RtlsConvert.h"
#include "RtlsIMU.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QJsonArray>

namespace {

using Rtls::key;

// Selection numbers (GL names for picking) are unique in the process.
int g_nextSelectionNumber = 1;

} // namespace

MapScene::MapScene(MapNodeSource *source, QObject *parent)
    : QObject(parent),
      m_source(source ? source : HubNodeSource::instance()),
      m_grid(new MapGrid(this)),
      m_heat(new MapHeat(this))
{
    connect(m_grid, &MapGrid::displayMessage, this, &MapScene::postMessage);
    connect(m_heat, &MapHeat::displayMessage, this, &MapScene::postMessage);
    connect(m_grid, &MapGrid::changed, this, &MapScene::markDirty);
    connect(m_grid, &MapGrid::showChanged, this, &MapScene::markDirty);
    connect(m_heat, &MapHeat::changed, this, &MapScene::markDirty);
    connect(m_heat, &MapHeat::showChanged, this, &MapScene::markDirty);
}

MapScene::~MapScene() = default;

void MapScene::postMessage(const QString &line)
{
    emit displayMessage(line);
}

bool MapScene::takeDirty()
{
    const bool dirty = m_dirty;
    m_dirty = false;
    return dirty;
}

void MapScene::releaseTexture(unsigned int name)
{
    if (name != 0)
        m_deadTextures.append(name);
}

QVector<unsigned int> MapScene::takeReleasedTextures()
{
    QVector<unsigned int> names;
    names.swap(m_deadTextures);
    return names;
}

// Zones

uint64_t MapScene::nextZoneId()
{
    // Number of zones plus one, as long as that was never given out and no
    // zone holds it: an id must not come back after a removal.
    uint64_t id = std::max<uint64_t>(uint64_t(m_zones.size()) + 1, m_lastZoneId + 1);
    auto taken = [this](uint64_t candidate) {
        for (const MapZone *zone : qAsConst(m_zones)) {
            if (zone->id() == candidate)
                return true;
        }
        return false;
    };
    while (taken(id))
        ++id;
    m_lastZoneId = id;
    return id;
}

MapZone *MapScene::addZone()
{
    auto *zone = new MapZone(this, this);
    zone->setName(tr("New Zone"));
    zone->setID(nextZoneId());
    m_zones.append(zone);
    emit zoneAdded(zone);
    markDirty();
    return zone;
}

MapZone *MapScene::addZone(const QJsonObject &definition)
{
    auto *zone = new MapZone(this, this);
    zone->fromJSON(definition);
    m_zones.append(zone);
    if (zone->id() < 0x100000000ull)
        m_lastZoneId = std::max<uint64_t>(m_lastZoneId, zone->id());
    emit zoneAdded(zone);
    markDirty();
    return zone;
}

void MapScene::removeZone(MapZone *zone)
{
    if (!zone || !m_zones.removeOne(zone))
        return;
    emit zoneRemoved(zone);
    zone->deleteLater();
    markDirty();
}

void MapScene::zoneChanged(MapZone *zone)
{
    if (!m_zones.contains(zone))
        return;
    emit zoneUpdated(zone);
    markDirty();
}

void MapScene::clearZones()
{
    const QList<MapZone *> old = m_zones;
    m_zones.clear();
    for (MapZone *zone : old) {
        emit zoneRemoved(zone);
        zone->deleteLater();
    }
}

// Nodes

NodeObject *MapScene::objectForSelection(int number) const
{
    for (NodeObject *object : m_objects) {
        if (object->selectionNumber() == number)
            return object;
    }
    return nullptr;
}

QColor MapScene::defaultColor(RtlsObject *node) const
{
    if (!node)
        return QColor(Qt::black);
    return MapColors::defaultColor(node->id(), node->mode(), m_selectedId);
}

QColor MapScene::colorByTemp(RtlsObject *node) const
{
    // A node that never reported a temperature keeps its usual colour.
    if (!node || !node->hasImu())
        return defaultColor(node);
    const QColor c =
        MapColors::temperatureColor(node->imu()->temperature(), m_options.minTemp, m_options.maxTemp);
    return c.isValid() ? c : defaultColor(node);
}

void MapScene::nodeUpdated(RtlsObject *node)
{
    update(node, false);
}

bool MapScene::worthAnObject(const RtlsObject *node)
{
    // Not a node made by one location report and not heard since: an id of
    // a corrupt datagram or of a device sending random ids, until it is
    // heard again. A flood of such ids costs the map neither objects nor
    // frames, and the zones see none of them.
    return !(node->msgFlags() & Rtls::kMsgHeardOnce);
}

void MapScene::placeTag1D(RtlsObject *node, NodeObject *object)
{
    if (!node->hasMeas())
        return;
    // Read in place: every report of every tag comes through here.
    const RtlsMeas *meas = node->meas();
    if (meas->currentCount() == 0)
        return;
    const RtlsMeasEntry *entry = meas->findCurrent(m_source->masterId());
    if (!entry)
        entry = &meas->currentEntry(0);
    if (entry->kind == Rtls::kMeasDistance)
        object->setPosition(entry->value, 0.0, 0.0);
}

void MapScene::update(RtlsObject *node, bool fromRefresh)
{
    if (!node)
        return;
    const uint64_t id = node->id();
    NodeObject *object = m_objects.value(id, nullptr);
    const bool isNew = object == nullptr;
    if (isNew && !worthAnObject(node))
        return;
    if (isNew) {
        object = new NodeObject(this);
        object->setSelectionNumber(g_nextSelectionNumber++);
        object->setId(id);
    }
    object->setMode(node->mode());
    const bool tag = object->isTag();

    // A node without a position record is not given one by being drawn.
    if (tag && (m_options.nodeMode & Map::kMode1D)) {
        placeTag1D(node, object);
    } else if (node->hasPos()) {
        const RtlsPos *pos = node->pos();
        if (!tag || pos->pqf() >= m_options.minPqf) {
            object->setPosition(pos->x(), pos->y(), pos->z());
            object->setHeading(pos->heading());
        }
    }

    const auto image = m_nodeImages.constFind(id);
    if (image != m_nodeImages.constEnd() && image.value() != object->image() && !object->setImage(image.value()))
        postMessage(tr("Unable to load file %1, unsupported file format").arg(image.value()));

    if (isNew) {
        if (tag) {
            object->setHeight(object->height() * Map::kTagSizeFactor);
            object->setRadius(object->radius() * Map::kTagSizeFactor);
        }
        m_objects.insert(id, object);
    } else if (tag && !(fromRefresh && m_inactive.contains(id))) {
        object->setHeight(Map::kTagSize);
        object->setRadius(Map::kTagSize);
        m_inactive.remove(id);
    }
    object->setColor((m_options.nodeMode & Map::kModeTemperature) ? colorByTemp(node) : defaultColor(node));

    if (id == m_selectedId)
        takeMeasurements(node);

    for (MapZone *zone : qAsConst(m_zones))
        zone->nodeUpdated(node);
    markDirty();
}

void MapScene::takeMeasurements(RtlsObject *node)
{
    if (node && node->hasMeas())
        m_selectedMeas = node->meas()->current();
    else
        m_selectedMeas.clear();
}

void MapScene::nodeInActive(RtlsObject *node)
{
    if (!node)
        return;
    if (NodeObject *object = m_objects.value(node->id(), nullptr)) {
        object->setHeight(Map::kInactiveSize);
        object->setRadius(Map::kInactiveSize);
        m_inactive.insert(node->id());
    }
    for (MapZone *zone : qAsConst(m_zones))
        zone->nodeInactive(node);
    markDirty();
}

void MapScene::refreshAnchors()
{
    for (auto it = m_objects.begin(); it != m_objects.end();) {
        if (m_source->findNode(it.key())) {
            ++it;
            continue;
        }
        releaseTexture(it.value()->takeTextureName());
        delete it.value();
        m_inactive.remove(it.key());
        m_heat->forgetNode(it.key());
        it = m_objects.erase(it);
    }
    const QList<RtlsObject *> nodes = m_source->nodes();
    for (RtlsObject *node : nodes)
        update(node, true);
}

void MapScene::addKnownNodes()
{
    const QList<RtlsObject *> nodes = m_source->nodes();
    for (RtlsObject *node : nodes)
        update(node, false);
}

void MapScene::selectId(uint64_t id)
{
    m_selectedId = id;
    if (NodeObject *previous = m_objects.value(m_highlightedId, nullptr))
        previous->setColor(defaultColor(m_source->findNode(m_highlightedId)));
    m_highlightedId = id;
    if (NodeObject *selected = m_objects.value(id, nullptr))
        selected->setColor(QColor(Qt::red).lighter(Map::kSelectedLighten));
    takeMeasurements(m_source->findNode(id));
    m_heat->selectNode(id);
    markDirty();
}

void MapScene::clearHistory()
{
    for (NodeObject *object : qAsConst(m_objects))
        object->clearHistory();
    markDirty();
}

// Settings document

QJsonObject MapScene::toJSON(QJsonObject root, const GuiSettings &gui) const
{
    const QJsonValue nodes = root.value(key("node"));
    if (nodes.isArray()) {
        QJsonArray array = nodes.toArray();
        for (int i = 0; i < array.size(); ++i) {
            QJsonObject element = array.at(i).toObject();
            const uint64_t id = Rtls::parseHex64(element.value(key("id")).toString());
            const auto image = m_nodeImages.constFind(id);
            if (id == 0 || image == m_nodeImages.constEnd())
                continue;
            element.insert(key("image"), image.value());
            array.replace(i, element);
        }
        root.insert(key("node"), array);
    }

    QJsonArray zones;
    for (const MapZone *zone : m_zones)
        zones.append(zone->toJSON());
    root.insert(key("zone"), zones);
    root.insert(key("heat"), m_heat->toJSON());

    QJsonObject guiObj;
    guiObj.insert(key("background-color"), gui.background.name());
    guiObj.insert(key("perspective"), gui.perspective);
    guiObj.insert(key("grid"), m_grid->toJSON());
    root.insert(key("gui"), guiObj);
    return root;
}

MapScene::GuiSettings MapScene::fromJSON(const QJsonObject &root)
{
    const QJsonValue nodes = root.value(key("node"));
    if (nodes.isArray()) {
        const QJsonArray array = nodes.toArray();
        for (const QJsonValue &v : array) {
            const QJsonObject element = v.toObject();
            const QJsonValue image = element.value(key("image"));
            const uint64_t id = Rtls::parseHex64(element.value(key("id")).toString());
            if (id == 0 || !image.isString())
                continue;
            m_nodeImages.insert(id, image.toString());
        }
    }

    const QJsonValue zones = root.value(key("zone"));
    if (zones.isArray()) {
        clearZones();
        const QJsonArray array = zones.toArray();
        for (const QJsonValue &v : array) {
            // Something that is not a zone object would become a phantom
            // zone at the origin, saved back with the next save.
            if (!v.isObject()) {
                const QString line = tr("Map: a zone that is not a JSON object is skipped");
                qCWarning(lcMap).noquote() << line;
                postMessage(line);
                continue;
            }
            auto *zone = new MapZone(this, this);
            zone->fromJSON(v.toObject());
            m_zones.append(zone);
            emit zoneAdded(zone);
        }
        for (const MapZone *zone : qAsConst(m_zones)) {
            if (zone->id() < 0x100000000ull)
                m_lastZoneId = std::max<uint64_t>(m_lastZoneId, zone->id());
        }
    }

    const QJsonValue heat = root.value(key("heat"));
    if (heat.isObject())
        m_heat->fromJSON(heat.toObject());

    GuiSettings settings;
    const QJsonValue gui = root.value(key("gui"));
    if (gui.isObject()) {
        const QJsonObject guiObj = gui.toObject();
        const QJsonValue background = guiObj.value(key("background-color"));
        if (background.isString()) {
            settings.hasBackground = true;
            settings.background = QColor(background.toString());
            if (!settings.background.isValid()) {
                const QColor fallback(Map::kBackgroundRed, Map::kBackgroundGreen, Map::kBackgroundBlue);
                const QString line = tr("Map: invalid background colour \"%1\", using %2")
                                         .arg(background.toString(), fallback.name());
                qCWarning(lcMap).noquote() << line;
                postMessage(line);
                settings.background = fallback;
            }
        }
        const QJsonValue grid = guiObj.value(key("grid"));
        if (grid.isObject())
            m_grid->fromJSON(grid.toObject());
        const QJsonValue guiHeat = guiObj.value(key("heat"));
        if (guiHeat.isObject())
            m_heat->fromJSON(guiHeat.toObject());
        const QJsonValue perspective = guiObj.value(key("perspective"));
        if (perspective.isBool()) {
            settings.hasPerspective = true;
            settings.perspective = perspective.toBool();
        }
    }
    markDirty();
    return settings;
}
