// Arbitrary bytes as a multicast DNS query to the simulator's responder:
// the questions are read, answered, and every answer written must read
// back as a well-formed response.
#include "DnsCodec.h"
#include "MdnsResponder.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MdnsResponder responder(0x1000, 8784);
    QVector<DnsCodec::Question> questions;
    bool isResponse = false;
    const QByteArray wire(reinterpret_cast<const char *>(data), static_cast<int>(size));
    if (!DnsCodec::readQuery(wire, &questions, &isResponse))
        return 0;
    QVector<DnsCodec::Record> answers;
    for (const DnsCodec::Question &q : questions) {
        answers += responder.answer(q, QHostAddress(QStringLiteral("192.0.2.1")));
        DnsCodec::Record echo;
        echo.name = q.name;
        echo.type = DnsCodec::PTR;
        echo.target = q.name;
        answers.append(echo);
    }
    if (answers.isEmpty())
        return 0;
    const QByteArray out = DnsCodec::writeResponse(answers);
    QVector<DnsCodec::Question> none;
    bool response = false;
    if (!out.isEmpty() && (!DnsCodec::readQuery(out, &none, &response) || !response || !none.isEmpty()))
        std::abort();
    return 0;
}
