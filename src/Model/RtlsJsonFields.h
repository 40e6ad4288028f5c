#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>
#include <QVarLengthArray>

// The values of a JSON object's known keys, found in one walk over the
// object. Qt looks a key up by a binary search that compares key texts at
// every step, so a reader that knows thirty keys of which a report carries
// eight pays for thirty searches; the walk pays one key copy per key present.
// A known key that is absent reads as an undefined value, as a look-up would.
class RtlsJsonFields
{
public:
    // names[i] is the key whose value field i holds.
    RtlsJsonFields(const QJsonObject &obj, const QLatin1String *names, int count);

    const QJsonValue &operator[](int field) const { return m_values[field]; }

private:
    static constexpr int kInlineFields = 40;
    QVarLengthArray<QJsonValue, kInlineFields> m_values;
};
