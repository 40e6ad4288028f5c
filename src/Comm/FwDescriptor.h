#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

// One entry of a master's firmware descriptor table, as "listFwDesc" and
// the commands that change the table answer it in "fwDesc".
struct FwDescriptor
{
    int slot = -1;
    // The kind of image ("sentrova-anchor", "sentrova-tag").
    QString name;
    QString version;
    qint64 size = 0;
    quint32 crc32 = 0;
    bool enabled = false;
    bool boot = false;

    // False for an entry without a usable slot number; the other keys are
    // read with their JSON types and treated as absent otherwise.
    static bool fromJson(const QJsonObject &obj, FwDescriptor *out);
    // Every usable entry of an "fwDesc" array, in the master's order.
    static QVector<FwDescriptor> listFromJson(const QJsonArray &array);

    bool operator==(const FwDescriptor &other) const;
};
