#pragma once

#include <QDialog>
#include <QJsonObject>

class QLabel;
class QPlainTextEdit;

// Edits a zone's "on_enter" and "on_exit" commands as JSON text. Only a JSON
// object (or nothing) is accepted for each; anything else is named in the
// dialog and the dialog stays open.
class ZoneCommandsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ZoneCommandsDialog(const QString &zoneName, QWidget *parent = nullptr);

    void setCommands(const QJsonObject &commands);
    // The command list as edited: "on_enter"/"on_exit" present only when
    // given; other keys of the list it was given are kept.
    QJsonObject commands() const { return m_commands; }

    QPlainTextEdit *enterEdit() const { return m_enter; }
    QPlainTextEdit *exitEdit() const { return m_exit; }
    QLabel *errorLabel() const { return m_error; }

    // Empty text is no command; otherwise the text must be one JSON object.
    // On failure *error says what is wrong.
    static bool parseCommand(const QString &text, QJsonObject *command, QString *error);

public slots:
    // Checks both texts; closes the dialog only when both are good.
    void accept() override;

private:
    QPlainTextEdit *m_enter;
    QPlainTextEdit *m_exit;
    QLabel *m_error;
    QJsonObject m_commands;
};
