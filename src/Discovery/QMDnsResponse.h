#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

// One multicast DNS response as the firmware dialog sees it: the raw message
// and its resource records, uninterpreted. Reading never goes past the end of
// the message, whatever its lengths and pointers say.
class QMDnsResponse
{
public:
    struct Record
    {
        quint16 type = 0;
        QString name;
        QByteArray data;
    };

    explicit QMDnsResponse(const QByteArray &message);

    const QByteArray &message() const { return m_message; }
    const QList<Record> &records() const { return m_records; }

    // True when the header's flags say "authoritative response" (0x8400).
    static bool hasResponseFlags(const QByteArray &message);

    // Walks the records that follow the header. Stops at the first name that
    // cannot be read, since nothing after it can be located reliably; the
    // records before it are kept. Returns false in that case.
    bool readRecords();

    // Reads the dotted name at pos. used receives the bytes the name
    // occupies at pos (up to and including its zero byte or first pointer).
    // A compression pointer must lead to an earlier place than the stretch of
    // labels it ends, and past the header, so every name is read in a bounded
    // number of steps.
    static bool readName(const QByteArray &message, int pos, QString *name, int *used);

private:
    QByteArray m_message;
    QList<Record> m_records;
};

Q_DECLARE_METATYPE(QMDnsResponse *)
