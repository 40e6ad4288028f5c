#include "FailureLineLimiter.h"

#include "StreamLog.h"

#include <QTimer>

#include <utility>

FailureLineLimiter::FailureLineLimiter(Post post, QObject *parent)
    : QObject(parent)
    , m_post(std::move(post))
    , m_summaryTimer(new QTimer(this))
{
    m_elapsed.start();
    m_summaryTimer->setSingleShot(true);
    connect(m_summaryTimer, &QTimer::timeout, this, [this] { closeExpired(now(), true); });
}

void FailureLineLimiter::setClock(std::function<qint64()> clock)
{
    m_clock = std::move(clock);
}

qint64 FailureLineLimiter::now() const
{
    return m_clock ? m_clock() : m_elapsed.elapsed();
}

void FailureLineLimiter::report(Kind kind, const QString &line)
{
    qCInfo(lcStream).noquote() << line;
    const qint64 now = this->now();
    closeExpired(now, false);
    Window &window = m_windows[kind];
    if (window.start < 0)
        window.start = now;
    if (window.shown < kLinesPerWindow) {
        ++window.shown;
        m_post(line);
        return;
    }
    ++window.suppressed;
    if (!m_summaryTimer->isActive())
        m_summaryTimer->start(int(qMax<qint64>(0, window.start + kWindowMs - now)));
}

// A window ends kWindowMs after its first line; its summary is shown then
// (by the timer, or by the next line when the event loop was too busy for
// the timer).
void FailureLineLimiter::closeExpired(qint64 now, bool fromTimer)
{
    qint64 nextEnd = -1;
    for (int kind = 0; kind < KindCount; ++kind) {
        Window &window = m_windows[kind];
        if (window.start < 0)
            continue;
        const qint64 end = window.start + kWindowMs;
        if (end <= now) {
            if (window.suppressed > 0)
                m_post(summaryText(Kind(kind), window.suppressed));
            window = Window();
        } else if (window.suppressed > 0 && (nextEnd < 0 || end < nextEnd)) {
            nextEnd = end;
        }
    }
    if (fromTimer && nextEnd >= 0)
        m_summaryTimer->start(int(nextEnd - now));
}

QString FailureLineLimiter::summaryText(Kind kind, qint64 suppressed)
{
    static const char *const kStarts[KindCount] = {
        "LS_IN: Parse error",
        "LS_IN: JSON structure mismatch",
        "LS_IN: JSON line longer than the limit dropped",
        "LS_IN: unfinished JSON line dropped",
    };
    return QStringLiteral("%1 \u2026 (%2 more)").arg(QLatin1String(kStarts[kind])).arg(suppressed);
}
