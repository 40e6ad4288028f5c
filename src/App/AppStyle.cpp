#include "AppStyle.h"

#include "AppConstants.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStyle>
#include <QStyleFactory>

void AppStyle::enableHighDpi()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

void AppStyle::apply()
{
    QStyle *style = QStyleFactory::create(QLatin1String(AppConstants::kPreferredStyle));
    if (!style)
        style = QStyleFactory::create(QLatin1String(AppConstants::kFallbackStyle));
    if (style)
        QApplication::setStyle(style);
}
