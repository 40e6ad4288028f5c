#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QVector>

class SiteEngine;
class FirmwareTable;
struct SimNode;

// The master's side of the service channel: answers one command object
// with response objects and changes the site's state. Socket-free.
class CommandHandler
{
public:
    struct Result {
        QVector<QJsonObject> responses;
        bool closeConnections = false;
        bool formatChanged = false;
        bool scheduleChanged = false;
    };

    CommandHandler(SiteEngine &engine, FirmwareTable &firmware);

    Result handle(const QJsonObject &cmd, qint64 nowMs);
    // A line that is not a JSON object.
    static QJsonObject parseError(const QString &why);
    QJsonObject versionResponse() const;

private:
    using Handler = void (CommandHandler::*)(const QJsonObject &, Result &);
    SiteEngine &m_engine;
    FirmwareTable &m_fw;
    QHash<QString, Handler> m_handlers;
    qint64 m_now = 0;

    static QJsonObject reply(const QJsonObject &cmd);
    static QJsonObject error(const QJsonObject &cmd, const QString &why);
    SimNode *node(const QJsonObject &cmd, Result &res);

    void version(const QJsonObject &, Result &);
    void ping(const QJsonObject &, Result &);
    void reset(const QJsonObject &, Result &);
    void ok(const QJsonObject &, Result &);
    void listAnchors(const QJsonObject &, Result &);
    void listTags(const QJsonObject &, Result &);
    void listNodeConfig(const QJsonObject &, Result &);
    void setNodeConfig(const QJsonObject &, Result &);
    void removeNodeConfig(const QJsonObject &, Result &);
    void getTdmaScheme(const QJsonObject &, Result &);
    void setTdmaScheme(const QJsonObject &, Result &);
    void setUwbConfig(const QJsonObject &, Result &);
    void getOutDataFormat(const QJsonObject &, Result &);
    void setOutDataFormat(const QJsonObject &, Result &);
    void getDetails(const QJsonObject &, Result &);
    void getStats(const QJsonObject &, Result &);
    void getDist(const QJsonObject &, Result &);
    void getPos(const QJsonObject &, Result &);
    void setPos(const QJsonObject &, Result &);
    void setAutoPos(const QJsonObject &, Result &);
    void removeAnchorCoor(const QJsonObject &, Result &);
    void getRoles(const QJsonObject &, Result &);
    void changeRoles(const QJsonObject &, Result &);
    void getSeat(const QJsonObject &, Result &);
    void setSeat(const QJsonObject &, Result &);
    void getTdmaDetails(const QJsonObject &, Result &);
    void getParent(const QJsonObject &, Result &);
    void setParent(const QJsonObject &, Result &);
    void setGroup(const QJsonObject &, Result &);
    void getMode(const QJsonObject &, Result &);
    void setMode(const QJsonObject &, Result &);
    void getFreeMask(const QJsonObject &, Result &);
    void getUwbAntConfig(const QJsonObject &, Result &);
    void setUwbAntConfig(const QJsonObject &, Result &);
    void sensOut(const QJsonObject &, Result &);
    void setUserData(const QJsonObject &, Result &);
    void setDio8(const QJsonObject &, Result &);
    void newSess(const QJsonObject &, Result &);
    void removeAnchors(const QJsonObject &, Result &);
    void scanInfra(const QJsonObject &, Result &);
    void listFwDesc(const QJsonObject &, Result &);
    void enableFwDesc(const QJsonObject &, Result &);
    void removeFwDesc(const QJsonObject &, Result &);
    void bootFwDesc(const QJsonObject &, Result &);
    void saveFwDescList(const QJsonObject &, Result &);
    void simParkTag(const QJsonObject &, Result &);
};
