#include "CaptureCopyWorker.h"

#include <QSaveFile>

CaptureCopyWorker::CaptureCopyWorker()
    : m_source(this)
{
}

// An uncommitted QSaveFile removes its temporary file when it goes.
CaptureCopyWorker::~CaptureCopyWorker() = default;

bool CaptureCopyWorker::open(const QString &source, const QString &target, QString *error)
{
    m_source.setFileName(source);
    if (!m_source.open(QIODevice::ReadOnly)) {
        *error = m_source.errorString();
        return false;
    }
    m_total = m_source.size();
    m_target = std::make_unique<QSaveFile>(target, this);
    if (!m_target->open(QIODevice::WriteOnly)) {
        *error = m_target->errorString();
        m_target.reset();
        m_source.close();
        return false;
    }
    return true;
}

void CaptureCopyWorker::copySlice()
{
    if (!m_target)
        return;
    const qint64 end = qMin(m_total, m_copied + kSliceBytes);
    while (m_copied < end && !m_cancel.load()) {
        const QByteArray chunk = m_source.read(qMin(kReadBytes, end - m_copied));
        if (chunk.isEmpty()) {
            // The recorder only appends; a shorter file was truncated by a
            // new capture, and what it held is no longer there to copy.
            fail(m_source.error() != QFileDevice::NoError
                     ? m_source.errorString()
                     : tr("%1 was overwritten while it was being saved").arg(m_source.fileName()));
            return;
        }
        if (m_target->write(chunk) != chunk.size()) {
            fail(m_target->errorString());
            return;
        }
        m_copied += chunk.size();
    }
    emit copied(m_copied);
}

void CaptureCopyWorker::commit()
{
    if (!m_target)
        return;
    m_source.close();
    m_committed = m_target->commit();
    const QString error = m_target->errorString();
    m_target.reset();
    if (m_committed)
        emit committed();
    else
        emit failed(error);
}

void CaptureCopyWorker::abandon()
{
    m_source.close();
    m_target.reset();
    emit abandoned();
}

void CaptureCopyWorker::fail(const QString &error)
{
    m_source.close();
    m_target.reset();
    emit failed(error);
}
