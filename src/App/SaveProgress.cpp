#include "SaveProgress.h"

#include "CaptureSaver.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace {

// The bar counts in thousandths: byte counts do not fit its int range.
constexpr int kBarSteps = 1000;
constexpr int kBarWidth = 160;

} // namespace

SaveProgress::SaveProgress(CaptureSaver *saver, QWidget *parent)
    : QWidget(parent)
    , m_saver(saver)
    , m_label(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_cancel(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel);
    m_bar->setRange(0, kBarSteps);
    m_bar->setFixedWidth(kBarWidth);
    m_cancel->setText(tr("Cancel"));
    m_cancel->setToolTip(tr("Stop saving; the file is left as it was"));

    connect(m_cancel, &QToolButton::clicked, this, [this] {
        m_saver->cancel();
        if (m_saver->isCancelling())
            showCancelling();
    });
    connect(saver, &CaptureSaver::started, this, &SaveProgress::showStarted);
    connect(saver, &CaptureSaver::progress, this, &SaveProgress::showProgress);
    connect(saver, &CaptureSaver::saved, this, &SaveProgress::showEnded);
    connect(saver, &CaptureSaver::failed, this, &SaveProgress::showEnded);
    connect(saver, &CaptureSaver::cancelled, this, &SaveProgress::showEnded);
    hide();
}

void SaveProgress::showStarted(const QString &target, qint64 total)
{
    m_label->setText(tr("Saving %1").arg(QFileInfo(target).fileName()));
    m_bar->setValue(0);
    m_cancel->setEnabled(true);
    showProgress(0, total);
    show();
}

void SaveProgress::showProgress(qint64 copied, qint64 total)
{
    m_bar->setValue(total > 0 ? int(copied * kBarSteps / total) : kBarSteps);
    // Once the copy is complete the target is being replaced: too late to stop.
    if (m_saver->isCommitting())
        m_cancel->setEnabled(false);
}

void SaveProgress::showCancelling()
{
    m_label->setText(tr("Cancelling"));
    m_cancel->setEnabled(false);
}

void SaveProgress::showEnded()
{
    hide();
}
