#pragma once

#include <QByteArray>
#include <QStringList>

// Writes DNS messages byte by byte for the tests: header, names in label
// form, compression pointers and records, with nothing checked, so that
// malformed messages are as easy to write as good ones.
class DnsMessageBuilder
{
public:
    explicit DnsMessageBuilder(quint16 flags = 0x8400, quint16 questions = 0, quint16 answers = 0,
                               quint16 additional = 0)
    {
        put16(0);
        put16(flags);
        put16(questions);
        put16(answers);
        put16(0);
        put16(additional);
    }

    int size() const { return m_bytes.size(); }
    QByteArray bytes() const { return m_bytes; }

    DnsMessageBuilder &put8(int value)
    {
        m_bytes.append(static_cast<char>(value));
        return *this;
    }
    DnsMessageBuilder &put16(int value)
    {
        return put8((value >> 8) & 0xff).put8(value & 0xff);
    }
    DnsMessageBuilder &put32(quint32 value)
    {
        return put16(value >> 16).put16(value & 0xffff);
    }
    DnsMessageBuilder &raw(const QByteArray &bytes)
    {
        m_bytes.append(bytes);
        return *this;
    }
    // Labels of a dotted name, ending with the zero byte unless a pointer
    // follows.
    DnsMessageBuilder &labels(const QString &dotted, bool terminate = true)
    {
        const QStringList parts = dotted.split(QLatin1Char('.'), Qt::SkipEmptyParts);
        for (const QString &part : parts) {
            const QByteArray label = part.toUtf8();
            put8(label.size()).raw(label);
        }
        return terminate ? put8(0) : *this;
    }
    DnsMessageBuilder &pointer(int offset) { return put16(0xC000 | offset); }

    // Fixed record fields after the owner name, then the data.
    DnsMessageBuilder &fields(int type, quint32 ttl, const QByteArray &data, int cls = 1)
    {
        put16(type).put16(cls).put32(ttl).put16(data.size());
        return raw(data);
    }
    DnsMessageBuilder &record(const QString &owner, int type, quint32 ttl, const QByteArray &data)
    {
        return labels(owner).fields(type, ttl, data);
    }

    static QByteArray name(const QString &dotted)
    {
        DnsMessageBuilder b;
        b.m_bytes.clear();
        return b.labels(dotted).bytes();
    }
    static QByteArray srv(quint16 port, const QString &target)
    {
        DnsMessageBuilder b;
        b.m_bytes.clear();
        return b.put16(0).put16(0).put16(port).labels(target).bytes();
    }
    static QByteArray ipv4(quint32 ip)
    {
        DnsMessageBuilder b;
        b.m_bytes.clear();
        return b.put32(ip).bytes();
    }

private:
    QByteArray m_bytes;
};
