#pragma once

#include <QString>
#include <QtGlobal>

// What a user typed as a master's address: an IPv4 address in dotted
// decimal, or a host name to be looked up; anything else, with the reason
// in words. The service port is the protocol's, so none can be given.
class MasterAddress
{
public:
    enum class Kind { Empty, Ipv4, HostName, Invalid };

    Kind kind = Kind::Empty;
    // Host byte order, for Kind::Ipv4.
    quint32 ipv4 = 0;
    // The text as it is used: trimmed, a name without its final dot.
    QString text;
    // Why the text cannot be used (empty for an address or a name).
    QString problem;

    bool isUsable() const { return kind == Kind::Ipv4 || kind == Kind::HostName; }

    static MasterAddress parse(const QString &typed);
};
