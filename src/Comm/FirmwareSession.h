#pragma once

#include "FwDescriptor.h"

#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <cstdint>

class SvcClient;

// The firmware dialog's own service channel to one master: it sends the
// descriptor table commands, reads the table from the answers, and asks the
// master for its nodes and their details to learn every node's hardware,
// loader and firmware versions. Every line sent is reported as "Sending: "
// and every answer as "Received: ", for the dialog's log.
class FirmwareSession : public QObject
{
    Q_OBJECT

public:
    struct NodeVersions
    {
        uint64_t id = 0;
        QString name;
        QString mode;
        // Unknown versions (absent or unreadable in the answer) are 0.
        uint32_t hardware = 0;
        uint32_t loader = 0;
        uint32_t firmware = 0;
    };

    explicit FirmwareSession(QObject *parent = nullptr);
    ~FirmwareSession() override;

    // Opens a channel to a master, dropping any earlier one.
    void open(const QHostAddress &address, quint16 port);
    void close();
    bool isOpen() const { return m_client != nullptr; }
    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }

    const QVector<FwDescriptor> &descriptors() const { return m_descriptors; }

public slots:
    void listFwDesc();
    void saveFwDescList();
    void checkFwUpdate();
    void removeFwDesc(int slot);
    void enableFwDesc(int slot, bool enable);
    void bootFwDesc(int slot);
    // Lists the master's anchors and tags, then asks for each one's details.
    void readVersions();

signals:
    void logLine(const QString &line);
    void descriptorsChanged();
    // A status answer of a command without a table ("saveFwDescList",
    // "checkFwUpdate").
    void commandDone(const QString &command);
    void commandFailed(const QString &command, const QString &error);
    void nodeVersions(const FirmwareSession::NodeVersions &versions);
    void connectionFailed(const QString &error);

private:
    void send(const QJsonObject &command);
    void onLine(const QByteArray &line);
    void onError(unsigned int address, int code, const QString &message);
    void requestDetails(const QJsonArray &nodes);

    SvcClient *m_client = nullptr;
    QHostAddress m_address;
    quint16 m_port = 0;
    QVector<FwDescriptor> m_descriptors;
    // Nodes whose details were asked for on this channel.
    QSet<uint64_t> m_asked;
    bool m_errorReported = false;
};

Q_DECLARE_METATYPE(FirmwareSession::NodeVersions)
