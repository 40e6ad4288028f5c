#pragma once

#include "MapNodeSource.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QHash>
#include <QJsonObject>
#include <QList>

#include <memory>

// Stands in for the hub: a registry of real node records that a test fills,
// and a list of the commands the scene would have sent.
class FakeNodeSource : public MapNodeSource
{
public:
    RtlsObject *findNode(uint64_t id) const override { return m_nodes.value(id, nullptr); }
    QList<RtlsObject *> nodes() const override { return m_order; }
    uint64_t masterId() const override { return master; }
    void sendJson(const QJsonObject &command) override { sent.append(command); }

    RtlsObject *add(uint64_t id, const QString &mode)
    {
        auto *node = new RtlsObject(id);
        node->setMode(mode);
        m_owned.emplace_back(node);
        m_nodes.insert(id, node);
        m_order.append(node);
        return node;
    }

    RtlsObject *add(uint64_t id, const QString &mode, float x, float y, float z)
    {
        RtlsObject *node = add(id, mode);
        node->pos()->setPos(x, y, z);
        return node;
    }

    void remove(uint64_t id)
    {
        m_order.removeOne(m_nodes.take(id));
    }

    uint64_t master = 0;
    QList<QJsonObject> sent;

private:
    std::vector<std::unique_ptr<RtlsObject>> m_owned;
    QHash<uint64_t, RtlsObject *> m_nodes;
    QList<RtlsObject *> m_order;
};
