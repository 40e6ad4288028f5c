#pragma once

#include <QString>

class QTime;

// How a console line is stamped.
class ConsoleText
{
public:
    // "HH:mm:ss: " followed by the message.
    static QString line(const QTime &time, const QString &message);
    // The same, stamped with the local time of the given moment
    // (milliseconds since the epoch). The stamp is made once per second:
    // a stream echoed at thousands of lines a second would otherwise ask the
    // C library for the local time, and so look at the zone file, per line.
    static QString line(qint64 msecsSinceEpoch, const QString &message);
};
