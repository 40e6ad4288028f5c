#pragma once

#include <QLoggingCategory>
#include <QStringList>
#include <QtGlobal>

// Collects what is logged on sentrova.console (switched on at info level),
// so that a test can check that a console line was logged as well as shown.
// Everything else goes to the handler that was installed before.
namespace ConsoleLogCapture {

inline QStringList &lines()
{
    static QStringList logged;
    return logged;
}

inline QtMessageHandler &previousHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

inline void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "sentrova.console") == 0)
        lines() << message;
    else if (previousHandler())
        previousHandler()(type, context, message);
}

inline void install()
{
    QLoggingCategory::setFilterRules(QStringLiteral("sentrova.console.info=true"));
    previousHandler() = qInstallMessageHandler(handle);
}

} // namespace ConsoleLogCapture
