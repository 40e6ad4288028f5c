#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QFile;

// Writes captured location reports to a file, one record per line. Records
// are gathered in memory and written in blocks, so a busy stream costs no
// system call per report; a record counts as written only once its bytes
// reached the file. A plain QObject: it shows nothing, and a widget could not
// exist in a headless receiver.
class FileRecorder : public QObject
{
    Q_OBJECT

public:
    explicit FileRecorder(const QString &fileName, QObject *parent = nullptr);
    ~FileRecorder() override;

    // Opens the file write-only and truncated; recording follows the result.
    bool open(const QString &fileName);
    // Adds one record (the bytes of a line; the line feed is added here).
    // Returns false when a block had to be written and that failed: the
    // recorder then stops, and errorString() says why.
    bool writeRecord(const char *data, int length);
    // Writes what is gathered; false (and stopped) when that failed.
    bool flush();
    // Flushes and closes the file.
    void stop();

    bool isRecording() const { return m_recording; }
    QString fileName() const { return m_fileName; }
    // Records taken since open(): written, or gathered to be written with
    // the next block. Records lost to a failed write are not counted.
    qint64 records() const { return m_written + m_buffered; }
    QString errorString() const { return m_error; }

private:
    QString m_fileName;
    QFile *m_file = nullptr;
    QByteArray m_buffer;
    qint64 m_buffered = 0;
    qint64 m_written = 0;
    QString m_error;
    bool m_recording = false;
};
