#pragma once

#include "RtlsPos.h"

#include <QObject>
#include <QString>

#include <cstdint>

// A box zone given by two corners, a target node and flags.
class RtlsZone : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString id READ id WRITE setID)
    Q_PROPERTY(uint32_t flags READ flags WRITE setFlags)
    Q_PROPERTY(uint64_t target READ target WRITE setTarget)

public:
    explicit RtlsZone(QObject *parent = nullptr);

    virtual QString id() const;
    virtual uint32_t flags() const;
    virtual uint64_t target() const;
    virtual RtlsPos *first();
    virtual RtlsPos *second();

public slots:
    virtual void setID(const QString &id);
    virtual void setFlags(uint32_t flags);
    virtual void setTarget(uint64_t target);

private:
    QString m_id;
    uint32_t m_flags = 0;
    uint64_t m_target = 0;
    // Owned by value, without a QObject parent.
    RtlsPos m_first;
    RtlsPos m_second;
};
