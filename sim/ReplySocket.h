#pragma once

#include <QHostAddress>

class QObject;
class QUdpSocket;

// A socket for the answers of a listener that must listen on every address
// (broadcasts and multicast arrive for no single one) while the simulator is
// bound to one address with --bind: bound to that address and the same port,
// so every answer leaves from it, whichever address the kernel would pick on
// a host with several. Unicast datagrams to that address and port arrive on
// it too, so the owner reads it as well. Null when no such socket is needed
// (any address, or a loopback address the listener is bound to itself).
namespace ReplySocket {
QUdpSocket *open(const QHostAddress &bind, quint16 port, QObject *parent);
}
