#pragma once

#include <QLatin1String>
#include <QVarLengthArray>

// The values of a JSON object's known keys, found in one walk over the
// object (View: RtlsQtJsonView or RtlsSimdJsonView). Looking each key up
// would compare key texts for every known key, thirty of which a report
// carries eight; the walk pays one comparison run per key present. Of two
// equal keys the last one counts, as in Qt's parser. A known key that is
// absent reads as an absent value.
template<typename View>
class RtlsJsonFields
{
public:
    // names[i] is the key whose value field i holds.
    RtlsJsonFields(const View &object, const QLatin1String *names, int count)
    {
        m_values.resize(count);
        object.forEachMember([&](const auto &key, const View &value) {
            for (int i = 0; i < count; ++i) {
                if (View::keyIs(key, names[i])) {
                    m_values[i] = value;
                    break;
                }
            }
        });
    }

    const View &operator[](int field) const { return m_values[field]; }

private:
    static constexpr int kInlineFields = 40;
    QVarLengthArray<View, kInlineFields> m_values;
};
