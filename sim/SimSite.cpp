#include "SimSite.h"

#include "JsonRead.h"
#include "SimConstants.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <random>

namespace {

const int kSchemeHz[SimConst::kTdmaSchemeCount] = {20, 20, 20, 10, 10, 10, 20, 20, 20, 10, 10, 10, 20, 100};
const int kSchemeTags[SimConst::kTdmaSchemeCount] = {63, 88, 49, 93, 31, 26, 80, 57, 38, 57, 175, 135, 125, 10};

SimNode makeAnchor(quint64 id, const QString &name, const QString &mode, int storey, Vec3 p, int seat)
{
    SimNode n;
    n.id = id;
    n.name = name;
    n.mode = mode;
    n.storey = storey;
    n.truePos = p;
    n.cfgPos = p;
    n.cfgMask = 0xE0;
    n.seat = seat;
    n.group = 0;
    n.roles = mode == QLatin1String("master") ? 0x3 : 0x1;
    n.vbat = 5.0;
    n.temperature = 30.0;
    return n;
}

SimNode makeTag(quint64 id, int number, double rate, const QVector<Waypoint> &path)
{
    SimNode n;
    n.id = id;
    n.name = QStringLiteral("Tag %1").arg(number);
    n.mode = QStringLiteral("tag");
    n.path = path;
    n.truePos = path.first().pos;
    n.rateHz = rate;
    n.vbat = 3.6 + 0.05 * (number % 4);
    n.temperature = 21.0 + number % 5;
    return n;
}

QVector<Waypoint> loop(std::initializer_list<Vec3> points, double speed, double z)
{
    QVector<Waypoint> path;
    for (const Vec3 &p : points)
        path.append(Waypoint{Vec3{p.x, p.y, z}, speed, false});
    return path;
}

bool readVec(const QJsonValue &v, Vec3 *out)
{
    const QJsonObject o = v.toObject();
    double x = 0, y = 0, z = 0;
    if (!JsonRead::number(o.value(QStringLiteral("x")), &x) || !JsonRead::number(o.value(QStringLiteral("y")), &y))
        return false;
    if (o.contains(QStringLiteral("z")) && !JsonRead::number(o.value(QStringLiteral("z")), &z))
        return false;
    *out = Vec3{x, y, z};
    return true;
}

bool readNlos(const QJsonObject &o, NlosRegion *r, QString *error)
{
    if (!readVec(o.value(QStringLiteral("min")), &r->min) || !readVec(o.value(QStringLiteral("max")), &r->max)) {
        *error = QStringLiteral("non-line-of-sight region without \"min\" and \"max\" corners");
        return false;
    }
    // A region given without heights spans every height.
    if (!o.value(QStringLiteral("min")).toObject().contains(QStringLiteral("z")))
        r->min.z = -1e9;
    if (!o.value(QStringLiteral("max")).toObject().contains(QStringLiteral("z")))
        r->max.z = 1e9;
    if (!JsonRead::number(o.value(QStringLiteral("bias")), &r->bias) || r->bias < 0.0) {
        *error = QStringLiteral("non-line-of-sight region: \"bias\" must be a number of metres, not negative");
        return false;
    }
    for (const QJsonValue &a : o.value(QStringLiteral("anchors")).toArray()) {
        quint64 id = 0;
        if (!JsonRead::hexId(a, &id)) {
            *error = QStringLiteral("non-line-of-sight region: \"anchors\" holds an invalid id");
            return false;
        }
        r->anchors.append(id);
    }
    return true;
}

bool readNode(const QJsonObject &o, SimNode *n, QString *error)
{
    quint64 id = 0;
    if (!JsonRead::hexId(o.value(QStringLiteral("id")), &id) || id == 0) {
        *error = QStringLiteral("node without a valid \"id\"");
        return false;
    }
    n->id = id;
    n->name = o.value(QStringLiteral("name")).toString(SimNode::idString(id));
    n->mode = o.value(QStringLiteral("mode")).toString(QStringLiteral("anchor"));
    if (n->mode != QLatin1String("master") && n->mode != QLatin1String("anchor") && n->mode != QLatin1String("tag")) {
        *error = QStringLiteral("node %1: unknown mode %2").arg(n->idString(), n->mode);
        return false;
    }
    n->storey = o.value(QStringLiteral("storey")).toInt(0);
    qint64 v = 0;
    if (JsonRead::integer(o.value(QStringLiteral("seat")), &v))
        n->seat = int(v);
    if (JsonRead::integer(o.value(QStringLiteral("group")), &v))
        n->group = int(v);
    if (JsonRead::integer(o.value(QStringLiteral("roles")), &v))
        n->roles = quint32(v);
    if (JsonRead::integer(o.value(QStringLiteral("txDelay")), &v))
        n->txDelay = quint16(qBound<qint64>(0, v, 65535));
    if (JsonRead::integer(o.value(QStringLiteral("rxDelay")), &v))
        n->rxDelay = quint16(qBound<qint64>(0, v, 65535));
    double offset = 0;
    if (JsonRead::number(o.value(QStringLiteral("delayOffset")), &offset)) {
        n->fixedDelayOffset = true;
        n->trueTxDelay = SimConst::kNominalAntennaDelay + offset;
        n->trueRxDelay = SimConst::kNominalAntennaDelay + offset;
    }
    double d = 0;
    if (JsonRead::number(o.value(QStringLiteral("vbat")), &d))
        n->vbat = d;
    if (JsonRead::number(o.value(QStringLiteral("temperature")), &d))
        n->temperature = d;
    if (JsonRead::integer(o.value(QStringLiteral("io")), &v))
        n->io = quint8(v);
    const QJsonArray q = o.value(QStringLiteral("orientation")).toArray();
    if (q.size() == 4) {
        for (int i = 0; i < 4; ++i)
            n->quat[i] = q.at(i).toDouble();
        n->fixedOrientation = true;
    }
    if (n->isTag()) {
        if (JsonRead::number(o.value(QStringLiteral("rate")), &d) && d > 0)
            n->rateHz = d;
        const QJsonArray path = o.value(QStringLiteral("path")).toArray();
        for (const QJsonValue &wv : path) {
            Waypoint w;
            if (!readVec(wv, &w.pos)) {
                *error = QStringLiteral("tag %1: waypoint without x and y").arg(n->idString());
                return false;
            }
            w.speed = wv.toObject().value(QStringLiteral("speed")).toDouble(1.0);
            w.silent = wv.toObject().value(QStringLiteral("silent")).toBool(false);
            n->path.append(w);
        }
        if (n->path.isEmpty() && !readVec(o.value(QStringLiteral("position")), &n->truePos)) {
            *error = QStringLiteral("tag %1: neither \"path\" nor \"position\"").arg(n->idString());
            return false;
        }
        if (!n->path.isEmpty())
            n->truePos = n->path.first().pos;
    } else {
        if (!readVec(o.value(QStringLiteral("position")), &n->truePos)) {
            *error = QStringLiteral("anchor %1: no \"position\"").arg(n->idString());
            return false;
        }
        Vec3 surveyError;
        const QJsonValue surveyed = o.value(QStringLiteral("surveyError"));
        if (!surveyed.isUndefined() && !readVec(surveyed, &surveyError)) {
            *error = QStringLiteral("anchor %1: \"surveyError\" needs x and y").arg(n->idString());
            return false;
        }
        if (o.value(QStringLiteral("coordinatesKnown")).toBool(true)) {
            // What the installer surveyed and entered: the truth, off by the
            // survey error.
            n->cfgPos = n->truePos + surveyError;
            n->cfgMask = 0xE0;
        }
    }
    return true;
}

} // namespace

SimSite SimSite::defaultSite()
{
    SimSite s;
    const QString anchor = QStringLiteral("anchor");
    s.nodes = {
        makeAnchor(0x1000, QStringLiteral("Master"), QStringLiteral("master"), 0, {0.0, 0.0, 2.5}, 0),
        makeAnchor(0x1001, QStringLiteral("Anchor 1"), anchor, 0, {20.0, 0.0, 3.2}, 1),
        makeAnchor(0x1002, QStringLiteral("Anchor 2"), anchor, 0, {20.0, 15.0, 2.2}, 2),
        makeAnchor(0x1003, QStringLiteral("Anchor 3"), anchor, 0, {0.0, 15.0, 3.0}, 3),
        makeAnchor(0x1004, QStringLiteral("Anchor 4"), anchor, 0, {10.0, 0.0, 1.6}, 4),
        makeAnchor(0x1005, QStringLiteral("Anchor 5"), anchor, 0, {10.0, 15.0, 3.4}, 5),
        makeAnchor(0x1006, QStringLiteral("Anchor 6"), anchor, 0, {0.0, 7.5, 1.8}, 6),
        makeAnchor(0x1007, QStringLiteral("Anchor 7"), anchor, 0, {20.0, 7.5, 2.8}, 7),
        makeAnchor(0x1101, QStringLiteral("Upper 1"), anchor, 1, {2.0, 2.0, 6.5}, 8),
        makeAnchor(0x1102, QStringLiteral("Upper 2"), anchor, 1, {18.0, 13.0, 7.0}, 9),
    };
    s.nodes.append(makeTag(0x2001, 1, 5.0, loop({{2, 2, 0}, {18, 2, 0}, {18, 13, 0}, {2, 13, 0}}, 1.2, 1.2)));
    s.nodes.append(makeTag(0x2002, 2, 10.0, loop({{5, 5, 0}, {15, 5, 0}, {15, 10, 0}, {5, 10, 0}}, 0.8, 1.0)));
    s.nodes.append(makeTag(0x2003, 3, 2.0, loop({{3, 7, 0}, {17, 7, 0}}, 1.5, 1.4)));
    s.nodes.append(makeTag(0x2004, 4, 5.0, loop({{10, 1, 0}, {10, 14, 0}}, 1.0, 1.1)));
    s.nodes.append(makeTag(0x2005, 5, 1.0, loop({{4, 12, 0}}, 0.0, 0.8)));
    s.nodes.append(makeTag(0x2006, 6, 5.0, loop({{1, 1, 0}, {19, 14, 0}, {1, 14, 0}, {19, 1, 0}}, 1.3, 1.3)));
    s.nodes.append(makeTag(0x2007, 7, 10.0, loop({{8, 3, 0}, {12, 3, 0}, {12, 12, 0}, {8, 12, 0}}, 0.6, 1.5)));
    s.nodes.append(makeTag(0x2008, 8, 2.0, loop({{16, 4, 0}, {16, 11, 0}, {6, 11, 0}}, 0.9, 1.0)));
    // Walks out of the hall and stays away for a while: long enough to be
    // reported inactive, then comes back.
    QVector<Waypoint> away = loop({{12, 7, 0}, {19, 7, 0}, {40, 7, 0}, {19.5, 7, 0}}, 1.0, 1.2);
    away[1].silent = true;
    away[2].silent = true;
    s.nodes.append(makeTag(0x2009, 9, 5.0, away));
    s.nodes.append(makeTag(0x200A, 10, 1.0, loop({{2, 5, 0}, {6, 9, 0}, {2, 13, 0}}, 0.5, 1.1)));
    return s;
}

bool SimSite::fromJson(const QJsonObject &doc, SimSite *site, QString *error)
{
    SimSite s;
    const QJsonArray nodes = doc.value(QStringLiteral("nodes")).toArray();
    if (nodes.isEmpty()) {
        *error = QStringLiteral("the site has no \"nodes\"");
        return false;
    }
    for (const QJsonValue &v : nodes) {
        SimNode n;
        if (!readNode(v.toObject(), &n, error))
            return false;
        if (s.find(n.id)) {
            *error = QStringLiteral("node %1 appears twice").arg(n.idString());
            return false;
        }
        s.nodes.append(n);
    }
    if (!s.master()) {
        *error = QStringLiteral("the site has no node with mode \"master\"");
        return false;
    }
    for (const QJsonValue &v : doc.value(QStringLiteral("nlos")).toArray()) {
        NlosRegion r;
        if (!readNlos(v.toObject(), &r, error))
            return false;
        s.nlos.append(r);
    }
    qint64 v = 0;
    if (JsonRead::integer(doc.value(QStringLiteral("tdmaScheme")), &v)) {
        if (v < 0 || v >= SimConst::kTdmaSchemeCount) {
            *error = QStringLiteral("unknown \"tdmaScheme\"");
            return false;
        }
        s.tdmaScheme = int(v);
    }
    if (JsonRead::integer(doc.value(QStringLiteral("uwbChannel")), &v)) {
        if (!isUwbChannel(v)) {
            *error = QStringLiteral("\"uwbChannel\" must be 1, 2, 3, 4, 5 or 7");
            return false;
        }
        s.uwbChannel = int(v);
    }
    const QString fmt = doc.value(QStringLiteral("outDataFormat")).toString(s.outDataFormat);
    if (fmt != QLatin1String("json") && fmt != QLatin1String("tlv")) {
        *error = QStringLiteral("\"outDataFormat\" must be json or tlv");
        return false;
    }
    s.outDataFormat = fmt;
    const QJsonArray cfgs = doc.value(QStringLiteral("nodeConfig")).toArray();
    if (!cfgs.isEmpty()) {
        s.configs.clear();
        for (const QJsonValue &c : cfgs) {
            NodeConfig nc;
            if (!nc.applyJson(c.toObject(), error))
                return false;
            s.configs.append(nc);
        }
    }
    *site = s;
    return true;
}

bool SimSite::fromFile(const QString &path, SimSite *site, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object: %2").arg(path, pe.errorString());
        return false;
    }
    return fromJson(doc.object(), site, error);
}

void SimSite::assignDelayOffsets(quint64 seed)
{
    std::mt19937_64 rng(seed ^ 0x5EA7D1A7ULL);
    std::uniform_real_distribution<double> spread(-20.0, 20.0);
    for (SimNode &n : nodes) {
        if (!n.isAnchor() || n.fixedDelayOffset)
            continue;
        const double offset = spread(rng);
        n.trueTxDelay = SimConst::kNominalAntennaDelay + offset;
        n.trueRxDelay = SimConst::kNominalAntennaDelay + offset;
    }
}

SimNode *SimSite::find(quint64 id)
{
    for (SimNode &n : nodes)
        if (n.id == id)
            return &n;
    return nullptr;
}

const SimNode *SimSite::find(quint64 id) const
{
    return const_cast<SimSite *>(this)->find(id);
}

const SimNode *SimSite::master() const
{
    for (const SimNode &n : nodes)
        if (n.mode == QLatin1String("master"))
            return &n;
    return nullptr;
}

quint64 SimSite::masterId() const
{
    const SimNode *m = master();
    return m ? m->id : 0;
}

QVector<int> SimSite::anchorIndexes() const
{
    QVector<int> out;
    for (int i = 0; i < nodes.size(); ++i)
        if (nodes[i].isAnchor() && nodes[i].joined)
            out.append(i);
    return out;
}

QVector<int> SimSite::tagIndexes() const
{
    QVector<int> out;
    for (int i = 0; i < nodes.size(); ++i)
        if (nodes[i].isTag())
            out.append(i);
    return out;
}

bool NlosRegion::contains(const Vec3 &p) const
{
    return p.x >= std::min(min.x, max.x) && p.x <= std::max(min.x, max.x) && p.y >= std::min(min.y, max.y)
           && p.y <= std::max(min.y, max.y) && p.z >= std::min(min.z, max.z) && p.z <= std::max(min.z, max.z);
}

bool NlosRegion::affects(quint64 anchor) const
{
    return anchors.isEmpty() || anchors.contains(anchor) || anchors.contains(anchor & 0xFFFF);
}

double SimSite::nlosExcess(const Vec3 &p, quint64 anchor) const
{
    double excess = 0.0;
    for (const NlosRegion &r : nlos)
        if (r.affects(anchor) && r.contains(p))
            excess += r.bias;
    return excess;
}

const NodeConfig &SimSite::activeConfig() const
{
    static const NodeConfig fallback;
    return configs.isEmpty() ? fallback : configs.first();
}

bool SimSite::isUwbChannel(qint64 channel)
{
    return channel >= 1 && channel <= 7 && channel != 6;
}

int SimSite::schemeRateHz(int scheme)
{
    return scheme >= 0 && scheme < SimConst::kTdmaSchemeCount ? kSchemeHz[scheme] : kSchemeHz[0];
}

int SimSite::schemeCapacity(int scheme)
{
    return scheme >= 0 && scheme < SimConst::kTdmaSchemeCount ? kSchemeTags[scheme] : kSchemeTags[0];
}

double SimSite::reportIntervalMs(const SimNode &tag, int tagRank) const
{
    if (tagRank >= schemeCapacity(tdmaScheme) || tag.rateHz <= 0.0)
        return 0.0;
    const double own = 1000.0 / tag.rateHz;
    const double slot = 1000.0 / schemeRateHz(tdmaScheme);
    return std::max({own, slot, double(activeConfig().msecRefreshInterval)});
}
