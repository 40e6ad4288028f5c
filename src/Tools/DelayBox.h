#pragma once

#include <QString>

class QSpinBox;

// The antenna-delay boxes of the setup tab and the node settings dialog:
// wide enough to show any delay a node reports as it reported it, and
// flagged while their value lies outside the window that any tool writes.
class DelayBox
{
public:
    // Range from `lowest` (a value below every delay may stand for "not
    // read") to the largest delay a node can report.
    static void prepare(QSpinBox *box, int lowest);
    // Marks the box red with a tool tip when `check` is on and its value
    // may not be written; true when so marked.
    static bool flag(QSpinBox *box, bool check);
    // "15500 to 17500".
    static QString window();
};
