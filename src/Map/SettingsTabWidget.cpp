#include "SettingsTabWidget.h"

#include <QGridLayout>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace {

void addStretch(QGridLayout *grid)
{
    if (grid->count() == 0) {
        // Nothing to push aside: one spacer that the grid can give all its room to.
        grid->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Expanding), 0, 0);
        grid->setRowStretch(0, 1);
        grid->setColumnStretch(0, 1);
        return;
    }
    const int rows = grid->rowCount();
    const int columns = grid->columnCount();
    grid->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), rows, 0);
    grid->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum), 0, columns);
    grid->setRowStretch(rows, 1);
    grid->setColumnStretch(columns, 1);
}

} // namespace

SettingsTabWidget::SettingsTabWidget(QWidget *parent)
    : QWidget(parent)
    , m_basic(new QWidget(this))
    , m_advanced(new QWidget(this))
    , m_basicGrid(new QGridLayout(m_basic))
    , m_advancedGrid(new QGridLayout(m_advanced))
{
    m_basic->setObjectName(QStringLiteral("basic"));
    m_advanced->setObjectName(QStringLiteral("advanced"));
    m_basicGrid->setContentsMargins(0, 0, 0, 0);
    m_advancedGrid->setContentsMargins(0, 0, 0, 0);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_basic);
    layout->addWidget(m_advanced);
    m_advanced->setVisible(m_showAdvanced);
}

void SettingsTabWidget::finishGrids()
{
    addStretch(m_basicGrid);
    addStretch(m_advancedGrid);
}

void SettingsTabWidget::setShowAdvanced(bool show)
{
    m_showAdvanced = show;
    m_advanced->setVisible(show);
}
