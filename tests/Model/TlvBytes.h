#pragma once

#include <QByteArray>

#include <cstring>

// Builds TLV runs for the model tests: one element per call.
inline QByteArray tlv(char type, const QByteArray &value)
{
    QByteArray e;
    e.append(type);
    e.append(static_cast<char>(value.size()));
    return e + value;
}

inline QByteArray le32(float f)
{
    char b[4];
    std::memcpy(b, &f, 4); // the test machines are little-endian like the wire
    return QByteArray(b, 4);
}

inline QByteArray le64(quint64 v)
{
    QByteArray b;
    for (int i = 0; i < 8; ++i)
        b.append(static_cast<char>(v >> (8 * i)));
    return b;
}
