#pragma once

#include "RtlsMeasEntry.h"

#include <QHash>
#include <QJsonArray>
#include <QObject>

#include <cstdint>

// A node's ranging measurements keyed by anchor id: those of the last report
// and those of the one before.
class RtlsMeas : public QObject
{
    Q_OBJECT

public:
    using Table = QHash<uint64_t, RtlsMeasEntry>;

    explicit RtlsMeas(QObject *parent = nullptr);

    virtual Table current() const;
    virtual Table previous() const;
    // Shifts, then stores every usable element; returns kMsgMeasurements.
    virtual uint32_t updateFromJson(const QJsonArray &array);
    virtual QJsonArray toJson() const;

    // Decodes one measurement (elements 0x28..0x2C) into the current table.
    // Returns the number of elements read (0 when the run named no anchor
    // and nothing was stored), or -1 for an empty or truncated run.
    int updateFromTlv(const char *data, int size);
    // Current becomes previous; current becomes empty.
    void shift();

private:
    Table m_current;
    Table m_previous;
};
