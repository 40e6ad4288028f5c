#pragma once

#include "JsonLineSplitter.h"
#include "RtlsHubLink.h"
#include "StreamConstants.h"
#include "TlvReportDecoder.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class FailureLineLimiter;
class FileRecorder;
class JsonReportParser;
class QTimer;
class QUdpSocket;

// Receives the location stream: UDP datagrams with JSON report lines or TLV
// runs. Splits and decodes them, echoes them to the console when asked,
// updates the node records through the hub and records JSON reports to the
// capture file.
class RtlsLs : public QObject
{
    Q_OBJECT
    Q_PROPERTY(uint rtlsLsIpAddr READ rtlsLsIpAddr WRITE setRtlsLsIpAddr)
    Q_PROPERTY(bool externalEngine READ externalEngine WRITE useExternalEngine)

public:
    // The UDP ports to bind; tests give 0 so that runs never collide.
    struct Ports
    {
        quint16 lsExternalEngine = Stream::kLsPortExternalEngine;
        quint16 lsInternalEngine = Stream::kLsPortInternalEngine;
        quint16 dc = Stream::kDcPort;
        // False: no socket at all (a remote view, whose reports come from a
        // broker, binds no stream port).
        bool listen = true;

        // Ports the system picks, free whatever else runs: for streams in
        // tests, benchmarks and fuzzing.
        static Ports anyFree() { return Ports{0, 0, 0, true}; }
        static Ports none() { return Ports{0, 0, 0, false}; }
    };

    RtlsLs(QObject *parent, bool externalEngine);
    RtlsLs(QObject *parent, bool externalEngine, RtlsHubLink *hub, const Ports &ports);
    ~RtlsLs() override;

    uint rtlsLsIpAddr() const { return m_rtlsLsIpAddr; }
    bool externalEngine() const { return m_externalEngine; }
    bool isPaused() const { return m_paused; }
    bool displaysMessages() const { return m_displayMessages; }
    bool isRecording() const;

    // The ports actually bound (0 when the socket is absent or unbound).
    quint16 lsPort() const;
    quint16 dcPort() const;

    // Routes one location datagram as the socket handler does. A datagram
    // is the unit: it is JSON when it starts with '{', TLV otherwise. Text
    // that an earlier datagram left unfinished is joined to this one only
    // when the joined line parses and this datagram's own first line does
    // not; otherwise the fragment is dropped with one console line.
    void receiveDatagram(const QByteArray &datagram);

    // The capture file; a new name takes effect at the next start.
    QString captureFileName() const { return m_captureFileName; }
    void setCaptureFileName(const QString &fileName) { m_captureFileName = fileName; }

    quint64 jsonLineCount() const { return m_jsonLines; }
    int recordCount() const;
    // Writes out what a running capture has gathered, so the file holds
    // every record counted so far.
    void flushCapture();

    // While suspended, datagrams from the network are read and dropped (a
    // capture is being replayed); an unfinished line is forgotten.
    void setLiveSuspended(bool suspended);
    bool isLiveSuspended() const { return m_liveSuspended; }
    // One report line of a capture being replayed, through the same JSON
    // path as a line received (echo, lsDataReceived, the node update); it
    // is not recorded again.
    void replayLine(const QByteArray &line);
    // One report line that another transport brought (a remote site's
    // position from the broker): the same JSON path as a line received, and
    // recorded while capturing, whether or not the stream listens.
    void receiveLine(const QByteArray &line);
    // Closes the stream's sockets for good: later engine switches bind
    // nothing (the view has become a remote one).
    void stopListening();
    bool isListening() const { return m_listen; }

    // Reads report lines with simdjson where it gives Qt's answer (on by
    // default); off, every line goes through Qt's parser. Both give the
    // same records: the switch is for comparing them.
    void setFastJson(bool fast) { m_fastJson = fast; }
    bool fastJson() const { return m_fastJson; }
    // Lines the fast parser took.
    quint64 fastJsonLineCount() const { return m_fastLines; }
    // The clock of the console's failure-line limit, for tests that must
    // not depend on when a second ends.
    void setFailureClock(std::function<qint64()> clock);

signals:
    void jsonDataReadySignal(QByteArray data);
    void tlvDataReadySignal(QByteArray data);
    void recordingSignal(int size);
    // A capture has started into this file (emitted at once, before the
    // first count): whatever a viewer held of an earlier capture in that
    // file is gone, since the start truncated it.
    void captureStarted(const QString &fileName);

public slots:
    void toggleDisplayMessages();
    void toggleCapture();
    void liveViewCapture();
    void masterDetected(uint ipaddr);
    void pause();
    void setRtlsLsIpAddr(uint ipaddr);
    void useExternalEngine(bool externalEngine);

private slots:
    int processJsonData(QByteArray data);
    int processTLVData(QByteArray ba);
    int jsonUpdateNode(QJsonObject obj);
    void startCapture();
    void stopCapture();
    void processPendingLSDatagrams();
    void processPendingDCDatagrams();

private:
    bool joinPendingLine(const QByteArray &datagram);
    void dropPendingLine();
    void handleJsonLine(const QByteArray &line, bool record = true);
    void recordLine(const QByteArray &line);
    void captureFailed();
    template<typename View>
    void applyReport(const View &report, const QJsonObject *parsed, const QByteArray &line, bool record);
    template<typename View>
    void echoJsonLine(const View &report, const QByteArray &line);
    template<typename View>
    int updateNode(const View &report);
    template<typename View>
    void reportUserData(const View &report);
    void postMessage(const QString &line) const;
    void reportFailure(const QString &title, const QString &text) const;
    void closeSockets();
    QUdpSocket *bindSocket(quint16 port, const QString &title);

    RtlsHubLink *const m_hub;
    const Ports m_ports;
    bool m_listen = true;
    QUdpSocket *m_lsSocket = nullptr;
    QUdpSocket *m_dcSocket = nullptr;
    uint m_rtlsLsIpAddr = 0;
    quint64 m_jsonLines = 0;
    bool m_paused = false;
    bool m_liveSuspended = false;
    bool m_displayMessages = false;
    bool m_externalEngine = true;
    QTimer *m_liveViewTimer = nullptr;
    QString m_captureFileName;
    FileRecorder *m_recorder = nullptr;
    FailureLineLimiter *m_failures = nullptr;
    JsonLineSplitter m_splitter;
    TlvReportDecoder m_tlv;
    std::unique_ptr<JsonReportParser> m_parser;
    bool m_fastJson = true;
    quint64 m_fastLines = 0;
    QByteArray m_datagram;
};
