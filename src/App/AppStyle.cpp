#include "AppStyle.h"

#include "AppConstants.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

void AppStyle::apply()
{
    QStyle *style = QStyleFactory::create(QLatin1String(AppConstants::kPreferredStyle));
    if (!style)
        style = QStyleFactory::create(QLatin1String(AppConstants::kFallbackStyle));
    if (style)
        QApplication::setStyle(style);
}
