#include "AnchorCalibrationTab.h"

#include "AnchorDelaySolver.h"
#include "AnchorSurvey.h"
#include "CalibrationConstants.h"
#include "CommConstants.h"
#include "LineCalibration.h"
#include "RtlsConvert.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"
#include "WriteCheck.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kDefaultScanCount = 100;
constexpr int kMaxScanCount = 1000;

QString none()
{
    return QStringLiteral("---");
}

uint64_t shortId(uint64_t id)
{
    return id & Comm::kServiceIdMask;
}

QTableView *makeView(QStandardItemModel *model, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setModel(model);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return view;
}

} // namespace

AnchorCalibrationTab *AnchorCalibrationTab::instance()
{
    static AnchorCalibrationTab *tab = new AnchorCalibrationTab;
    return tab;
}

AnchorCalibrationTab::AnchorCalibrationTab()
    : m_hub(SentrovaInterface::instance()), m_check(new WriteCheck(m_hub, this)),
      m_lineModel(new QStandardItemModel(this)), m_solveModel(new QStandardItemModel(this)),
      m_rmsBefore(std::numeric_limits<double>::quiet_NaN()),
      m_rmsPredicted(std::numeric_limits<double>::quiet_NaN()),
      m_rmsAtLastApply(std::numeric_limits<double>::quiet_NaN())
{
    m_distanceTimer = new QTimer(this);
    m_distanceTimer->setSingleShot(true);
    m_distanceTimer->setInterval(Calib::kDistanceAnswerTimeoutMs);
    connect(m_distanceTimer, &QTimer::timeout, this, &AnchorCalibrationTab::distancesTimedOut);

    auto *layout = new QVBoxLayout(this);
    m_methods = new QTabWidget(this);
    layout->addWidget(m_methods);

    // The line method.
    auto *line = new QWidget(m_methods);
    auto *lineLayout = new QVBoxLayout(line);
    auto *lineButtons = new QHBoxLayout;
    auto *help = new QPushButton(tr("Show Help"), line);
    auto *scan = new QPushButton(tr("Scan Infra"), line);
    auto *distances = new QPushButton(tr("Read all distances"), line);
    auto *create = new QPushButton(tr("Create Calibration List"), line);
    auto *read = new QPushButton(tr("Read Calibration Values"), line);
    auto *apply = new QPushButton(tr("Apply New Calibrations"), line);
    for (QPushButton *b : {help, scan, distances, create, read, apply})
        lineButtons->addWidget(b);
    lineButtons->addStretch(1);
    lineLayout->addLayout(lineButtons);
    m_lineView = makeView(m_lineModel, line);
    lineLayout->addWidget(m_lineView, 1);
    m_lineStatus = new QLabel(line);
    m_lineStatus->setWordWrap(true);
    lineLayout->addWidget(m_lineStatus);
    m_methods->addTab(line, tr("Anchors on a line"));

    // All anchors at once.
    auto *all = new QWidget(m_methods);
    auto *allLayout = new QVBoxLayout(all);
    auto *allButtons = new QHBoxLayout;
    m_scanCount = new QSpinBox(all);
    m_scanCount->setRange(1, kMaxScanCount);
    m_scanCount->setValue(kDefaultScanCount);
    m_scanCount->setToolTip(tr("Ranges per anchor pair: more average out more noise"));
    auto *measure = new QPushButton(tr("Scan and read distances"), all);
    auto *readAll = new QPushButton(tr("Read Calibration Values"), all);
    auto *compute = new QPushButton(tr("Compute"), all);
    auto *applyAll = new QPushButton(tr("Apply New Calibrations"), all);
    allButtons->addWidget(new QLabel(tr("Ranges per pair:"), all));
    allButtons->addWidget(m_scanCount);
    for (QPushButton *b : {measure, readAll, compute, applyAll})
        allButtons->addWidget(b);
    allButtons->addStretch(1);
    allLayout->addLayout(allButtons);
    m_solveView = makeView(m_solveModel, all);
    allLayout->addWidget(m_solveView, 1);
    m_solveStatus = new QLabel(tr("Needs surveyed coordinates of the anchors; the anchors may stand anywhere."), all);
    m_solveStatus->setWordWrap(true);
    allLayout->addWidget(m_solveStatus);
    m_methods->addTab(all, tr("All anchors (least squares)"));

    connect(help, &QPushButton::clicked, this, &AnchorCalibrationTab::showCalibrationHelp);
    connect(scan, &QPushButton::clicked, m_hub, &SentrovaInterface::scanInfra);
    connect(distances, &QPushButton::clicked, this, &AnchorCalibrationTab::readAllDistances);
    connect(create, &QPushButton::clicked, this, &AnchorCalibrationTab::createCalibrationList);
    connect(read, &QPushButton::clicked, this, &AnchorCalibrationTab::getCurrentCalibrations);
    connect(apply, &QPushButton::clicked, this, &AnchorCalibrationTab::setNewCalibrations);
    connect(measure, &QPushButton::clicked, this, &AnchorCalibrationTab::scanAndReadDistances);
    connect(readAll, &QPushButton::clicked, this, &AnchorCalibrationTab::readAllDelays);
    connect(compute, &QPushButton::clicked, this, &AnchorCalibrationTab::computeAllAnchors);
    connect(applyAll, &QPushButton::clicked, this, &AnchorCalibrationTab::applyAllAnchors);

    connect(m_hub, &SentrovaInterface::nodeAddedSignal, this, &AnchorCalibrationTab::NodeListUpdated);
    connect(m_hub, &SentrovaInterface::nodeUpdatedSignal, this, &AnchorCalibrationTab::NodeListUpdated);
    connect(m_hub, &SentrovaInterface::nodeRemovedSignal, this, &AnchorCalibrationTab::NodeListUpdated);
    connect(m_hub, &SentrovaInterface::newAntennaDelays, this, &AnchorCalibrationTab::newDelays);
    connect(m_hub, &SentrovaInterface::svcDataReceived, this, &AnchorCalibrationTab::serviceData);
    connect(m_check, &WriteCheck::progress, this, &AnchorCalibrationTab::showCheck);
    connect(m_check, &WriteCheck::checked, this, &AnchorCalibrationTab::showCheck);
}

QString AnchorCalibrationTab::lineStatus() const
{
    return m_lineStatus->text();
}

QString AnchorCalibrationTab::solveStatus() const
{
    return m_solveStatus->text();
}

int AnchorCalibrationTab::scanCount() const
{
    return m_scanCount->value();
}

void AnchorCalibrationTab::setScanCount(int count)
{
    m_scanCount->setValue(count);
}

QString AnchorCalibrationTab::nodeName(uint64_t id) const
{
    RtlsObject *node = m_hub->node(id);
    return node ? node->name() : Rtls::hexText(id);
}

uint64_t AnchorCalibrationTab::rowId(const QStandardItemModel *model, int row) const
{
    const QStandardItem *header = model->verticalHeaderItem(row);
    return header ? header->data(kValueRole).value<uint64_t>() : 0;
}

int AnchorCalibrationTab::lineRowOf(uint64_t id) const
{
    for (int row = 1; row < m_lineModel->rowCount() - 1; ++row)
        if (shortId(rowId(m_lineModel, row)) == shortId(id))
            return row;
    return -1;
}

int AnchorCalibrationTab::solveRowOf(uint64_t id) const
{
    for (int row = 0; row < m_solveModel->rowCount(); ++row)
        if (shortId(rowId(m_solveModel, row)) == shortId(id))
            return row;
    return -1;
}

std::optional<double> AnchorCalibrationTab::value(const QStandardItemModel *model, int row, int column) const
{
    const QStandardItem *item = model->item(row, column);
    if (!item)
        return std::nullopt;
    const QVariant v = item->data(kValueRole);
    if (!v.isValid())
        return std::nullopt;
    return v.toDouble();
}

void AnchorCalibrationTab::setValue(QStandardItemModel *model, int row, int column, std::optional<double> v,
                                    int decimals)
{
    QStandardItem *item = model->item(row, column);
    if (!item) {
        item = new QStandardItem;
        item->setEditable(false);
        model->setItem(row, column, item);
    }
    if (!v) {
        item->setText(none());
        item->setData(QVariant(), kValueRole);
        return;
    }
    item->setText(decimals > 0 ? QStringLiteral("%1").arg(*v, 0, 'f', decimals) : QString::number(qint64(*v)));
    item->setData(*v, kValueRole);
}

void AnchorCalibrationTab::showCalibrationHelp()
{
    QMessageBox::information(this, tr("Anchor Calibration Help"),
                             tr("Put ALL anchors in 1 line.\nThe first anchor needs to be 5 [m] from the rest, and "
                                "also the last anchor.\nAfter going through the buttons (twice), swap the outermost "
                                "for two from the innermost and repeat."));
}

void AnchorCalibrationTab::readAllDistances()
{
    for (uint64_t id : AnchorSurvey::fromHub(m_hub).ids()) {
        const uint64_t s = shortId(id);
        m_hub->getDistances(id);
        ++m_owed[s];
        if (m_applied) {
            m_asked.insert(s);
            m_silent.remove(s);
        }
    }
    if (m_applied)
        m_distanceTimer->start();
}

void AnchorCalibrationTab::serviceData(const QJsonObject &obj)
{
    if (!obj.value(QLatin1String("id")).isString())
        return;
    if (!obj.value(QLatin1String("meas")).isArray() && !obj.value(QLatin1String("distances")).isArray())
        return;
    const uint64_t id = shortId(Rtls::parseHex64(obj.value(QLatin1String("id")).toString()));
    if (id == 0)
        return;
    if (m_owed.value(id) > 0)
        --m_owed[id];
    // The answer to a request made before the last Apply: ranges measured
    // with the old delays, however late they arrive.
    if (m_owedBeforeApply.value(id) > 0) {
        --m_owedBeforeApply[id];
        return;
    }
    if (!m_asked.contains(id))
        return;
    m_fresh.insert(id);
    m_silent.remove(id);
    bool waiting = false;
    for (uint64_t asked : qAsConst(m_asked))
        waiting = waiting || !m_fresh.contains(asked);
    if (!waiting)
        m_distanceTimer->stop();
}

void AnchorCalibrationTab::distancesTimedOut()
{
    for (uint64_t asked : qAsConst(m_asked))
        if (!m_fresh.contains(asked))
            m_silent.insert(asked);
    if (m_silent.isEmpty())
        return;
    const QString text = tr("%1 did not answer the distance request within %2 s and will be left out.")
                             .arg(names(m_silent))
                             .arg(Calib::kDistanceAnswerTimeoutMs / 1000);
    m_lineStatus->setText(text + QLatin1Char(' ')
                          + tr("Press \"Create Calibration List\" to go on without it, or \"Read all distances\" "
                               "to ask again."));
    m_solveStatus->setText(text + QLatin1Char(' ')
                           + tr("Press \"Compute\" to go on without it, or \"Scan and read distances\" to ask "
                                "again."));
}

QString AnchorCalibrationTab::names(const QSet<uint64_t> &ids) const
{
    QList<uint64_t> sorted = ids.values();
    std::sort(sorted.begin(), sorted.end());
    QStringList out;
    for (uint64_t id : qAsConst(sorted))
        out.append(nodeName(id));
    return out.join(QStringLiteral(", "));
}

std::optional<AnchorSurvey> AnchorCalibrationTab::freshSurvey(const QString &again, QString *problem,
                                                              QString *leftOut) const
{
    const AnchorSurvey survey = AnchorSurvey::fromHub(m_hub);
    if (!m_applied)
        return survey;
    QSet<uint64_t> ranging;
    for (const AnchorSurvey::Range &r : survey.ranges)
        ranging.insert(shortId(r.from));
    QSet<uint64_t> old;
    QSet<uint64_t> waiting;
    for (uint64_t id : qAsConst(ranging)) {
        if (!m_asked.contains(id))
            old.insert(id);
        else if (!m_fresh.contains(id) && !m_silent.contains(id))
            waiting.insert(id);
    }
    if (!old.isEmpty()) {
        *problem = tr("The distances were measured before the last Apply: %1.").arg(again);
        return std::nullopt;
    }
    if (!waiting.isEmpty()) {
        *problem = tr("Waiting for the distances of %1; an anchor that does not answer within %2 s is left out.")
                       .arg(names(waiting))
                       .arg(Calib::kDistanceAnswerTimeoutMs / 1000);
        return std::nullopt;
    }
    if (m_silent.isEmpty())
        return survey;
    QSet<uint64_t> silentIds;
    for (uint64_t id : survey.ids())
        if (m_silent.contains(shortId(id)))
            silentIds.insert(id);
    *leftOut = tr("Left out, no answer to the distance request: %1.").arg(names(m_silent));
    return survey.without(silentIds);
}

void AnchorCalibrationTab::distancesApplied()
{
    m_applied = true;
    m_owedBeforeApply = m_owed;
    m_asked.clear();
    m_fresh.clear();
    m_silent.clear();
    m_distanceTimer->stop();
}

void AnchorCalibrationTab::createCalibrationList()
{
    QString problem;
    QString leftOut;
    const std::optional<AnchorSurvey> fresh = freshSurvey(tr("press \"Read all distances\" and create the list again"), &problem, &leftOut);
    if (!fresh) {
        m_lineStatus->setText(problem);
        return;
    }
    const AnchorSurvey &survey = *fresh;
    const QVector<uint64_t> ids = survey.ids();
    const LineCalibration::Ends ends = LineCalibration::findEnds(
        ids, [&](uint64_t from, uint64_t to) { return survey.distance(from, to); });

    m_lineModel->clear();
    m_lineApplied.clear();
    if (!ends.valid()) {
        m_lineStatus->setText(tr("No anchor measures a distance to another yet: press \"Read all distances\".")
                              + (leftOut.isEmpty() ? QString() : QLatin1Char(' ') + leftOut));
        return;
    }
    QVector<uint64_t> rows{ends.begin};
    for (uint64_t id : ids)
        if (id != ends.begin && id != ends.end)
            rows.append(id);
    rows.append(ends.end);

    m_lineModel->setColumnCount(LineColumns);
    m_lineModel->setRowCount(rows.size());
    m_lineModel->setHorizontalHeaderLabels({tr("Distance to Begin [m]"), tr("Distance to End"),
                                            tr("cos(angle +/- [-1.00]"), tr("Correction [m]"),
                                            tr("Current TxDelay [devt]"), tr("Current RxDelay [devt]"),
                                            tr("New TxDelay [devt]"), tr("New RxDelay [devt]"), tr("Apply"),
                                            tr("Written")});
    int offLine = 0;
    for (int row = 0; row < rows.size(); ++row) {
        auto *header = new QStandardItem(nodeName(rows[row]));
        header->setData(QVariant::fromValue<uint64_t>(rows[row]), kValueRole);
        m_lineModel->setVerticalHeaderItem(row, header);
        const bool first = row == 0;
        const bool last = row == rows.size() - 1;
        setValue(m_lineModel, row, ToBegin, first ? std::nullopt : survey.distance(rows[row], ends.begin), 3);
        setValue(m_lineModel, row, ToEnd, first ? std::optional<double>(ends.length)
                                          : last ? std::nullopt : survey.distance(rows[row], ends.end), 3);
        for (int col = Cosine; col < LineColumns; ++col)
            setValue(m_lineModel, row, col, std::nullopt, 0);
        auto *applyItem = m_lineModel->item(row, ApplyRow);
        applyItem->setText(QString());
        if (first || last)
            continue;

        const std::optional<double> toBegin = value(m_lineModel, row, ToBegin);
        const std::optional<double> toEnd = value(m_lineModel, row, ToEnd);
        const std::optional<double> cos =
            toBegin && toEnd ? LineCalibration::cosine(*toBegin, *toEnd, ends.length) : std::nullopt;
        setValue(m_lineModel, row, Cosine, cos, 3);
        QStandardItem *cosItem = m_lineModel->item(row, Cosine);
        applyItem->setCheckable(cos.has_value());
        if (!cos)
            continue;
        const LineCalibration::Alignment alignment = LineCalibration::alignment(*cos);
        cosItem->setBackground(alignment == LineCalibration::Alignment::OnLine ? Qt::green
                               : alignment == LineCalibration::Alignment::Near ? Qt::yellow
                                                                                : Qt::red);
        // An anchor off the line is written only when the installer ticks it.
        applyItem->setCheckState(alignment == LineCalibration::Alignment::OnLine ? Qt::Checked : Qt::Unchecked);
        if (alignment != LineCalibration::Alignment::OnLine)
            ++offLine;
    }
    QString status = tr("Line from %1 to %2, %3 m long.").arg(nodeName(ends.begin), nodeName(ends.end))
                         .arg(ends.length, 0, 'f', 3);
    if (offLine > 0)
        status += QLatin1Char(' ') + tr("%n anchor(s) off the line: tick \"Apply\" to write them anyway.", "", offLine);
    if (!leftOut.isEmpty())
        status += QLatin1Char(' ') + leftOut;
    m_lineStatus->setText(status);
}

void AnchorCalibrationTab::getCurrentCalibrations()
{
    if (m_lineModel->rowCount() < 3)
        return;
    for (int row = 1; row < m_lineModel->rowCount() - 1; ++row)
        m_hub->getAntennaDelays(rowId(m_lineModel, row));
}

void AnchorCalibrationTab::newDelays(uint64_t id, uint16_t tx, uint16_t rx)
{
    if (m_lineModel->rowCount() >= 3) {
        const int row = lineRowOf(id);
        if (row >= 0)
            lineRowDelays(row, tx, rx);
    }
    const int solveRow = solveRowOf(id);
    if (solveRow >= 0)
        solveRowDelays(solveRow, tx, rx);
}

void AnchorCalibrationTab::lineRowDelays(int row, uint16_t tx, uint16_t rx)
{
    setValue(m_lineModel, row, CurrentTx, double(tx), 0);
    setValue(m_lineModel, row, CurrentRx, double(rx), 0);
    const uint64_t id = rowId(m_lineModel, row);
    // The correction was written already: these delays include it.
    if (m_lineApplied.value(id))
        return;
    const std::optional<double> length = value(m_lineModel, 0, ToEnd);
    const std::optional<double> toBegin = value(m_lineModel, row, ToBegin);
    const std::optional<double> toEnd = value(m_lineModel, row, ToEnd);
    if (!length || !toBegin || !toEnd) {
        setValue(m_lineModel, row, Correction, std::nullopt, 0);
        setValue(m_lineModel, row, NewTx, std::nullopt, 0);
        setValue(m_lineModel, row, NewRx, std::nullopt, 0);
        return;
    }
    const double c = LineCalibration::correction(*length, *toBegin, *toEnd);
    setValue(m_lineModel, row, Correction, c, 3);
    const std::optional<uint16_t> newTx = LineCalibration::newDelay(tx, c);
    const std::optional<uint16_t> newRx = LineCalibration::newDelay(rx, c);
    setValue(m_lineModel, row, NewTx, newTx ? std::optional<double>(*newTx) : std::nullopt, 0);
    setValue(m_lineModel, row, NewRx, newRx ? std::optional<double>(*newRx) : std::nullopt, 0);
    if (!newTx || !newRx)
        m_lineModel->item(row, Correction)
            ->setToolTip(tr("The delays would leave %1 to %2: nothing is written for this anchor.")
                             .arg(Calib::kMinDelay)
                             .arg(Calib::kMaxDelay));
}

void AnchorCalibrationTab::setNewCalibrations()
{
    if (m_lineModel->rowCount() < 3)
        return;
    int written = 0;
    for (int row = 1; row < m_lineModel->rowCount() - 1; ++row) {
        const uint64_t id = rowId(m_lineModel, row);
        const std::optional<double> tx = value(m_lineModel, row, NewTx);
        const std::optional<double> rx = value(m_lineModel, row, NewRx);
        const QStandardItem *applyItem = m_lineModel->item(row, ApplyRow);
        if (!tx || !rx || m_lineApplied.value(id) || !applyItem || applyItem->checkState() != Qt::Checked)
            continue;
        if (!Calib::isPlausibleDelay(*tx) || !Calib::isPlausibleDelay(*rx))
            continue;
        m_hub->setAntennaDelays(id, uint16_t(*tx), uint16_t(*rx));
        m_lineApplied.insert(id, true);
        m_lineModel->item(row, Correction)->setText(tr("applied"));
        m_check->expectDelays(id, uint16_t(*tx), uint16_t(*rx));
        ++written;
    }
    if (written > 0) {
        distancesApplied();
        m_lineStatus->setText(tr("%n anchor(s) written; reading the delays back. For a second pass, read all "
                                 "distances and create the list again.", "", written));
    }
}

void AnchorCalibrationTab::NodeUpdated(RtlsObject *node)
{
    NodeListUpdated(node);
}

// Keeps names in step. The lists are never rebuilt from here: a rebuild
// would throw away computed values, and tags report all the time.
void AnchorCalibrationTab::NodeListUpdated(RtlsObject *node)
{
    if (!node || !Rtls::isAnchorOrMaster(node->mode()))
        return;
    for (QStandardItemModel *model : {m_lineModel, m_solveModel}) {
        for (int row = 0; row < model->rowCount(); ++row) {
            QStandardItem *header = model->verticalHeaderItem(row);
            if (header && header->data(kValueRole).value<uint64_t>() == node->id() && header->text() != node->name())
                header->setText(node->name());
        }
    }
}

void AnchorCalibrationTab::showCheck(const QString &key)
{
    for (QStandardItemModel *model : {m_lineModel, m_solveModel}) {
        const int column = model == m_lineModel ? int(LineCheck) : int(SolveCheck);
        for (int row = 0; row < model->rowCount(); ++row) {
            if (WriteCheck::delaysKey(rowId(model, row)) != key)
                continue;
            QStandardItem *item = model->item(row, column);
            if (!item)
                continue;
            item->setText(m_check->statusText(key));
            item->setForeground(m_check->statusColour(key));
        }
    }
}

void AnchorCalibrationTab::scanAndReadDistances()
{
    m_hub->scanInfraWithCount(m_scanCount->value());
    readAllDistances();
}

void AnchorCalibrationTab::readAllDelays()
{
    for (int row = 0; row < m_solveModel->rowCount(); ++row)
        m_hub->getAntennaDelays(rowId(m_solveModel, row));
    if (m_solveModel->rowCount() == 0)
        for (uint64_t id : AnchorSurvey::fromHub(m_hub).ids())
            m_hub->getAntennaDelays(id);
}

void AnchorCalibrationTab::computeAllAnchors()
{
    QString problem;
    QString leftOut;
    const std::optional<AnchorSurvey> fresh = freshSurvey(tr("press \"Scan and read distances\" and compute again"), &problem, &leftOut);
    if (!fresh) {
        m_solveStatus->setText(problem);
        return;
    }
    const AnchorSurvey &survey = *fresh;
    const AnchorDelaySolver::Result result = AnchorDelaySolver::solve(survey);

    // Delays already read stay; the table is rebuilt around them.
    QHash<uint64_t, QPair<double, double>> current;
    for (int row = 0; row < m_solveModel->rowCount(); ++row) {
        const std::optional<double> tx = value(m_solveModel, row, SolveCurrentTx);
        const std::optional<double> rx = value(m_solveModel, row, SolveCurrentRx);
        if (tx && rx)
            current.insert(rowId(m_solveModel, row), qMakePair(*tx, *rx));
    }
    m_solveModel->clear();
    m_solveApplied.clear();
    m_solveChange.clear();
    m_solveModel->setColumnCount(SolveColumns);
    m_solveModel->setRowCount(survey.anchors.size());
    m_solveModel->setHorizontalHeaderLabels({tr("Pairs"), tr("Range error [m]"), tr("Change [devt]"),
                                             tr("Current TxDelay [devt]"), tr("Current RxDelay [devt]"),
                                             tr("New TxDelay [devt]"), tr("New RxDelay [devt]"), tr("Written")});
    int solved = 0;
    for (int row = 0; row < survey.anchors.size(); ++row) {
        const uint64_t id = survey.anchors[row].id;
        auto *header = new QStandardItem(nodeName(id));
        header->setData(QVariant::fromValue<uint64_t>(id), kValueRole);
        m_solveModel->setVerticalHeaderItem(row, header);
        const AnchorDelaySolver::AnchorResult r = result.anchors.value(id);
        setValue(m_solveModel, row, Pairs, double(r.pairs), 0);
        for (int col = RangeError; col < SolveColumns; ++col)
            setValue(m_solveModel, row, col, std::nullopt, 0);
        if (r.solved) {
            ++solved;
            m_solveChange.insert(id, r.changeUnits);
            setValue(m_solveModel, row, RangeError, r.errorMetres, 3);
            setValue(m_solveModel, row, Change, r.changeUnits, 1);
        } else {
            m_solveModel->item(row, Change)->setText(survey.anchors[row].surveyed ? tr("not determinable")
                                                                                  : tr("no coordinates"));
            m_solveModel->item(row, Change)
                ->setToolTip(tr("Its ranges do not separate its error from its neighbours' (it needs ranges to at "
                                "least two anchors that also range to each other); nothing is written."));
        }
        if (current.contains(id))
            solveRowDelays(row, uint16_t(current.value(id).first), uint16_t(current.value(id).second));
    }
    m_rmsBefore = result.rmsBefore;
    m_rmsPredicted = result.rmsAfter;
    QString status = tr("%1 of %2 anchors solved from %3 ranges (%4 rejected). Range RMS error between anchors: "
                        "%5 mm now, %6 mm once applied.")
                         .arg(solved)
                         .arg(survey.anchors.size())
                         .arg(result.pairsUsed)
                         .arg(result.pairsRejected)
                         .arg(result.rmsBefore * 1000.0, 0, 'f', 1)
                         .arg(result.rmsAfter * 1000.0, 0, 'f', 1);
    if (std::isfinite(m_rmsAtLastApply))
        status += QLatin1Char(' ') + tr("Before the last Apply it was %1 mm.").arg(m_rmsAtLastApply * 1000.0, 0, 'f', 1);
    if (current.size() < solved)
        status += QLatin1Char(' ') + tr("Press \"Read Calibration Values\" for the current delays.");
    if (!leftOut.isEmpty())
        status += QLatin1Char(' ') + leftOut;
    m_solveStatus->setText(status);
}

void AnchorCalibrationTab::solveRowDelays(int row, uint16_t tx, uint16_t rx)
{
    setValue(m_solveModel, row, SolveCurrentTx, double(tx), 0);
    setValue(m_solveModel, row, SolveCurrentRx, double(rx), 0);
    const uint64_t id = rowId(m_solveModel, row);
    if (m_solveApplied.value(id) || !m_solveChange.contains(id))
        return;
    const double change = m_solveChange.value(id);
    const double newTx = std::round(double(tx) + change);
    const double newRx = std::round(double(rx) + change);
    const bool plausible = Calib::isPlausibleDelay(newTx) && Calib::isPlausibleDelay(newRx);
    setValue(m_solveModel, row, SolveNewTx, plausible ? std::optional<double>(newTx) : std::nullopt, 0);
    setValue(m_solveModel, row, SolveNewRx, plausible ? std::optional<double>(newRx) : std::nullopt, 0);
}

void AnchorCalibrationTab::applyAllAnchors()
{
    int written = 0;
    for (int row = 0; row < m_solveModel->rowCount(); ++row) {
        const uint64_t id = rowId(m_solveModel, row);
        const std::optional<double> tx = value(m_solveModel, row, SolveNewTx);
        const std::optional<double> rx = value(m_solveModel, row, SolveNewRx);
        const std::optional<double> oldTx = value(m_solveModel, row, SolveCurrentTx);
        const std::optional<double> oldRx = value(m_solveModel, row, SolveCurrentRx);
        if (!tx || !rx || !oldTx || !oldRx || m_solveApplied.value(id))
            continue;
        if (!Calib::isPlausibleDelay(*tx) || !Calib::isPlausibleDelay(*rx))
            continue;
        m_solveApplied.insert(id, true);
        m_solveModel->item(row, Change)->setText(tr("applied"));
        if (*tx == *oldTx && *rx == *oldRx)
            continue;
        m_hub->setAntennaDelays(id, uint16_t(*tx), uint16_t(*rx));
        m_check->expectDelays(id, uint16_t(*tx), uint16_t(*rx));
        ++written;
    }
    if (written > 0) {
        distancesApplied();
        m_rmsAtLastApply = m_rmsBefore;
        m_solveStatus->setText(tr("%n anchor(s) written; reading the delays back. Scan and read the distances "
                                  "again to see the result.", "", written));
    }
}
