#include "StreamTimeText.h"

#include "StreamConstants.h"

#include <QDateTime>

#include <cmath>

namespace {
// Well inside both qint64 and QDateTime's range (about 292 million years).
constexpr double kLargestMsecs = 8.0e15;

// Local time costs the C library a look at the zone file on every
// conversion; the echo of a busy stream stamps thousands of lines a second,
// nearly all within the same second. The text up to the milliseconds is
// kept for the last second seen (per thread: replay and the live stream may
// stamp on different threads).
QString textOf(qint64 msecs)
{
    thread_local qint64 cachedSecond = 0;
    thread_local QString cachedPrefix;
    const qint64 second = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
    const int millis = int(msecs - second * 1000);
    if (cachedPrefix.isEmpty() || second != cachedSecond) {
        QString full = QDateTime::fromMSecsSinceEpoch(second * 1000).toString(QLatin1String(Stream::kTimeFormat));
        // The format ends in the three digits of the milliseconds.
        full.chop(3);
        cachedPrefix = full;
        cachedSecond = second;
    }
    QString text = cachedPrefix;
    text += QLatin1Char(char('0' + millis / 100));
    text += QLatin1Char(char('0' + millis / 10 % 10));
    text += QLatin1Char(char('0' + millis % 10));
    return text;
}
} // namespace

QString StreamTimeText::fromSeconds(double seconds)
{
    const double msecs = std::floor(1000.0 * seconds);
    if (!std::isfinite(msecs) || std::fabs(msecs) > kLargestMsecs)
        return placeholder();
    return textOf(static_cast<qint64>(msecs));
}

QString StreamTimeText::now()
{
    return textOf(QDateTime::currentMSecsSinceEpoch());
}

QString StreamTimeText::placeholder()
{
    return QString::fromLatin1(Stream::kNoTimeText);
}
