#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Handles the next modal dialog once it is shown: call before the code that
// runs the dialog's own event loop. The dialog is closed afterwards if the
// handler left it open, so that a failed check cannot hang the test.
inline void onModalDialog(QObject *context, std::function<void(QWidget *)> handle)
{
    auto *timer = new QTimer(context);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, context, [timer, handle] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        const QPointer<QWidget> guard(modal);
        handle(modal);
        if (guard && guard->isVisible())
            guard->close();
    });
    timer->start();
}
