#include "ConsoleText.h"

#include "AppConstants.h"

#include <QDateTime>
#include <QTime>

QString ConsoleText::line(const QTime &time, const QString &message)
{
    return time.toString(QLatin1String(AppConstants::kConsoleTimeFormat)) + QLatin1String(": ")
        + message;
}

QString ConsoleText::line(qint64 msecsSinceEpoch, const QString &message)
{
    thread_local qint64 cachedSecond = 0;
    thread_local QString cachedStamp;
    const qint64 second = msecsSinceEpoch >= 0 ? msecsSinceEpoch / 1000 : -((-msecsSinceEpoch + 999) / 1000);
    if (cachedStamp.isEmpty() || second != cachedSecond) {
        cachedStamp = line(QDateTime::fromMSecsSinceEpoch(second * 1000).time(), QString());
        cachedSecond = second;
    }
    return cachedStamp + message;
}
