#include "RemoteViewGuard.h"

#include "SentrovaInterface.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QWidget>

bool RemoteViewGuard::isActive()
{
    return SentrovaInterface::instance()->isRemote();
}

QString RemoteViewGuard::reason()
{
    return QCoreApplication::translate("RemoteViewGuard",
                                       "This is a remote view of the site: nothing is sent to the masters "
                                       "(the manager that runs the site commands them)");
}

bool RemoteViewGuard::guard(QAction *action)
{
    if (!action || !isActive())
        return false;
    action->setEnabled(false);
    action->setToolTip(reason());
    action->setStatusTip(reason());
    return true;
}

bool RemoteViewGuard::guard(QWidget *widget)
{
    if (!widget || !isActive())
        return false;
    widget->setEnabled(false);
    widget->setToolTip(reason());
    return true;
}

void RemoteViewGuard::guardMenu(QMenu *menu, const QAction *keep)
{
    if (!menu || !isActive())
        return;
    menu->setToolTipsVisible(true);
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action == keep || action->isSeparator())
            continue;
        if (QMenu *sub = action->menu())
            guardMenu(sub, keep);
        else
            guard(action);
    }
}
