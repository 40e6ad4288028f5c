#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include <functional>

class QTimer;
class RtlsLs;

// Plays a capture file ("*.dat", one JSON report per line) through the
// location stream's own JSON path, at the pace at which it was recorded (from
// the reports' "timestamp"), as if the reports arrived again. The live stream
// is set aside while a capture plays and taken up again when it ends or is
// stopped. Pause, a speed from a quarter to sixteen times, seek and progress
// are for the window's controls.
class CaptureReplay : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Playing, Paused, Finished };
    Q_ENUM(State)

    static constexpr double kMinSpeed = 0.25;
    static constexpr double kMaxSpeed = 16.0;
    // Larger files are not replayed: the whole capture is held in memory.
    static constexpr qint64 kMaxFileBytes = qint64(1) << 30;
    // How often due reports are played.
    static constexpr int kTickMs = 20;

    using Clock = std::function<qint64()>;

    explicit CaptureReplay(RtlsLs *stream, QObject *parent = nullptr);
    ~CaptureReplay() override;

    // Reads the capture and starts playing it from its first report (a
    // replay that was running is stopped first). False with the reason in
    // *error when the file cannot be read; nothing changes then.
    bool open(const QString &fileName, QString *error);

    State state() const { return m_state; }
    bool isActive() const { return m_state == State::Playing || m_state == State::Paused; }
    QString fileName() const { return m_fileName; }
    double speed() const { return m_speed; }
    int reportCount() const { return m_lines.size(); }
    // Reports played so far.
    int position() const { return m_next; }
    // Recorded time from the first report to the last, and how far the
    // replay is into it, in milliseconds.
    qint64 duration() const;
    qint64 elapsed() const;

    // A clock in milliseconds for tests; the default is a monotonic one.
    void setClock(Clock clock);

public slots:
    void play();
    void pause();
    void togglePause();
    // Clamped to kMinSpeed..kMaxSpeed.
    void setSpeed(double speed);
    // Goes to that recorded time (milliseconds from the first report); the
    // reports skipped are not played.
    void seek(qint64 positionMs);
    // Ends the replay; the live stream is taken up again.
    void stop();
    // Plays every report that is due now. Driven by the replay's timer.
    void playDue();

signals:
    void stateChanged(CaptureReplay::State state);
    void speedChanged(double speed);
    // Reports played and recorded time reached.
    void progress(int played, qint64 elapsedMs);
    void finished();

private:
    struct Line
    {
        int offset;
        int length;
        // Recorded time in milliseconds from the first report, never less
        // than the line before (a line without a time stamp plays with the
        // one before it).
        qint64 at;
    };

    void index();
    void setState(State state);
    void restartClock();
    void finish();
    qint64 now() const;

    // Guarded: the stream may go first when both belong to one owner.
    const QPointer<RtlsLs> m_stream;
    QTimer *m_timer;
    Clock m_clock;
    QByteArray m_data;
    QVector<Line> m_lines;
    QString m_fileName;
    State m_state = State::Idle;
    double m_speed = 1.0;
    int m_next = 0;
    // Recorded time (ms) that was reached at clock time m_anchorClock.
    qint64 m_anchorAt = 0;
    qint64 m_anchorClock = 0;
};
