#pragma once

#include "RtlsModelConstants.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <cstdint>

class QJsonArray;
class RtlsIMU;
class RtlsMeas;
class RtlsQtJsonView;
class RtlsSimdJsonView;
class RtlsObjectStats;
class RtlsPos;

// The record of one radio node (anchor, tag or master): identity,
// configuration and status, with its position, sensor values, measurements
// and statistics as sub-records created on first use. Setters store without
// emitting; the hub announces changes with its node signals.
class RtlsObject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(uint64_t id READ id WRITE setID)
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(QString description READ description WRITE setDescription)
    Q_PROPERTY(QString category READ category WRITE setCategory)
    Q_PROPERTY(QString mode READ mode WRITE setMode)
    Q_PROPERTY(uint32_t hwversion READ hwVersion WRITE setHwVersion)
    Q_PROPERTY(uint32_t ldrversion READ ldrVersion WRITE setLdrVersion)
    Q_PROPERTY(uint32_t fwversion READ fwVersion WRITE setFwVersion)
    Q_PROPERTY(uint32_t nodeoptions READ nodeOptions WRITE setNodeOptions)
    Q_PROPERTY(uint32_t roles READ roles WRITE setRoles)
    Q_PROPERTY(uint32_t flags READ flags WRITE setFlags)
    Q_PROPERTY(uint32_t msgflags READ msgFlags)
    Q_PROPERTY(double msgtime READ msgTime WRITE setMsgTime)
    Q_PROPERTY(uint64_t lastupdate READ lastUpdate WRITE setLastUpdate)
    Q_PROPERTY(int32_t seat READ seat WRITE setSeat)
    Q_PROPERTY(int32_t group READ group WRITE setGroup)

public:
    explicit RtlsObject(QObject *parent = nullptr);
    explicit RtlsObject(uint64_t id, QObject *parent = nullptr);

    virtual uint64_t id() const;
    // "0x" + upper-case hexadecimal, at least 4 digits: 0x1A2 -> "0x01A2".
    virtual QString idString() const;
    // The name, or idString() when the name is empty.
    virtual QString name() const;
    virtual QString description() const;
    virtual QString category() const;
    virtual QString mode() const;
    virtual uint32_t hwVersion() const;
    virtual uint32_t ldrVersion() const;
    virtual uint32_t fwVersion() const;
    virtual uint32_t nodeOptions() const;
    virtual uint32_t roles() const;
    virtual uint32_t flags() const;
    virtual uint32_t msgFlags() const;
    virtual double msgTime() const;
    virtual int32_t seat() const;
    virtual int32_t group() const;

    // Sub-records, created on first use with this record as parent.
    virtual RtlsPos *pos();
    virtual RtlsIMU *imu();
    virtual RtlsMeas *meas();
    virtual RtlsObjectStats *stats();
    // Whether a sub-record exists, for callers that must not create one.
    bool hasPos() const { return m_pos != nullptr; }
    bool hasImu() const { return m_imu != nullptr; }
    bool hasMeas() const { return m_meas != nullptr; }
    bool hasStats() const { return m_stats != nullptr; }

    virtual uint64_t lastUpdate() const;

    // Applies one JSON node object whose "id" matches this record on its low
    // 16 bits; returns the position result (0 when nothing was applied or
    // there were no coordinates).
    virtual uint32_t updateFromJson(const QJsonObject &obj);
    // The same, for a report of either JSON parser: one meaning for both.
    uint32_t applyJson(const RtlsQtJsonView &obj);
    uint32_t applyJson(const RtlsSimdJsonView &obj);
    // "id", "name", "description", "category", and "coordinates" for a
    // master or an anchor that has a position.
    virtual QJsonObject toJson() const;

public slots:
    virtual void setID(uint64_t id);
    virtual void setName(const QString &name);
    virtual void setDescription(const QString &description);
    virtual void setCategory(const QString &category);
    virtual void setMode(const QString &mode);
    virtual void setHwVersion(uint32_t hwversion);
    virtual void setLdrVersion(uint32_t ldrversion);
    virtual void setFwVersion(uint32_t fwversion);
    // Stores the options; the mode becomes "master" or "anchor" when the
    // options say so and is left alone otherwise.
    virtual void setNodeOptions(uint32_t nodeoptions);
    virtual void setRoles(uint32_t roles);
    virtual void setFlags(uint32_t flags);
    // ORs bits into msgflags.
    virtual void setMsgFlags(uint32_t bits);
    // Clears the given bits of msgflags.
    virtual void clearMsgFlags(uint32_t bits);
    // Clears every msgflags bit.
    virtual void clearMsgFlags();
    virtual void setMsgTime(double msgtime);
    virtual void setLastUpdate(uint64_t lastupdate);
    virtual void setSeat(int32_t seat);
    virtual void setGroup(int32_t group);

private:
    template<typename View>
    uint32_t applyJsonView(const View &obj);
    void applyNodeOptionsText(const QString &text);
    template<typename View>
    void applySensors(const View &sensors);
    template<typename View>
    void applyNodeStatus(const View &status);
    void applyIo(double io);
    template<typename Fields>
    void applyMeasurements(const Fields &fields);
    template<typename Fields>
    void applyStats(const Fields &fields);

    uint64_t m_id = 0;
    QString m_name;
    QString m_description;
    QString m_category;
    uint32_t m_hwversion = 0;
    uint32_t m_ldrversion = 0;
    uint32_t m_fwversion = 0;
    uint32_t m_nodeoptions = 0;
    uint32_t m_roles = 0;
    uint32_t m_flags = 0;
    uint32_t m_msgflags = 0;
    double m_msgtime = 0.0;
    int32_t m_seat = -1;
    int32_t m_group = -1;
    RtlsPos *m_pos = nullptr;
    RtlsIMU *m_imu = nullptr;
    RtlsMeas *m_meas = nullptr;
    RtlsObjectStats *m_stats = nullptr;
    QString m_mode;
    uint64_t m_lastupdate = 0;
};
