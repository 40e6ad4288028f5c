#include "SetupTab.h"

#include "AnchorSurvey.h"
#include "CalibrationConstants.h"
#include "CommConstants.h"
#include "DelayBox.h"
#include "Dispatch.h"
#include "LayoutCheck.h"
#include "NodeNameOrder.h"
#include "RtlsConvert.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"
#include "SetupCellFormat.h"
#include "SetupTableView.h"
#include "WriteCheck.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QBrush lightGrey()
{
    return QBrush(Qt::lightGray);
}

// Residuals above this in the layout check are shown as a survey fault.
constexpr double kLayoutWarn = LayoutCheck::kSurveyFault;
constexpr double kLayoutFine = 0.10;

} // namespace

SetupTab *SetupTab::instance()
{
    static SetupTab *tab = new SetupTab;
    return tab;
}

SetupTab::SetupTab()
    : m_hub(SentrovaInterface::instance()), m_check(new WriteCheck(m_hub, this)),
      m_model(new QStandardItemModel(this))
{
    auto *layout = new QVBoxLayout(this);

    auto *setupBox = new QGroupBox(tr("Sentrova Control for setup"), this);
    auto *setupRow = new QHBoxLayout(setupBox);
    auto *listAnchors = new QPushButton(tr("List Anchors"), setupBox);
    auto *readDetails = new QPushButton(tr("Read all details"), setupBox);
    auto *readDistances = new QPushButton(tr("Read all distances"), setupBox);
    auto *editMode = new QPushButton(tr("Edit mode"), setupBox);
    editMode->setCheckable(true);
    editMode->setObjectName(QStringLiteral("editMode"));
    auto *apply = new QPushButton(tr("Apply new coordinates"), setupBox);
    auto *clear = new QPushButton(tr("Clear all Anchor coordinates"), setupBox);
    auto *print = new QPushButton(tr("Show setPos() Commands"), setupBox);
    auto *check = new QPushButton(tr("Check layout"), setupBox);
    for (QPushButton *b : {listAnchors, readDetails, readDistances, editMode, apply, clear, print, check})
        setupRow->addWidget(b);
    setupRow->addStretch(1);
    layout->addWidget(setupBox);

    auto *calBox = new QGroupBox(tr("Sentrova Calibration tools"), this);
    auto *calRow = new QHBoxLayout(calBox);
    m_anchorCombo = new QComboBox(calBox);
    m_anchorCombo->setMinimumContentsLength(12);
    m_getDelays = new QPushButton(tr("Get Current Delays"), calBox);
    m_txDelay = new QSpinBox(calBox);
    m_rxDelay = new QSpinBox(calBox);
    for (QSpinBox *box : {m_txDelay, m_rxDelay}) {
        DelayBox::prepare(box, Calib::kDelayNotRead);
        box->setSpecialValueText(tr("not read"));
        box->setValue(Calib::kDelayNotRead);
    }
    m_setDelays = new QPushButton(tr("Set New Delays"), calBox);
    m_delayNote = new QLabel(calBox);
    m_delayNote->setObjectName(QStringLiteral("delayNote"));
    calRow->addWidget(new QLabel(tr("Anchor: "), calBox));
    calRow->addWidget(m_anchorCombo);
    calRow->addWidget(m_getDelays);
    calRow->addWidget(new QLabel(tr("TX delay: "), calBox));
    calRow->addWidget(m_txDelay);
    calRow->addWidget(new QLabel(tr("RX delay: "), calBox));
    calRow->addWidget(m_rxDelay);
    calRow->addWidget(m_setDelays);
    calRow->addWidget(m_delayNote);
    calRow->addStretch(1);
    layout->addWidget(calBox);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    m_view = new SetupTableView(m_model, splitter);
    splitter->addWidget(m_view);

    auto *below = new QWidget(splitter);
    auto *belowRow = new QHBoxLayout(below);
    belowRow->setContentsMargins(0, 0, 0, 0);
    auto *checkBox = new QGroupBox(tr("Written values, as the nodes hold them"), below);
    auto *checkLayout = new QVBoxLayout(checkBox);
    m_checkList = new QListWidget(checkBox);
    checkLayout->addWidget(m_checkList);
    belowRow->addWidget(checkBox, 1);
    auto *layoutBox = new QGroupBox(tr("Layout check: surveyed coordinates against the measured ranges"), below);
    auto *layoutBoxLayout = new QVBoxLayout(layoutBox);
    m_layoutVerdict = new QLabel(tr("Press \"Check layout\" after reading all distances."), layoutBox);
    m_layoutVerdict->setWordWrap(true);
    m_layoutTable = new QTableWidget(0, 6, layoutBox);
    m_layoutTable->setHorizontalHeaderLabels({tr("Anchor"), tr("Surveyed X"), tr("Surveyed Y"), tr("Fitted X"),
                                              tr("Fitted Y"), tr("Residual [m]")});
    m_layoutTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_layoutTable->verticalHeader()->hide();
    layoutBoxLayout->addWidget(m_layoutVerdict);
    layoutBoxLayout->addWidget(m_layoutTable);
    belowRow->addWidget(layoutBox, 2);
    splitter->addWidget(below);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    m_rebuildTimer = new QTimer(this);
    m_rebuildTimer->setSingleShot(true);
    m_rebuildTimer->setInterval(0);
    connect(m_rebuildTimer, &QTimer::timeout, this, &SetupTab::rebuild);

    connect(listAnchors, &QPushButton::clicked, m_hub, &SentrovaInterface::listAnchors);
    connect(readDetails, &QPushButton::clicked, m_hub, &SentrovaInterface::getAllDetails);
    connect(readDistances, &QPushButton::clicked, m_hub, &SentrovaInterface::getAllDistances);
    connect(editMode, &QPushButton::clicked, this, &SetupTab::editModeChanged);
    connect(apply, &QPushButton::clicked, this, &SetupTab::setNewCoordinates);
    connect(clear, &QPushButton::clicked, m_hub, &SentrovaInterface::removeAnchorCoordinates);
    connect(print, &QPushButton::clicked, this, &SetupTab::printCurrentCoordinatesCommands);
    connect(check, &QPushButton::clicked, this, &SetupTab::checkLayout);
    connect(m_anchorCombo, QOverload<int>::of(&QComboBox::activated), this, &SetupTab::cbAnchorSelected);
    connect(m_getDelays, &QPushButton::clicked, this, &SetupTab::getCurrentDelays);
    connect(m_setDelays, &QPushButton::clicked, this, &SetupTab::setNewDelays);
    for (QSpinBox *box : {m_txDelay, m_rxDelay})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &SetupTab::syncDelayEditor);
    connect(m_view, &QTableView::clicked, this, &SetupTab::tableClicked);

    connect(m_hub, &SentrovaInterface::nodeAddedSignal, this, &SetupTab::NodeUpdated);
    connect(m_hub, &SentrovaInterface::nodeUpdatedSignal, this, &SetupTab::NodeUpdated);
    connect(m_hub, &SentrovaInterface::nodeRemovedSignal, this, &SetupTab::NodeUpdated);
    connect(m_hub, &SentrovaInterface::anchorListUpdated, this, &SetupTab::anchorListUpdated);
    connect(m_hub, &SentrovaInterface::newAntennaDelays, this, &SetupTab::newDelays);
    connect(m_model, &QStandardItemModel::itemChanged, this, &SetupTab::itemChanged);
    connect(Dispatch::instance(), &Dispatch::idSelected, this, &SetupTab::idSelected);
    connect(m_check, &WriteCheck::progress, this, &SetupTab::showCheck);
    connect(m_check, &WriteCheck::checked, this, &SetupTab::showCheck);

    rebuild();
    syncDelayEditor();
}

QString SetupTab::layoutVerdict() const
{
    return m_layoutVerdict->text();
}

uint64_t SetupTab::rowId(int row) const
{
    const QStandardItem *header = m_model->verticalHeaderItem(row);
    return header ? header->data(kSetTextRole).value<uint64_t>() : 0;
}

RtlsObject *SetupTab::rowNode(int row) const
{
    return m_hub->node(rowId(row));
}

bool SetupTab::isEdited(const QStandardItem *item) const
{
    return item && item->text() != item->data(kSetTextRole).toString();
}

// Where the row's anchor is for the distance colours: the typed coordinates
// where a cell was edited, the stored position elsewhere.
std::optional<SetupTab::Point> SetupTab::rowPoint(int row) const
{
    RtlsObject *node = rowNode(row);
    const RtlsPos *pos = node && node->hasPos() ? node->pos() : nullptr;
    const double stored[3] = {pos ? pos->x() : 0.0, pos ? pos->y() : 0.0, pos ? pos->z() : 0.0};
    double xyz[3];
    for (int axis = 0; axis < 3; ++axis) {
        const QStandardItem *cell = m_model->item(row, axis);
        if (cell && isEdited(cell)) {
            if (SetupCellFormat::readCoordinate(cell->text(), &xyz[axis]) != SetupCellFormat::Typed::Number)
                return std::nullopt;
        } else {
            if (!pos || !(pos->flags() & Rtls::kPosAxis[axis]))
                return std::nullopt;
            xyz[axis] = stored[axis];
        }
    }
    return Point{xyz[0], xyz[1], xyz[2]};
}

void SetupTab::colourCoordinate(QStandardItem *item)
{
    const bool known = item->data(kKnownRole).toBool();
    double value = 0.0;
    if (m_editMode && isEdited(item)) {
        const bool valid = SetupCellFormat::readCoordinate(item->text(), &value) != SetupCellFormat::Typed::Invalid;
        item->setBackground(valid ? QBrush(Qt::blue) : QBrush(Qt::red));
        item->setForeground(QBrush(Qt::white));
        item->setToolTip(valid ? QString() : tr("Not a number: this value is not sent. Leave it empty for \"auto\"."));
        return;
    }
    item->setToolTip(QString());
    item->setForeground(QBrush(Qt::black));
    if (m_editMode && !known)
        item->setBackground(QBrush(Qt::white));
    else
        item->setBackground(known ? QBrush(Qt::green) : lightGrey());
}

void SetupTab::fillCoordinate(int row, int column, RtlsObject *node)
{
    QStandardItem *item = m_model->item(row, column);
    if (!item) {
        item = new QStandardItem;
        m_model->setItem(row, column, item);
    }
    // A value being typed is never overwritten by a live update.
    if (m_editMode && isEdited(item))
        return;
    const RtlsPos *pos = node->hasPos() ? node->pos() : nullptr;
    const bool known = pos && (pos->flags() & Rtls::kPosAxis[column]);
    const double value = !pos ? 0.0 : column == 0 ? pos->x() : column == 1 ? pos->y() : pos->z();
    const QString text = SetupCellFormat::coordinateText(known, value);
    item->setData(text, kSetTextRole);
    item->setData(known, kKnownRole);
    item->setText(text);
    item->setFlags(m_editMode ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable
                              : Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    colourCoordinate(item);
}

void SetupTab::fillSeat(int row, RtlsObject *node)
{
    QStandardItem *item = m_model->item(row, 3);
    if (!item) {
        item = new QStandardItem;
        m_model->setItem(row, 3, item);
    }
    const int seat = node->seat();
    const QString text = seat > 249 ? QStringLiteral("offline") : seat < 0 ? QStringLiteral("unknown")
                                                                           : QString::number(seat);
    item->setText(text);
    item->setData(seat, kSetTextRole);
    item->setBackground(lightGrey());
    item->setForeground(QBrush(Qt::black));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
}

void SetupTab::fillDistance(int row, int column)
{
    QStandardItem *item = m_model->item(row, column);
    if (!item) {
        item = new QStandardItem;
        m_model->setItem(row, column, item);
    }
    const int k = column - kFirstDistanceColumn;
    item->setFlags(Qt::NoItemFlags);
    item->setForeground(QBrush(Qt::black));
    if (k == row) {
        item->setText(QStringLiteral(" ----- "));
        item->setTextAlignment(Qt::AlignCenter);
        item->setBackground(lightGrey());
        return;
    }
    RtlsObject *node = rowNode(row);
    const uint64_t anchor = rowId(k);
    RtlsMeasEntry entry;
    if (node && node->hasMeas())
        entry = node->meas()->current().value(anchor);
    // Only ranges are distances; a time of arrival is not compared.
    if (entry.kind != Rtls::kMeasDistance) {
        item->setText(QStringLiteral("..."));
        item->setData(QVariant(), kSetTextRole);
        item->setBackground(QBrush());
        item->setToolTip(QString());
        return;
    }
    const double measured = entry.value;
    item->setText(SetupCellFormat::distanceText(measured, entry.stdev));
    item->setData(measured, kSetTextRole);
    const std::optional<Point> a = rowPoint(row);
    const std::optional<Point> b = rowPoint(k);
    if (!a || !b) {
        item->setBackground(QBrush());
        item->setToolTip(QString());
        return;
    }
    const double p = std::sqrt((a->x - b->x) * (a->x - b->x) + (a->y - b->y) * (a->y - b->y)
                               + (a->z - b->z) * (a->z - b->z));
    const double d = std::fabs(p - measured);
    item->setBackground(SetupCellFormat::distanceColour(d));
    item->setToolTip(SetupCellFormat::distanceToolTip(measured, p, d));
}

void SetupTab::anchorListUpdated()
{
    m_rebuildTimer->start();
}

void SetupTab::NodeListUpdated(RtlsObject *)
{
    rebuild();
}

void SetupTab::rebuild()
{
    m_rebuildTimer->stop();
    QList<uint64_t> ids;
    for (RtlsObject *node : m_hub->nodes())
        if (Rtls::isAnchorOrMaster(node->mode()))
            ids.append(node->id());
    std::sort(ids.begin(), ids.end());

    // Typed values that were not sent yet survive the rebuild.
    QHash<QPair<uint64_t, int>, QString> typed;
    if (m_editMode)
        for (int row = 0; row < m_model->rowCount(); ++row)
            for (int col = 0; col < 3; ++col)
                if (isEdited(m_model->item(row, col)))
                    typed.insert(qMakePair(rowId(row), col), m_model->item(row, col)->text());

    m_updating = true;
    m_model->clear();
    m_rowById.clear();
    const int n = ids.size();
    m_model->setColumnCount(kFirstDistanceColumn + n);
    m_model->setRowCount(n);
    m_model->setHorizontalHeaderItem(0, new QStandardItem(QStringLiteral("X")));
    m_model->setHorizontalHeaderItem(1, new QStandardItem(QStringLiteral("Y")));
    m_model->setHorizontalHeaderItem(2, new QStandardItem(QStringLiteral("Z")));
    m_model->setHorizontalHeaderItem(3, new QStandardItem(QStringLiteral("seat/group")));
    for (int i = 0; i < n; ++i) {
        RtlsObject *node = m_hub->node(ids[i]);
        m_rowById.insert(ids[i], i);
        auto *rowHeader = new QStandardItem(node->name());
        rowHeader->setData(QVariant::fromValue<uint64_t>(ids[i]), kSetTextRole);
        m_model->setVerticalHeaderItem(i, rowHeader);
        auto *columnHeader = new QStandardItem(node->name());
        columnHeader->setData(QVariant::fromValue<uint64_t>(ids[i]), kSetTextRole);
        columnHeader->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_model->setHorizontalHeaderItem(kFirstDistanceColumn + i, columnHeader);
    }
    for (int i = 0; i < n; ++i) {
        RtlsObject *node = m_hub->node(ids[i]);
        for (int col = 0; col < 3; ++col)
            fillCoordinate(i, col, node);
        fillSeat(i, node);
    }
    for (auto it = typed.constBegin(); it != typed.constEnd(); ++it) {
        const int row = rowOf(it.key().first);
        if (row >= 0) {
            QStandardItem *item = m_model->item(row, it.key().second);
            item->setText(it.value());
            colourCoordinate(item);
        }
    }
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k)
            fillDistance(i, kFirstDistanceColumn + k);
    m_updating = false;
    // Distances with their spread must be readable, not elided.
    for (int k = 0; k < n; ++k)
        m_view->resizeColumnToContents(kFirstDistanceColumn + k);
    fillAnchorCombo(ids);
}

void SetupTab::refreshRow(int row)
{
    RtlsObject *node = rowNode(row);
    if (!node)
        return;
    m_updating = true;
    m_model->verticalHeaderItem(row)->setText(node->name());
    m_model->horizontalHeaderItem(kFirstDistanceColumn + row)->setText(node->name());
    for (int col = 0; col < 3; ++col)
        fillCoordinate(row, col, node);
    fillSeat(row, node);
    m_updating = false;
    refreshDistancesOf(row);
}

// The row's own distances and every other anchor's distance to it: both
// depend on its position.
void SetupTab::refreshDistancesOf(int row)
{
    const bool wasUpdating = m_updating;
    m_updating = true;
    const int n = m_model->rowCount();
    for (int k = 0; k < n; ++k) {
        fillDistance(row, kFirstDistanceColumn + k);
        if (k != row)
            fillDistance(k, kFirstDistanceColumn + row);
    }
    m_updating = wasUpdating;
}

void SetupTab::NodeUpdated(RtlsObject *node)
{
    if (!node)
        return;
    const int row = rowOf(node->id());
    const bool anchor = Rtls::isAnchorOrMaster(node->mode());
    if (row < 0) {
        if (anchor)
            m_rebuildTimer->start();
        return;
    }
    if (!anchor || !m_hub->hasNode(node->id())) {
        m_rebuildTimer->start();
        return;
    }
    refreshRow(row);
}

void SetupTab::itemChanged(QStandardItem *item)
{
    if (m_updating || !m_editMode || !item)
        return;
    const int row = item->row();
    if (item->column() < 3) {
        m_updating = true;
        colourCoordinate(item);
        m_updating = false;
        refreshDistancesOf(row);
    } else if (isEdited(item)) {
        QFont bold = item->font();
        bold.setWeight(75);
        m_updating = true;
        item->setFont(bold);
        m_updating = false;
    }
}

void SetupTab::tableClicked(QModelIndex index)
{
    if (!index.isValid())
        return;
    Dispatch::instance()->emitIdSelected(rowId(index.row()));
}

void SetupTab::editModeChanged(bool enable)
{
    m_editMode = enable;
    m_updating = true;
    for (int row = 0; row < m_model->rowCount(); ++row)
        for (int col = 0; col < 3; ++col) {
            QStandardItem *item = m_model->item(row, col);
            if (!item)
                continue;
            item->setEditable(enable);
            colourCoordinate(item);
        }
    m_updating = false;
    if (auto *button = findChild<QPushButton *>(QStringLiteral("editMode")))
        button->setChecked(enable);
}

void SetupTab::setNewCoordinates()
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const uint64_t id = rowId(row);
        RtlsObject *node = m_hub->node(id);
        if (!node)
            continue;
        // Only a row with something to send gets a position record: an
        // untouched anchor keeps having none, so that nothing is saved or
        // pushed for it later.
        RtlsPos *pos = node->hasPos() ? node->pos() : nullptr;
        uint32_t mask = 0;
        for (int col = 0; col < 3; ++col) {
            QStandardItem *item = m_model->item(row, col);
            if (!isEdited(item))
                continue;
            double value = 0.0;
            switch (SetupCellFormat::readCoordinate(item->text(), &value)) {
            case SetupCellFormat::Typed::Invalid:
                // Never sent: neither as 0 nor as anything else.
                continue;
            case SetupCellFormat::Typed::Auto:
                if (!pos || !(pos->flags() & Rtls::kPosAxis[col]))
                    continue; // already "auto" at the master
                pos->setFlags(pos->flags() & ~Rtls::kPosAxis[col]);
                break;
            case SetupCellFormat::Typed::Number:
                if (!pos)
                    pos = node->pos();
                if (col == 0)
                    pos->setX(float(value));
                else if (col == 1)
                    pos->setY(float(value));
                else
                    pos->setZ(float(value));
                break;
            }
            mask |= Rtls::kPosAxis[col];
        }
        if (mask == 0)
            continue;
        m_hub->setAnchorPosition(id, mask);
        // What now stands in the record was sent: the sent cells take it back
        // as set values; a value that could not be read stays marked.
        m_updating = true;
        for (int col = 0; col < 3; ++col) {
            QStandardItem *item = m_model->item(row, col);
            if (!(mask & Rtls::kPosAxis[col]))
                continue;
            item->setText(item->data(kSetTextRole).toString());
        }
        m_updating = false;
        refreshRow(row);
        addCheckLine(WriteCheck::positionKey(id), node->name());
        m_check->expectPosition(id, mask, pos->flags(), pos->x(), pos->y(), pos->z());
    }
}

// What Apply would leave at the master for one cell: a typed value as Apply
// sends it; for a cell not edited, or one whose text cannot be read (Apply
// sends nothing for it), what the master holds. An unknown coordinate is
// "auto", never 0.
QString SetupTab::exportedCoordinate(const QStandardItem *item) const
{
    if (!item)
        return QStringLiteral("auto");
    double value = 0.0;
    SetupCellFormat::Typed typed = SetupCellFormat::readCoordinate(item->text(), &value);
    if (!isEdited(item) || typed == SetupCellFormat::Typed::Invalid)
        typed = SetupCellFormat::readCoordinate(item->data(kSetTextRole).toString(), &value);
    return typed == SetupCellFormat::Typed::Number ? SetupCellFormat::sentCoordinate(value) : QStringLiteral("auto");
}

QString SetupTab::coordinatesCommands() const
{
    QString lines;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        QString values[3];
        for (int col = 0; col < 3; ++col)
            values[col] = exportedCoordinate(m_model->item(row, col));
        lines += QStringLiteral("{\"command\":\"setPos\",");
        lines += QStringLiteral("\"id\":\"%1\",").arg(Rtls::hexId(rowId(row)));
        lines += QStringLiteral("\"x\":\"%1\",").arg(values[0]);
        lines += QStringLiteral("\"y\":\"%1\",").arg(values[1]);
        lines += QStringLiteral("\"z\":\"%1\"}").arg(values[2]);
        lines += QLatin1Char('\n');
    }
    return lines;
}

void SetupTab::printCurrentCoordinatesCommands()
{
    QMessageBox box(this);
    box.setWindowTitle(tr("setPos() Commands"));
    box.setText(tr("Please send the following commands line by line: \n\n") + coordinatesCommands());
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void SetupTab::fillAnchorCombo(const QList<uint64_t> &ids)
{
    const std::optional<uint64_t> current = comboId();
    const QSignalBlocker quiet(m_anchorCombo);
    m_anchorCombo->clear();
    for (uint64_t id : ids)
        NodeNameOrder::placeInCombo(m_anchorCombo, 0, m_hub->node(id)->name(), QVariant::fromValue<uint64_t>(id));
    m_anchorCombo->setCurrentIndex(current ? m_anchorCombo->findData(QVariant::fromValue<uint64_t>(*current)) : -1);
    if (m_anchorCombo->currentIndex() < 0 && !current && m_anchorCombo->count() > 0)
        m_anchorCombo->setCurrentIndex(0);
    syncDelayEditor();
}

std::optional<uint64_t> SetupTab::comboId() const
{
    if (m_anchorCombo->currentIndex() < 0)
        return std::nullopt;
    const QVariant data = m_anchorCombo->currentData();
    if (!data.isValid())
        return std::nullopt;
    return data.value<uint64_t>();
}

// The boxes hold the delays of the chosen anchor or nothing: another
// anchor's values are never offered for writing. Set is possible only for
// the chosen anchor's own delays, read from it, and only within the window
// every tool writes.
void SetupTab::syncDelayEditor()
{
    const std::optional<uint64_t> chosen = comboId();
    if (m_delaysOf != chosen) {
        m_delaysOf.reset();
        const QSignalBlocker quietTx(m_txDelay);
        const QSignalBlocker quietRx(m_rxDelay);
        m_txDelay->setValue(Calib::kDelayNotRead);
        m_rxDelay->setValue(Calib::kDelayNotRead);
    }
    const bool read = m_delaysOf.has_value();
    QStringList outside;
    for (QSpinBox *box : {m_txDelay, m_rxDelay})
        if (DelayBox::flag(box, read))
            outside.append(QString::number(box->value()));
    m_txDelay->setEnabled(read);
    m_rxDelay->setEnabled(read);
    m_getDelays->setEnabled(chosen.has_value());
    m_setDelays->setEnabled(read && outside.isEmpty());
    if (!chosen)
        m_delayNote->clear();
    else if (!read)
        m_delayNote->setText(tr("Press \"Get Current Delays\" first."));
    else if (!outside.isEmpty())
        m_delayNote->setText(tr("%1 outside %2: not written.").arg(outside.join(QStringLiteral(", ")), DelayBox::window()));
    else
        m_delayNote->clear();
}

QString SetupTab::delayNote() const
{
    return m_delayNote->text();
}

void SetupTab::cbAnchorSelected(int)
{
    syncDelayEditor();
    if (const std::optional<uint64_t> id = comboId())
        Dispatch::instance()->emitIdSelected(*id);
}

void SetupTab::idSelected(uint64_t id)
{
    // A tag or a node not in the list selects nothing, and the editor then
    // addresses no node at all.
    m_anchorCombo->setCurrentIndex(m_anchorCombo->findData(QVariant::fromValue<uint64_t>(id)));
    syncDelayEditor();
}

void SetupTab::getCurrentDelays()
{
    if (const std::optional<uint64_t> id = comboId())
        m_hub->getAntennaDelays(*id);
}

void SetupTab::newDelays(uint64_t id, uint16_t tx, uint16_t rx)
{
    const std::optional<uint64_t> current = comboId();
    if (!current || (*current & Comm::kServiceIdMask) != (id & Comm::kServiceIdMask))
        return;
    m_delaysOf = current;
    const QSignalBlocker quietTx(m_txDelay);
    const QSignalBlocker quietRx(m_rxDelay);
    // Shown as reported, even outside the window: a value clamped into it
    // would look plausible and could be written back.
    m_txDelay->setValue(tx);
    m_rxDelay->setValue(rx);
    syncDelayEditor();
}

void SetupTab::setNewDelays()
{
    const std::optional<uint64_t> id = comboId();
    if (!id || m_delaysOf != id)
        return;
    const int txValue = m_txDelay->value();
    const int rxValue = m_rxDelay->value();
    if (!Calib::isPlausibleDelay(txValue) || !Calib::isPlausibleDelay(rxValue))
        return;
    const uint16_t tx = uint16_t(txValue);
    const uint16_t rx = uint16_t(rxValue);
    m_hub->setAntennaDelays(*id, tx, rx);
    RtlsObject *node = m_hub->node(*id);
    addCheckLine(WriteCheck::delaysKey(*id), node ? node->name() : Rtls::hexId(*id));
    m_check->expectDelays(*id, tx, rx);
}

void SetupTab::addCheckLine(const QString &key, const QString &name)
{
    m_checkNames.insert(key, key.startsWith(QLatin1String("delays")) ? tr("%1 delays").arg(name)
                                                                     : tr("%1 position").arg(name));
    if (!m_checkLines.contains(key)) {
        auto *item = new QListWidgetItem(m_checkList);
        m_checkLines.insert(key, item);
    }
}

void SetupTab::showCheck(const QString &key)
{
    QListWidgetItem *item = m_checkLines.value(key, nullptr);
    if (!item)
        return;
    item->setText(QStringLiteral("%1: %2").arg(m_checkNames.value(key), m_check->statusText(key)));
    item->setForeground(m_check->statusColour(key));
    m_checkList->scrollToItem(item);
}

void SetupTab::checkLayout()
{
    const AnchorSurvey survey = AnchorSurvey::fromHub(m_hub);
    const LayoutCheck::Result result = LayoutCheck::check(survey);
    m_layoutTable->setRowCount(survey.anchors.size());
    int row = 0;
    for (const AnchorSurvey::Anchor &a : survey.anchors) {
        const LayoutCheck::AnchorResult r = result.anchors.value(a.id);
        RtlsObject *node = m_hub->node(a.id);
        const QString cells[6] = {
            node ? node->name() : Rtls::hexId(a.id),
            a.surveyed ? QString::number(a.x, 'f', 3) : SetupCellFormat::unknownCoordinate(),
            a.surveyed ? QString::number(a.y, 'f', 3) : SetupCellFormat::unknownCoordinate(),
            r.checked ? QString::number(r.fitX, 'f', 3) : QString(),
            r.checked ? QString::number(r.fitY, 'f', 3) : QString(),
            r.checked ? QString::number(r.residual, 'f', 3) : tr("not checked"),
        };
        for (int col = 0; col < 6; ++col) {
            auto *item = new QTableWidgetItem(cells[col]);
            item->setData(Qt::UserRole, QVariant::fromValue<uint64_t>(a.id));
            if (r.checked)
                item->setBackground(a.id == result.flagged && r.residual > kLayoutWarn ? QColor(255, 0, 0)
                                    : r.residual > kLayoutFine                       ? QColor(255, 255, 0)
                                                                                     : QColor(0, 255, 0));
            m_layoutTable->setItem(row, col, item);
        }
        ++row;
    }
    if (result.checkedCount == 0) {
        m_layoutVerdict->setText(tr("Not enough ranges: the check needs at least %1 anchors with coordinates "
                                    "that measure each other. Read all distances first.")
                                     .arg(LayoutCheck::kMinGroup));
        return;
    }
    RtlsObject *worst = m_hub->node(result.flagged);
    const QString name = worst ? worst->name() : Rtls::hexId(result.flagged);
    if (result.worstResidual > kLayoutWarn)
        m_layoutVerdict->setText(tr("%1 disagrees most: its surveyed position is %2 m from where the ranges put it. "
                                    "Check its coordinates.")
                                     .arg(name)
                                     .arg(result.worstResidual, 0, 'f', 2));
    else
        m_layoutVerdict->setText(tr("The layout agrees with the ranges: the largest disagreement is %1 m (%2).")
                                     .arg(result.worstResidual, 0, 'f', 2)
                                     .arg(name));
}
