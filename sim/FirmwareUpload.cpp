#include "FirmwareUpload.h"

#include "JsonRead.h"
#include "SimConstants.h"

#include <QJsonDocument>
#include <QtEndian>
#include <zlib.h>

namespace {
constexpr int kBlockHeaderBytes = 8;

QJsonObject reply(const QString &status)
{
    QJsonObject o;
    o.insert(QStringLiteral("response"), QStringLiteral("fwUpload"));
    o.insert(QStringLiteral("status"), status);
    return o;
}
} // namespace

FirmwareUpload::FirmwareUpload(const QJsonObject &open, QJsonObject *answer)
{
    m_fileName = open.value(QStringLiteral("name")).toString();
    qint64 size = 0;
    quint64 crc = 0;
    if (!JsonRead::integer(open.value(QStringLiteral("size")), &size) || size <= 0 ||
        size > SimConst::kFwMaxImage) {
        *answer = fail(QStringLiteral("invalid size"));
        return;
    }
    if (!JsonRead::hexId(open.value(QStringLiteral("crc32")), &crc) || crc > 0xFFFFFFFFULL) {
        *answer = fail(QStringLiteral("invalid crc32"));
        return;
    }
    m_size = quint32(size);
    m_crc = quint32(crc);
    m_state = State::Receiving;
    m_image.reserve(int(m_size));
    *answer = reply(QStringLiteral("ready"));
    answer->insert(QStringLiteral("blockSize"), SimConst::kFwMaxBlock);
}

QJsonObject FirmwareUpload::fail(const QString &why)
{
    m_state = State::Failed;
    m_image.clear();
    QJsonObject o = reply(QStringLiteral("error"));
    o.insert(QStringLiteral("error"), why);
    return o;
}

QVector<QJsonObject> FirmwareUpload::feed(QByteArray *buffer)
{
    QVector<QJsonObject> out;
    while (m_state == State::Receiving && buffer->size() >= kBlockHeaderBytes) {
        const auto *p = reinterpret_cast<const uchar *>(buffer->constData());
        const quint32 offset = qFromLittleEndian<quint32>(p);
        const quint32 length = qFromLittleEndian<quint32>(p + 4);
        if (offset != quint32(m_image.size())) {
            out.append(fail(QStringLiteral("block at offset %1, expected %2").arg(offset).arg(m_image.size())));
            break;
        }
        if (length == 0 || length > quint32(SimConst::kFwMaxBlock) || length > m_size - offset) {
            out.append(fail(QStringLiteral("invalid block length %1").arg(length)));
            break;
        }
        if (buffer->size() < kBlockHeaderBytes + int(length))
            break;
        m_image.append(buffer->constData() + kBlockHeaderBytes, int(length));
        buffer->remove(0, kBlockHeaderBytes + int(length));
        QJsonObject ack = reply(QStringLiteral("block"));
        ack.insert(QStringLiteral("offset"), double(offset));
        ack.insert(QStringLiteral("length"), double(length));
        out.append(ack);
        if (quint32(m_image.size()) < m_size)
            continue;
        if (crc32(m_image) != m_crc) {
            out.append(fail(QStringLiteral("crc32 mismatch")));
            break;
        }
        QString why;
        if (!readImageHeader(m_image, &m_desc, &why)) {
            out.append(fail(why));
            break;
        }
        m_desc.size = m_size;
        m_desc.crc32 = m_crc;
        m_state = State::Done;
        m_image.clear();
    }
    return out;
}

quint32 FirmwareUpload::crc32(const QByteArray &data)
{
    return quint32(::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.constData()),
                           uInt(data.size())));
}

bool FirmwareUpload::readImageHeader(const QByteArray &image, FwDesc *desc, QString *error)
{
    const int eol = image.indexOf('\n');
    const QJsonDocument doc = QJsonDocument::fromJson(eol > 0 ? image.left(eol) : QByteArray());
    const QJsonObject h = doc.object();
    const QString name = h.value(QStringLiteral("name")).toString();
    const QString version = h.value(QStringLiteral("version")).toString();
    if (name.isEmpty() || version.isEmpty()) {
        *error = QStringLiteral("not a firmware image: the first line must be a JSON object with name and version");
        return false;
    }
    desc->name = name;
    desc->version = version;
    desc->enabled = true;
    return true;
}
