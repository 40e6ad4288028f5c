#include "ConsoleView.h"

#include "AppConstants.h"

#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>

ConsoleView::ConsoleView(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_frame(new QTimer(this))
{
    setReadOnly(true);
    // The console is rewritten for the whole run; an undo history would keep
    // every trimmed line in memory.
    setUndoRedoEnabled(false);
    setMaximumBlockCount(AppConstants::kConsoleBlockLimit);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_frame->setSingleShot(true);
    m_frame->setInterval(kFrameMs);
    connect(m_frame, &QTimer::timeout, this, &ConsoleView::flush);
}

void ConsoleView::appendLine(const QString &line)
{
    // Lines that would be pushed out by newer ones before they are shown
    // are not kept.
    if (m_pending.size() >= AppConstants::kConsoleBlockLimit)
        m_pending.removeFirst();
    m_pending.append(line);
    if (!m_frame->isActive())
        m_frame->start();
}

void ConsoleView::flush()
{
    m_frame->stop();
    if (m_pending.isEmpty())
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    // One edit for the whole frame: plain text, each line its own block; a
    // line feed inside a message starts a block of its own too.
    appendPlainText(m_pending.join(QLatin1Char('\n')));
    m_pending.clear();
    if (atBottom)
        bar->setValue(bar->maximum());
}

void ConsoleView::clearConsole()
{
    m_pending.clear();
    m_frame->stop();
    clear();
}

QSize ConsoleView::sizeHint() const
{
    const QSize editor = QPlainTextEdit::sizeHint();
    const QMargins margins = contentsMargins();
    const int height = fontMetrics().lineSpacing() * kHintLines + int(2 * document()->documentMargin()) +
                       margins.top() + margins.bottom();
    return QSize(editor.width(), height);
}
