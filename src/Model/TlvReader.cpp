#include "TlvReader.h"

#include <cstring>

namespace {

constexpr int kHeaderSize = 2;

template<int Bytes> struct UnsignedOf;
template<> struct UnsignedOf<1> { using type = uint8_t; };
template<> struct UnsignedOf<4> { using type = uint32_t; };
template<> struct UnsignedOf<8> { using type = uint64_t; };

// Assembles the first sizeof(T) bytes, least significant first, into T's bit
// pattern, independent of the host's byte order.
template<typename T>
bool readLittleEndian(const char *value, int length, T &out)
{
    constexpr int width = static_cast<int>(sizeof(T));
    if (!value || length < width)
        return false;
    typename UnsignedOf<width>::type bits = 0;
    for (int i = width - 1; i >= 0; --i)
        bits = static_cast<decltype(bits)>((static_cast<uint64_t>(bits) << 8) | static_cast<uint8_t>(value[i]));
    std::memcpy(&out, &bits, sizeof(T));
    return true;
}

} // namespace

TlvReader::TlvReader(const char *data, int size)
    : m_data(data), m_size(data && size > 0 ? size : 0)
{
}

TlvReader::Result TlvReader::next()
{
    if (m_failed)
        return Result::Error;
    const int remaining = m_size - m_offset;
    if (remaining == 0)
        return Result::End;
    if (remaining < kHeaderSize) {
        m_failed = true;
        return Result::Error;
    }
    const uint8_t type = static_cast<uint8_t>(m_data[m_offset]);
    const int length = static_cast<uint8_t>(m_data[m_offset + 1]);
    if (length > remaining - kHeaderSize) {
        m_failed = true;
        return Result::Error;
    }
    m_type = type;
    m_length = length;
    m_value = m_data + m_offset + kHeaderSize;
    m_offset += kHeaderSize + length;
    return Result::Element;
}

bool TlvReader::readUInt8(uint8_t &out) const { return readUInt8(m_value, m_length, out); }
bool TlvReader::readInt8(int8_t &out) const { return readInt8(m_value, m_length, out); }
bool TlvReader::readUInt32(uint32_t &out) const { return readUInt32(m_value, m_length, out); }
bool TlvReader::readInt32(int32_t &out) const { return readInt32(m_value, m_length, out); }
bool TlvReader::readUInt64(uint64_t &out) const { return readUInt64(m_value, m_length, out); }
bool TlvReader::readFloat(float &out) const { return readFloat(m_value, m_length, out); }
bool TlvReader::readDouble(double &out) const { return readDouble(m_value, m_length, out); }

bool TlvReader::readUInt8(const char *value, int length, uint8_t &out)
{
    return readLittleEndian(value, length, out);
}

bool TlvReader::readInt8(const char *value, int length, int8_t &out)
{
    return readLittleEndian(value, length, out);
}

bool TlvReader::readUInt32(const char *value, int length, uint32_t &out)
{
    return readLittleEndian(value, length, out);
}

bool TlvReader::readInt32(const char *value, int length, int32_t &out)
{
    return readLittleEndian(value, length, out);
}

bool TlvReader::readUInt64(const char *value, int length, uint64_t &out)
{
    return readLittleEndian(value, length, out);
}

bool TlvReader::readFloat(const char *value, int length, float &out)
{
    return readLittleEndian(value, length, out);
}

bool TlvReader::readDouble(const char *value, int length, double &out)
{
    return readLittleEndian(value, length, out);
}
