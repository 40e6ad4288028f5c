#pragma once

#include "MapNodeSource.h"

// The map's view of the process's hub.
class HubNodeSource : public MapNodeSource
{
public:
    static HubNodeSource *instance();

    RtlsObject *findNode(uint64_t id) const override;
    QList<RtlsObject *> nodes() const override;
    uint64_t masterId() const override;
    void sendJson(const QJsonObject &command) override;

private:
    HubNodeSource() = default;
};
