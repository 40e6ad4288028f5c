#include "HubNodeSource.h"

#include "SentrovaInterface.h"

HubNodeSource *HubNodeSource::instance()
{
    static HubNodeSource source;
    return &source;
}

RtlsObject *HubNodeSource::findNode(uint64_t id) const
{
    return SentrovaInterface::instance()->node(id);
}

QList<RtlsObject *> HubNodeSource::nodes() const
{
    return SentrovaInterface::instance()->nodes().values();
}

uint64_t HubNodeSource::masterId() const
{
    return SentrovaInterface::instance()->masterId();
}

void HubNodeSource::sendJson(const QJsonObject &command)
{
    SentrovaInterface::instance()->sendJson(command);
}
