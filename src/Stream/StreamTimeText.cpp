#include "StreamTimeText.h"

#include "StreamConstants.h"

#include <QDateTime>

#include <cmath>

namespace {
// Well inside both qint64 and QDateTime's range (about 292 million years).
constexpr double kLargestMsecs = 8.0e15;
} // namespace

QString StreamTimeText::fromSeconds(double seconds)
{
    const double msecs = std::floor(1000.0 * seconds);
    if (!std::isfinite(msecs) || std::fabs(msecs) > kLargestMsecs)
        return placeholder();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(msecs))
        .toString(QLatin1String(Stream::kTimeFormat));
}

QString StreamTimeText::now()
{
    return QDateTime::currentDateTime().toString(QLatin1String(Stream::kTimeFormat));
}

QString StreamTimeText::placeholder()
{
    return QString::fromLatin1(Stream::kNoTimeText);
}
