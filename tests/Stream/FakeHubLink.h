#pragma once

#include "RtlsHubLink.h"
#include "RtlsObject.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// A hub with just the registry, the non-anchor table and a log of what was
// announced, so the stream's effects can be checked without the real hub.
class FakeHubLink : public RtlsHubLink
{
public:
    void postMessage(const QString &line) override { messages.append(line); }
    RtlsObject *findNode(uint64_t id) const override { return registry.value(id); }
    bool hasNonAnchor(uint64_t id) const override { return nonAnchors.contains(id); }
    void insertNonAnchor(RtlsObject *node) override
    {
        node->setParent(&owner);
        nonAnchors.insert(node->id(), node);
        if (!registry.contains(node->id()))
            registry.insert(node->id(), node);
    }
    void announceNodeAdded(RtlsObject *node) override { events.append(QStringLiteral("added ") + node->idString()); }
    void announceNodeUpdated(RtlsObject *node) override { events.append(QStringLiteral("updated ") + node->idString()); }
    void announceLocationData(const QJsonObject &report) override { locationData.append(report); }
    void requestDetails(uint64_t id) override { detailsRequested.append(id); }

    // A known tag, as the hub would hold it after an earlier report.
    RtlsObject *addTag(uint64_t id)
    {
        auto *node = new RtlsObject(id);
        insertNonAnchor(node);
        return node;
    }

    QObject owner;
    QHash<uint64_t, RtlsObject *> registry;
    QHash<uint64_t, RtlsObject *> nonAnchors;
    QStringList messages;
    QStringList events;
    QList<QJsonObject> locationData;
    QList<uint64_t> detailsRequested;
};
