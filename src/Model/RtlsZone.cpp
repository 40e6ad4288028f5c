#include "RtlsZone.h"

RtlsZone::RtlsZone(QObject *parent) : QObject(parent), m_id(QStringLiteral("UNKNOWN")) {}

QString RtlsZone::id() const { return m_id; }
uint32_t RtlsZone::flags() const { return m_flags; }
uint64_t RtlsZone::target() const { return m_target; }
RtlsPos *RtlsZone::first() { return &m_first; }
RtlsPos *RtlsZone::second() { return &m_second; }

void RtlsZone::setID(const QString &id) { m_id = id; }
void RtlsZone::setFlags(uint32_t flags) { m_flags = flags; }
void RtlsZone::setTarget(uint64_t target) { m_target = target; }
