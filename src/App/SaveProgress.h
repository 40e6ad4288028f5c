#pragma once

#include <QWidget>

class CaptureSaver;
class QLabel;
class QProgressBar;
class QToolButton;

// The status bar's view of a capture being saved: which file, how far, and
// Cancel. Shown while a save runs; the window stays usable meanwhile.
class SaveProgress : public QWidget
{
    Q_OBJECT

public:
    explicit SaveProgress(CaptureSaver *saver, QWidget *parent = nullptr);

    QLabel *label() const { return m_label; }
    QProgressBar *bar() const { return m_bar; }
    QToolButton *cancelButton() const { return m_cancel; }

private:
    void showStarted(const QString &target, qint64 total);
    void showProgress(qint64 copied, qint64 total);
    void showCancelling();
    void showEnded();

    CaptureSaver *const m_saver;
    QLabel *m_label;
    QProgressBar *m_bar;
    QToolButton *m_cancel;
};
