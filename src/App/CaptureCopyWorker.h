#pragma once

#include <QFile>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QSaveFile;

// One save of a capture: copies the first bytes of a capture file into a
// new file, replaced atomically. Both files are opened where the save starts
// (on the GUI thread), so the copy takes the capture as it was then, however
// the recorder goes on; the copying itself runs on the saver's own thread,
// one slice at a time, each slice asked for by the saver. The copy never
// runs more than a slice ahead of what the window shows, and Cancel takes
// effect within a read.
class CaptureCopyWorker : public QObject
{
    Q_OBJECT

public:
    // Bytes copied per slice and per read.
    static constexpr qint64 kSliceBytes = qint64(16) << 20;
    static constexpr qint64 kReadBytes = qint64(1) << 20;

    CaptureCopyWorker();
    ~CaptureCopyWorker() override;

    // Opens the source for reading (its size now is what is copied) and the
    // target's temporary file. False with the reason in *error.
    bool open(const QString &source, const QString &target, QString *error);
    qint64 total() const { return m_total; }
    // The target was replaced by the copy.
    bool isCommitted() const { return m_committed; }

    // Thread-safe: the slice under way stops after its current read.
    void requestCancel() { m_cancel.store(true); }

public slots:
    // Copies up to one more slice; then copied(), or failed().
    void copySlice();
    // Replaces the target with the copy; then committed(), or failed().
    void commit();
    // Drops the copy: the target stays as it was; then abandoned().
    void abandon();

signals:
    void copied(qint64 bytes);
    void committed();
    void abandoned();
    void failed(const QString &error);

private:
    void fail(const QString &error);

    QFile m_source;
    std::unique_ptr<QSaveFile> m_target;
    qint64 m_total = 0;
    qint64 m_copied = 0;
    bool m_committed = false;
    std::atomic<bool> m_cancel{false};
};
