#pragma once

#include "FirmwareTable.h"

#include <QByteArray>
#include <QJsonObject>
#include <QVector>

// Receiving side of one "*.fwup" upload (framing in docs/SIMULATOR.md):
// after the opening JSON line, binary blocks of an 8-byte header (offset and
// length, little-endian uint32) and their bytes. Nothing reaches the
// descriptor table until the whole image has arrived and checked out.
class FirmwareUpload
{
public:
    enum class State { Receiving, Done, Failed };

    // Validates the opening command; *answer gets the reply line.
    FirmwareUpload(const QJsonObject &open, QJsonObject *answer);

    State state() const { return m_state; }
    // Consumes complete blocks from *buffer; returns the reply lines.
    QVector<QJsonObject> feed(QByteArray *buffer);
    // The image's descriptor, valid once state() is Done.
    const FwDesc &descriptor() const { return m_desc; }

    static quint32 crc32(const QByteArray &data);
    // Image header: the first line of a *.fwup file is a JSON object with
    // "name" and "version".
    static bool readImageHeader(const QByteArray &image, FwDesc *desc, QString *error);

private:
    State m_state = State::Failed;
    QString m_fileName;
    quint32 m_size = 0;
    quint32 m_crc = 0;
    QByteArray m_image;
    FwDesc m_desc;

    QJsonObject fail(const QString &why);
};
