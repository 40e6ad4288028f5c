#include "RtlsObject.h"

#include "RtlsConvert.h"
#include "RtlsHubLink.h"
#include "RtlsIMU.h"
#include "RtlsJsonFields.h"
#include "RtlsMeas.h"
#include "RtlsObjectStats.h"
#include "RtlsPos.h"
#include "RtlsQtJsonView.h"
#include "RtlsSimdJsonView.h"

#include <QDateTime>
#include <QJsonArray>

#include <iterator>

namespace {

const QString kModeMaster = QStringLiteral("master");
const QString kModeAnchor = QStringLiteral("anchor");
const QString kModeTag = QStringLiteral("tag");

// The keys of a node record, in the order in which updateFromJson applies
// them: where two keys touch the same field or flag the later one wins.
enum Field {
    kId,
    kName,
    kDescription,
    kMode,
    kTimestamp,
    kIo,
    kVbat,
    kCoordinates,
    kNodeDetails,
    kNodeOptions,
    kRoles,
    kSeat,
    kSensors,
    kNodeStatus,
    kMeas,
    kDistances,
    kUptime,
    kMemFree,
    kCpuLoad,
    kTdoaCnt,
    kTwrCnt,
    kTwrErrCnt,
    kReportsSent,
    kTsyncCnt,
    kDwVbat,
    kDwTemp,
    kTsyncDrift,
    kTsyncErr,
    kRawTsyncDrift,
    kRawTsyncErr,
    kHwVersion,
    kLdrVersion,
    kFwVersion,
    kGroup,
    kFieldCount
};

const QLatin1String kFieldNames[] = {
    QLatin1String("id"),          QLatin1String("name"),        QLatin1String("description"),
    QLatin1String("mode"),        QLatin1String("timestamp"),   QLatin1String("io"),
    QLatin1String("vbat"),        QLatin1String("coordinates"), QLatin1String("nodeDetails"),
    QLatin1String("nodeOptions"), QLatin1String("roles"),       QLatin1String("seat"),
    QLatin1String("sensors"),     QLatin1String("nodeStatus"),  QLatin1String("meas"),
    QLatin1String("distances"),   QLatin1String("uptime"),      QLatin1String("memFree"),
    QLatin1String("cpuLoad"),     QLatin1String("tdoaCnt"),     QLatin1String("twrCnt"),
    QLatin1String("twrErrCnt"),   QLatin1String("reportsSent"), QLatin1String("tsyncCnt"),
    QLatin1String("dwVbat"),      QLatin1String("dwTemp"),      QLatin1String("tsyncDrift"),
    QLatin1String("tsyncErr"),    QLatin1String("rawTsyncDrift"), QLatin1String("rawTsyncErr"),
    QLatin1String("hwVersion"),   QLatin1String("ldrVersion"),  QLatin1String("fwVersion"),
    QLatin1String("group"),
};
static_assert(std::size(kFieldNames) == kFieldCount, "one name per field");

// A JSON number or text, or nothing: keys of another type count as absent.
template<typename View>
bool number(const View &v, double &out)
{
    if (!v.isNumber())
        return false;
    out = v.number();
    return true;
}

template<typename View>
bool text(const View &v, QString &out)
{
    if (!v.isString())
        return false;
    out = v.text();
    return true;
}

} // namespace

RtlsObject::RtlsObject(QObject *parent) : QObject(parent) {}

RtlsObject::RtlsObject(uint64_t id, QObject *parent) : QObject(parent), m_id(id) {}

uint64_t RtlsObject::id() const { return m_id; }

QString RtlsObject::idString() const
{
    return Rtls::hexText(m_id);
}

QString RtlsObject::name() const
{
    return m_name.isEmpty() ? idString() : m_name;
}

QString RtlsObject::description() const { return m_description; }
QString RtlsObject::category() const { return m_category; }
QString RtlsObject::mode() const { return m_mode; }
uint32_t RtlsObject::hwVersion() const { return m_hwversion; }
uint32_t RtlsObject::ldrVersion() const { return m_ldrversion; }
uint32_t RtlsObject::fwVersion() const { return m_fwversion; }
uint32_t RtlsObject::nodeOptions() const { return m_nodeoptions; }
uint32_t RtlsObject::roles() const { return m_roles; }
uint32_t RtlsObject::flags() const { return m_flags; }
uint32_t RtlsObject::msgFlags() const { return m_msgflags; }
double RtlsObject::msgTime() const { return m_msgtime; }
int32_t RtlsObject::seat() const { return m_seat; }
int32_t RtlsObject::group() const { return m_group; }

RtlsPos *RtlsObject::pos()
{
    if (!m_pos)
        m_pos = new RtlsPos(this);
    return m_pos;
}

RtlsIMU *RtlsObject::imu()
{
    if (!m_imu)
        m_imu = new RtlsIMU(this);
    return m_imu;
}

RtlsMeas *RtlsObject::meas()
{
    if (!m_meas)
        m_meas = new RtlsMeas(this);
    return m_meas;
}

RtlsObjectStats *RtlsObject::stats()
{
    if (!m_stats)
        m_stats = new RtlsObjectStats(this);
    return m_stats;
}

uint64_t RtlsObject::lastUpdate() const { return m_lastupdate; }

uint32_t RtlsObject::updateFromJson(const QJsonObject &obj)
{
    return applyJsonView(RtlsQtJsonView(obj));
}

uint32_t RtlsObject::applyJson(const RtlsQtJsonView &obj)
{
    return applyJsonView(obj);
}

uint32_t RtlsObject::applyJson(const RtlsSimdJsonView &obj)
{
    return applyJsonView(obj);
}

template<typename View>
uint32_t RtlsObject::applyJsonView(const View &obj)
{
    const RtlsJsonFields<View> f(obj, kFieldNames, kFieldCount);
    if (!f[kId].isString())
        return 0;
    // The service path knows nodes by the low 16 bits of their id, while the
    // stream and the settings file create records with the full id: the
    // same full id always matches, otherwise both sides are compared on
    // those bits, so every record can be updated.
    const uint64_t id = f[kId].hex();
    if (id == 0)
        return 0;
    if (id != m_id) {
        const uint64_t low = id & Rtls::kJsonIdMask;
        if (low == 0 || low != (m_id & Rtls::kJsonIdMask))
            return 0;
    }

    QString s;
    double v = 0.0;
    if (text(f[kName], s))
        setName(s);
    if (text(f[kDescription], s))
        setDescription(s);
    // Most reports repeat the mode the record has: no new text for those.
    if (f[kMode].isString() && !f[kMode].textEquals(m_mode))
        setMode(f[kMode].text());
    if (number(f[kTimestamp], v))
        setMsgTime(static_cast<double>(Rtls::truncateTo<uint64_t>(v * 1000.0)));
    if (number(f[kIo], v))
        applyIo(v);
    if (number(f[kVbat], v))
        imu()->setVBat(static_cast<float>(v));

    uint32_t result = 0;
    if (f[kCoordinates].isObject()) {
        result = pos()->applyJson(f[kCoordinates]);
        setMsgFlags(Rtls::kMsgCoordinates);
    } else {
        clearMsgFlags(Rtls::kMsgCoordinates);
    }

    if (f[kNodeDetails].isObject()) {
        const View &d = f[kNodeDetails];
        if (text(d.member(QLatin1String("nodeOptions")), s))
            applyNodeOptionsText(s);
        if (text(d.member(QLatin1String("flags")), s))
            setFlags(Rtls::parseHex32(s));
        clearMsgFlags(Rtls::kMsgDetailsPending);
        setMsgFlags(Rtls::kMsgNodeOptions);
    }
    if (text(f[kNodeOptions], s)) {
        applyNodeOptionsText(s);
        clearMsgFlags(Rtls::kMsgDetailsPending);
        setMsgFlags(Rtls::kMsgNodeOptions);
    }
    if (text(f[kRoles], s))
        setRoles(Rtls::parseHex32(s));
    if (text(f[kSeat], s))
        setSeat(s.trimmed().toInt());
    // Answers to "getDetails", "listAnchors" and "getParent" carry these as
    // the commands write them: versions in hexadecimal, the group in decimal.
    if (text(f[kGroup], s))
        setGroup(s.trimmed().toInt());
    if (text(f[kHwVersion], s))
        setHwVersion(Rtls::parseHex32(s));
    if (text(f[kLdrVersion], s))
        setLdrVersion(Rtls::parseHex32(s));
    if (text(f[kFwVersion], s))
        setFwVersion(Rtls::parseHex32(s));

    if (f[kSensors].isObject())
        applySensors(f[kSensors]);
    if (f[kNodeStatus].isObject())
        applyNodeStatus(f[kNodeStatus]);

    applyMeasurements(f);
    applyStats(f);

    setLastUpdate(static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch()));
    setMsgFlags(result);
    return result;
}

void RtlsObject::applyNodeOptionsText(const QString &text)
{
    setNodeOptions(Rtls::parseHex32(text));
    // Unlike setNodeOptions, a report of the options is complete: a node
    // that is neither master nor anchor is a tag.
    if (!(m_nodeoptions & (Rtls::kOptionMaster | Rtls::kOptionAnchor)))
        setMode(kModeTag);
}

void RtlsObject::applyIo(double io)
{
    const auto bits = static_cast<uint8_t>(Rtls::truncateTo<int32_t>(io));
    imu()->setIO(bits);
    if (!m_pos)
        return;
    if (bits & Rtls::kIoRaiseAvg)
        m_pos->incrAvg();
    else
        m_pos->decrAvg();
}

template<typename View>
void RtlsObject::applySensors(const View &sensors)
{
    RtlsIMU *record = imu();
    clearMsgFlags(Rtls::kMsgSensorsPending);
    double v = 0.0;
    if (number(sensors.member(QLatin1String("pressure")), v)) {
        record->setPressure(Rtls::truncateTo<uint32_t>(v));
        setMsgFlags(Rtls::kMsgPressure);
    } else {
        clearMsgFlags(Rtls::kMsgPressure);
    }
    if (number(sensors.member(QLatin1String("temperature")), v)) {
        record->setTemperature(static_cast<float>(v));
        setMsgFlags(Rtls::kMsgTemperature);
    } else {
        clearMsgFlags(Rtls::kMsgTemperature);
    }
}

template<typename View>
void RtlsObject::applyNodeStatus(const View &status)
{
    RtlsIMU *record = imu();
    QString io;
    if (text(status.member(QLatin1String("io")), io)) {
        record->setIO(static_cast<uint8_t>(Rtls::parseHex64(io)));
        if (RtlsHubLink *hub = RtlsHubLink::current())
            hub->postMessage(QStringLiteral("BUTTON STATUS (%1): %2) ").arg(m_id).arg(io));
    }
    double v = 0.0;
    if (number(status.member(QLatin1String("vbat")), v))
        record->setVBat(static_cast<float>(Rtls::truncateTo<int32_t>(v)));
}

template<typename Fields>
void RtlsObject::applyMeasurements(const Fields &fields)
{
    bool any = false;
    for (const int field : {kMeas, kDistances}) {
        const auto &v = fields[field];
        if (!v.isArray())
            continue;
        setMsgFlags(Rtls::kMsgMeasurements);
        meas()->applyJson(v);
        any = true;
    }
    if (!any)
        clearMsgFlags(Rtls::kMsgMeasurements);
}

template<typename Fields>
void RtlsObject::applyStats(const Fields &f)
{
    double v = 0.0;
    if (number(f[kUptime], v))
        stats()->setUptime(Rtls::truncateTo<uint32_t>(v));
    if (number(f[kMemFree], v))
        stats()->setMemFree(Rtls::truncateTo<uint32_t>(v));
    if (number(f[kCpuLoad], v))
        stats()->setCpuLoad(static_cast<float>(v));
    if (number(f[kTdoaCnt], v))
        stats()->setTdoaCnt(Rtls::truncateTo<uint32_t>(v));
    if (number(f[kTwrCnt], v))
        stats()->setTwrCnt(Rtls::truncateTo<uint32_t>(v));
    if (number(f[kTwrErrCnt], v))
        stats()->setTwrErr(Rtls::truncateTo<int32_t>(v));
    if (number(f[kReportsSent], v))
        stats()->setReportsSent(Rtls::truncateTo<int32_t>(v));
    if (number(f[kTsyncCnt], v))
        stats()->setTsyncCnt(Rtls::truncateTo<uint32_t>(v));
    if (number(f[kDwVbat], v))
        stats()->setDwVBat(Rtls::truncateTo<int32_t>(v));
    if (number(f[kDwTemp], v))
        stats()->setDwTemp(Rtls::truncateTo<int32_t>(v));
    if (number(f[kTsyncDrift], v))
        stats()->setTsyncDrift(v);
    if (number(f[kTsyncErr], v))
        stats()->setTsyncErr(Rtls::truncateTo<int64_t>(v));
    if (number(f[kRawTsyncDrift], v))
        stats()->setRawTsyncDrift(v);
    if (number(f[kRawTsyncErr], v))
        stats()->setRawTsyncErr(Rtls::truncateTo<int64_t>(v));
}

QJsonObject RtlsObject::toJson() const
{
    QJsonObject obj;
    obj.insert(QStringLiteral("id"), idString());
    obj.insert(QStringLiteral("name"), m_name);
    obj.insert(QStringLiteral("description"), m_description);
    obj.insert(QStringLiteral("category"), m_category);
    // Without the mode a saved tag would come back as an anchor.
    if (!m_mode.isEmpty())
        obj.insert(QStringLiteral("mode"), m_mode);
    // Tags move: only fixed nodes have coordinates worth saving. Only the
    // axis bits of the node's flags select axes; the other bits (such as the
    // pending position push) must not hide a known position. An axis the
    // position does not know is never written (it would come back as 0),
    // and a position that knows none writes no "coordinates" at all: loaded
    // again, that key would push "auto" for every axis to the master.
    if ((m_mode == kModeMaster || m_mode == kModeAnchor) && m_pos) {
        const uint32_t known = m_pos->flags() & Rtls::kPosXYZ;
        const uint32_t selected = m_flags & Rtls::kPosXYZ;
        const uint32_t written = (selected ? selected : known) & known;
        if (written)
            obj.insert(QStringLiteral("coordinates"), m_pos->toJson(written));
    }
    return obj;
}

void RtlsObject::setID(uint64_t id) { m_id = id; }
void RtlsObject::setName(const QString &name) { m_name = name.simplified(); }
void RtlsObject::setDescription(const QString &description) { m_description = description; }
void RtlsObject::setCategory(const QString &category) { m_category = category; }
void RtlsObject::setMode(const QString &mode) { m_mode = mode; }
void RtlsObject::setHwVersion(uint32_t hwversion) { m_hwversion = hwversion; }
void RtlsObject::setLdrVersion(uint32_t ldrversion) { m_ldrversion = ldrversion; }
void RtlsObject::setFwVersion(uint32_t fwversion) { m_fwversion = fwversion; }

void RtlsObject::setNodeOptions(uint32_t nodeoptions)
{
    m_nodeoptions = nodeoptions;
    if (nodeoptions & Rtls::kOptionMaster)
        m_mode = kModeMaster;
    else if (nodeoptions & Rtls::kOptionAnchor)
        m_mode = kModeAnchor;
}

void RtlsObject::setRoles(uint32_t roles) { m_roles = roles; }
void RtlsObject::setFlags(uint32_t flags) { m_flags = flags; }
void RtlsObject::setMsgFlags(uint32_t bits) { m_msgflags |= bits; }
void RtlsObject::clearMsgFlags(uint32_t bits) { m_msgflags &= ~bits; }
void RtlsObject::clearMsgFlags() { m_msgflags = 0; }
void RtlsObject::setMsgTime(double msgtime) { m_msgtime = msgtime; }
void RtlsObject::setLastUpdate(uint64_t lastupdate) { m_lastupdate = lastupdate; }
void RtlsObject::setSeat(int32_t seat) { m_seat = seat; }
void RtlsObject::setGroup(int32_t group) { m_group = group; }
