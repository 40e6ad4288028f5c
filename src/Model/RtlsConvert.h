#pragma once

#include <QJsonObject>
#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <type_traits>

// Conversions shared by the JSON and TLV paths of the model.
namespace Rtls {

// A double as an integer of type T: truncated toward zero; NaN or a value
// outside T's range gives T's minimum (never undefined behaviour).
template<typename T>
T truncateTo(double v)
{
    static_assert(std::is_integral<T>::value, "integer target only");
    if (std::isnan(v))
        return std::numeric_limits<T>::min();
    const double t = std::trunc(v);
    // 2^digits is exactly representable and is one past T's maximum.
    const double upper = std::ldexp(1.0, std::numeric_limits<T>::digits);
    const double lower = static_cast<double>(std::numeric_limits<T>::min());
    if (t < lower || t >= upper)
        return std::numeric_limits<T>::min();
    return static_cast<T>(t);
}

// Hexadecimal text (an optional "0x"/"0X" prefix accepted) as an unsigned
// number; anything that is not such a number, or does not fit, gives 0.
uint64_t parseHex64(const QString &text);
uint32_t parseHex32(const QString &text);
// The same for UTF-8 text.
uint64_t parseHex64(std::string_view text);
uint32_t parseHex32(std::string_view text);

// An integer key of a settings document: obj[key] goes into *value only
// when it is a JSON number without a fraction from min to max. Anything else
// that is present (2.5, 1e10, "3", null) keeps *value and gives the one
// console line to show, which starts with `owner` ("Zone Dock", "Map grid");
// an absent key or a value taken gives an empty text.
QString readIntKey(const QJsonObject &obj, const char *key, int min, int max, int *value,
                   const QString &owner);

// "%1" of width 4, base 16, fill '0', upper case: 0x1A2 -> "01A2".
QString hexId(uint64_t id);

// The same with the "0x" that settings documents and tables show: "0x01A2".
QString hexText(uint64_t id);

// Anchors and masters stand still: their coordinates are set, not measured.
inline bool isAnchorOrMaster(const QString &mode)
{
    return mode == QLatin1String("anchor") || mode == QLatin1String("master");
}

// A key of a JSON object named by a literal; the look-up needs no QString.
inline QLatin1String key(const char *name)
{
    return QLatin1String(name);
}

} // namespace Rtls
