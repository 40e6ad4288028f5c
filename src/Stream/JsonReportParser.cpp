#include "JsonReportParser.h"

#include "RtlsSimdJsonView.h"

#include <simdjson.h>

#include <cstring>

namespace {

// An object that names a key twice: Qt keeps one of the values by rules of
// its own (not always the last), where a walk over simdjson's fields would see
// both. No master sends such a line; it goes to Qt so the answer is one.
// Objects with very many keys go there too, so the check stays small.
constexpr size_t kMostKeysCompared = 64;

bool repeatsAKey(simdjson::dom::object object)
{
    size_t index = 0;
    for (const simdjson::dom::key_value_pair field : object) {
        if (++index > kMostKeysCompared)
            return true;
        size_t earlier = 1;
        for (const simdjson::dom::key_value_pair other : object) {
            if (earlier++ == index)
                break;
            if (other.key == field.key)
                return true;
        }
    }
    return false;
}

// Qt refuses a number that underflows to zero ("1e-400"), where simdjson
// reads 0. Such a line goes to Qt, which decides; so does any other
// fractional zero, which is rare in a report and costs only that detour.
bool readsAsQtReadsIt(simdjson::dom::element element)
{
    switch (element.type()) {
    case simdjson::dom::element_type::DOUBLE: {
        double value = 0.0;
        return element.get_double().get(value) == simdjson::SUCCESS && value != 0.0;
    }
    case simdjson::dom::element_type::ARRAY: {
        simdjson::dom::array array;
        if (element.get_array().get(array) != simdjson::SUCCESS)
            return false;
        for (const simdjson::dom::element item : array)
            if (!readsAsQtReadsIt(item))
                return false;
        return true;
    }
    case simdjson::dom::element_type::OBJECT: {
        simdjson::dom::object object;
        if (element.get_object().get(object) != simdjson::SUCCESS || repeatsAKey(object))
            return false;
        for (const simdjson::dom::key_value_pair field : object)
            if (!readsAsQtReadsIt(field.value))
                return false;
        return true;
    }
    default:
        return true;
    }
}

} // namespace

JsonReportParser::JsonReportParser()
    : m_parser(std::make_unique<simdjson::dom::parser>())
{
}

JsonReportParser::~JsonReportParser() = default;

bool JsonReportParser::parse(const QByteArray &line, RtlsSimdJsonView *root)
{
    const size_t length = size_t(line.size());
    if (m_padded.size() < length + simdjson::SIMDJSON_PADDING)
        m_padded.resize(length + simdjson::SIMDJSON_PADDING);
    std::memcpy(m_padded.data(), line.constData(), length);
    std::memset(m_padded.data() + length, 0, simdjson::SIMDJSON_PADDING);
    simdjson::dom::element element;
    if (m_parser->parse(m_padded.data(), length, false).get(element) != simdjson::SUCCESS)
        return false;
    if (element.type() != simdjson::dom::element_type::OBJECT || !readsAsQtReadsIt(element))
        return false;
    *root = RtlsSimdJsonView(element);
    return true;
}
