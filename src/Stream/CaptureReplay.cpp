#include "CaptureReplay.h"

#include "RtlsLs.h"
#include "StreamLog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A tick plays at most this long, so a capture played fast never holds the
// GUI thread; reports that are due and not played yet follow on the next
// tick.
constexpr qint64 kTickBudgetMs = 12;
constexpr int kLinesPerBudgetCheck = 64;

bool isNumberChar(char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// The value of a report's top-level "timestamp" (seconds), found by looking
// for the key alone: only the replay's pacing reads it this way. The report
// itself is decoded by the stream's JSON path when it is played.
bool timeStampOf(const char *line, int length, double *seconds)
{
    static const char kKey[] = "\"timestamp\"";
    const int keyLength = int(sizeof kKey) - 1;
    const char *end = line + length;
    const char *at = std::search(line, end, kKey, kKey + keyLength);
    if (at == end)
        return false;
    const char *p = at + keyLength;
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    if (p == end || *p != ':')
        return false;
    ++p;
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    const char *number = p;
    while (p < end && isNumberChar(*p))
        ++p;
    bool ok = false;
    const double value = QByteArray::fromRawData(number, int(p - number)).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    *seconds = value;
    return true;
}

} // namespace

CaptureReplay::CaptureReplay(RtlsLs *stream, QObject *parent)
    : QObject(parent)
    , m_stream(stream)
    , m_timer(new QTimer(this))
{
    qRegisterMetaType<CaptureReplay::State>();
    m_timer->setInterval(kTickMs);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &CaptureReplay::playDue);
    setClock(Clock());
}

CaptureReplay::~CaptureReplay()
{
    if (isActive() && m_stream)
        m_stream->setLiveSuspended(false);
}

void CaptureReplay::setClock(Clock clock)
{
    if (clock) {
        m_clock = std::move(clock);
        return;
    }
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_clock = [timer] { return timer->elapsed(); };
}

qint64 CaptureReplay::now() const
{
    return m_clock();
}

bool CaptureReplay::open(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        *error = tr("the file is larger than %1 MiB").arg(kMaxFileBytes >> 20);
        return false;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    stop();
    m_data = std::move(data);
    m_fileName = fileName;
    index();
    m_next = 0;
    m_anchorAt = 0;
    qCInfo(lcStream).noquote() << "replaying" << fileName << m_lines.size() << "reports over" << duration() << "ms";
    play();
    return true;
}

void CaptureReplay::index()
{
    m_lines.clear();
    const char *begin = m_data.constData();
    const int size = m_data.size();
    bool haveFirst = false;
    double first = 0.0;
    qint64 last = 0;
    int pos = 0;
    while (pos < size) {
        const char *lf = static_cast<const char *>(std::memchr(begin + pos, '\n', size_t(size - pos)));
        const int end = lf ? int(lf - begin) : size;
        int length = end - pos;
        if (length > 0 && begin[pos + length - 1] == '\r')
            --length;
        if (length > 0) {
            double seconds = 0.0;
            qint64 at = last;
            if (timeStampOf(begin + pos, length, &seconds)) {
                if (!haveFirst) {
                    haveFirst = true;
                    first = seconds;
                }
                const double ms = std::floor((seconds - first) * 1000.0);
                at = qMax(last, qint64(qBound(0.0, ms, 1e15)));
            }
            m_lines.append({pos, length, at});
            last = at;
        }
        pos = end + 1;
    }
}

qint64 CaptureReplay::duration() const
{
    return m_lines.isEmpty() ? 0 : m_lines.constLast().at;
}

qint64 CaptureReplay::elapsed() const
{
    if (m_state != State::Playing)
        return m_anchorAt;
    return qMin(duration(), m_anchorAt + qint64(double(now() - m_anchorClock) * m_speed));
}

void CaptureReplay::setState(State state)
{
    if (m_state == state)
        return;
    const bool wasActive = isActive();
    m_state = state;
    if (isActive() != wasActive && m_stream)
        m_stream->setLiveSuspended(isActive());
    emit stateChanged(state);
}

void CaptureReplay::restartClock()
{
    m_anchorClock = now();
}

void CaptureReplay::play()
{
    if (m_state == State::Playing || m_fileName.isEmpty())
        return;
    // Played to the end: play it again from the start.
    if (m_next >= m_lines.size()) {
        m_next = 0;
        m_anchorAt = 0;
    }
    restartClock();
    setState(State::Playing);
    m_timer->start();
    playDue();
}

void CaptureReplay::pause()
{
    if (m_state != State::Playing)
        return;
    m_anchorAt = elapsed();
    m_timer->stop();
    setState(State::Paused);
}

void CaptureReplay::togglePause()
{
    if (m_state == State::Playing)
        pause();
    else
        play();
}

void CaptureReplay::setSpeed(double speed)
{
    speed = qBound(kMinSpeed, speed, kMaxSpeed);
    if (speed == m_speed)
        return;
    m_anchorAt = elapsed();
    restartClock();
    m_speed = speed;
    emit speedChanged(speed);
}

void CaptureReplay::seek(qint64 positionMs)
{
    if (m_fileName.isEmpty())
        return;
    positionMs = qBound<qint64>(0, positionMs, duration());
    const auto it = std::lower_bound(m_lines.cbegin(), m_lines.cend(), positionMs,
                                     [](const Line &line, qint64 at) { return line.at < at; });
    m_next = int(it - m_lines.cbegin());
    m_anchorAt = positionMs;
    restartClock();
    if (m_state == State::Finished)
        setState(State::Paused);
    emit progress(m_next, m_anchorAt);
    if (m_state == State::Playing)
        playDue();
}

void CaptureReplay::stop()
{
    m_timer->stop();
    if (m_state == State::Idle)
        return;
    m_anchorAt = elapsed();
    setState(State::Idle);
}

void CaptureReplay::playDue()
{
    if (m_state != State::Playing)
        return;
    const qint64 reached = elapsed();
    const qint64 started = now();
    int played = 0;
    while (m_next < m_lines.size() && m_lines.at(m_next).at <= reached) {
        const Line &line = m_lines.at(m_next);
        if (!m_stream)
            break;
        m_stream->replayLine(QByteArray::fromRawData(m_data.constData() + line.offset, line.length));
        ++m_next;
        if (++played % kLinesPerBudgetCheck == 0 && now() - started >= kTickBudgetMs)
            break;
    }
    emit progress(m_next, m_next < m_lines.size() ? qMin(reached, m_lines.at(m_next).at) : duration());
    if (m_next >= m_lines.size())
        finish();
}

void CaptureReplay::finish()
{
    m_timer->stop();
    m_anchorAt = duration();
    setState(State::Finished);
    qCInfo(lcStream).noquote() << "replay of" << m_fileName << "finished";
    emit finished();
}
