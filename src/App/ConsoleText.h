#pragma once

#include <QString>

class QTextDocument;
class QTextEdit;
class QTime;

// The console's text rules: how a line is stamped, how it is added, and how
// the oldest lines make room for new ones.
class ConsoleText
{
public:
    // "HH:mm:ss: " followed by the message.
    static QString line(const QTime &time, const QString &message);

    // Adds the line as a new paragraph of plain text: messages from the
    // network are never interpreted as markup. Keeps the view at the bottom
    // when it was there.
    static void appendLine(QTextEdit *console, const QString &line);

    // Removes the oldest paragraphs while the document holds more than
    // maxLines lines or maxBlocks paragraphs. The newest paragraph always
    // stays, however long it is.
    static void trim(QTextDocument *document, int maxLines, int maxBlocks);
};
