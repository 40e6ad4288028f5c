#pragma once

#include <QJsonValue>

// Tolerant readers for command values: the protocol sends numbers both as
// JSON numbers and as decimal or hexadecimal strings.
class JsonRead
{
public:
    static bool integer(const QJsonValue &v, qint64 *out);
    static bool number(const QJsonValue &v, double *out);
    // "0x1A2", "1A2": hexadecimal node identifier or mask.
    static bool hexId(const QJsonValue &v, quint64 *out);
};
