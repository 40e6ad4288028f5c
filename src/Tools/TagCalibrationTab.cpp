#include "TagCalibrationTab.h"

#include "CalibrationConstants.h"
#include "CommConstants.h"
#include "NodeChoices.h"
#include "RtlsConvert.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"
#include "SetupCellFormat.h"
#include "WriteCheck.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The table follows the samples on its own clock, not on every report.
constexpr int kRefreshMs = 250;

} // namespace

TagCalibrationTab *TagCalibrationTab::instance()
{
    static TagCalibrationTab *tab = new TagCalibrationTab;
    return tab;
}

TagCalibrationTab::TagCalibrationTab()
    : m_hub(SentrovaInterface::instance()), m_check(new WriteCheck(m_hub, this)),
      m_calibration(Calib::kTagMinSamples)
{
    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    m_tagCombo = new QComboBox(this);
    m_tagCombo->setMinimumContentsLength(12);
    grid->addWidget(new QLabel(tr("Tag:"), this), 0, 0);
    grid->addWidget(m_tagCombo, 0, 1);
    auto *readDelays = new QPushButton(tr("Read current delays"), this);
    grid->addWidget(readDelays, 0, 2);
    m_delays = new QLabel(tr("Current delays: not read"), this);
    grid->addWidget(m_delays, 0, 3, 1, 4);

    grid->addWidget(new QLabel(tr("True position [m]:"), this), 1, 0);
    const char *axes[3] = {"X", "Y", "Z"};
    auto *positionRow = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        m_position[i] = new QLineEdit(this);
        m_position[i]->setPlaceholderText(QLatin1String(axes[i]));
        m_position[i]->setMaximumWidth(90);
        positionRow->addWidget(new QLabel(QLatin1String(axes[i]) + QLatin1Char(':'), this));
        positionRow->addWidget(m_position[i]);
    }
    auto *usePosition = new QPushButton(tr("Use the tag's position"), this);
    positionRow->addWidget(usePosition);
    positionRow->addStretch(1);
    grid->addLayout(positionRow, 1, 1, 1, 6);

    auto *buttons = new QHBoxLayout;
    m_collect = new QPushButton(tr("Start collecting"), this);
    m_collect->setCheckable(true);
    auto *clear = new QPushButton(tr("Clear samples"), this);
    m_apply = new QPushButton(tr("Apply"), this);
    m_apply->setEnabled(false);
    buttons->addWidget(m_collect);
    buttons->addWidget(clear);
    buttons->addWidget(m_apply);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 1, 1, 6);
    layout->addLayout(grid);

    m_table = new QTableWidget(0, Columns, this);
    m_table->setHorizontalHeaderLabels({tr("Anchor"), tr("Samples"), tr("Kept"), tr("Mean measured [m]"),
                                        tr("True range [m]"), tr("Bias [m]"), tr("Delay change [devt]")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_table, 1);
    m_suggestion = new QLabel(this);
    m_suggestion->setWordWrap(true);
    m_checkLabel = new QLabel(this);
    layout->addWidget(m_suggestion);
    layout->addWidget(m_checkLabel);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(kRefreshMs);
    m_refreshTimer->setSingleShot(true);
    connect(m_refreshTimer, &QTimer::timeout, this, &TagCalibrationTab::refresh);

    connect(m_tagCombo, QOverload<int>::of(&QComboBox::activated), this, &TagCalibrationTab::tagChosen);
    connect(readDelays, &QPushButton::clicked, this, &TagCalibrationTab::readCurrentDelays);
    connect(usePosition, &QPushButton::clicked, this, &TagCalibrationTab::useCurrentPosition);
    connect(m_collect, &QPushButton::toggled, this, [this](bool on) { on ? startCollecting() : stopCollecting(); });
    connect(clear, &QPushButton::clicked, this, &TagCalibrationTab::clearSamples);
    connect(m_apply, &QPushButton::clicked, this, &TagCalibrationTab::apply);

    connect(m_hub, &SentrovaInterface::nodeAddedSignal, this, &TagCalibrationTab::NodeListUpdated);
    connect(m_hub, &SentrovaInterface::nodeUpdatedSignal, this, &TagCalibrationTab::NodeUpdated);
    connect(m_hub, &SentrovaInterface::newAntennaDelays, this, &TagCalibrationTab::newDelays);
    connect(m_check, &WriteCheck::progress, this, &TagCalibrationTab::showCheck);
    connect(m_check, &WriteCheck::checked, this, &TagCalibrationTab::showCheck);

    for (RtlsObject *node : m_hub->nodes())
        NodeListUpdated(node);
    refresh();
}

QString TagCalibrationTab::suggestionText() const
{
    return m_suggestion->text();
}

QString TagCalibrationTab::checkText() const
{
    return m_checkLabel->text();
}

std::optional<uint64_t> TagCalibrationTab::selectedTag() const
{
    if (m_tagCombo->currentIndex() < 0)
        return std::nullopt;
    return m_tagCombo->currentData().value<uint64_t>();
}

void TagCalibrationTab::NodeListUpdated(RtlsObject *node)
{
    // A tag made by one location report is offered once it is heard again.
    if (!node || node->mode() != QLatin1String("tag") || (node->msgFlags() & Rtls::kMsgHeardOnce))
        return;
    // In the order people read names; nodes are found again by their text.
    if (m_names.contains(node->id()))
        return;
    const QSignalBlocker quiet(m_tagCombo);
    const bool none = !selectedTag();
    NodeChoices::insert(m_tagCombo, 0, node->name(), node->id(), QVariant::fromValue<uint64_t>(node->id()));
    m_names.insert(node->id(), node->name());
    // A box that had no choice keeps none: the first tag is not chosen for
    // the user.
    if (none)
        m_tagCombo->setCurrentIndex(-1);
}

void TagCalibrationTab::NodeUpdated(RtlsObject *node)
{
    if (!node)
        return;
    // A tag not offered yet is offered now (one heard once is, when heard
    // again). Names arrive with the masters' answers, not with location
    // reports: those are left alone here.
    const auto name = m_names.find(node->id());
    if (name == m_names.end()) {
        NodeListUpdated(node);
    } else if (!(node->msgFlags() & Rtls::kMsgMeasurements) && *name != node->name()) {
        // A new name takes its place in the order; the choice stays.
        const QSignalBlocker quiet(m_tagCombo);
        NodeChoices::rename(m_tagCombo, 0, *name, node->name(), node->id());
        *name = node->name();
    }
    if (!m_collecting)
        return;
    const std::optional<uint64_t> tag = selectedTag();
    if (!tag || node->id() != *tag)
        return;
    // Only a report that carried new ranges counts; a service answer about
    // the tag repeats old ones and carries no time stamp.
    if (!(node->msgFlags() & Rtls::kMsgMeasurements) || !node->hasMeas() || node->msgTime() == m_lastMsgTime)
        return;
    m_lastMsgTime = node->msgTime();
    const RtlsMeas::Table table = node->meas()->current();
    for (auto it = table.constBegin(); it != table.constEnd(); ++it)
        if (it->kind == Rtls::kMeasDistance)
            m_calibration.addSample(it.key(), it->value);
    if (!m_refreshTimer->isActive())
        m_refreshTimer->start();
}

void TagCalibrationTab::newDelays(uint64_t id, uint16_t tx, uint16_t rx)
{
    const std::optional<uint64_t> tag = selectedTag();
    if (!tag || (*tag & Comm::kServiceIdMask) != (id & Comm::kServiceIdMask))
        return;
    m_currentTx = tx;
    m_currentRx = rx;
    m_delays->setText(tr("Current delays: TX %1, RX %2").arg(tx).arg(rx));
    refresh();
}

void TagCalibrationTab::setTag(uint64_t id)
{
    const auto name = m_names.constFind(id);
    const int index = name == m_names.constEnd() ? -1 : NodeChoices::find(m_tagCombo, 0, *name, id);
    m_tagCombo->setCurrentIndex(index);
    tagChosen();
}

void TagCalibrationTab::tagChosen()
{
    m_currentTx.reset();
    m_currentRx.reset();
    m_delays->setText(tr("Current delays: not read"));
    m_lastMsgTime = -1.0;
    m_calibration.clearSamples();
    m_checkLabel->clear();
    readCurrentDelays();
    refresh();
}

bool TagCalibrationTab::setTruePosition(double x, double y, double z)
{
    const double v[3] = {x, y, z};
    for (int i = 0; i < 3; ++i)
        m_position[i]->setText(QString::number(v[i], 'f', 3));
    return readTruePosition();
}

void TagCalibrationTab::useCurrentPosition()
{
    const std::optional<uint64_t> tag = selectedTag();
    RtlsObject *node = tag ? m_hub->node(*tag) : nullptr;
    if (!node || !node->hasPos() || (node->pos()->flags() & Rtls::kPosXYZ) != Rtls::kPosXYZ)
        return;
    setTruePosition(node->pos()->x(), node->pos()->y(), node->pos()->z());
}

bool TagCalibrationTab::readTruePosition()
{
    double v[3];
    for (int i = 0; i < 3; ++i)
        if (SetupCellFormat::readCoordinate(m_position[i]->text(), &v[i]) != SetupCellFormat::Typed::Number)
            return false;
    m_calibration.setTruePosition(v[0], v[1], v[2]);
    return true;
}

void TagCalibrationTab::startCollecting()
{
    if (!selectedTag() || !readTruePosition()) {
        m_suggestion->setText(tr("Choose a tag and type the position it stands at (three numbers) first."));
        const QSignalBlocker quiet(m_collect);
        m_collect->setChecked(false);
        return;
    }
    m_collecting = true;
    const QSignalBlocker quiet(m_collect);
    m_collect->setChecked(true);
    m_collect->setText(tr("Stop collecting"));
    if (!m_currentTx)
        readCurrentDelays();
}

void TagCalibrationTab::stopCollecting()
{
    m_collecting = false;
    const QSignalBlocker quiet(m_collect);
    m_collect->setChecked(false);
    m_collect->setText(tr("Start collecting"));
}

void TagCalibrationTab::clearSamples()
{
    m_calibration.clearSamples();
    refresh();
}

void TagCalibrationTab::readCurrentDelays()
{
    if (const std::optional<uint64_t> tag = selectedTag())
        m_hub->getAntennaDelays(*tag);
}

void TagCalibrationTab::updateAnchorPositions()
{
    m_calibration.clearAnchorPositions();
    for (RtlsObject *node : m_hub->nodes()) {
        const QString mode = node->mode();
        if (mode != QLatin1String("anchor") && mode != QLatin1String("master"))
            continue;
        if (!node->hasPos() || (node->pos()->flags() & Rtls::kPosXYZ) != Rtls::kPosXYZ)
            continue;
        m_calibration.setAnchorPosition(node->id(), node->pos()->x(), node->pos()->y(), node->pos()->z());
    }
}

void TagCalibrationTab::refresh()
{
    readTruePosition();
    updateAnchorPositions();
    const QVector<uint64_t> anchors = m_calibration.anchors();
    m_table->setRowCount(anchors.size());
    for (int row = 0; row < anchors.size(); ++row) {
        const TagCalibration::AnchorStats s = m_calibration.stats(anchors[row]);
        RtlsObject *anchor = m_hub->node(anchors[row]);
        const QString cells[Columns] = {
            anchor ? anchor->name() : Rtls::hexText(anchors[row]),
            QString::number(s.samples),
            QString::number(s.kept),
            QString::number(s.meanMeasured, 'f', 3),
            s.hasTrue ? QString::number(s.trueRange, 'f', 3) : QStringLiteral("---"),
            s.hasTrue ? QString::number(s.bias, 'f', 3) : QStringLiteral("---"),
            s.hasTrue ? QString::number(s.changeUnits, 'f', 1) : QStringLiteral("---"),
        };
        for (int col = 0; col < Columns; ++col) {
            QTableWidgetItem *item = m_table->item(row, col);
            if (!item) {
                item = new QTableWidgetItem;
                m_table->setItem(row, col, item);
            }
            item->setText(cells[col]);
            item->setData(Qt::UserRole, QVariant::fromValue<uint64_t>(anchors[row]));
            item->setForeground(s.ready ? QBrush(Qt::black) : QBrush(Qt::gray));
        }
    }

    const TagCalibration::Suggestion s = m_calibration.suggestion(Calib::kTagMaxStep);
    bool canApply = false;
    if (!s.valid) {
        m_suggestion->setText(tr("Collecting: every anchor needs %1 ranges (%2 anchors ready).")
                                  .arg(m_calibration.minSamples())
                                  .arg(s.readyAnchors));
    } else {
        QString text = tr("Range bias %1 m over %2 anchors: change the tag's delays by %3 devt.")
                           .arg(s.biasMetres, 0, 'f', 3)
                           .arg(s.readyAnchors)
                           .arg(s.changeUnits);
        if (s.limited)
            text += QLatin1Char(' ') + tr("(limited to %1 per step: collect and apply again)").arg(Calib::kTagMaxStep);
        if (m_currentTx && m_currentRx) {
            const int tx = *m_currentTx + s.changeUnits;
            const int rx = *m_currentRx + s.changeUnits;
            canApply = s.changeUnits != 0 && Calib::isPlausibleDelay(tx) && Calib::isPlausibleDelay(rx);
            text += QLatin1Char(' ') + tr("TX %1 \u2192 %2, RX %3 \u2192 %4.").arg(*m_currentTx).arg(tx).arg(*m_currentRx).arg(rx);
            if (!Calib::isPlausibleDelay(tx) || !Calib::isPlausibleDelay(rx))
                text += QLatin1Char(' ') + tr("Outside %1 to %2: not written.").arg(Calib::kMinDelay).arg(Calib::kMaxDelay);
        } else {
            text += QLatin1Char(' ') + tr("Read the current delays to apply it.");
        }
        m_suggestion->setText(text);
    }
    m_apply->setEnabled(canApply);
}

void TagCalibrationTab::apply()
{
    const std::optional<uint64_t> tag = selectedTag();
    const TagCalibration::Suggestion s = m_calibration.suggestion(Calib::kTagMaxStep);
    if (!tag || !s.valid || !m_currentTx || !m_currentRx || s.changeUnits == 0)
        return;
    const int tx = *m_currentTx + s.changeUnits;
    const int rx = *m_currentRx + s.changeUnits;
    if (!Calib::isPlausibleDelay(tx) || !Calib::isPlausibleDelay(rx))
        return;
    m_hub->setAntennaDelays(*tag, uint16_t(tx), uint16_t(rx));
    m_check->expectDelays(*tag, uint16_t(tx), uint16_t(rx));
    // The samples were measured with the old delays.
    m_currentTx.reset();
    m_currentRx.reset();
    m_calibration.clearSamples();
    m_lastMsgTime = -1.0;
    refresh();
}

void TagCalibrationTab::showCheck()
{
    const std::optional<uint64_t> tag = selectedTag();
    if (!tag)
        return;
    m_checkLabel->setText(tr("Written: %1").arg(m_check->statusText(WriteCheck::delaysKey(*tag))));
}
