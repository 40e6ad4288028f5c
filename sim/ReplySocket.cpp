#include "ReplySocket.h"

#include "SimLogging.h"

#include <QUdpSocket>

QUdpSocket *ReplySocket::open(const QHostAddress &bind, quint16 port, QObject *parent)
{
    if (bind.isNull() || bind.isLoopback() || bind == QHostAddress(QHostAddress::AnyIPv4)
        || bind == QHostAddress(QHostAddress::Any))
        return nullptr;
    auto *socket = new QUdpSocket(parent);
    if (!socket->bind(bind, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        qCWarning(lcSim).noquote() << "cannot bind UDP" << bind.toString() << port
                                   << "for answers:" << socket->errorString();
        delete socket;
        return nullptr;
    }
    return socket;
}
