#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QVBoxLayout;

// The "Settings" tab: one page that gathers the settings panels of every
// view (map, grid, heat map, orientation view, system settings, MQTT), each
// in a group box under its title, in a scroll area below a "show advanced"
// switch. One per process.
class SettingsTab : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool showAdvanced READ showAdvanced WRITE setShowAdvanced NOTIFY showAdvancedChanged)

public:
    static SettingsTab *instance();
    ~SettingsTab() override;

    // Shows panel in a group box titled title, below the panels registered
    // before it. The tab takes ownership of the panel; a panel deleted by
    // someone else takes its group box with it. A SettingsTabWidget panel
    // also follows the show-advanced switch from now on.
    void addSettingsWidget(const QString &title, QWidget *panel);

    // Titles of the registered panels, in the order they are shown.
    QStringList settingsTitles() const;
    // The group box of the first panel registered under title, or null.
    QGroupBox *settingsGroup(const QString &title) const;

    bool showAdvanced() const { return m_showAdvanced; }

public slots:
    void setShowAdvanced(bool show);

signals:
    void showAdvancedChanged(bool show);

private:
    SettingsTab();

    struct Entry {
        QString title;
        QPointer<QGroupBox> group;
        QPointer<QWidget> panel;
    };

    QCheckBox *m_advancedSwitch;
    QWidget *m_content;
    QVBoxLayout *m_contentLayout;
    bool m_showAdvanced = false;
    QVector<Entry> m_entries;
};
