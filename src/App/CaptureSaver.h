#pragma once

#include <QObject>
#include <QString>

class CaptureCopyWorker;
class QThread;

// Saves captures off the GUI thread, one at a time: a capture of gigabytes
// is copied on a thread of the saver's own while the window goes on. The
// target is replaced atomically when the copy is complete; a failed or
// cancelled save leaves it as it was.
class CaptureSaver : public QObject
{
    Q_OBJECT

public:
    explicit CaptureSaver(QObject *parent = nullptr);
    // A save under way is cancelled and waited for.
    ~CaptureSaver() override;

    // Starts copying what the source holds now into the target. False with
    // the reason in *error when either cannot be opened (nothing started),
    // or while another save runs.
    bool start(const QString &source, const QString &target, QString *error);
    bool isBusy() const { return m_worker != nullptr; }
    QString source() const { return m_source; }
    QString target() const { return m_target; }
    // True from a cancel until the save ends.
    bool isCancelling() const { return m_cancelling; }
    // True once the copy is complete and the target is being replaced: too
    // late to cancel.
    bool isCommitting() const { return m_committing; }
    // While held, the copy goes no further than the slice under way: the
    // target is not replaced while the user is asked whether to stop.
    void setHeld(bool held);

public slots:
    // Asks the save under way to stop; cancelled() follows once the copy is
    // dropped. Nothing happens once the copy is being committed.
    void cancel();
    // Cancels and waits until the copy is dropped (for a window that goes).
    void abort();

signals:
    void started(const QString &target, qint64 total);
    void progress(qint64 copied, qint64 total);
    void saved(const QString &target);
    void failed(const QString &target, const QString &error);
    void cancelled(const QString &target);

private:
    void copied(qint64 bytes);
    void step();
    void finish();
    void ensureThread();

    QThread *m_thread = nullptr;
    CaptureCopyWorker *m_worker = nullptr;
    QString m_source;
    QString m_target;
    qint64 m_total = 0;
    // Counts the saves, so that a late signal of an earlier one is ignored.
    quint64 m_job = 0;
    bool m_cancelling = false;
    bool m_committing = false;
    bool m_held = false;
    // Bytes copied so far, and whether the next step waits for the hold.
    qint64 m_copied = 0;
    bool m_stepWaiting = false;
};
