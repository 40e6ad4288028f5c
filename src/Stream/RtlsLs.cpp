#include "RtlsLs.h"

#include "FailureLineLimiter.h"
#include "FileRecorder.h"
#include "JsonReportParser.h"
#include "RtlsAlert.h"
#include "RtlsConvert.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsQtJsonView.h"
#include "RtlsSimdJsonView.h"
#include "StreamLog.h"
#include "StreamTimeText.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimer>
#include <QUdpSocket>

#include <limits>

namespace {
// Bursts of many masters arrive faster than one event loop turn; the kernel
// caps this at its own maximum.
constexpr int kReceiveBufferBytes = 4 << 20;
constexpr int kLargestDatagram = 65536;
// Datagrams read in one turn of the event loop. A stream faster than the
// model can take must not keep the loop in this handler for ever: the rest
// waits in the socket (the read notifier fires again at the next turn), and
// clicks, timers and pictures get their turn in between.
constexpr int kDatagramsPerTurn = 256;
// A dropped fragment is named on the console by its start only.
constexpr int kFragmentShown = 120;

bool parsesAsJson(const QByteArray &line)
{
    QJsonParseError error;
    QJsonDocument::fromJson(line, &error);
    return error.error == QJsonParseError::NoError;
}

void alert(const QString &title, const QString &text)
{
    qCWarning(lcStream).noquote() << title << ":" << text;
    RtlsAlert::critical(title, text);
}
} // namespace

RtlsLs::RtlsLs(QObject *parent, bool externalEngine)
    : RtlsLs(parent, externalEngine, RtlsHubLink::current(), Ports())
{
}

RtlsLs::RtlsLs(QObject *parent, bool externalEngine, RtlsHubLink *hub, const Ports &ports)
    : QObject(parent)
    , m_hub(hub)
    , m_ports(ports)
    , m_listen(ports.listen)
    , m_captureFileName(QString::fromLatin1(Stream::kCaptureFileName))
    , m_splitter(Stream::kMaxPendingJsonBytes)
    , m_tlv(hub)
    , m_parser(std::make_unique<JsonReportParser>())
{
    m_datagram.reserve(kLargestDatagram);
    useExternalEngine(externalEngine);
    connect(this, &RtlsLs::jsonDataReadySignal, this, &RtlsLs::processJsonData);
    connect(this, &RtlsLs::tlvDataReadySignal, this, &RtlsLs::processTLVData);
    m_liveViewTimer = new QTimer(this);
    m_recorder = new FileRecorder(m_captureFileName, this);
    m_failures = new FailureLineLimiter([this](const QString &line) { postMessage(line); }, this);
    connect(m_liveViewTimer, &QTimer::timeout, this, &RtlsLs::liveViewCapture);
}

RtlsLs::~RtlsLs()
{
    if (m_recorder->isRecording())
        stopCapture();
    closeSockets();
}

bool RtlsLs::isRecording() const
{
    return m_recorder->isRecording();
}

int RtlsLs::recordCount() const
{
    return int(qMin<qint64>(m_recorder->records(), std::numeric_limits<int>::max()));
}

quint16 RtlsLs::lsPort() const
{
    return m_lsSocket ? m_lsSocket->localPort() : 0;
}

quint16 RtlsLs::dcPort() const
{
    return m_dcSocket ? m_dcSocket->localPort() : 0;
}

void RtlsLs::toggleDisplayMessages()
{
    m_displayMessages = !m_displayMessages;
    m_tlv.setEchoEnabled(m_displayMessages);
}

void RtlsLs::toggleCapture()
{
    if (m_recorder->isRecording())
        stopCapture();
    else
        startCapture();
}

void RtlsLs::flushCapture()
{
    if (m_recorder->isRecording() && !m_recorder->flush())
        captureFailed();
}

void RtlsLs::liveViewCapture()
{
    if (!m_recorder->flush()) {
        captureFailed();
        return;
    }
    emit recordingSignal(recordCount());
}

void RtlsLs::masterDetected(uint)
{
    // Masters send the stream to us; nothing to set up per master.
}

void RtlsLs::pause()
{
    m_paused = !m_paused;
}

void RtlsLs::setRtlsLsIpAddr(uint ipaddr)
{
    m_rtlsLsIpAddr = ipaddr;
}

void RtlsLs::useExternalEngine(bool externalEngine)
{
    m_externalEngine = externalEngine;
    closeSockets();
    if (!m_listen)
        return;
    if (externalEngine) {
        m_lsSocket = bindSocket(m_ports.lsExternalEngine, tr("Data Concentrator - LS UDP Server"));
    } else {
        m_lsSocket = bindSocket(m_ports.lsInternalEngine, tr("Data Concentrator - LS UDP Server"));
        m_dcSocket = bindSocket(m_ports.dc, tr("Data Concentrator - DC UDP Server"));
    }
    // Connected even when the bind failed: the socket stays in place, and
    // a later useExternalEngine() replaces it.
    connect(m_lsSocket, &QUdpSocket::readyRead, this, &RtlsLs::processPendingLSDatagrams);
    if (m_dcSocket)
        connect(m_dcSocket, &QUdpSocket::readyRead, this, &RtlsLs::processPendingDCDatagrams);
}

QUdpSocket *RtlsLs::bindSocket(quint16 port, const QString &title)
{
    auto *socket = new QUdpSocket(this);
    if (socket->bind(QHostAddress::Any, port, QUdpSocket::ShareAddress))
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBufferBytes);
    else
        reportFailure(title, tr("Unable to bind to port: %1").arg(port));
    return socket;
}

void RtlsLs::closeSockets()
{
    for (QUdpSocket *socket : {m_lsSocket, m_dcSocket}) {
        if (!socket)
            continue;
        socket->close();
        socket->disconnect(this);
        delete socket;
    }
    m_lsSocket = nullptr;
    m_dcSocket = nullptr;
}

void RtlsLs::processPendingLSDatagrams()
{
    for (int n = 0; n < kDatagramsPerTurn && m_lsSocket->hasPendingDatagrams(); ++n) {
        const qint64 size = m_lsSocket->pendingDatagramSize();
        // The buffer is reused: the slots below run directly and keep no
        // reference, so it is not reallocated for every datagram.
        m_datagram.resize(static_cast<int>(qMax<qint64>(size, 0)));
        const qint64 read = m_lsSocket->readDatagram(m_datagram.data(), m_datagram.size());
        if (read > 0)
            receiveDatagram(m_datagram);
    }
}

void RtlsLs::setFailureClock(std::function<qint64()> clock)
{
    m_failures->setClock(std::move(clock));
}

void RtlsLs::setLiveSuspended(bool suspended)
{
    m_liveSuspended = suspended;
    m_splitter.clear();
}

void RtlsLs::replayLine(const QByteArray &line)
{
    handleJsonLine(line, false);
}

void RtlsLs::receiveLine(const QByteArray &line)
{
    handleJsonLine(line);
}

void RtlsLs::stopListening()
{
    m_listen = false;
    closeSockets();
    m_splitter.clear();
}

void RtlsLs::receiveDatagram(const QByteArray &datagram)
{
    if (datagram.isEmpty() || m_liveSuspended)
        return;
    if (m_splitter.isMidLine()) {
        if (joinPendingLine(datagram))
            return;
        dropPendingLine();
    }
    if (datagram.at(0) == '{')
        emit jsonDataReadySignal(datagram);
    else
        emit tlvDataReadySignal(datagram);
}

// A line split over two datagrams is joined; anything else that follows an
// unfinished line (junk, a TLV datagram, a new report after a line cut short
// when a master changed its output format) must not be glued to it.
bool RtlsLs::joinPendingLine(const QByteArray &datagram)
{
    if (m_splitter.isDiscarding())
        return false;
    const int lf = datagram.indexOf('\n');
    if (lf < 0)
        return false;
    const QByteArray first = QByteArray::fromRawData(datagram.constData(), lf);
    if (datagram.at(0) == '{' && parsesAsJson(first))
        return false;
    const QByteArray joined = m_splitter.pending() + first;
    if (!parsesAsJson(joined))
        return false;
    m_splitter.clear();
    handleJsonLine(joined);
    if (lf + 1 < datagram.size())
        emit jsonDataReadySignal(datagram.mid(lf + 1));
    return true;
}

void RtlsLs::dropPendingLine()
{
    if (!m_splitter.isDiscarding()) {
        QString fragment = QString::fromUtf8(m_splitter.pending().left(kFragmentShown));
        if (m_splitter.pendingSize() > kFragmentShown)
            fragment += QChar(0x2026);
        m_failures->report(FailureLineLimiter::DroppedFragment,
                           QStringLiteral("LS_IN: unfinished JSON line dropped - %1").arg(fragment));
    }
    m_splitter.clear();
}

void RtlsLs::processPendingDCDatagrams()
{
    while (m_dcSocket->hasPendingDatagrams()) {
        const qint64 size = m_dcSocket->pendingDatagramSize();
        m_dcSocket->readDatagram(nullptr, 0);
        postMessage(QStringLiteral("DC_IN: packet received with size = %1").arg(qMax<qint64>(size, 0)));
    }
}

int RtlsLs::processJsonData(QByteArray data)
{
    if (data.isEmpty())
        return -1;
    const bool dropped = m_splitter.feed(data, [this](const QByteArray &line) { handleJsonLine(line); });
    if (dropped)
        m_failures->report(FailureLineLimiter::OverLongLine,
                           QStringLiteral("LS_IN: JSON line longer than %1 bytes dropped")
                               .arg(Stream::kMaxPendingJsonBytes));
    return -1;
}

void RtlsLs::handleJsonLine(const QByteArray &line, bool record)
{
    ++m_jsonLines;
    RtlsSimdJsonView fast;
    if (m_fastJson && m_parser->parse(line, &fast)) {
        ++m_fastLines;
        applyReport(fast, nullptr, line, record);
        return;
    }
    // Qt's parser reads whatever the fast one leaves, and names the fault.
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError) {
        m_failures->report(FailureLineLimiter::ParseError,
                           QStringLiteral("LS_IN: Parse error %1 - %2").arg(error.errorString(), QString::fromUtf8(line)));
        return;
    }
    if (!doc.isObject()) {
        m_failures->report(FailureLineLimiter::StructureMismatch,
                           QStringLiteral("LS_IN: JSON structure mismatch - %1) ").arg(QString::fromUtf8(line)));
        return;
    }
    const QJsonObject obj = doc.object();
    applyReport(RtlsQtJsonView(obj), &obj, line, record);
}

// One report, whichever parser read it: echo, the hub's lsDataReceived, the
// node update and the capture.
template<typename View>
void RtlsLs::applyReport(const View &report, const QJsonObject *parsed, const QByteArray &line, bool record)
{
    if (m_displayMessages)
        echoJsonLine(report, line);
    if (m_hub && m_hub->wantsLocationData())
        m_hub->announceLocationData(parsed ? *parsed : QJsonDocument::fromJson(line).object());
    updateNode(report);
    if (record && m_recorder->isRecording())
        recordLine(line);
}

void RtlsLs::recordLine(const QByteArray &line)
{
    if (!m_recorder->writeRecord(line.constData(), line.size()))
        captureFailed();
}

// The records that did not reach the file are not counted.
void RtlsLs::captureFailed()
{
    const QString text = tr("Capture stopped: cannot write %1: %2")
                             .arg(m_recorder->fileName(), m_recorder->errorString());
    qCWarning(lcStream).noquote() << text;
    postMessage(text);
    stopCapture();
}

template<typename View>
void RtlsLs::echoJsonLine(const View &report, const QByteArray &line)
{
    const View stamp = report.member(QLatin1String("timestamp"));
    const QString time = stamp.isNumber() ? StreamTimeText::fromSeconds(stamp.number()) : StreamTimeText::placeholder();
    postMessage(QStringLiteral("LS_IN (%1): %2) ").arg(time).arg(m_jsonLines) + QString::fromUtf8(line));
}

int RtlsLs::jsonUpdateNode(QJsonObject obj)
{
    return updateNode(RtlsQtJsonView(obj));
}

template<typename View>
int RtlsLs::updateNode(const View &report)
{
    if (m_paused || !m_hub)
        return 0;
    const uint64_t id = report.member(QLatin1String("id")).hex();
    if (id == 0)
        return 0;
    if (report.member(QLatin1String("mode")).textEquals(QLatin1String(Stream::kAnchorText)))
        return 0;

    RtlsObject *node = m_hub->findNode(id);
    const bool known = node != nullptr;
    if (!node)
        node = new RtlsObject(id);
    const int result = static_cast<int>(node->applyJson(report));
    if (node->category().isEmpty())
        node->setCategory(QString::fromLatin1(Stream::kTagText));
    if (node->mode().isEmpty())
        node->setMode(QString::fromLatin1(Stream::kTagText));
    // A tag heard only on the stream gets its name and options asked for
    // once, as the TLV path does: when it is heard again, so that an id
    // heard once (a corrupt line, a device sending random ids) costs the
    // masters nothing.
    if (!known)
        node->setMsgFlags(Rtls::kMsgHeardOnce);
    else
        node->clearMsgFlags(Rtls::kMsgHeardOnce);
    if (known && !(node->msgFlags() & (Rtls::kMsgNodeOptions | Rtls::kMsgDetailsPending))) {
        node->setMsgFlags(Rtls::kMsgDetailsPending);
        m_hub->requestDetails(id);
    }
    reportUserData(report);

    if (m_hub->hasNonAnchor(id)) {
        m_hub->announceNodeUpdated(node);
    } else {
        m_hub->insertNonAnchor(node);
        m_hub->announceNodeAdded(node);
    }
    return result;
}

template<typename View>
void RtlsLs::reportUserData(const View &report)
{
    const View data = report.member(QLatin1String("userData"));
    if (!data.isObject())
        return;
    const View type = data.member(QLatin1String("type"));
    const View raw = data.member(QLatin1String("raw"));
    if (!type.isPresent() || !raw.isPresent())
        return;
    const QString text = raw.text();
    postMessage(QStringLiteral("USER DATA (%1) %2 - %3").arg(type.integer()).arg((text.size() - 2) / 2).arg(text));
}

int RtlsLs::processTLVData(QByteArray ba)
{
    if (m_paused || ba.isEmpty())
        return 0;
    return m_tlv.decode(ba.constData(), ba.size());
}

void RtlsLs::startCapture()
{
    if (m_recorder->open(m_captureFileName)) {
        m_liveViewTimer->start(Stream::kLiveViewIntervalMs);
        emit captureStarted(m_captureFileName);
    } else {
        reportFailure(tr("Data recorder"), tr("Unable to open file %1 for recording").arg(m_captureFileName));
    }
}

void RtlsLs::stopCapture()
{
    m_recorder->stop();
    m_liveViewTimer->stop();
    emit recordingSignal(recordCount());
    emit recordingSignal(Stream::kRecordingEnded);
}

// A box where a window can show one; always a console line, which is all a
// program without a display (the headless service) has.
void RtlsLs::reportFailure(const QString &title, const QString &text) const
{
    alert(title, text);
    postMessage(title + QLatin1String(": ") + text);
}

void RtlsLs::postMessage(const QString &line) const
{
    if (m_hub)
        m_hub->postMessage(line);
}
