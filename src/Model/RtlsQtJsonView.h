#pragma once

#include "RtlsConvert.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>

#include <cstdint>

// A read-only view of one JSON value parsed by Qt, with the small set of
// questions the model's JSON update asks (see RtlsJsonUpdate.h). The same
// questions are answered for simdjson's values by RtlsSimdJsonView, so the
// model's meaning of a report is written once for both parsers. An absent
// value (a key that is not there) is a view of an undefined value.
class RtlsQtJsonView
{
public:
    RtlsQtJsonView() = default;
    explicit RtlsQtJsonView(const QJsonValue &value) : m_value(value) {}
    explicit RtlsQtJsonView(const QJsonObject &object) : m_value(object) {}
    explicit RtlsQtJsonView(const QJsonArray &array) : m_value(array) {}

    bool isPresent() const { return !m_value.isUndefined(); }
    bool isObject() const { return m_value.isObject(); }
    bool isArray() const { return m_value.isArray(); }
    bool isString() const { return m_value.isString(); }
    bool isNumber() const { return m_value.isDouble(); }

    // 0 for anything that is not a number.
    double number() const { return m_value.toDouble(); }
    // An integer number that fits an int, else 0 (QJsonValue::toInt()).
    int integer() const { return m_value.toInt(); }
    // Empty for anything that is not a string.
    QString text() const { return m_value.toString(); }
    // A string read as hexadecimal (Rtls::parseHex64); 0 for anything else.
    uint64_t hex() const { return m_value.isString() ? Rtls::parseHex64(m_value.toString()) : 0; }
    bool textEquals(QLatin1String text) const { return m_value.isString() && m_value.toString() == text; }
    bool textEquals(const QString &text) const { return m_value.isString() && m_value.toString() == text; }

    // The value under key of an object; absent for a missing key or a value
    // that is no object.
    RtlsQtJsonView member(QLatin1String key) const { return RtlsQtJsonView(m_value.toObject().value(key)); }

    // f(key, value) for every member of an object, in no particular order.
    template<typename F>
    void forEachMember(F &&f) const
    {
        const QJsonObject object = m_value.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            f(it.key(), RtlsQtJsonView(it.value()));
    }

    // f(value) for every element of an array, in order.
    template<typename F>
    void forEachElement(F &&f) const
    {
        const QJsonArray array = m_value.toArray();
        for (const QJsonValue &element : array)
            f(RtlsQtJsonView(element));
    }

    static bool keyIs(const QString &key, QLatin1String name) { return key.size() == name.size() && key == name; }

private:
    QJsonValue m_value{QJsonValue::Undefined};
};
