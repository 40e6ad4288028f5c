#pragma once

#include <QPlainTextEdit>
#include <QStringList>

class QTimer;

// The console: a read-only log of plain text lines that keeps at most
// kConsoleBlockLimit of them. Lines are gathered as they come and added once
// per frame, in one edit, so a stream echoed at thousands of lines a second
// costs the GUI thread one append and one repaint per frame rather than one
// per line. A view that was at its bottom stays there.
class ConsoleView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ConsoleView(QWidget *parent = nullptr);

    // Adds one line (already stamped) at the next frame. Of lines that
    // arrive faster than a frame can show, only the newest that fit the
    // console are kept.
    void appendLine(const QString &line);
    // Adds the gathered lines now.
    void flush();
    int pendingCount() const { return m_pending.size(); }

    // A few lines high: the console's dock may be made smaller than a text
    // editor's usual size (its height is its least), so that the window
    // fits a laptop's screen.
    QSize sizeHint() const override;

    static constexpr int kFrameMs = 40;
    static constexpr int kHintLines = 5;

public slots:
    // Empties the console and drops the lines not shown yet.
    void clearConsole();

private:
    QStringList m_pending;
    QTimer *m_frame;
};
