#pragma once

#include <QObject>

#include <cstdint>

// Placeholder: the full node record replaces this.
class RtlsObject : public QObject
{
    Q_OBJECT
public:
    explicit RtlsObject(QObject *parent = nullptr) : QObject(parent) {}
    virtual uint64_t id() const { return m_id; }
    virtual void setID(uint64_t id) { m_id = id; }

private:
    uint64_t m_id = 0;
};
