#include "RtlsAlert.h"

#include <QApplication>
#include <QMessageBox>

namespace {
bool g_dialogsAllowed = true;
}

void RtlsAlert::critical(const QString &title, const QString &text)
{
    if (!canShowDialogs())
        return;
    auto *box = new QMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

bool RtlsAlert::canShowDialogs()
{
    if (!g_dialogsAllowed || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void RtlsAlert::setDialogsAllowed(bool allowed)
{
    g_dialogsAllowed = allowed;
}
