#include "FileRecorder.h"

#include <QFile>

namespace {
// Gathered bytes are written once they pass this size (and at every flush).
constexpr int kBlockBytes = 64 * 1024;
} // namespace

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
    m_buffer.clear();
    m_buffered = 0;
    m_written = 0;
    m_error.clear();
    // Unbuffered: the blocks gathered here go straight to the file, so a
    // failing write is seen at once rather than when Qt flushes its own
    // buffer.
    m_recording = m_file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (!m_recording)
        m_error = m_file->errorString();
    else
        m_buffer.reserve(kBlockBytes + 4096);
    return m_recording;
}

bool FileRecorder::writeRecord(const char *data, int length)
{
    if (!m_recording)
        return false;
    m_buffer.append(data, length);
    m_buffer.append('\n');
    ++m_buffered;
    return m_buffer.size() < kBlockBytes || flush();
}

bool FileRecorder::flush()
{
    if (!m_recording)
        return false;
    if (m_buffer.isEmpty())
        return true;
    const qint64 wrote = m_file->write(m_buffer);
    if (wrote != m_buffer.size()) {
        m_error = m_file->errorString();
        m_buffer.clear();
        m_buffered = 0;
        m_file->close();
        m_recording = false;
        return false;
    }
    m_written += m_buffered;
    m_buffered = 0;
    m_buffer.clear();
    return true;
}

void FileRecorder::stop()
{
    if (!m_recording)
        return;
    flush();
    if (m_file->isOpen())
        m_file->close();
    m_recording = false;
}
