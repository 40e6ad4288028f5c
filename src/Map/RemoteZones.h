#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>

class MapScene;
class QJsonObject;
class RemoteSite;

// The zones of a remote site on a map: each definition the site publishes is
// made or changed on the scene by its id, and removed when the site deletes
// it. The scene counts the tags in them from the positions it is given, as it
// does for zones of its own; their commands are not published, so a view
// sends none.
class RemoteZones : public QObject
{
    Q_OBJECT

public:
    // Applies the zones the site already holds at once.
    RemoteZones(RemoteSite *site, MapScene *scene, QObject *parent = nullptr);

public slots:
    void define(uint64_t zoneId, const QJsonObject &definition);
    void remove(uint64_t zoneId);

private:
    QPointer<MapScene> m_scene;
};
