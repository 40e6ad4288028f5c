#include "FirmwareFile.h"

#include "RtlsConvert.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <zlib.h>

#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("FirmwareFile", text);
}

} // namespace

quint32 FirmwareFile::crc32Of(const char *data, qint64 size)
{
    uLong crc = ::crc32(0L, Z_NULL, 0);
    // zlib takes the length as uInt: feed large buffers in pieces.
    while (size > 0) {
        const uInt piece = uInt(std::min<qint64>(size, 1 << 30));
        crc = ::crc32(crc, reinterpret_cast<const Bytef *>(data), piece);
        data += piece;
        size -= piece;
    }
    return quint32(crc);
}

QString FirmwareFile::crcText(quint32 crc)
{
    return QStringLiteral("0x") + QString::number(crc, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

bool FirmwareFile::fail(const QString &error)
{
    m_valid = false;
    m_error = error;
    m_name.clear();
    m_version.clear();
    m_data.clear();
    m_crc32 = 0;
    return false;
}

bool FirmwareFile::load(const QString &path)
{
    m_fileName = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1: %2").arg(path, file.errorString()));
    if (file.size() > kMaxSize)
        return fail(tr("%1 is larger than the %2 MiB a master takes").arg(m_fileName).arg(kMaxSize >> 20));
    const QByteArray bytes = file.read(kMaxSize + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(tr("Cannot read %1: %2").arg(path, file.errorString()));
    return parse(m_fileName, bytes);
}

bool FirmwareFile::parse(const QString &fileName, const QByteArray &bytes)
{
    m_fileName = fileName;
    if (bytes.isEmpty())
        return fail(tr("%1 is empty").arg(fileName));
    if (bytes.size() > kMaxSize)
        return fail(tr("%1 is larger than the %2 MiB a master takes").arg(fileName).arg(kMaxSize >> 20));

    const QString notFirmware =
        tr("%1 is not a firmware file: its first line must be a JSON object with \"name\" and \"version\"").arg(fileName);
    const int eol = bytes.indexOf('\n');
    if (eol <= 0 || eol > kMaxHeaderBytes)
        return fail(notFirmware);
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes.left(eol), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return fail(notFirmware);
    const QJsonObject header = doc.object();
    const QString name = header.value(QLatin1String("name")).toString();
    const QString version = header.value(QLatin1String("version")).toString();
    if (name.isEmpty() || version.isEmpty())
        return fail(notFirmware);

    const qint64 imageBytes = bytes.size() - eol - 1;
    if (imageBytes <= 0)
        return fail(tr("%1 holds no firmware image after its header").arg(fileName));
    const QJsonValue announcedSize = header.value(QLatin1String("imageSize"));
    if (!announcedSize.isUndefined()) {
        const double announced = announcedSize.toDouble(-1.0);
        if (!announcedSize.isDouble() || announced < 0.0)
            return fail(tr("%1 has a header whose \"imageSize\" is not a size").arg(fileName));
        if (announced != double(imageBytes))
            return fail(tr("%1 is truncated or padded: its header announces %2 image bytes, the file holds %3")
                            .arg(fileName)
                            .arg(qint64(announced))
                            .arg(imageBytes));
    }
    const QJsonValue announcedCrc = header.value(QLatin1String("imageCrc32"));
    if (!announcedCrc.isUndefined()) {
        const quint32 crc = crc32Of(bytes.constData() + eol + 1, imageBytes);
        const quint32 want = announcedCrc.isString() ? Rtls::parseHex32(announcedCrc.toString())
                                                     : quint32(announcedCrc.toDouble(-1.0));
        if (crc != want)
            return fail(tr("%1 is damaged: its image's CRC-32 is %2, its header says %3")
                            .arg(fileName, crcText(crc), crcText(want)));
    }

    m_valid = true;
    m_error.clear();
    m_name = name;
    m_version = version;
    m_data = bytes;
    m_crc32 = crc32Of(bytes.constData(), bytes.size());
    return true;
}
