#include "SettingsTab.h"

#include "SettingsTabWidget.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

SettingsTab *SettingsTab::instance()
{
    static SettingsTab *tab = new SettingsTab();
    return tab;
}

SettingsTab::SettingsTab()
    : QWidget(nullptr)
    , m_advancedSwitch(new QCheckBox(tr("Show advanced settings"), this))
    , m_content(new QWidget)
    , m_contentLayout(new QVBoxLayout(m_content))
{
    setObjectName(QStringLiteral("settingsTab"));
    m_advancedSwitch->setObjectName(QStringLiteral("showAdvanced"));
    m_advancedSwitch->setChecked(m_showAdvanced);
    connect(m_advancedSwitch, &QCheckBox::toggled, this, &SettingsTab::setShowAdvanced);

    // The panels stack at the top; the stretch below them takes the rest.
    m_contentLayout->addStretch(1);

    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("settingsScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(m_content);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_advancedSwitch);
    layout->addWidget(scroll, 1);
}

SettingsTab::~SettingsTab() = default;

void SettingsTab::addSettingsWidget(const QString &title, QWidget *panel)
{
    if (!panel)
        return;
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [](const Entry &entry) { return entry.panel.isNull(); }),
                    m_entries.end());
    auto *group = new QGroupBox(title, m_content);
    // Panels keep their natural height; the stretch below them takes the rest.
    group->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(panel);
    m_contentLayout->insertWidget(m_contentLayout->count() - 1, group);

    // A panel whose owner goes away (a closed map tab deletes its panel)
    // must not leave an empty frame behind.
    connect(panel, &QObject::destroyed, group, &QObject::deleteLater);
    m_entries.append({title, group, panel});

    if (auto *tabWidget = qobject_cast<SettingsTabWidget *>(panel)) {
        tabWidget->setShowAdvanced(m_showAdvanced);
        connect(this, &SettingsTab::showAdvancedChanged, tabWidget, &SettingsTabWidget::setShowAdvanced);
    }
}

QStringList SettingsTab::settingsTitles() const
{
    QStringList titles;
    for (const Entry &entry : m_entries)
        if (entry.panel)
            titles.append(entry.title);
    return titles;
}

QGroupBox *SettingsTab::settingsGroup(const QString &title) const
{
    for (const Entry &entry : m_entries)
        if (entry.panel && entry.title == title)
            return entry.group;
    return nullptr;
}
void SettingsTab::setShowAdvanced(bool show)
{
    if (show == m_showAdvanced)
        return;
    m_showAdvanced = show;
    m_advancedSwitch->setChecked(show);
    emit showAdvancedChanged(show);
}
