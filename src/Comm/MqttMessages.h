#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <cstdint>

class RtlsObject;

// Topic names and payloads of what the manager publishes to a broker. Pure
// functions: the publisher decides when, these decide what it looks like.
//
//   <prefix>/tags/<id>/position   {"id","x","y","z","pqf","timestamp"}
//   <prefix>/nodes/<id>/status    {"id","name","mode","category","battery","inactive"}
//                                 and "x","y","z" (the known axes) for anchors
//                                 and masters; retained
//   <prefix>/zones/<id>/config    the zone's definition, retained; an empty
//                                 retained message when it is deleted
//   <prefix>/zones/<id>/events    {"zone","name","id","event","timestamp"}
//   <prefix>/manager/status       {"online"}  retained, also the last will
//
// Ids are written as everywhere else in the system: "0x" and at least four
// upper-case hexadecimal digits. Coordinates are metres to the millimetre,
// time stamps seconds since the epoch to the millisecond.
namespace MqttMessages {

QByteArray positionTopic(const QString &prefix, uint64_t id);
QByteArray statusTopic(const QString &prefix, uint64_t id);
QByteArray zoneTopic(const QString &prefix, uint64_t zoneId);
QByteArray zoneConfigTopic(const QString &prefix, uint64_t zoneId);
// Every zone's definition.
QByteArray zoneConfigFilter(const QString &prefix);
QByteArray managerTopic(const QString &prefix);

// What a node's status says.
struct NodeStatus
{
    uint64_t id = 0;
    QString name;
    QString mode;
    QString category;
    // Volts; < 0: unknown (written as null).
    double battery = -1.0;
    bool inactive = false;
    // The axes known, for anchors and masters only (tags move: their
    // position is on their own topic).
    bool hasX = false, hasY = false, hasZ = false;
    double x = 0.0, y = 0.0, z = 0.0;

    bool operator==(const NodeStatus &other) const;
    bool operator!=(const NodeStatus &other) const { return !(*this == other); }
};

// False when a value is not finite (the payload is then left empty).
bool positionPayload(QByteArray *out, uint64_t id, double x, double y, double z, int pqf,
                     double timestamp);

QByteArray statusPayload(const NodeStatus &status);

QByteArray zoneEventPayload(uint64_t zoneId, const QString &zoneName, uint64_t nodeId, bool entered,
                            double timestamp);

QByteArray managerPayload(bool online);

// A zone's definition as published, from its settings-file object: the box
// with every coordinate written (0 too), name, id, type, mode, level,
// colours; without the floor-plan image (a file of the publishing machine)
// and the "on_enter"/"on_exit" commands (only the manager that runs the site
// sends them).
QByteArray zoneConfigPayload(const QJsonObject &zone);

// The report's own time stamp in seconds: the JSON path keeps milliseconds,
// the TLV path seconds; a node never heard from the stream gives the time it
// was last updated.
double reportTime(const RtlsObject &node);

// Battery voltage in volts, or -1 when none was reported: JSON reports give
// volts, TLV reports millivolts.
double batteryVolts(float vbat);

// "0x" + at least four upper-case hexadecimal digits.
QByteArray hexId(uint64_t id);

// Reading what a manager published (a remote view of its site).

enum class TopicKind { Unknown, Position, Status, ZoneConfig, ZoneEvent, Manager };
struct Topic
{
    TopicKind kind = TopicKind::Unknown;
    // The node's or the zone's id; 0 for the manager's own topic.
    uint64_t id = 0;
};
Topic parseTopic(const QString &prefix, const QByteArray &topic);
// The filters a remote view subscribes to.
QList<QByteArray> siteSubscriptions(const QString &prefix);

// A position message as one report line of the location stream
// ({"id","timestamp","coordinates":{"x","y","z","pqf"}}), so that it takes
// the stream's own way into the model. False for anything that is not a
// position of the node the topic names.
bool positionReport(const QByteArray &payload, uint64_t topicId, QByteArray *line);
// False when the payload is no status of the node the topic names.
bool readStatus(const QByteArray &payload, uint64_t topicId, NodeStatus *status);
// False when the payload says neither true nor false.
bool readManagerOnline(const QByteArray &payload, bool *online);

} // namespace MqttMessages
