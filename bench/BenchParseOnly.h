#pragma once

#include <QByteArray>

// The floor under the stream's cost: a datagram parsed and nothing else
// (no model, no hub). Each returns the number of node reports seen.
class BenchParseOnly
{
public:
    // Walks every element, nested ones too, and reads each value once.
    static int walkTlv(const QByteArray &datagram);
    // Splits the lines and parses each with QJsonDocument::fromJson.
    static int parseJson(const QByteArray &datagram);
    // The same with the stream's fast parser (simdjson, JsonReportParser).
    static int parseJsonFast(const QByteArray &datagram);

    // Keeps the values read from being optimised away.
    static double sink();
};
