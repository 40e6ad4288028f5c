#pragma once

#include <QJsonObject>
#include <QString>

// Reads and writes the JSON settings file (nodes, master address, map).
// Writing replaces the file atomically: a save that fails half-way leaves
// the previous file as it was.
class SettingsFile
{
public:
    enum class Status {
        Ok,
        CannotOpen,  // missing, unreadable, or its folder not writable
        CannotParse, // not JSON, or JSON whose top level is not an object
        CannotWrite, // opened, but the new content could not be stored
    };

    explicit SettingsFile(const QString &fileName);

    Status read(QJsonObject *root);
    Status write(const QJsonObject &root);

    QString fileName() const { return m_fileName; }
    // What went wrong in the last failed read or write, for the log.
    QString errorString() const { return m_errorString; }

private:
    QString m_fileName;
    QString m_errorString;
};
