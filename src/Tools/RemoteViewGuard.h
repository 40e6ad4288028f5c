#pragma once

#include <QString>

class QAction;
class QMenu;
class QWidget;

// In a remote view (a site shown from the broker) nothing may go to a
// master: every entry that would send a command is disabled and says why
// in its tooltip. Views call these where they make such entries; outside a
// remote view they change nothing.
class RemoteViewGuard
{
public:
    static bool isActive();
    // The tooltip of every entry disabled for it.
    static QString reason();

    // Disabled with the reason, when the view is remote; returns whether it was.
    static bool guard(QAction *action);
    static bool guard(QWidget *widget);
    // Every entry of the menu and of its submenus but those that are not
    // commands (a title, a separator), and the menu shows the tooltips.
    static void guardMenu(QMenu *menu, const QAction *keep = nullptr);
};
