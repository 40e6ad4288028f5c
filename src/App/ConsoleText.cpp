#include "ConsoleText.h"

#include "AppConstants.h"

#include <QTime>

QString ConsoleText::line(const QTime &time, const QString &message)
{
    return time.toString(QLatin1String(AppConstants::kConsoleTimeFormat)) + QLatin1String(": ")
        + message;
}
