#include "NodeDetailTab.h"
#include "RtlsConvert.h"

#include "NodeDetailText.h"
#include "NodeHealthPlot.h"
#include "NodeToolsConstants.h"
#include "RemoteViewGuard.h"
#include "RtlsIMU.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsObjectStats.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"
#include "SettingsDialog.h"

#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char *const kAxisNames[] = {"x", "y", "z"};
const char *const kAxisLabels[] = {QT_TRANSLATE_NOOP("NodeDetailTab", "X [m]"),
                                   QT_TRANSLATE_NOOP("NodeDetailTab", "Y [m]"),
                                   QT_TRANSLATE_NOOP("NodeDetailTab", "Z [m]")};
// A line edit's frame and margins around its text, in pixels, with room to spare.
constexpr int kLineEditTextMargins = 16;
// The least height of the time-sync plot, in lines of text.
constexpr int kPlotMinimumLines = 9;

// A remote view sends no position to a master.
bool positionEditable(RtlsObject *node)
{
    return Rtls::isAnchorOrMaster(node->mode()) && !RemoteViewGuard::isActive();
}

void setText(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

// A page that scrolls up and down when the dock is lower than its fields
// (a laptop's screen), never sideways: it is as wide as its fields.
QScrollArea *scrolling(QWidget *page)
{
    auto *area = new QScrollArea;
    area->setObjectName(page->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(page);
    area->setMinimumWidth(page->minimumSizeHint().width() +
                          area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area));
    return area;
}

} // namespace

NodeDetailTab::NodeDetailTab(QWidget *parent) : QWidget(parent)
{
    m_title = new QLabel(tr("No selection"), this);
    m_title->setObjectName(QStringLiteral("title"));
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);

    m_tabs = new QTabWidget(this);

    auto *nodePage = new QWidget;
    nodePage->setObjectName(QStringLiteral("nodePage"));
    auto *nodeForm = new QFormLayout(nodePage);
    addRow(nodeForm, tr("ID"), "id");
    addRow(nodeForm, tr("Name"), "name");
    addRow(nodeForm, tr("Mode"), "mode");
    addRow(nodeForm, tr("Hardware"), "hwVersion");
    addRow(nodeForm, tr("Loader"), "ldrVersion");
    addRow(nodeForm, tr("Firmware"), "fwVersion");
    addRow(nodeForm, tr("Roles"), "roles")->setWordWrap(true);
    addRow(nodeForm, tr("Seat"), "seat");
    addRow(nodeForm, tr("Group"), "group");
    for (int axis = 0; axis < 3; ++axis) {
        auto *edit = new QLineEdit(nodePage);
        edit->setObjectName(QLatin1String(kAxisNames[axis]));
        edit->setPlaceholderText(tr("press <enter> to confirm"));
        // The hint is read whole, whatever width the dock is given.
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(edit->placeholderText()) +
                              kLineEditTextMargins);
        connect(edit, &QLineEdit::returnPressed, this, [this, axis] { applyAxis(axis); });
        connect(edit, &QLineEdit::editingFinished, this, [this, axis] { axisEditingFinished(axis); });
        nodeForm->addRow(tr(kAxisLabels[axis]), edit);
        m_axes[size_t(axis)] = edit;
    }
    addRow(nodeForm, tr("Quality"), "quality");
    addRow(nodeForm, tr("Orientation"), "orientation");
    addRow(nodeForm, tr("IO"), "io");
    addRow(nodeForm, tr("vBat [V]"), "vbat");
    addRow(nodeForm, tr("Temperature"), "temperature");
    addRow(nodeForm, tr("Last report"), "age");
    m_tabs->addTab(scrolling(nodePage), tr("Node"));

    auto *statsPage = new QWidget;
    statsPage->setObjectName(QStringLiteral("statisticsPage"));
    auto *statsForm = new QFormLayout(statsPage);
    addRow(statsForm, tr("Uptime"), "uptime");
    addRow(statsForm, tr("Free memory"), "memFree");
    addRow(statsForm, tr("CPU load"), "cpuLoad");
    addRow(statsForm, tr("TDOA count"), "tdoaCnt");
    addRow(statsForm, tr("TWR count"), "twrCnt");
    addRow(statsForm, tr("TWR errors"), "twrErr");
    addRow(statsForm, tr("Reports sent"), "reportsSent");
    addRow(statsForm, tr("Radio supply"), "dwVBat");
    addRow(statsForm, tr("Radio temperature"), "dwTemp");
    addRow(statsForm, tr("Sync count"), "tsyncCnt");
    addRow(statsForm, tr("Sync drift [1e-12]"), "tsyncDrift");
    addRow(statsForm, tr("Sync error"), "tsyncErr");
    addRow(statsForm, tr("Raw sync drift [1e-12]"), "rawTsyncDrift");
    addRow(statsForm, tr("Raw sync error"), "rawTsyncErr");
    m_statsButton = new QPushButton(tr("Get Statistics"), statsPage);
    m_statsButton->setObjectName(QStringLiteral("getStats"));
    connect(m_statsButton, &QPushButton::clicked, this, &NodeDetailTab::requestStatistics);
    statsForm->addRow(m_statsButton);
    m_tabs->addTab(scrolling(statsPage), tr("Statistics"));

    m_plot = new NodeHealthPlot;
    m_plot->setObjectName(QStringLiteral("plot"));
    // The plot may be lower than it asks to be, as the pages beside it
    // scroll: the dock must fit a laptop's screen beside the node list.
    m_plot->setMinimumHeight(fontMetrics().lineSpacing() * kPlotMinimumLines);
    connect(m_plot, &NodeHealthPlot::historyChanged, this, &NodeDetailTab::refresh);
    m_tabs->addTab(m_plot, tr("Time sync"));
    connect(m_tabs, &QTabWidget::currentChanged, this, &NodeDetailTab::refresh);

    m_settingsButton = new QPushButton(tr("Settings..."), this);
    m_settingsButton->setObjectName(QStringLiteral("settings"));
    connect(m_settingsButton, &QPushButton::clicked, this, &NodeDetailTab::openSettings);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_tabs);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_settingsButton);
    layout->addLayout(buttons);

    m_timer = new QTimer(this);
    m_timer->setInterval(NodeTools::kViewRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &NodeDetailTab::tick);

    showNoSelection();
}

NodeDetailTab::~NodeDetailTab() = default;

QLabel *NodeDetailTab::addRow(QFormLayout *form, const QString &label, const char *name)
{
    auto *field = new QLabel(form->parentWidget());
    field->setObjectName(QLatin1String(name));
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(label, field);
    m_fields.insert(QByteArray(name), field);
    return field;
}

void NodeDetailTab::connectNode(uint64_t id)
{
    m_id = id;
    for (QLineEdit *edit : m_axes) {
        edit->setModified(false);
        markInvalid(edit, false);
    }
    if (id)
        m_timer->start();
    else
        m_timer->stop();
    refresh();
}

void NodeDetailTab::nodeUpdated(RtlsObject *node)
{
    if (node && m_id && node->id() == m_id)
        m_dirty = true;
}

void NodeDetailTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void NodeDetailTab::tick()
{
    // Hidden in a closed dock: catch up when shown.
    if (!isVisible())
        return;
    if (m_dirty) {
        refresh();
        return;
    }
    if (RtlsObject *node = SentrovaInterface::instance()->node(m_id))
        refreshAge(node);
}

void NodeDetailTab::refresh()
{
    m_dirty = false;
    RtlsObject *node = m_id ? SentrovaInterface::instance()->node(m_id) : nullptr;
    if (!node) {
        showNoSelection();
        return;
    }
    m_tabs->setEnabled(true);
    m_settingsButton->setEnabled(true);
    RemoteViewGuard::guard(m_settingsButton);
    RemoteViewGuard::guard(m_statsButton);
    setText(m_title, QStringLiteral("%1 (%2)").arg(node->name(), node->idString()));
    refreshNode(node);
    refreshStatistics(node);
    refreshAge(node);
}

void NodeDetailTab::showNoSelection()
{
    setText(m_title, tr("No selection"));
    for (QLabel *field : qAsConst(m_fields))
        field->clear();
    for (QLineEdit *edit : m_axes) {
        edit->clear();
        edit->setModified(false);
        edit->setReadOnly(true);
    }
    m_plot->showStats(nullptr);
    m_tabs->setEnabled(false);
    m_settingsButton->setEnabled(false);
}

void NodeDetailTab::refreshNode(RtlsObject *node)
{
    using namespace NodeDetailText;
    setText(m_fields.value("id"), node->idString());
    setText(m_fields.value("name"), node->name());
    setText(m_fields.value("mode"), node->mode().isEmpty() ? unknown() : node->mode());
    setText(m_fields.value("hwVersion"), version(node->hwVersion()));
    setText(m_fields.value("ldrVersion"), version(node->ldrVersion()));
    setText(m_fields.value("fwVersion"), version(node->fwVersion()));
    setText(m_fields.value("roles"), roles(node->roles()));
    setText(m_fields.value("seat"), seatOrGroup(node->seat()));
    setText(m_fields.value("group"), seatOrGroup(node->group()));

    for (int axis = 0; axis < 3; ++axis)
        showAxis(axis, node);
    setText(m_fields.value("quality"), node->hasPos() ? QString::number(node->pos()->pqf()) : unknown());

    if (node->hasImu()) {
        RtlsIMU *imu = node->imu();
        setText(m_fields.value("orientation"), orientation(imu->q0(), imu->q1(), imu->q2(), imu->q3()));
        setText(m_fields.value("io"), io(imu->io()));
        setText(m_fields.value("vbat"), volts(imu->vbat()));
        setText(m_fields.value("temperature"), celsius(imu->temperature()));
    } else {
        for (const char *name : {"orientation", "io", "vbat", "temperature"})
            setText(m_fields.value(name), unknown());
    }
}

void NodeDetailTab::showAxis(int axis, RtlsObject *node)
{
    QLineEdit *edit = m_axes[size_t(axis)];
    edit->setReadOnly(!positionEditable(node));
    // What the user is typing is never overwritten by a report.
    if (edit->isModified())
        return;
    const bool known = node->hasPos() && (node->pos()->flags() & Rtls::kPosAxis[axis]);
    float value = 0.0f;
    if (known)
        value = axis == 0 ? node->pos()->x() : axis == 1 ? node->pos()->y() : node->pos()->z();
    const QString text = NodeDetailText::coordinate(value, known);
    if (edit->text() != text)
        edit->setText(text);
    markInvalid(edit, false);
}

void NodeDetailTab::refreshStatistics(RtlsObject *node)
{
    const bool visibleStats = m_tabs->currentWidget()->isAncestorOf(m_statsButton);
    const bool visiblePlot = m_tabs->currentWidget() == m_plot;
    if (!node->hasStats()) {
        if (visibleStats)
            for (const char *name : {"uptime", "memFree", "cpuLoad", "tdoaCnt", "twrCnt", "twrErr", "reportsSent",
                                     "dwVBat", "dwTemp", "tsyncCnt", "tsyncDrift", "tsyncErr", "rawTsyncDrift",
                                     "rawTsyncErr"})
                setText(m_fields.value(name), NodeDetailText::unknown());
        if (visiblePlot)
            m_plot->showStats(nullptr);
        return;
    }
    RtlsObjectStats *s = node->stats();
    if (visibleStats) {
        setText(m_fields.value("uptime"), NodeDetailText::uptime(s->uptime()));
        setText(m_fields.value("memFree"), QString::number(s->memFree()));
        setText(m_fields.value("cpuLoad"), QString::number(double(s->cpuLoad()), 'f', 2));
        setText(m_fields.value("tdoaCnt"), QString::number(s->tdoaCnt()));
        setText(m_fields.value("twrCnt"), QString::number(s->twrCnt()));
        setText(m_fields.value("twrErr"), QString::number(s->twrErr()));
        setText(m_fields.value("reportsSent"), QString::number(s->reportsSent()));
        setText(m_fields.value("dwVBat"), QString::number(s->dwVBat()));
        setText(m_fields.value("dwTemp"), QString::number(s->dwTemp()));
        setText(m_fields.value("tsyncCnt"), QString::number(s->tsyncCnt()));
        setText(m_fields.value("tsyncDrift"), QString::number(s->tsyncDrift(), 'f', 1));
        setText(m_fields.value("tsyncErr"), QString::number(s->tsyncErr()));
        setText(m_fields.value("rawTsyncDrift"), QString::number(s->rawTsyncDrift(), 'f', 1));
        setText(m_fields.value("rawTsyncErr"), QString::number(s->rawTsyncErr()));
    }
    if (visiblePlot)
        m_plot->showStats(s);
}

void NodeDetailTab::refreshAge(RtlsObject *node)
{
    setText(m_fields.value("age"),
            NodeDetailText::age(node->lastUpdate(), QDateTime::currentMSecsSinceEpoch()));
}

void NodeDetailTab::applyAxis(int axis)
{
    QLineEdit *edit = m_axes[size_t(axis)];
    SentrovaInterface *hub = SentrovaInterface::instance();
    RtlsObject *node = hub->node(m_id);
    if (!node || !positionEditable(node))
        return;
    double value = 0.0;
    if (!NodeDetailText::parseCoordinate(edit->text(), &value)) {
        // Nothing is sent for a value that cannot be read; the text stays
        // for the user to mend.
        markInvalid(edit, true);
        return;
    }
    RtlsPos *pos = node->pos();
    if (axis == 0)
        pos->setX(float(value));
    else if (axis == 1)
        pos->setY(float(value));
    else
        pos->setZ(float(value));
    edit->setModified(false);
    hub->setAnchorPosition(m_id, Rtls::kPosAxis[axis]);
    hub->announceNodeUpdated(node);
    showAxis(axis, node);
}

void NodeDetailTab::axisEditingFinished(int axis)
{
    // Leaving a field without <enter> forgets the edit.
    QLineEdit *edit = m_axes[size_t(axis)];
    if (edit->hasFocus() || !edit->isModified())
        return;
    edit->setModified(false);
    if (RtlsObject *node = SentrovaInterface::instance()->node(m_id))
        showAxis(axis, node);
}

void NodeDetailTab::markInvalid(QLineEdit *edit, bool invalid)
{
    if (edit->property("invalid").toBool() == invalid)
        return;
    edit->setProperty("invalid", invalid);
    edit->setStyleSheet(invalid ? QStringLiteral("color: #d43a2f") : QString());
    edit->setToolTip(invalid ? tr("Not a number: nothing was sent") : QString());
}

void NodeDetailTab::requestStatistics()
{
    if (m_id)
        SentrovaInterface::instance()->getStats(m_id);
}

void NodeDetailTab::openSettings()
{
    if (!m_id || !SentrovaInterface::instance()->node(m_id))
        return;
    SettingsDialog dialog(m_id, this);
    dialog.exec();
}
