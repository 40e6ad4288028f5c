#pragma once

#include "RtlsMeasEntry.h"

#include <QHash>
#include <QJsonArray>
#include <QObject>

#include <cstdint>
#include <vector>

class RtlsQtJsonView;
class RtlsSimdJsonView;

// A node's ranging measurements keyed by anchor id: those of the last report
// and those of the one before.
//
// Every report of every tag passes through here, so the two tables are kept
// as flat arrays that are swapped and cleared rather than freed: a report
// costs no allocation once a node has seen its largest usual report. The hash
// form is made only for a reader that asks for it.
class RtlsMeas : public QObject
{
    Q_OBJECT

public:
    using Table = QHash<uint64_t, RtlsMeasEntry>;

    explicit RtlsMeas(QObject *parent = nullptr);

    virtual Table current() const;
    virtual Table previous() const;
    // The last report's entries in the order it gave them, read in place:
    // for readers of every report that need one entry or a sum.
    int currentCount() const { return static_cast<int>(m_current.size()); }
    uint64_t currentAnchor(int i) const { return m_current[static_cast<size_t>(i)].anchor; }
    const RtlsMeasEntry &currentEntry(int i) const { return m_current[static_cast<size_t>(i)].entry; }
    // The last report's entry of an anchor, or null.
    const RtlsMeasEntry *findCurrent(uint64_t anchor) const;
    // Shifts, then stores every usable element; returns kMsgMeasurements.
    virtual uint32_t updateFromJson(const QJsonArray &array);
    // The same, for an array of either JSON parser.
    uint32_t applyJson(const RtlsQtJsonView &array);
    uint32_t applyJson(const RtlsSimdJsonView &array);
    virtual QJsonArray toJson() const;

    // Decodes one measurement (elements 0x28..0x2C) into the current table.
    // Returns the number of elements read (0 when the run named no anchor
    // and nothing was stored), or -1 for an empty or truncated run.
    int updateFromTlv(const char *data, int size);
    // Current becomes previous; current becomes empty.
    void shift();

private:
    struct Slot
    {
        uint64_t anchor;
        RtlsMeasEntry entry;
    };
    using Slots = std::vector<Slot>;

    static Table toTable(const Slots &from);
    template<typename View>
    uint32_t applyJsonView(const View &array);
    // Stores under the anchor, replacing what the anchor already had.
    void store(uint64_t anchor, const RtlsMeasEntry &entry);
    int find(uint64_t anchor);
    int findIn(uint64_t anchor) const;

    Slots m_current;
    Slots m_previous;
    // Positions in m_current by anchor, only while a report is too large for
    // a linear search to stay cheap (a hostile one could name thousands).
    QHash<uint64_t, int> m_index;
};
