#include "RtlsConvert.h"

namespace Rtls {

uint64_t parseHex64(const QString &text)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    // A sign is not part of a hexadecimal id; toULongLong would accept one.
    if (t.isEmpty() || t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-')))
        return 0;
    bool ok = false;
    const qulonglong v = t.toULongLong(&ok, 16);
    return ok ? v : 0;
}

uint32_t parseHex32(const QString &text)
{
    const uint64_t v = parseHex64(text);
    return v > 0xFFFFFFFFull ? 0 : static_cast<uint32_t>(v);
}

QString hexId(uint64_t id)
{
    return QStringLiteral("%1").arg(static_cast<qulonglong>(id), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace Rtls
