#include "QMDnsResponse.h"

#include "DiscoveryConstants.h"
#include "DiscoveryLog.h"

#include <QStringList>

namespace {

// Bytes past the end of the message read as zero.
quint8 byteAt(const QByteArray &message, int index)
{
    if (index < 0 || index >= message.size())
        return 0;
    return static_cast<quint8>(message.at(index));
}

quint16 read16(const QByteArray &message, int index)
{
    return static_cast<quint16>((byteAt(message, index) << 8) | byteAt(message, index + 1));
}

} // namespace

QMDnsResponse::QMDnsResponse(const QByteArray &message)
    : m_message(message)
{
}

bool QMDnsResponse::hasResponseFlags(const QByteArray &message)
{
    return message.size() >= 3 && read16(message, 2) == Discovery::kResponseFlags;
}

bool QMDnsResponse::readRecords()
{
    using namespace Discovery;
    int pos = kDnsHeaderSize;
    while (pos < m_message.size()) {
        Record record;
        int used = 0;
        if (!readName(m_message, pos, &record.name, &used)) {
            qCDebug(lcDiscovery) << "Failed to parse name";
            return false;
        }
        const int fixed = pos + used;
        record.type = read16(m_message, fixed);
        const int length = read16(m_message, fixed + 8);
        record.data = m_message.mid(fixed + kRecordFixedSize, length);
        m_records.append(record);
        pos = fixed + kRecordFixedSize + length;
    }
    return true;
}

bool QMDnsResponse::readName(const QByteArray &message, int pos, QString *name, int *used)
{
    using namespace Discovery;
    QStringList labels;
    int p = pos;
    int segmentStart = pos;
    int occupied = -1;
    while (true) {
        if (p < 0 || p >= message.size())
            return false;
        const quint8 length = byteAt(message, p);
        if (length == 0) {
            if (occupied < 0)
                occupied = p - pos + 1;
            break;
        }
        if (length >= kPointerMark) {
            if (p + 1 >= message.size())
                return false;
            const int target = ((length & ~kPointerMark) << 8) | byteAt(message, p + 1);
            // Pointing into the stretch just read (or forwards) would loop.
            if (target >= segmentStart || target < kDnsHeaderSize)
                return false;
            if (occupied < 0)
                occupied = p - pos + 2;
            p = segmentStart = target;
            continue;
        }
        if (length > kMaxLabelLength || p + 1 + length > message.size())
            return false;
        labels.append(QString::fromUtf8(message.constData() + p + 1, length));
        p += 1 + length;
    }
    *name = labels.join(QLatin1Char('.'));
    *used = occupied;
    return true;
}
