#include "FileRecorder.h"

#include <QFile>

FileRecorder::FileRecorder(const QString &fileName, QObject *parent)
    : QObject(parent)
    , m_fileName(fileName)
{
}

FileRecorder::~FileRecorder()
{
    stop();
}

bool FileRecorder::open(const QString &fileName)
{
    stop();
    delete m_file;
    m_fileName = fileName;
    m_file = new QFile(fileName, this);
    m_recording = m_file->open(QIODevice::WriteOnly | QIODevice::Truncate);
    return m_recording;
}

void FileRecorder::write(const char *data, qint64 length)
{
    if (m_recording)
        m_file->write(data, length);
}

void FileRecorder::stop()
{
    if (m_recording)
        m_file->close();
    m_recording = false;
}
