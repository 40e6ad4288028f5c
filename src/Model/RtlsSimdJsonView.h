#pragma once

#include "RtlsConvert.h"

#include <QLatin1String>
#include <QString>

#include <simdjson.h>

#include <climits>
#include <cstdint>
#include <string_view>

// The questions of RtlsQtJsonView, answered for a value parsed by simdjson,
// with Qt's answers: numbers of every kind read as doubles (a zero always
// positive, as Qt keeps it), strings as UTF-8 turned into QString. An object
// that names a key twice is never given to it (Qt's choice between the values
// is its own). Valid while the parser that made the value keeps its document.
class RtlsSimdJsonView
{
public:
    RtlsSimdJsonView() = default;
    explicit RtlsSimdJsonView(simdjson::dom::element element) : m_element(element), m_present(true) {}

    bool isPresent() const { return m_present; }
    bool isObject() const { return m_present && m_element.type() == simdjson::dom::element_type::OBJECT; }
    bool isArray() const { return m_present && m_element.type() == simdjson::dom::element_type::ARRAY; }
    bool isString() const { return m_present && m_element.type() == simdjson::dom::element_type::STRING; }
    bool isNumber() const
    {
        if (!m_present)
            return false;
        const auto type = m_element.type();
        return type == simdjson::dom::element_type::DOUBLE || type == simdjson::dom::element_type::INT64
            || type == simdjson::dom::element_type::UINT64;
    }

    double number() const
    {
        double value = 0.0;
        if (!isNumber() || m_element.get_double().get(value) != simdjson::SUCCESS)
            return 0.0;
        return value == 0.0 ? 0.0 : value;
    }

    int integer() const
    {
        if (!isNumber())
            return 0;
        const double value = number();
        if (!(value >= double(INT_MIN) && value <= double(INT_MAX)))
            return 0;
        const int i = int(value);
        return double(i) == value ? i : 0;
    }

    QString text() const
    {
        const std::string_view s = view();
        return QString::fromUtf8(s.data(), int(s.size()));
    }

    uint64_t hex() const { return isString() ? Rtls::parseHex64(view()) : 0; }
    bool textEquals(QLatin1String text) const
    {
        return isString() && view() == std::string_view(text.data(), size_t(text.size()));
    }

    // Without making a QString for the usual short ASCII texts.
    bool textEquals(const QString &text) const
    {
        if (!isString())
            return false;
        const std::string_view s = view();
        if (s.size() != size_t(text.size()))
            return text == QString::fromUtf8(s.data(), int(s.size()));
        for (size_t i = 0; i < s.size(); ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            if (c >= 0x80)
                return text == QString::fromUtf8(s.data(), int(s.size()));
            if (text.at(int(i)).unicode() != c)
                return false;
        }
        return true;
    }

    RtlsSimdJsonView member(QLatin1String key) const
    {
        RtlsSimdJsonView found;
        forEachMember([&](std::string_view k, const RtlsSimdJsonView &value) {
            if (keyIs(k, key))
                found = value;
        });
        return found;
    }

    template<typename F>
    void forEachMember(F &&f) const
    {
        simdjson::dom::object object;
        if (!m_present || m_element.get_object().get(object) != simdjson::SUCCESS)
            return;
        for (const simdjson::dom::key_value_pair field : object)
            f(field.key, RtlsSimdJsonView(field.value));
    }

    template<typename F>
    void forEachElement(F &&f) const
    {
        simdjson::dom::array array;
        if (!m_present || m_element.get_array().get(array) != simdjson::SUCCESS)
            return;
        for (const simdjson::dom::element element : array)
            f(RtlsSimdJsonView(element));
    }

    static bool keyIs(std::string_view key, QLatin1String name)
    {
        return key == std::string_view(name.data(), size_t(name.size()));
    }

private:
    std::string_view view() const
    {
        std::string_view s;
        if (!isString() || m_element.get_string().get(s) != simdjson::SUCCESS)
            return {};
        return s;
    }

    simdjson::dom::element m_element;
    bool m_present = false;
};
