#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The per-user preference store: which settings file and site file to use,
// and the recently used capture files. Every access goes through a
// default-constructed QSettings, so the organisation and application names
// set at start-up choose the store.
class Preferences
{
public:
    // Receives the console lines that announce a default being stored.
    using Reporter = std::function<void(const QString &line)>;

    explicit Preferences(Reporter report);

    // The JSON settings file; stores and announces the default when unset.
    // A file named on the command line wins for the whole run and leaves
    // the stored preference alone.
    QString settingsFileName() const;
    static void setSettingsFileOverride(const QString &fileName);
    // The site file; stores and announces the default when unset.
    QString siteFileName() const;

    // Most recent first, at most AppConstants::kMaxRecentFiles entries.
    QStringList recentFiles() const;
    // Puts fileName at the head of the stored list and returns the new list.
    QStringList addRecentFile(const QString &fileName) const;

    // fileName first, no duplicate of it, at most maxCount entries.
    static QStringList withRecentFile(QStringList list, const QString &fileName, int maxCount);

private:
    QString valueOrDefault(const char *key, const char *defaultValue,
                           const QString &announcement) const;

    Reporter m_report;
};
