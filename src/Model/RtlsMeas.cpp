#include "RtlsMeas.h"

#include "RtlsConvert.h"
#include "RtlsQtJsonView.h"
#include "RtlsSimdJsonView.h"
#include "TlvReader.h"

#include <QJsonObject>

RtlsMeas::RtlsMeas(QObject *parent) : QObject(parent) {}

RtlsMeas::Table RtlsMeas::current() const { return toTable(m_current); }
RtlsMeas::Table RtlsMeas::previous() const { return toTable(m_previous); }

RtlsMeas::Table RtlsMeas::toTable(const Slots &from)
{
    Table table;
    table.reserve(static_cast<int>(from.size()));
    for (const Slot &slot : from)
        table.insert(slot.anchor, slot.entry);
    return table;
}

void RtlsMeas::shift()
{
    m_previous.swap(m_current);
    m_current.clear();
    if (m_current.capacity() > Rtls::kMeasKeptCapacity)
        m_current.shrink_to_fit();
    m_index.clear();
}

int RtlsMeas::find(uint64_t anchor)
{
    const int size = static_cast<int>(m_current.size());
    if (size > Rtls::kMeasLinearSearchLimit && m_index.isEmpty()) {
        for (int i = 0; i < size; ++i)
            m_index.insert(m_current[i].anchor, i);
    }
    return findIn(anchor);
}

int RtlsMeas::findIn(uint64_t anchor) const
{
    // The index exists once a report has grown past the linear limit while
    // being stored; a reader of a table just past it searches it through.
    if (!m_index.isEmpty())
        return m_index.value(anchor, -1);
    const int size = static_cast<int>(m_current.size());
    for (int i = 0; i < size; ++i) {
        if (m_current[i].anchor == anchor)
            return i;
    }
    return -1;
}

const RtlsMeasEntry *RtlsMeas::findCurrent(uint64_t anchor) const
{
    const int at = findIn(anchor);
    return at >= 0 ? &m_current[static_cast<size_t>(at)].entry : nullptr;
}

void RtlsMeas::store(uint64_t anchor, const RtlsMeasEntry &entry)
{
    const int at = find(anchor);
    if (at >= 0) {
        m_current[at].entry = entry;
        return;
    }
    if (!m_index.isEmpty())
        m_index.insert(anchor, static_cast<int>(m_current.size()));
    m_current.push_back({anchor, entry});
}

uint32_t RtlsMeas::updateFromJson(const QJsonArray &array)
{
    return applyJsonView(RtlsQtJsonView(array));
}

uint32_t RtlsMeas::applyJson(const RtlsQtJsonView &array)
{
    return applyJsonView(array);
}

uint32_t RtlsMeas::applyJson(const RtlsSimdJsonView &array)
{
    return applyJsonView(array);
}

template<typename View>
uint32_t RtlsMeas::applyJsonView(const View &array)
{
    shift();
    // Quality carries over from one element to the next when an element
    // gives none, so a list that states it once applies it to all.
    float rssi = 0.0f;
    int32_t tqf = 0;
    array.forEachElement([&](const View &item) {
        // Each key is found in one walk over the element: an element is read
        // for every range of every report.
        enum { kTqf, kRssi, kDqf, kAnchor, kDist, kStdev, kToa, kKeys };
        static const QLatin1String kNames[kKeys] = {QLatin1String("tqf"),  QLatin1String("rssi"),
                                                    QLatin1String("dqf"),  QLatin1String("anchor"),
                                                    QLatin1String("dist"), QLatin1String("stdev"),
                                                    QLatin1String("toa")};
        View e[kKeys];
        item.forEachMember([&](const auto &key, const View &value) {
            for (int i = 0; i < kKeys; ++i) {
                if (View::keyIs(key, kNames[i])) {
                    e[i] = value;
                    return;
                }
            }
        });
        const bool hasTqf = e[kTqf].isPresent();
        const bool hasRssi = e[kRssi].isPresent();
        if (hasTqf && hasRssi) {
            tqf = Rtls::truncateTo<int32_t>(e[kTqf].number());
            rssi = static_cast<float>(e[kRssi].number());
        } else if (hasTqf) {
            rssi = static_cast<float>(e[kTqf].number());
            tqf = 0;
        } else if (e[kDqf].isPresent()) {
            rssi = static_cast<float>(e[kDqf].number());
            tqf = 0;
        }

        // A hexadecimal anchor id; an entry under anchor 0 would be a
        // phantom anchor in every view.
        const uint64_t key = e[kAnchor].hex();
        if (key == 0)
            return;
        RtlsMeasEntry entry;
        entry.rssi = rssi;
        entry.tqf = tqf;
        if (e[kDist].isPresent()) {
            entry.kind = Rtls::kMeasDistance;
            entry.value = static_cast<float>(e[kDist].number());
            entry.stdev = static_cast<float>(e[kStdev].number());
        } else if (hasTqf && hasRssi && e[kToa].isPresent()) {
            entry.kind = Rtls::kMeasToa;
            entry.value = static_cast<float>(e[kToa].number());
        } else {
            return;
        }
        store(key, entry);
    });
    return Rtls::kMsgMeasurements;
}

QJsonArray RtlsMeas::toJson() const
{
    QJsonArray array;
    for (const Slot &slot : m_current) {
        const RtlsMeasEntry &e = slot.entry;
        const char *valueKey = nullptr;
        if (e.kind == Rtls::kMeasDistance)
            valueKey = "dist";
        else if (e.kind == Rtls::kMeasToa)
            valueKey = "toa";
        else
            continue;
        QJsonObject obj;
        obj.insert(QStringLiteral("anchor"), Rtls::hexId(slot.anchor));
        obj.insert(QLatin1String(valueKey), static_cast<double>(e.value));
        obj.insert(QStringLiteral("tqf"), e.tqf);
        obj.insert(QStringLiteral("rssi"), static_cast<double>(e.rssi));
        array.append(obj);
    }
    return array;
}

int RtlsMeas::updateFromTlv(const char *data, int size)
{
    if (!data || size <= 0)
        return -1;
    RtlsMeasEntry entry;
    entry.kind = Rtls::kMeasDistance;
    uint64_t anchor = 0;
    const int count = TlvReader::forEach(data, size, [&](const TlvReader &reader) {
        uint8_t tqf = 0;
        switch (reader.type()) {
        case Rtls::kTlvMeasAnchor:
            reader.readUInt64(anchor);
            break;
        case Rtls::kTlvMeasValue:
            reader.readFloat(entry.value);
            break;
        case Rtls::kTlvMeasTqf:
            if (reader.readUInt8(tqf))
                entry.tqf = tqf;
            break;
        case Rtls::kTlvMeasRssi:
            reader.readFloat(entry.rssi);
            break;
        case Rtls::kTlvMeasExtra:
            reader.readUInt64(entry.extra);
            break;
        default:
            break;
        }
    });
    if (count < 0)
        return -1;
    // Without an anchor the value has nothing to belong to.
    if (anchor == 0)
        return 0;
    store(anchor, entry);
    return count;
}
