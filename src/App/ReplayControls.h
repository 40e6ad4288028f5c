#pragma once

#include <QWidget>

class CaptureReplay;
class QComboBox;
class QLabel;
class QSlider;
class QToolButton;

// The status bar's controls of a capture replay: pause and play, the speed
// (a quarter to sixteen times), a slider to seek and follow the progress, the
// time reached and the reports played, and stop. Shown while a capture is
// open for replay.
class ReplayControls : public QWidget
{
    Q_OBJECT

public:
    explicit ReplayControls(CaptureReplay *replay, QWidget *parent = nullptr);

    // "m:ss" (or "h:mm:ss" from an hour on) of a recorded time.
    static QString timeText(qint64 ms);

    QToolButton *pauseButton() const { return m_pause; }
    QToolButton *stopButton() const { return m_stop; }
    QComboBox *speedBox() const { return m_speed; }
    QSlider *slider() const { return m_slider; }
    QLabel *progressLabel() const { return m_progress; }

private:
    void showState();
    void showProgress(int played, qint64 elapsedMs);
    void showSpeed(double speed);

    CaptureReplay *const m_replay;
    QToolButton *m_pause;
    QComboBox *m_speed;
    QSlider *m_slider;
    QLabel *m_progress;
    QToolButton *m_stop;
};
