#pragma once

#include "RtlsObject.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "sim/SimProcess.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

// What the node tool tests share: the simulated site they run against, the
// console through which they read what went out on the wire, and the
// driving of context menus and the dialogs these open.
namespace ToolsTest {

constexpr int kWait = 15000;

inline QString sitePath()
{
    return QStringLiteral(SENTROVA_SOURCE_DIR "/tests/Tools/site_nodetools.json");
}

inline quint32 loopback()
{
    return QHostAddress(QHostAddress::LocalHost).toIPv4Address();
}

inline SentrovaInterface *hub()
{
    return SentrovaInterface::instance();
}

// Starts the simulator on the test site and connects the process's hub to
// it by address.
inline bool startSite(SimProcess &sim, const QStringList &extra = {})
{
    if (!sim.start(QStringList{QStringLiteral("--site"), sitePath()} + extra))
        return false;
    hub()->svc()->setServicePort(sim.port);
    hub()->svc()->masterDetected(loopback());
    return true;
}

// Connects again after a command that made the hub drop its masters.
inline void reconnect()
{
    hub()->svc()->masterDetected(loopback());
}

// The hub's console, from which the commands sent are read back as the
// service channel echoes them ("SVC_OUT n) {...}").
class Console
{
public:
    Console() : spy(hub(), &SentrovaInterface::displayMessage) {}

    // Every command written since the last call, in order, keep-alive pings
    // left out. A marker line goes out last, so that everything sent before
    // it has surely been written; each marker is unique, since a line
    // identical to one still queued is not sent twice.
    QList<QJsonObject> sent()
    {
        const int marker = ++m_markers;
        hub()->sendJson(QJsonObject{{"command", "probeMarker"}, {"n", marker}});
        QList<QJsonObject> out;
        const bool marked = QTest::qWaitFor([&] {
            out.clear();
            for (const QJsonObject &obj : written()) {
                if (obj.value(QLatin1String("command")) == QLatin1String("probeMarker")) {
                    if (obj.value(QLatin1String("n")).toInt() == marker)
                        return true;
                    continue;
                }
                out.append(obj);
            }
            return false;
        }, kWait);
        if (!marked)
            qWarning() << "the marker never went out; console:" << lines();
        spy.clear();
        return out;
    }

    QStringList lines() const
    {
        QStringList out;
        for (const auto &args : spy)
            out.append(args.at(0).toString());
        return out;
    }

    void clear()
    {
        sent();
    }

    QSignalSpy spy;

private:
    int m_markers = 0;

    QList<QJsonObject> written() const
    {
        QList<QJsonObject> out;
        for (const QString &line : lines()) {
            if (!line.startsWith(QLatin1String("SVC_OUT ")))
                continue;
            const int start = line.indexOf(QLatin1String(") "));
            const QJsonObject obj = QJsonDocument::fromJson(line.mid(start + 2).trimmed().toUtf8()).object();
            if (obj.value(QLatin1String("command")) != QLatin1String("ping"))
                out.append(obj);
        }
        return out;
    }
};

inline QJsonObject json(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

// Commands as compact JSON texts (keys sorted), for comparisons that show
// what differs.
inline QStringList texts(const QList<QJsonObject> &objects)
{
    QStringList out;
    for (const QJsonObject &obj : objects)
        out.append(QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact)));
    return out;
}

inline QStringList texts(const QByteArray &one)
{
    return texts(QList<QJsonObject>{json(one)});
}

// The entry of `menu` at `path` (submenu texts, then the entry's text).
inline QAction *findAction(QMenu *menu, const QStringList &path)
{
    QMenu *at = menu;
    for (int i = 0; i < path.size(); ++i) {
        QAction *found = nullptr;
        for (QAction *a : at->actions())
            if (a->text() == path.at(i))
                found = a;
        if (!found)
            return nullptr;
        if (i == path.size() - 1)
            return found;
        if (!found->menu())
            return nullptr;
        at = found->menu();
    }
    return nullptr;
}

// Every entry of a menu as "Submenu/Entry", separators and the title left
// out, in menu order.
inline QStringList menuTexts(QMenu *menu, const QString &prefix = QString())
{
    QStringList out;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            continue;
        const QString text = prefix.isEmpty() ? a->text() : prefix + QLatin1Char('/') + a->text();
        out.append(text);
        if (a->menu())
            out += menuTexts(a->menu(), text);
    }
    return out;
}

enum class MenuResult { Absent, Disabled, Triggered };

// Opens the context menu of `item` as a right click would, runs `inMenu`
// on it while it is shown, and closes it.
inline void withContextMenu(QTreeWidget *tree, QTreeWidgetItem *item, const std::function<void(QMenu *)> &inMenu)
{
    tree->scrollToItem(item);
    const QPoint pos = tree->visualItemRect(item).center();
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (menu) {
            inMenu(menu);
            ran = true;
            menu->close();
        }
    });
    emit tree->customContextMenuRequested(pos);
    QVERIFY2(ran, "no context menu was shown");
}

// Triggers the entry at `path` of the context menu of `item`; `onDialog`
// gets the modal dialog the entry opens, if any.
inline MenuResult triggerMenu(QTreeWidget *tree, QTreeWidgetItem *item, const QStringList &path,
                              const std::function<void(QWidget *)> &onDialog = {})
{
    MenuResult result = MenuResult::Absent;
    withContextMenu(tree, item, [&](QMenu *menu) {
        QAction *action = findAction(menu, path);
        if (!action)
            return;
        // A submenu that cannot be opened disables what it holds.
        bool enabled = action->isEnabled();
        for (QObject *p = action->parent(); p; p = p->parent())
            if (auto *m = qobject_cast<QMenu *>(p))
                enabled = enabled && m->isEnabled();
        if (!enabled) {
            result = MenuResult::Disabled;
            return;
        }
        if (onDialog)
            QTimer::singleShot(0, [&] { onDialog(QApplication::activeModalWidget()); });
        action->trigger();
        result = MenuResult::Triggered;
    });
    return result;
}

inline QStringList contextMenuTexts(QTreeWidget *tree, QTreeWidgetItem *item)
{
    QStringList texts;
    withContextMenu(tree, item, [&](QMenu *menu) { texts = menuTexts(menu); });
    return texts;
}

// The colour at the middle of a row's icon, as drawn.
inline QColor iconColour(const QIcon &icon)
{
    const QImage image = icon.pixmap(32, 32).toImage();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace ToolsTest
