#include "MeasurementSession.h"

#include "RtlsConvert.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QCoreApplication>

namespace {

constexpr int kCsvDecimals = 4;

QString tr(const char *text)
{
    return QCoreApplication::translate("MeasurementSession", text);
}

QString number(double v)
{
    return QString::number(v, 'f', kCsvDecimals);
}

} // namespace

void MeasurementSession::setNode(uint64_t node)
{
    if (node == m_node)
        return;
    m_node = node;
    m_lastTime = -1.0;
    m_lastUpdate = 0;
}

void MeasurementSession::clear()
{
    m_reports = 0;
    m_ranges.clear();
    for (MeasurementStats &a : m_axes)
        a.clear();
    // The report on hand now is not taken again after a clear.
}

bool MeasurementSession::addReport(RtlsObject *node)
{
    if (!node || node->id() != m_node)
        return false;
    // Views hear of a node for service answers too; only a new report of
    // the stream or the master (a new time stamp or receive time) counts.
    const double time = node->msgTime();
    const uint64_t update = node->lastUpdate();
    if (time == m_lastTime && update == m_lastUpdate)
        return false;
    m_lastTime = time;
    m_lastUpdate = update;

    bool added = false;
    const uint32_t flags = node->msgFlags();
    if ((flags & Rtls::kMsgMeasurements) && node->hasMeas()) {
        const RtlsMeas::Table table = node->meas()->current();
        for (auto it = table.cbegin(); it != table.cend(); ++it) {
            if (it->kind != Rtls::kMeasDistance)
                continue;
            if (m_anchor && it.key() != m_anchor)
                continue;
            m_ranges[it.key()].add(double(it->value));
            added = true;
        }
    }
    if ((flags & Rtls::kMsgCoordinates) && node->hasPos()) {
        RtlsPos *pos = node->pos();
        const float values[] = {pos->x(), pos->y(), pos->z()};
        for (int axis = 0; axis < 3; ++axis) {
            if (pos->flags() & Rtls::kPosAxis[axis]) {
                m_axes[size_t(axis)].add(double(values[axis]));
                added = true;
            }
        }
    }
    if (added)
        ++m_reports;
    return added;
}

QVector<MeasurementSession::Row> MeasurementSession::rows(const Reference &reference,
                                                          const QHash<uint64_t, QVector3D> &anchorPositions) const
{
    QVector<Row> out;
    for (auto it = m_ranges.cbegin(); it != m_ranges.cend(); ++it) {
        Row row;
        row.label = tr("Range to 0x%1").arg(Rtls::hexId(it.key()));
        row.stats = it.value();
        if (reference.kind == Reference::Distance) {
            row.hasBias = true;
            row.bias = it->mean() - reference.distance;
        } else if (reference.kind == Reference::Position && anchorPositions.contains(it.key())) {
            row.hasBias = true;
            row.bias = it->mean() - double((anchorPositions.value(it.key()) - reference.position).length());
        }
        out.append(row);
    }
    const char *const names[] = {QT_TRANSLATE_NOOP("MeasurementSession", "X"),
                                 QT_TRANSLATE_NOOP("MeasurementSession", "Y"),
                                 QT_TRANSLATE_NOOP("MeasurementSession", "Z")};
    const bool positioned = reference.kind == Reference::Position;
    for (int axis = 0; axis < 3; ++axis) {
        Row row;
        row.label = tr(names[axis]);
        row.stats = m_axes[size_t(axis)];
        if (positioned && row.stats.count() > 0) {
            row.hasBias = true;
            row.bias = row.stats.mean() - double(reference.position[axis]);
        }
        out.append(row);
    }
    if (positioned && m_axes[0].count() > 0 && m_axes[1].count() > 0 && m_axes[2].count() > 0) {
        Row row;
        row.label = tr("Position");
        row.hasStats = false;
        row.hasBias = true;
        const QVector3D mean(float(m_axes[0].mean()), float(m_axes[1].mean()), float(m_axes[2].mean()));
        row.bias = double((mean - reference.position).length());
        out.append(row);
    }
    return out;
}

QString MeasurementSession::toCsv(const QVector<Row> &rows)
{
    QString csv = QStringLiteral("measurement,count,mean,stddev,min,max,bias\n");
    for (const Row &row : rows) {
        QStringList fields{row.label};
        if (row.hasStats && row.stats.count() > 0) {
            fields << QString::number(row.stats.count()) << number(row.stats.mean()) << number(row.stats.stddev())
                   << number(row.stats.min()) << number(row.stats.max());
        } else {
            fields << (row.hasStats ? QStringLiteral("0") : QString()) << QString() << QString() << QString()
                   << QString();
        }
        fields << (row.hasBias ? number(row.bias) : QString());
        csv += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return csv;
}
