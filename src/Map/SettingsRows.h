#pragma once

class QColor;
class QDoubleSpinBox;
class QGridLayout;
class QPushButton;
class QString;
class QWidget;

// Rows shared by the map's settings panels: a label in column 0 and its
// control in column 1, aligned left and centred vertically.
class SettingsRows
{
public:
    // A spin box of metres (two decimals) that reports when editing ends.
    static QDoubleSpinBox *addMetres(QWidget *panel, QGridLayout *grid, int row, const QString &text, double min,
                                     double max);
    static void addRow(QWidget *panel, QGridLayout *grid, int row, const QString &text, QWidget *control);
    // A colour button shows its colour as its face and its name as its text,
    // in black or white, whichever reads on it.
    static void showColour(QPushButton *button, const QColor &colour);
};
