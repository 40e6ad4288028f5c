#pragma once

#include <QObject>
#include <QString>

class QFile;

// Writes captured location reports to a file. A plain QObject: it shows
// nothing, and a widget could not exist in a headless receiver.
class FileRecorder : public QObject
{
    Q_OBJECT

public:
    explicit FileRecorder(const QString &fileName, QObject *parent = nullptr);
    ~FileRecorder() override;

    // Opens the file write-only and truncated; recording follows the result.
    bool open(const QString &fileName);
    // Write failures are ignored: a capture is best effort and must never
    // slow down or stop the stream.
    void write(const char *data, qint64 length);
    void stop();

    bool isRecording() const { return m_recording; }
    QString fileName() const { return m_fileName; }

private:
    QString m_fileName;
    QFile *m_file = nullptr;
    bool m_recording = false;
};
