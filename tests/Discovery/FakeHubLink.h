#pragma once

#include "RtlsHubLink.h"

#include <QStringList>

// Collects console lines in place of the hub; the rest of the hub's face is
// not used by discovery.
class FakeHubLink : public RtlsHubLink
{
public:
    FakeHubLink() { setCurrent(this); }
    ~FakeHubLink() override { setCurrent(nullptr); }

    void postMessage(const QString &line) override { lines.append(line); }
    RtlsObject *findNode(uint64_t) const override { return nullptr; }
    bool hasNonAnchor(uint64_t) const override { return false; }
    void insertNonAnchor(RtlsObject *) override {}
    void announceNodeAdded(RtlsObject *) override {}
    void announceNodeUpdated(RtlsObject *) override {}
    void announceLocationData(const QJsonObject &) override {}
    void requestDetails(uint64_t) override {}

    QStringList lines;
};
