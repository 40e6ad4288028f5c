#pragma once

#include <QJsonObject>
#include <QList>

#include <cstdint>

class RtlsObject;

// What the map's scene needs of the hub: the nodes, the master it talks to,
// and a way to send a zone's command. Tests give the scene a small fake.
class MapNodeSource
{
public:
    virtual ~MapNodeSource();

    virtual RtlsObject *findNode(uint64_t id) const = 0;
    // Every known node, in the hub's order.
    virtual QList<RtlsObject *> nodes() const = 0;
    // Id of the master whose version answer came last (0 while none).
    virtual uint64_t masterId() const = 0;
    virtual void sendJson(const QJsonObject &command) = 0;
};
