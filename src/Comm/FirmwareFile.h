#pragma once

#include <QByteArray>
#include <QString>

// A "*.fwup" firmware file, read and checked before anything is sent: a
// first line holding a JSON object with "name" (the kind of image) and
// "version", then the image. A header may also carry "imageSize" (bytes
// after the header line) and "imageCrc32" (their CRC-32, "0x" + hex): with
// them a truncated or damaged file is caught here rather than by the master.
// The file goes to the master whole, header included.
class FirmwareFile
{
public:
    static constexpr qint64 kMaxSize = 16 * 1024 * 1024;
    static constexpr int kMaxHeaderBytes = 4096;

    // Reads and checks the file; on failure error() says why, in words fit
    // for the user.
    bool load(const QString &path);
    // Checks bytes as the contents of a file named fileName.
    bool parse(const QString &fileName, const QByteArray &bytes);

    bool isValid() const { return m_valid; }
    QString error() const { return m_error; }
    // The file's name without its folder: what the upload announces.
    QString fileName() const { return m_fileName; }
    QString name() const { return m_name; }
    QString version() const { return m_version; }
    const QByteArray &data() const { return m_data; }
    qint64 size() const { return m_data.size(); }
    // CRC-32 of the whole file, as zlib computes it.
    quint32 crc32() const { return m_crc32; }

    static quint32 crc32Of(const char *data, qint64 size);
    // A CRC-32 as the masters write it: "0x" and eight upper-case digits.
    static QString crcText(quint32 crc);

private:
    bool fail(const QString &error);

    bool m_valid = false;
    QString m_error;
    QString m_fileName;
    QString m_name;
    QString m_version;
    QByteArray m_data;
    quint32 m_crc32 = 0;
};
