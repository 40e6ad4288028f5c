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
    m_open = m_file->open(QIODevice::WriteOnly | QIODevice::Truncate);
    m_recording = m_open;
    return m_open;
}

void FileRecorder::write(const char *data, qint64 length)
{
    if (m_open)
        m_file->write(data, length);
}

void FileRecorder::stop()
{
    if (m_open) {
        m_file->close();
        m_open = false;
    }
    m_recording = false;
}
