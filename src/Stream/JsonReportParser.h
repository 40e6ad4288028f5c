#pragma once

#include <QByteArray>

#include <memory>
#include <vector>

namespace simdjson {
namespace dom {
class parser;
}
} // namespace simdjson

class RtlsSimdJsonView;

// The location stream's fast JSON parser (simdjson), for report lines that
// Qt's parser would read the same way. It takes a line only when it is a
// JSON object that Qt would accept too; anything else (a parse error, a
// document that is no object, a number Qt refuses) is left to Qt's parser,
// which names the fault on the console. The model reads both through the
// same view interface, so a report means the same whichever parser read it.
class JsonReportParser
{
public:
    JsonReportParser();
    ~JsonReportParser();
    JsonReportParser(const JsonReportParser &) = delete;
    JsonReportParser &operator=(const JsonReportParser &) = delete;

    // True, with the report's object in *root, when the line is taken; the
    // view is valid until the next parse.
    bool parse(const QByteArray &line, RtlsSimdJsonView *root);

private:
    std::unique_ptr<simdjson::dom::parser> m_parser;
    // The line with the zero bytes simdjson may read past its end.
    std::vector<char> m_padded;
};
