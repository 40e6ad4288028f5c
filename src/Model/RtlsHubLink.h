#pragma once

#include <QString>

#include <cstdint>

class QJsonObject;
class RtlsObject;

// The narrow face of the hub that the engine's subsystems (model, location
// stream, discovery) are allowed to see. The hub implements it; tests give a
// small fake. Keeping this list short keeps the knot between the subsystems
// visible in one place.
class RtlsHubLink
{
public:
    virtual ~RtlsHubLink();

    // One console line (the hub emits displayMessage and logs it).
    virtual void postMessage(const QString &line) = 0;

    // Node registry: every known node by full id; null when unknown.
    virtual RtlsObject *findNode(uint64_t id) const = 0;
    // Non-anchor table (tags and everything not added as an anchor).
    virtual bool hasNonAnchor(uint64_t id) const = 0;
    // Puts a node into the non-anchor table, and into the registry when the
    // registry has no entry for its id yet. Announces nothing.
    virtual void insertNonAnchor(RtlsObject *node) = 0;

    // Announcements, forwarded as the hub's node signals.
    virtual void announceNodeAdded(RtlsObject *node) = 0;
    virtual void announceNodeUpdated(RtlsObject *node) = 0;
    // A location report as received (the hub's lsDataReceived).
    virtual void announceLocationData(const QJsonObject &report) = 0;
    // Whether anyone listens to those: a report read by the fast parser is
    // made into a QJsonObject only then.
    virtual bool wantsLocationData() const { return true; }

    // Asks the masters for a node's details ("getDetails").
    virtual void requestDetails(uint64_t id) = 0;

    // The process-wide link, set by the hub when it is created. May be null
    // (model code used without a hub, for example in tests).
    static RtlsHubLink *current();
    static void setCurrent(RtlsHubLink *link);
};
