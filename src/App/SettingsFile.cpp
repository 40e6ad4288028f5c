#include "SettingsFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

SettingsFile::SettingsFile(const QString &fileName) : m_fileName(fileName) {}

SettingsFile::Status SettingsFile::read(QJsonObject *root)
{
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errorString = file.errorString();
        return Status::CannotOpen;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        m_errorString = error.errorString() + QLatin1String(" at offset ")
            + QString::number(error.offset);
        return Status::CannotParse;
    }
    if (!document.isObject()) {
        m_errorString = QStringLiteral("the top level is not an object");
        return Status::CannotParse;
    }
    *root = document.object();
    return Status::Ok;
}

SettingsFile::Status SettingsFile::write(const QJsonObject &root)
{
    // QSaveFile accepts an empty name and only fails at commit.
    if (m_fileName.isEmpty()) {
        m_errorString = QStringLiteral("no file name");
        return Status::CannotOpen;
    }
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        m_errorString = file.errorString();
        return Status::CannotOpen;
    }
    file.write(QJsonDocument(root).toJson());
    if (!file.commit()) {
        m_errorString = file.errorString();
        return Status::CannotWrite;
    }
    return Status::Ok;
}
