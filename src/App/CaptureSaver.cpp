#include "CaptureSaver.h"

#include "CaptureCopyWorker.h"

#include <QThread>

CaptureSaver::CaptureSaver(QObject *parent)
    : QObject(parent)
{
}

CaptureSaver::~CaptureSaver()
{
    // Whoever listened may be half gone by now.
    blockSignals(true);
    abort();
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
    }
}

void CaptureSaver::ensureThread()
{
    if (m_thread)
        return;
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("capture save"));
    m_thread->start();
}

bool CaptureSaver::start(const QString &source, const QString &target, QString *error)
{
    if (isBusy()) {
        *error = tr("another save is running");
        return false;
    }
    auto *worker = new CaptureCopyWorker;
    if (!worker->open(source, target, error)) {
        delete worker;
        return false;
    }
    ensureThread();
    worker->moveToThread(m_thread);
    m_worker = worker;
    m_source = source;
    m_target = target;
    m_total = worker->total();
    m_cancelling = false;
    m_committing = false;

    // Queued (the worker lives on the thread); each is for this save only.
    const quint64 job = ++m_job;
    connect(worker, &CaptureCopyWorker::copied, this, [this, job](qint64 bytes) {
        if (job == m_job)
            copied(bytes);
    });
    connect(worker, &CaptureCopyWorker::committed, this, [this, job, target] {
        if (job != m_job)
            return;
        finish();
        emit saved(target);
    });
    connect(worker, &CaptureCopyWorker::failed, this, [this, job, target](const QString &reason) {
        if (job != m_job)
            return;
        finish();
        emit failed(target, reason);
    });
    connect(worker, &CaptureCopyWorker::abandoned, this, [this, job, target] {
        if (job != m_job)
            return;
        finish();
        emit cancelled(target);
    });
    emit started(target, m_total);
    QMetaObject::invokeMethod(worker, &CaptureCopyWorker::copySlice, Qt::QueuedConnection);
    return true;
}

// The next slice is asked for only now that the window has this one.
void CaptureSaver::copied(qint64 bytes)
{
    m_copied = bytes;
    emit progress(bytes, m_total);
    if (m_held && !m_cancelling) {
        m_stepWaiting = true;
        return;
    }
    step();
}

void CaptureSaver::setHeld(bool held)
{
    m_held = held;
    if (!held && m_stepWaiting && m_worker) {
        m_stepWaiting = false;
        step();
    }
}

void CaptureSaver::step()
{
    m_committing = !m_cancelling && m_copied >= m_total;
    if (m_cancelling)
        QMetaObject::invokeMethod(m_worker, &CaptureCopyWorker::abandon, Qt::QueuedConnection);
    else if (m_committing)
        QMetaObject::invokeMethod(m_worker, &CaptureCopyWorker::commit, Qt::QueuedConnection);
    else
        QMetaObject::invokeMethod(m_worker, &CaptureCopyWorker::copySlice, Qt::QueuedConnection);
}

void CaptureSaver::cancel()
{
    if (!m_worker || m_committing || m_cancelling)
        return;
    m_cancelling = true;
    m_worker->requestCancel();
}

void CaptureSaver::abort()
{
    if (!m_worker)
        return;
    const QString target = m_target;
    m_worker->requestCancel();
    // Runs after the slice or the commit under way, which the flag cuts short.
    QMetaObject::invokeMethod(m_worker, &CaptureCopyWorker::abandon, Qt::BlockingQueuedConnection);
    const bool committed = m_worker->isCommitted();
    finish();
    if (committed)
        emit saved(target);
    else
        emit cancelled(target);
}

void CaptureSaver::finish()
{
    m_worker->deleteLater();
    m_worker = nullptr;
    m_cancelling = false;
    m_committing = false;
    m_held = false;
    m_stepWaiting = false;
    m_copied = 0;
    // Signals of this save still on their way are not for the next one.
    ++m_job;
}
