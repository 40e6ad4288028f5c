#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

class RtlsObject;

// Topic names and payloads of what the manager publishes to a broker. Pure
// functions: the publisher decides when, these decide what it looks like.
//
//   <prefix>/tags/<id>/position   {"id","x","y","z","pqf","timestamp"}
//   <prefix>/nodes/<id>/status    {"id","name","mode","battery","inactive"}  retained
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
QByteArray managerTopic(const QString &prefix);

// False when a value is not finite (the payload is then left empty).
bool positionPayload(QByteArray *out, uint64_t id, double x, double y, double z, int pqf,
                     double timestamp);

// battery < 0 means unknown (written as null).
QByteArray statusPayload(uint64_t id, const QString &name, const QString &mode, double battery,
                         bool inactive);

QByteArray zoneEventPayload(uint64_t zoneId, const QString &zoneName, uint64_t nodeId, bool entered,
                            double timestamp);

QByteArray managerPayload(bool online);

// The report's own time stamp in seconds: the JSON path keeps milliseconds,
// the TLV path seconds; a node never heard from the stream gives the time it
// was last updated.
double reportTime(const RtlsObject &node);

// Battery voltage in volts, or -1 when none was reported: JSON reports give
// volts, TLV reports millivolts.
double batteryVolts(float vbat);

// "0x" + at least four upper-case hexadecimal digits.
QByteArray hexId(uint64_t id);

} // namespace MqttMessages
