#include "ConsoleText.h"

#include "AppConstants.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTime>

QString ConsoleText::line(const QTime &time, const QString &message)
{
    return time.toString(QLatin1String(AppConstants::kConsoleTimeFormat)) + QLatin1String(": ")
        + message;
}

void ConsoleText::appendLine(QTextEdit *console, const QString &line)
{
    QScrollBar *bar = console->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    QTextDocument *document = console->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    if (!document->isEmpty())
        cursor.insertBlock();
    cursor.insertText(line);
    cursor.endEditBlock();
    if (atBottom)
        bar->setValue(bar->maximum());
}

void ConsoleText::trim(QTextDocument *document, int maxLines, int maxBlocks)
{
    while ((document->lineCount() > maxLines || document->blockCount() > maxBlocks)
           && document->blockCount() > 1) {
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
}
