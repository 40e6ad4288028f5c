// The firmware dialog's response parser on arbitrary bytes: the record walk
// and name reading from every position of the message.
#include "QMDnsResponse.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray message(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QMDnsResponse response(message);
    if (QMDnsResponse::hasResponseFlags(message))
        response.readRecords();
    for (int pos = 0; pos <= message.size(); ++pos) {
        QString name;
        int used = 0;
        if (QMDnsResponse::readName(message, pos, &name, &used) && (used <= 0 || pos + used > message.size()))
            __builtin_trap();
    }
    return 0;
}
