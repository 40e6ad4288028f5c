#include "CommandHandler.h"

#include "FirmwareTable.h"
#include "JsonRead.h"
#include "SimConstants.h"
#include "SiteEngine.h"

#include <QJsonArray>
#include <limits>

namespace {
constexpr int kDefaultScanCount = 10;
constexpr int kMaxScanCount = 1000;

// A descriptor id beyond int would wrap onto a real slot; -1 names none.
int descriptorSlot(const QJsonObject &cmd)
{
    qint64 slot = -1;
    if (!JsonRead::integer(cmd.value(QStringLiteral("id")), &slot) || slot < 0 ||
        slot > std::numeric_limits<int>::max())
        return -1;
    return int(slot);
}
} // namespace

CommandHandler::CommandHandler(SiteEngine &engine, FirmwareTable &firmware) : m_engine(engine), m_fw(firmware)
{
    m_handlers = {
        {QStringLiteral("version"), &CommandHandler::version},
        {QStringLiteral("ping"), &CommandHandler::ping},
        {QStringLiteral("reset"), &CommandHandler::reset},
        {QStringLiteral("discoverLegacy"), &CommandHandler::ok},
        {QStringLiteral("checkFwUpdate"), &CommandHandler::ok},
        {QStringLiteral("forceFwUpdate"), &CommandHandler::ok},
        {QStringLiteral("listAnchors"), &CommandHandler::listAnchors},
        {QStringLiteral("listTags"), &CommandHandler::listTags},
        {QStringLiteral("listNodeConfig"), &CommandHandler::listNodeConfig},
        {QStringLiteral("setNodeConfig"), &CommandHandler::setNodeConfig},
        {QStringLiteral("removeNodeConfig"), &CommandHandler::removeNodeConfig},
        {QStringLiteral("getTdmaScheme"), &CommandHandler::getTdmaScheme},
        {QStringLiteral("setTdmaScheme"), &CommandHandler::setTdmaScheme},
        {QStringLiteral("setUwbConfig"), &CommandHandler::setUwbConfig},
        {QStringLiteral("getOutDataFormat"), &CommandHandler::getOutDataFormat},
        {QStringLiteral("setOutDataFormat"), &CommandHandler::setOutDataFormat},
        {QStringLiteral("getDetails"), &CommandHandler::getDetails},
        {QStringLiteral("getStats"), &CommandHandler::getStats},
        {QStringLiteral("getDist"), &CommandHandler::getDist},
        {QStringLiteral("getPos"), &CommandHandler::getPos},
        {QStringLiteral("setPos"), &CommandHandler::setPos},
        {QStringLiteral("setAutoPos"), &CommandHandler::setAutoPos},
        {QStringLiteral("removeAnchorCoor"), &CommandHandler::removeAnchorCoor},
        {QStringLiteral("getRoles"), &CommandHandler::getRoles},
        {QStringLiteral("setRoles"), &CommandHandler::changeRoles},
        {QStringLiteral("addRoles"), &CommandHandler::changeRoles},
        {QStringLiteral("removeRoles"), &CommandHandler::changeRoles},
        {QStringLiteral("getSeat"), &CommandHandler::getSeat},
        {QStringLiteral("setSeat"), &CommandHandler::setSeat},
        {QStringLiteral("getTdmaDetails"), &CommandHandler::getTdmaDetails},
        {QStringLiteral("getParent"), &CommandHandler::getParent},
        {QStringLiteral("setParent"), &CommandHandler::setParent},
        {QStringLiteral("setGroup"), &CommandHandler::setGroup},
        {QStringLiteral("getMode"), &CommandHandler::getMode},
        {QStringLiteral("setMode"), &CommandHandler::setMode},
        {QStringLiteral("getFreeMask"), &CommandHandler::getFreeMask},
        {QStringLiteral("getUwbAntConfig"), &CommandHandler::getUwbAntConfig},
        {QStringLiteral("setUwbAntConfig"), &CommandHandler::setUwbAntConfig},
        {QStringLiteral("sensOut"), &CommandHandler::sensOut},
        {QStringLiteral("setUserData"), &CommandHandler::setUserData},
        {QStringLiteral("setDio8"), &CommandHandler::setDio8},
        {QStringLiteral("newSess"), &CommandHandler::newSess},
        {QStringLiteral("removeAnchors"), &CommandHandler::removeAnchors},
        {QStringLiteral("scanInfra"), &CommandHandler::scanInfra},
        {QStringLiteral("listFwDesc"), &CommandHandler::listFwDesc},
        {QStringLiteral("enableFwDesc"), &CommandHandler::enableFwDesc},
        {QStringLiteral("removeFwDesc"), &CommandHandler::removeFwDesc},
        {QStringLiteral("bootFwDesc"), &CommandHandler::bootFwDesc},
        {QStringLiteral("saveFwDescList"), &CommandHandler::saveFwDescList},
        // The simulator's own: no master has it.
        {QStringLiteral("simParkTag"), &CommandHandler::simParkTag},
    };
}

CommandHandler::Result CommandHandler::handle(const QJsonObject &cmd, qint64 nowMs)
{
    m_now = nowMs;
    Result res;
    const QJsonValue name = cmd.value(QStringLiteral("command"));
    if (!name.isString()) {
        res.responses.append(error(cmd, QStringLiteral("missing \"command\"")));
        return res;
    }
    const Handler h = m_handlers.value(name.toString(), nullptr);
    if (!h) {
        res.responses.append(error(cmd, QStringLiteral("unknown command")));
        return res;
    }
    (this->*h)(cmd, res);
    return res;
}

QJsonObject CommandHandler::parseError(const QString &why)
{
    QJsonObject o;
    o.insert(QStringLiteral("response"), QStringLiteral("error"));
    o.insert(QStringLiteral("error"), why);
    return o;
}

QJsonObject CommandHandler::reply(const QJsonObject &cmd)
{
    QJsonObject o;
    o.insert(QStringLiteral("response"), cmd.value(QStringLiteral("command")).toString());
    o.insert(QStringLiteral("status"), QStringLiteral("ok"));
    return o;
}

QJsonObject CommandHandler::error(const QJsonObject &cmd, const QString &why)
{
    QJsonObject o = parseError(why);
    if (cmd.value(QStringLiteral("command")).isString())
        o.insert(QStringLiteral("command"), cmd.value(QStringLiteral("command")));
    return o;
}

SimNode *CommandHandler::node(const QJsonObject &cmd, Result &res)
{
    quint64 id = 0;
    if (!JsonRead::hexId(cmd.value(QStringLiteral("id")), &id)) {
        res.responses.append(error(cmd, QStringLiteral("missing or invalid \"id\"")));
        return nullptr;
    }
    // The radios' short addresses: the low 16 bits name the node.
    SimNode *n = m_engine.site().find(id);
    if (!n)
        n = m_engine.site().find(id & 0xFFFF);
    if (!n)
        res.responses.append(error(cmd, QStringLiteral("unknown node %1").arg(SimNode::idString(id))));
    return n;
}

QJsonObject CommandHandler::versionResponse() const
{
    QJsonObject o;
    o.insert(QStringLiteral("response"), QStringLiteral("version"));
    o.insert(QStringLiteral("id"), SimNode::idString(m_engine.site().masterId()));
    o.insert(QStringLiteral("version"), QStringLiteral("2.10.0-sim"));
    o.insert(QStringLiteral("hwVersion"), QStringLiteral("0x0103"));
    o.insert(QStringLiteral("fwVersion"), QStringLiteral("0x020A"));
    return o;
}

void CommandHandler::version(const QJsonObject &, Result &res)
{
    res.responses.append(versionResponse());
}

void CommandHandler::ping(const QJsonObject &, Result &res)
{
    QJsonObject o;
    o.insert(QStringLiteral("response"), QStringLiteral("ping"));
    res.responses.append(o);
}

void CommandHandler::reset(const QJsonObject &cmd, Result &res)
{
    if (cmd.contains(QStringLiteral("id"))) {
        SimNode *n = node(cmd, res);
        if (!n)
            return;
        n->bootMs = m_now;
        n->reportsSent = n->twrCnt = n->twrErrCnt = n->tdoaCnt = 0;
        QJsonObject o = reply(cmd);
        o.insert(QStringLiteral("id"), n->idString());
        res.responses.append(o);
        // Resetting the master itself drops its service connections.
        res.closeConnections = n->id == m_engine.site().masterId();
        return;
    }
    for (SimNode &n : m_engine.site().nodes)
        n.bootMs = m_now;
    res.responses.append(reply(cmd));
    res.closeConnections = true;
}

void CommandHandler::ok(const QJsonObject &cmd, Result &res)
{
    res.responses.append(reply(cmd));
}

void CommandHandler::listAnchors(const QJsonObject &cmd, Result &res)
{
    QJsonArray a;
    for (int i : m_engine.site().anchorIndexes())
        a.append(m_engine.site().nodes[i].listJson());
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("anchors"), a);
    res.responses.append(o);
}

void CommandHandler::listTags(const QJsonObject &cmd, Result &res)
{
    QJsonArray a;
    for (int i : m_engine.site().tagIndexes())
        a.append(m_engine.site().nodes[i].listJson());
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("tags"), a);
    res.responses.append(o);
}

void CommandHandler::listNodeConfig(const QJsonObject &cmd, Result &res)
{
    QJsonArray a;
    for (const NodeConfig &c : m_engine.site().configs)
        a.append(c.toJson());
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("nodeConfig"), a);
    res.responses.append(o);
}

void CommandHandler::setNodeConfig(const QJsonObject &cmd, Result &res)
{
    qint64 cfgId = 0;
    if (cmd.contains(QStringLiteral("cfgId")) && !JsonRead::integer(cmd.value(QStringLiteral("cfgId")), &cfgId)) {
        res.responses.append(error(cmd, QStringLiteral("invalid cfgId")));
        return;
    }
    QVector<NodeConfig> &configs = m_engine.site().configs;
    int index = -1;
    for (int i = 0; i < configs.size(); ++i)
        if (configs[i].cfgId == cfgId)
            index = i;
    NodeConfig c = index >= 0 ? configs[index] : NodeConfig();
    QString why;
    if (!c.applyJson(cmd, &why)) {
        res.responses.append(error(cmd, why));
        return;
    }
    if (index >= 0)
        configs[index] = c;
    else
        configs.append(c);
    res.scheduleChanged = true;
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("cfgId"), c.cfgId);
    res.responses.append(o);
}

void CommandHandler::removeNodeConfig(const QJsonObject &cmd, Result &res)
{
    m_engine.site().configs = {NodeConfig()};
    res.scheduleChanged = true;
    res.responses.append(reply(cmd));
}

void CommandHandler::getTdmaScheme(const QJsonObject &cmd, Result &res)
{
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("scheme"), m_engine.site().tdmaScheme);
    res.responses.append(o);
}

void CommandHandler::setTdmaScheme(const QJsonObject &cmd, Result &res)
{
    qint64 s = -1;
    if (!JsonRead::integer(cmd.value(QStringLiteral("scheme")), &s) || s < 0 || s >= SimConst::kTdmaSchemeCount) {
        res.responses.append(error(cmd, QStringLiteral("scheme must be 0 to 13")));
        return;
    }
    m_engine.site().tdmaScheme = int(s);
    res.scheduleChanged = true;
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("scheme"), int(s));
    res.responses.append(o);
}

void CommandHandler::setUwbConfig(const QJsonObject &cmd, Result &res)
{
    qint64 chan = 0;
    if (!JsonRead::integer(cmd.value(QStringLiteral("chan")), &chan) || !SimSite::isUwbChannel(chan)) {
        res.responses.append(error(cmd, QStringLiteral("chan must be 1, 2, 3, 4, 5 or 7")));
        return;
    }
    m_engine.site().uwbChannel = int(chan);
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("chan"), int(chan));
    res.responses.append(o);
}

void CommandHandler::getOutDataFormat(const QJsonObject &cmd, Result &res)
{
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("outDataFormat"), m_engine.site().outDataFormat);
    res.responses.append(o);
}

void CommandHandler::setOutDataFormat(const QJsonObject &cmd, Result &res)
{
    const QString f = cmd.value(QStringLiteral("outDataFormat")).toString();
    if (f != QLatin1String("json") && f != QLatin1String("tlv")) {
        res.responses.append(error(cmd, QStringLiteral("outDataFormat must be json or tlv")));
        return;
    }
    res.formatChanged = f != m_engine.site().outDataFormat;
    m_engine.site().outDataFormat = f;
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("outDataFormat"), f);
    res.responses.append(o);
}

void CommandHandler::getDetails(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        QJsonObject o = n->detailsJson();
        o.insert(QStringLiteral("response"), QStringLiteral("getDetails"));
        res.responses.append(o);
    }
}

void CommandHandler::getStats(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        QJsonObject o = n->statsJson(m_now);
        o.insert(QStringLiteral("response"), QStringLiteral("getStats"));
        res.responses.append(o);
    }
}

void CommandHandler::getDist(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        QJsonObject o = reply(cmd);
        o.insert(QStringLiteral("id"), n->idString());
        o.insert(QStringLiteral("meas"), m_engine.distancesJson(n->id));
        res.responses.append(o);
    }
}

void CommandHandler::getPos(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("id"), n->idString());
    if (n->isAnchor()) {
        o.insert(QStringLiteral("coordinates"), n->coordinatesJson());
    } else {
        QJsonObject c;
        c.insert(QStringLiteral("x"), std::round(n->truePos.x * 1000.0) / 1000.0);
        c.insert(QStringLiteral("y"), std::round(n->truePos.y * 1000.0) / 1000.0);
        c.insert(QStringLiteral("z"), std::round(n->truePos.z * 1000.0) / 1000.0);
        o.insert(QStringLiteral("coordinates"), c);
    }
    res.responses.append(o);
}

void CommandHandler::setPos(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    if (!n->isAnchor()) {
        res.responses.append(error(cmd, QStringLiteral("only anchors have set positions")));
        return;
    }
    struct Axis {
        const char *key;
        double *value;
        quint32 bit;
    };
    Vec3 p = n->cfgPos;
    quint32 mask = n->cfgMask;
    const Axis axes[] = {{"x", &p.x, 0x20}, {"y", &p.y, 0x40}, {"z", &p.z, 0x80}};
    for (const Axis &a : axes) {
        const QJsonValue v = cmd.value(QLatin1String(a.key));
        if (v.isUndefined())
            continue;
        double d = 0;
        if (v.toString() == QLatin1String("auto")) {
            mask &= ~a.bit;
        } else if (JsonRead::number(v, &d)) {
            *a.value = d;
            mask |= a.bit;
        } else {
            res.responses.append(error(cmd, QStringLiteral("%1 must be a number or \"auto\"").arg(a.key)));
            return;
        }
    }
    n->cfgPos = p;
    n->cfgMask = mask;
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("id"), n->idString());
    o.insert(QStringLiteral("coordinates"), n->coordinatesJson());
    res.responses.append(o);
}

void CommandHandler::setAutoPos(const QJsonObject &cmd, Result &res)
{
    int resolved = 0;
    QString why;
    const bool ok = m_engine.autoPosition(&resolved, &why);
    QJsonObject o = ok ? reply(cmd) : error(cmd, why);
    o.insert(QStringLiteral("resolved"), resolved);
    res.responses.append(o);
}

void CommandHandler::removeAnchorCoor(const QJsonObject &cmd, Result &res)
{
    for (SimNode &n : m_engine.site().nodes)
        if (n.isAnchor())
            n.cfgMask = 0;
    res.responses.append(reply(cmd));
}

void CommandHandler::getRoles(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        QJsonObject o = reply(cmd);
        o.insert(QStringLiteral("id"), n->idString());
        o.insert(QStringLiteral("roles"), SimNode::hex16(n->roles));
        res.responses.append(o);
    }
}

void CommandHandler::changeRoles(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    quint64 roles = 0;
    if (!JsonRead::hexId(cmd.value(QStringLiteral("roles")), &roles) || roles > 0xFFFFFFFFULL) {
        res.responses.append(error(cmd, QStringLiteral("invalid roles")));
        return;
    }
    const QString c = cmd.value(QStringLiteral("command")).toString();
    if (c == QLatin1String("setRoles"))
        n->roles = quint32(roles);
    else if (c == QLatin1String("addRoles"))
        n->roles |= quint32(roles);
    else
        n->roles &= ~quint32(roles);
    getRoles(cmd, res);
    res.responses.last().insert(QStringLiteral("response"), c);
}

void CommandHandler::getSeat(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        QJsonObject o = reply(cmd);
        o.insert(QStringLiteral("id"), n->idString());
        o.insert(QStringLiteral("seat"), n->seat);
        res.responses.append(o);
    }
}

void CommandHandler::setSeat(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    qint64 seat = 0;
    if (!JsonRead::integer(cmd.value(QStringLiteral("seat")), &seat) || seat < 0 || seat > 255) {
        res.responses.append(error(cmd, QStringLiteral("seat must be 0 to 255")));
        return;
    }
    n->seat = int(seat);
    getSeat(cmd, res);
    res.responses.last().insert(QStringLiteral("response"), QStringLiteral("setSeat"));
}

void CommandHandler::getTdmaDetails(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    QJsonObject o;
    o.insert(QStringLiteral("response"), QStringLiteral("tdmaDetails"));
    o.insert(QStringLiteral("id"), n->idString());
    if (n->seat >= 0) {
        QJsonObject cluster;
        cluster.insert(QStringLiteral("seat"), n->seat);
        cluster.insert(QStringLiteral("scheme"), m_engine.site().tdmaScheme);
        cluster.insert(QStringLiteral("group"), n->group);
        o.insert(QStringLiteral("clusterDetails"), cluster);
    }
    res.responses.append(o);
}

void CommandHandler::getParent(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        QJsonObject o = reply(cmd);
        o.insert(QStringLiteral("id"), n->idString());
        o.insert(QStringLiteral("parent"), n->parent);
        o.insert(QStringLiteral("group"), QString::number(n->group));
        res.responses.append(o);
    }
}

void CommandHandler::setParent(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    if (!cmd.value(QStringLiteral("parent")).isString()) {
        res.responses.append(error(cmd, QStringLiteral("missing \"parent\"")));
        return;
    }
    n->parent = cmd.value(QStringLiteral("parent")).toString();
    getParent(cmd, res);
    res.responses.last().insert(QStringLiteral("response"), QStringLiteral("setParent"));
}

void CommandHandler::setGroup(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    qint64 g = 0;
    if (!JsonRead::integer(cmd.value(QStringLiteral("group")), &g) || g < -1 || g > 0xFFFF) {
        res.responses.append(error(cmd, QStringLiteral("invalid group")));
        return;
    }
    n->group = int(g);
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("id"), n->idString());
    o.insert(QStringLiteral("group"), QString::number(n->group));
    res.responses.append(o);
}

void CommandHandler::getMode(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        QJsonObject o = reply(cmd);
        o.insert(QStringLiteral("id"), n->idString());
        o.insert(QStringLiteral("mode"), n->mode);
        res.responses.append(o);
    }
}

void CommandHandler::setMode(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    const QString m = cmd.value(QStringLiteral("mode")).toString();
    const bool valid = m == QLatin1String("anchor") || m == QLatin1String("tag") || m == QLatin1String("offline");
    if (!valid || n->mode == QLatin1String("master")) {
        res.responses.append(error(cmd, n->mode == QLatin1String("master")
                                            ? QStringLiteral("the master's mode cannot change")
                                            : QStringLiteral("mode must be anchor, tag or offline")));
        return;
    }
    n->mode = m;
    res.scheduleChanged = true;
    getMode(cmd, res);
    res.responses.last().insert(QStringLiteral("response"), QStringLiteral("setMode"));
}

void CommandHandler::getFreeMask(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    quint32 used = 0;
    for (const SimNode &o : m_engine.site().nodes)
        if (o.isAnchor() && o.seat >= 0 && o.seat < 32)
            used |= 1u << o.seat;
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("id"), n->idString());
    o.insert(QStringLiteral("freeMask"),
             QStringLiteral("0x") + QString::number(~used, 16).toUpper().rightJustified(8, QLatin1Char('0')));
    res.responses.append(o);
}

void CommandHandler::getUwbAntConfig(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        QJsonObject o = reply(cmd);
        o.insert(QStringLiteral("id"), n->idString());
        o.insert(QStringLiteral("txDelay"), int(n->txDelay));
        o.insert(QStringLiteral("rxDelay"), int(n->rxDelay));
        res.responses.append(o);
    }
}

void CommandHandler::setUwbAntConfig(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    qint64 tx = 0, rx = 0;
    if (!JsonRead::integer(cmd.value(QStringLiteral("txDelay")), &tx) ||
        !JsonRead::integer(cmd.value(QStringLiteral("rxDelay")), &rx) || tx < 0 || tx > 0xFFFF || rx < 0 ||
        rx > 0xFFFF) {
        res.responses.append(error(cmd, QStringLiteral("txDelay and rxDelay must be 0 to 65535")));
        return;
    }
    n->txDelay = quint16(tx);
    n->rxDelay = quint16(rx);
    // The anchors range again with the new delays, so that the next
    // "getDist" already shows their effect.
    if (n->isAnchor())
        m_engine.scanInfra(kDefaultScanCount);
    getUwbAntConfig(cmd, res);
    res.responses.last().insert(QStringLiteral("response"), QStringLiteral("setUwbAntConfig"));
}

void CommandHandler::sensOut(const QJsonObject &cmd, Result &res)
{
    if (SimNode *n = node(cmd, res)) {
        n->sensOut = cmd.value(QStringLiteral("mode")).toString();
        QJsonObject o = reply(cmd);
        o.insert(QStringLiteral("id"), n->idString());
        res.responses.append(o);
    }
}

void CommandHandler::setUserData(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    qint64 type = 0;
    if (!JsonRead::integer(cmd.value(QStringLiteral("type")), &type)) {
        res.responses.append(error(cmd, QStringLiteral("invalid type")));
        return;
    }
    n->userType = int(type);
    n->userText = cmd.value(QStringLiteral("text")).toString();
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("id"), n->idString());
    res.responses.append(o);
}

void CommandHandler::setDio8(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    quint64 set = 0, clear = 0, toggle = 0;
    qint64 count = 0;
    const bool valid = JsonRead::hexId(cmd.value(QStringLiteral("setMask")), &set) && set <= 0xFF &&
                       JsonRead::hexId(cmd.value(QStringLiteral("clearMask")), &clear) && clear <= 0xFF &&
                       JsonRead::hexId(cmd.value(QStringLiteral("toggleMask")), &toggle) && toggle <= 0xFF;
    if (!valid) {
        res.responses.append(error(cmd, QStringLiteral("setMask, clearMask and toggleMask must be 8-bit hexadecimal")));
        return;
    }
    JsonRead::integer(cmd.value(QStringLiteral("toggleCount")), &count);
    quint8 io = quint8((n->io | set) & ~clear);
    // Only the final state of a toggle burst matters to a report.
    if (count % 2)
        io ^= quint8(toggle);
    n->io = io;
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("id"), n->idString());
    o.insert(QStringLiteral("io"), int(io));
    res.responses.append(o);
}

void CommandHandler::newSess(const QJsonObject &cmd, Result &res)
{
    m_engine.restartSchedule(m_now);
    res.responses.append(reply(cmd));
}

void CommandHandler::removeAnchors(const QJsonObject &cmd, Result &res)
{
    for (SimNode &n : m_engine.site().nodes)
        if (n.mode == QLatin1String("anchor"))
            n.joined = false;
    res.responses.append(reply(cmd));
}

void CommandHandler::scanInfra(const QJsonObject &cmd, Result &res)
{
    qint64 count = kDefaultScanCount;
    if (cmd.contains(QStringLiteral("cnt")) &&
        (!JsonRead::integer(cmd.value(QStringLiteral("cnt")), &count) || count < 1 || count > kMaxScanCount)) {
        res.responses.append(error(cmd, QStringLiteral("cnt must be 1 to %1").arg(kMaxScanCount)));
        return;
    }
    // Anchors that were removed join again when the master scans.
    for (SimNode &n : m_engine.site().nodes)
        n.joined = true;
    m_engine.scanInfra(int(count));
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("cnt"), int(count));
    res.responses.append(o);
}

void CommandHandler::listFwDesc(const QJsonObject &cmd, Result &res)
{
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("fwDesc"), m_fw.toJson());
    res.responses.append(o);
}

void CommandHandler::enableFwDesc(const QJsonObject &cmd, Result &res)
{
    const int slot = descriptorSlot(cmd);
    // The flag comes as a JSON boolean, a number or a text, depending on the client.
    const QJsonValue en = cmd.value(QStringLiteral("enable"));
    qint64 number = 0;
    const bool on = en.isBool() ? en.toBool()
                                : en.toString() == QLatin1String("true") || (JsonRead::integer(en, &number) && number != 0);
    // The master would be left without an image to start from.
    if (!on && m_fw.isBoot(slot)) {
        res.responses.append(error(cmd, QStringLiteral("descriptor %1 is the boot image").arg(slot)));
        return;
    }
    if (!m_fw.enable(slot, on)) {
        res.responses.append(error(cmd, QStringLiteral("no firmware descriptor %1").arg(slot)));
        return;
    }
    listFwDesc(cmd, res);
}

void CommandHandler::removeFwDesc(const QJsonObject &cmd, Result &res)
{
    const int slot = descriptorSlot(cmd);
    if (m_fw.isBoot(slot)) {
        res.responses.append(error(cmd, QStringLiteral("descriptor %1 is the boot image").arg(slot)));
        return;
    }
    if (!m_fw.remove(slot)) {
        res.responses.append(error(cmd, QStringLiteral("no firmware descriptor %1").arg(slot)));
        return;
    }
    listFwDesc(cmd, res);
}

void CommandHandler::bootFwDesc(const QJsonObject &cmd, Result &res)
{
    const int slot = descriptorSlot(cmd);
    if (!m_fw.boot(slot)) {
        res.responses.append(error(cmd, QStringLiteral("no enabled firmware descriptor %1").arg(slot)));
        return;
    }
    listFwDesc(cmd, res);
}

void CommandHandler::saveFwDescList(const QJsonObject &cmd, Result &res)
{
    m_fw.save();
    res.responses.append(reply(cmd));
}

// Stands a tag on a point, as an installer stands one on a surveyed mark:
// {"id", "x", "y", "z"} parks it (z 0 when not given), {"id", "release": true}
// lets it walk its path again.
void CommandHandler::simParkTag(const QJsonObject &cmd, Result &res)
{
    SimNode *n = node(cmd, res);
    if (!n)
        return;
    if (!n->isTag()) {
        res.responses.append(error(cmd, QStringLiteral("only tags can be parked")));
        return;
    }
    if (cmd.value(QStringLiteral("release")).toBool(false)) {
        m_engine.park(*n, nullptr);
    } else {
        Vec3 at;
        const QJsonValue z = cmd.value(QStringLiteral("z"));
        if (!JsonRead::number(cmd.value(QStringLiteral("x")), &at.x) ||
            !JsonRead::number(cmd.value(QStringLiteral("y")), &at.y) ||
            (!z.isUndefined() && !JsonRead::number(z, &at.z))) {
            res.responses.append(error(cmd, QStringLiteral("x and y (and z, if given) must be numbers")));
            return;
        }
        m_engine.park(*n, &at);
    }
    QJsonObject o = reply(cmd);
    o.insert(QStringLiteral("id"), n->idString());
    o.insert(QStringLiteral("parked"), n->parked);
    if (n->parked)
        o.insert(QStringLiteral("position"),
                 QJsonObject{{QStringLiteral("x"), n->parkPos.x}, {QStringLiteral("y"), n->parkPos.y},
                             {QStringLiteral("z"), n->parkPos.z}});
    res.responses.append(o);
}
