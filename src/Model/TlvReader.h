#pragma once

#include <QtEndian>

#include <cstdint>
#include <cstring>

// Walks a run of TLV elements (1-byte type, 1-byte length n, n value bytes)
// in a byte buffer, one element at a time, and reads little-endian numbers
// from an element's value. It never reads outside the buffer it was given.
//
// Value readers take the first bytes of the value when it is longer than the
// number's width (a field never receives more than its width) and refuse a
// value that is shorter (the element is then skipped by the caller).
//
// The walk and the readers are inline: every element of every report passes
// through them, and a call per element cost as much as the work it did.
class TlvReader
{
public:
    enum class Result {
        End,     // no bytes left: the run ended exactly at the end of the buffer
        Element, // one element decoded; type(), length(), value() describe it
        Error,   // a lone byte or a value cut short by the end of the buffer
    };

    TlvReader(const char *data, int size) : m_data(data), m_size(data && size > 0 ? size : 0) {}

    // Decodes the next element. After an Error every further call gives Error.
    Result next()
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

    uint8_t type() const { return m_type; }
    int length() const { return m_length; }
    const char *value() const { return m_value; }
    // Bytes of the buffer used so far.
    int offset() const { return m_offset; }

    // Calls visit(reader) for every element of a run, in order; returns the
    // number of elements, or -1 when the run is cut short (the elements
    // before the cut have been visited).
    template<typename Visit>
    static int forEach(const char *data, int size, Visit &&visit)
    {
        TlvReader reader(data, size);
        for (int count = 0;; ++count) {
            switch (reader.next()) {
            case Result::End:
                return count;
            case Result::Error:
                return -1;
            case Result::Element:
                visit(static_cast<const TlvReader &>(reader));
                break;
            }
        }
    }

    // The current element's value as a little-endian number; false (and out
    // untouched) when the value is shorter than the number.
    bool readUInt8(uint8_t &out) const { return readUInt8(m_value, m_length, out); }
    bool readInt8(int8_t &out) const { return readInt8(m_value, m_length, out); }
    bool readUInt32(uint32_t &out) const { return readUInt32(m_value, m_length, out); }
    bool readInt32(int32_t &out) const { return readInt32(m_value, m_length, out); }
    bool readUInt64(uint64_t &out) const { return readUInt64(m_value, m_length, out); }
    bool readFloat(float &out) const { return readFloat(m_value, m_length, out); }
    bool readDouble(double &out) const { return readDouble(m_value, m_length, out); }

    // The same for any value buffer of the given length.
    static bool readUInt8(const char *value, int length, uint8_t &out) { return read<uint8_t>(value, length, out); }
    static bool readInt8(const char *value, int length, int8_t &out) { return read<uint8_t>(value, length, out); }
    static bool readUInt32(const char *value, int length, uint32_t &out) { return read<uint32_t>(value, length, out); }
    static bool readInt32(const char *value, int length, int32_t &out) { return read<uint32_t>(value, length, out); }
    static bool readUInt64(const char *value, int length, uint64_t &out) { return read<uint64_t>(value, length, out); }
    static bool readFloat(const char *value, int length, float &out) { return read<uint32_t>(value, length, out); }
    static bool readDouble(const char *value, int length, double &out) { return read<uint64_t>(value, length, out); }

private:
    static constexpr int kHeaderSize = 2;

    // The first sizeof(T) bytes, least significant first, as T's bit
    // pattern (Bits: the unsigned type of T's width), whatever the host's
    // byte order.
    template<typename Bits, typename T>
    static bool read(const char *value, int length, T &out)
    {
        static_assert(sizeof(Bits) == sizeof(T), "a field of the number's own width");
        if (!value || length < static_cast<int>(sizeof(T)))
            return false;
        const Bits bits = qFromLittleEndian<Bits>(value);
        std::memcpy(&out, &bits, sizeof(T));
        return true;
    }

    const char *m_data;
    int m_size;
    int m_offset = 0;
    bool m_failed = false;
    uint8_t m_type = 0;
    int m_length = 0;
    const char *m_value = nullptr;
};
