#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

class QTimer;

// Keeps repeated failure lines of the stream (parse errors, over-long lines,
// dropped fragments) from flooding the console: of each kind at most a few
// lines a second are shown, and the rest of that second is summed up in one
// line ending in "… (N more)". Junk on the port therefore cannot occupy the
// GUI thread with console lines. Every line still goes to the log category.
class FailureLineLimiter : public QObject
{
    Q_OBJECT

public:
    enum Kind { ParseError, StructureMismatch, OverLongLine, DroppedFragment, KindCount };

    using Post = std::function<void(const QString &line)>;

    // post shows a line on the console.
    explicit FailureLineLimiter(Post post, QObject *parent = nullptr);

    void report(Kind kind, const QString &line);
    // A clock in milliseconds for tests; the default is a monotonic one.
    void setClock(std::function<qint64()> clock);
    // Lines shown per kind and window, and the window's length.
    static constexpr int kLinesPerWindow = 4;
    static constexpr int kWindowMs = 1000;

private:
    struct Window
    {
        qint64 start = -1;
        int shown = 0;
        qint64 suppressed = 0;
    };

    void closeExpired(qint64 now, bool fromTimer);
    static QString summaryText(Kind kind, qint64 suppressed);

    qint64 now() const;

    Post m_post;
    QElapsedTimer m_elapsed;
    std::function<qint64()> m_clock;
    QTimer *m_summaryTimer;
    std::array<Window, KindCount> m_windows{};
};
