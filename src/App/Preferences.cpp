#include "Preferences.h"

#include "AppConstants.h"

#include <QCoreApplication>
#include <QSettings>

#include <utility>

namespace {

QString &settingsFileOverride()
{
    static QString fileName;
    return fileName;
}

} // namespace

Preferences::Preferences(Reporter report) : m_report(std::move(report)) {}

void Preferences::setSettingsFileOverride(const QString &fileName)
{
    settingsFileOverride() = fileName;
}

QString Preferences::settingsFileName() const
{
    if (!settingsFileOverride().isEmpty())
        return settingsFileOverride();
    return valueOrDefault(AppConstants::kSettingsFileKey, AppConstants::kDefaultSettingsFile,
                          QCoreApplication::translate("Preferences", "Using default RtlsIf: "));
}

QString Preferences::siteFileName() const
{
    return valueOrDefault(AppConstants::kSiteFileKey, AppConstants::kDefaultSiteFile,
                          QCoreApplication::translate("Preferences", "Using default site: "));
}

QStringList Preferences::recentFiles() const
{
    const QStringList files = QSettings().value(QLatin1String(AppConstants::kRecentFilesKey)).toStringList();
    return files.mid(0, AppConstants::kMaxRecentFiles);
}

QStringList Preferences::addRecentFile(const QString &fileName) const
{
    QSettings settings;
    const QString key = QLatin1String(AppConstants::kRecentFilesKey);
    const QStringList files =
        withRecentFile(settings.value(key).toStringList(), fileName, AppConstants::kMaxRecentFiles);
    settings.setValue(key, files);
    return files;
}

QStringList Preferences::withRecentFile(QStringList list, const QString &fileName, int maxCount)
{
    list.removeAll(fileName);
    list.prepend(fileName);
    while (list.size() > maxCount)
        list.removeLast();
    return list;
}

QString Preferences::valueOrDefault(const char *key, const char *defaultValue,
                                    const QString &announcement) const
{
    QSettings settings;
    const QString name = QLatin1String(key);
    if (!settings.contains(name)) {
        const QString value = QLatin1String(defaultValue);
        if (m_report)
            m_report(announcement + value);
        settings.setValue(name, value);
    }
    return settings.value(name).toString();
}
