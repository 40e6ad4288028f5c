#pragma once

#include <QString>

class QTime;

// How a console line is stamped.
class ConsoleText
{
public:
    // "HH:mm:ss: " followed by the message.
    static QString line(const QTime &time, const QString &message);
};
