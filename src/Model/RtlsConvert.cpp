#include "RtlsConvert.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <climits>
#include <cmath>

namespace {

constexpr int kMaxHexDigits = 16;

template<typename Char>
int hexDigit(Char c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Ids arrive as hexadecimal text in every JSON report; nearly all are an
// optional "0x" and at most 16 digits with nothing around them, which this
// reads without the copies that trimming and Qt's number parser make.
// Anything else is left to the general parser.
template<typename Char>
bool parsePlainHex(const Char *p, int n, uint64_t &out)
{
    if (n >= 2 && p[0] == Char('0') && (p[1] == Char('x') || p[1] == Char('X'))) {
        p += 2;
        n -= 2;
    }
    if (n == 0 || n > kMaxHexDigits)
        return false;
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        const int d = hexDigit(p[i]);
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    out = v;
    return true;
}

} // namespace

namespace Rtls {

uint64_t parseHex64(const QString &text)
{
    uint64_t plain = 0;
    if (parsePlainHex(reinterpret_cast<const char16_t *>(text.constData()), text.size(), plain))
        return plain;
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

uint64_t parseHex64(std::string_view text)
{
    uint64_t plain = 0;
    if (text.size() <= size_t(kMaxHexDigits + 2) && parsePlainHex(text.data(), int(text.size()), plain))
        return plain;
    // Anything unusual (spaces, a sign) gets exactly the rules above.
    return parseHex64(QString::fromUtf8(text.data(), int(qMin<size_t>(text.size(), size_t(INT_MAX)))));
}

uint32_t parseHex32(std::string_view text)
{
    const uint64_t v = parseHex64(text);
    return v > 0xFFFFFFFFull ? 0 : static_cast<uint32_t>(v);
}

QString hexId(uint64_t id)
{
    return QStringLiteral("%1").arg(static_cast<qulonglong>(id), 4, 16, QLatin1Char('0')).toUpper();
}

QString readIntKey(const QJsonObject &obj, const char *key, int min, int max, int *value,
                   const QString &owner)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    if (v.isUndefined())
        return QString();
    // toInt() would give 0 for 2.5 or 1e10 and silently change the setting.
    const double d = v.toDouble();
    if (v.isDouble() && std::isfinite(d) && std::trunc(d) == d && d >= min && d <= max) {
        *value = int(d);
        return QString();
    }
    // The value as the file wrote it.
    QString given = QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact));
    given = given.mid(1, given.size() - 2);
    // One substitution pass: a zone's name may itself hold "%3".
    return QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4 (%5), keeping %6")
        .arg(owner, QLatin1String(key), QString::number(min), QString::number(max), given,
             QString::number(*value));
}

QString hexText(uint64_t id)
{
    return QStringLiteral("0x") + hexId(id);
}

} // namespace Rtls
