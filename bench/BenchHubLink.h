#pragma once

#include "RtlsHubLink.h"
#include "RtlsObject.h"

#include <QHash>
#include <QObject>

#include <cstdint>

// The hub's part in a location report, at the hub's cost: the registry and
// the non-anchor table as hashes, announcements counted instead of emitted.
// Counts each received report once: the end of a TLV datagram announces a
// new node as added and then updated, which is still one report.
class BenchHubLink : public RtlsHubLink
{
public:
    void postMessage(const QString &) override { ++messages; }
    RtlsObject *findNode(uint64_t id) const override { return m_registry.value(id); }
    bool hasNonAnchor(uint64_t id) const override { return m_nonAnchors.contains(id); }
    void insertNonAnchor(RtlsObject *node) override
    {
        node->setParent(&m_owner);
        m_nonAnchors.insert(node->id(), node);
        if (!m_registry.contains(node->id()))
            m_registry.insert(node->id(), node);
    }
    void announceNodeAdded(RtlsObject *node) override
    {
        ++reports;
        m_justAdded = node;
    }
    void announceNodeUpdated(RtlsObject *node) override
    {
        if (node != m_justAdded)
            ++reports;
        m_justAdded = nullptr;
    }
    void announceLocationData(const QJsonObject &) override
    {
        ++locationReports;
        m_justAdded = nullptr;
    }
    // As the hub when no view listens to lsDataReceived, which is the case.
    bool wantsLocationData() const override { return false; }
    void requestDetails(uint64_t) override { ++detailRequests; }

    int nodeCount() const { return m_registry.size(); }

    qint64 reports = 0;
    qint64 locationReports = 0;
    qint64 messages = 0;
    qint64 detailRequests = 0;

private:
    QObject m_owner;
    QHash<uint64_t, RtlsObject *> m_registry;
    QHash<uint64_t, RtlsObject *> m_nonAnchors;
    RtlsObject *m_justAdded = nullptr;
};
