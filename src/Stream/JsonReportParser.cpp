#include "JsonReportParser.h"

#include "RtlsSimdJsonView.h"

#include <simdjson.h>

#include <cstring>

namespace {

// Qt refuses a number that underflows to zero ("1e-400"), where simdjson
// reads 0. Such a line goes to Qt, which decides; so does any other
// fractional zero, which is rare in a report and costs only that detour.
bool numbersAsQtReadsThem(simdjson::dom::element element)
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
            if (!numbersAsQtReadsThem(item))
                return false;
        return true;
    }
    case simdjson::dom::element_type::OBJECT: {
        simdjson::dom::object object;
        if (element.get_object().get(object) != simdjson::SUCCESS)
            return false;
        for (const simdjson::dom::key_value_pair field : object)
            if (!numbersAsQtReadsThem(field.value))
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
    if (element.type() != simdjson::dom::element_type::OBJECT || !numbersAsQtReadsThem(element))
        return false;
    *root = RtlsSimdJsonView(element);
    return true;
}
