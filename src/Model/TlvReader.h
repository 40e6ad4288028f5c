#pragma once

#include <cstdint>

// Walks a run of TLV elements (1-byte type, 1-byte length n, n value bytes)
// in a byte buffer, one element at a time, and reads little-endian numbers
// from an element's value. It never reads outside the buffer it was given.
//
// Value readers take the first bytes of the value when it is longer than the
// number's width (a field never receives more than its width) and refuse a
// value that is shorter (the element is then skipped by the caller).
class TlvReader
{
public:
    enum class Result {
        End,     // no bytes left: the run ended exactly at the end of the buffer
        Element, // one element decoded; type(), length(), value() describe it
        Error,   // a lone byte or a value cut short by the end of the buffer
    };

    TlvReader(const char *data, int size);

    // Decodes the next element. After an Error every further call gives Error.
    Result next();

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
    bool readUInt8(uint8_t &out) const;
    bool readInt8(int8_t &out) const;
    bool readUInt32(uint32_t &out) const;
    bool readInt32(int32_t &out) const;
    bool readUInt64(uint64_t &out) const;
    bool readFloat(float &out) const;
    bool readDouble(double &out) const;

    // The same for any value buffer of the given length.
    static bool readUInt8(const char *value, int length, uint8_t &out);
    static bool readInt8(const char *value, int length, int8_t &out);
    static bool readUInt32(const char *value, int length, uint32_t &out);
    static bool readInt32(const char *value, int length, int32_t &out);
    static bool readUInt64(const char *value, int length, uint64_t &out);
    static bool readFloat(const char *value, int length, float &out);
    static bool readDouble(const char *value, int length, double &out);

private:
    const char *m_data;
    int m_size;
    int m_offset = 0;
    bool m_failed = false;
    uint8_t m_type = 0;
    int m_length = 0;
    const char *m_value = nullptr;
};
