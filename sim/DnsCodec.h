#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QVector>

// The DNS message format for the multicast DNS responder, on top of
// NLnet Labs' ldns: reads the questions of a query and writes answers.
class DnsCodec
{
public:
    enum Type : quint16 { A = 1, PTR = 12, TXT = 16, SRV = 33, ANY = 255 };

    struct Question {
        QString name; // lower case, with the final dot
        quint16 type = 0;
    };

    struct Record {
        QString name;
        quint16 type = 0;
        quint32 ttl = 120;
        bool cacheFlush = false;
        QString target; // PTR, SRV
        quint16 port = 0; // SRV
        QStringList texts; // TXT
        QHostAddress address; // A
    };

    // False for anything that is not a well-formed DNS message.
    static bool readQuery(const QByteArray &wire, QVector<Question> *questions, bool *isResponse);
    // A response (flags 0x8400) holding only answer records. Empty on failure.
    static QByteArray writeResponse(const QVector<Record> &answers);
    static QString normalise(const QString &name);
};
