#include "JsonRead.h"

#include <QString>
#include <cmath>

bool JsonRead::integer(const QJsonValue &v, qint64 *out)
{
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (!std::isfinite(d) || std::fabs(d) > 9.0e15)
            return false;
        *out = qint64(d);
        return true;
    }
    if (v.isString()) {
        bool ok = false;
        const QString s = v.toString().trimmed();
        const qint64 n = s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? s.mid(2).toLongLong(&ok, 16)
                                                                                 : s.toLongLong(&ok, 10);
        if (ok)
            *out = n;
        return ok;
    }
    return false;
}

bool JsonRead::number(const QJsonValue &v, double *out)
{
    if (v.isDouble()) {
        *out = v.toDouble();
        return std::isfinite(*out);
    }
    if (v.isString()) {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        if (ok && std::isfinite(d))
            *out = d;
        return ok && std::isfinite(d);
    }
    return false;
}

bool JsonRead::hexId(const QJsonValue &v, quint64 *out)
{
    if (!v.isString())
        return false;
    QString s = v.toString().trimmed();
    if (s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        s = s.mid(2);
    if (s.isEmpty() || s.size() > 16)
        return false;
    bool ok = false;
    const quint64 n = s.toULongLong(&ok, 16);
    if (ok)
        *out = n;
    return ok;
}
