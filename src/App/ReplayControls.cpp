#include "ReplayControls.h"

#include "CaptureReplay.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

#include <limits>

namespace {

struct SpeedChoice
{
    const char *text;
    double speed;
};

const SpeedChoice kSpeeds[] = {{"\u00BC\u00D7", 0.25}, {"\u00BD\u00D7", 0.5}, {"1\u00D7", 1.0},  {"2\u00D7", 2.0},
                               {"4\u00D7", 4.0},          {"8\u00D7", 8.0},          {"16\u00D7", 16.0}};

constexpr int kSliderWidth = 220;

} // namespace

ReplayControls::ReplayControls(CaptureReplay *replay, QWidget *parent)
    : QWidget(parent)
    , m_replay(replay)
    , m_pause(new QToolButton(this))
    , m_speed(new QComboBox(this))
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_progress(new QLabel(this))
    , m_stop(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *title = new QLabel(tr("Replay:"), this);
    layout->addWidget(title);
    layout->addWidget(m_pause);
    layout->addWidget(m_speed);
    layout->addWidget(m_slider);
    layout->addWidget(m_progress);
    layout->addWidget(m_stop);

    m_pause->setToolTip(tr("Pause or continue the replay"));
    m_stop->setText(tr("Stop"));
    m_stop->setToolTip(tr("End the replay and show live location data again"));
    for (const SpeedChoice &choice : kSpeeds)
        m_speed->addItem(QString::fromUtf8(choice.text), choice.speed);
    m_speed->setToolTip(tr("Replay speed"));
    m_slider->setMinimumWidth(kSliderWidth);
    m_slider->setToolTip(tr("Seek in the capture"));

    connect(m_pause, &QToolButton::clicked, replay, &CaptureReplay::togglePause);
    connect(m_stop, &QToolButton::clicked, replay, &CaptureReplay::stop);
    connect(m_speed, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { m_replay->setSpeed(m_speed->itemData(index).toDouble()); });
    // Dragging seeks when the slider is let go; a click on the groove or a
    // key seeks at once. Progress moves the slider only while nobody holds it.
    connect(m_slider, &QSlider::sliderReleased, this, [this] { m_replay->seek(m_slider->value()); });
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            m_replay->seek(m_slider->sliderPosition());
    });
    connect(replay, &CaptureReplay::stateChanged, this, &ReplayControls::showState);
    connect(replay, &CaptureReplay::progress, this, &ReplayControls::showProgress);
    connect(replay, &CaptureReplay::speedChanged, this, &ReplayControls::showSpeed);
    showSpeed(replay->speed());
    showState();
}

QString ReplayControls::timeText(qint64 ms)
{
    const qint64 seconds = qMax<qint64>(0, ms) / 1000;
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void ReplayControls::showState()
{
    const CaptureReplay::State state = m_replay->state();
    setVisible(state != CaptureReplay::State::Idle);
    m_pause->setText(state == CaptureReplay::State::Playing ? tr("Pause") : tr("Play"));
    m_slider->setRange(0, int(qMin<qint64>(m_replay->duration(), std::numeric_limits<int>::max())));
    showProgress(m_replay->position(), m_replay->elapsed());
}

void ReplayControls::showProgress(int played, qint64 elapsedMs)
{
    if (!m_slider->isSliderDown())
        m_slider->setValue(int(qMin<qint64>(elapsedMs, m_slider->maximum())));
    m_progress->setText(tr("%1 / %2, %3 of %4 reports")
                            .arg(timeText(elapsedMs), timeText(m_replay->duration()))
                            .arg(played)
                            .arg(m_replay->reportCount()));
}

void ReplayControls::showSpeed(double speed)
{
    const int index = m_speed->findData(speed);
    if (index >= 0)
        m_speed->setCurrentIndex(index);
}
