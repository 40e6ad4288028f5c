#pragma once

#include <QString>

// The local-time text of a report's time stamp for the console.
class StreamTimeText
{
public:
    // floor(1000 × seconds) milliseconds since the epoch as local time, or
    // the placeholder text when the value is no representable time (NaN,
    // infinite or beyond the calendar).
    static QString fromSeconds(double seconds);
    static QString now();
    static QString placeholder();
};
