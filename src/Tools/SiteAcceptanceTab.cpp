#include "SiteAcceptanceTab.h"

#include "AnchorSurvey.h"
#include "MapSurveyOverlay.h"
#include "MapTab.h"
#include "NodeDetailText.h"
#include "NodeToolsConstants.h"
#include "RtlsConvert.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"
#include "SiteAcceptanceReport.h"
#include "SurveyLook.h"
#include "SurveyTargetPlot.h"
#include "ToolsLog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kDecimals = 3;
constexpr int kProgressSteps = 1000;
constexpr int kSiteReviewMs = 1000;
constexpr double kMinTarget = 0.001;
constexpr double kMaxTarget = 100.0;

QString metres(double v)
{
    return std::isfinite(v) ? QString::number(v, 'f', kDecimals) : QString();
}

const char *const kHeaders[] = {
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Name"),         QT_TRANSLATE_NOOP("SiteAcceptanceTab", "X [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Y [m]"),        QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Z [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Tag"),          QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Result"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Positions"),    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Below quality"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Mean X [m]"),   QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Mean Y [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Mean Z [m]"),   QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Bias X [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Bias Y [m]"),   QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Bias Z [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Bias H [m]"),   QT_TRANSLATE_NOOP("SiteAcceptanceTab", "σX [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "σY [m]"),       QT_TRANSLATE_NOOP("SiteAcceptanceTab", "σZ [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "2D RMS [m]"),   QT_TRANSLATE_NOOP("SiteAcceptanceTab", "3D RMS [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "CEP50 [m]"),    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "CEP95 [m]"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Largest [m]"),  QT_TRANSLATE_NOOP("SiteAcceptanceTab", "HDOP"),
    QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Anchors"),      QT_TRANSLATE_NOOP("SiteAcceptanceTab", "Flagged anchors near"),
};
static_assert(sizeof(kHeaders) / sizeof(kHeaders[0]) == SiteAcceptanceTab::ColumnCount, "a header per column");

bool sameSurvey(const AnchorSurvey &a, const AnchorSurvey &b)
{
    if (a.anchors.size() != b.anchors.size() || a.ranges.size() != b.ranges.size())
        return false;
    for (int i = 0; i < a.anchors.size(); ++i) {
        const AnchorSurvey::Anchor &p = a.anchors.at(i), &q = b.anchors.at(i);
        if (p.id != q.id || p.surveyed != q.surveyed || p.x != q.x || p.y != q.y || p.z != q.z)
            return false;
    }
    for (int i = 0; i < a.ranges.size(); ++i) {
        const AnchorSurvey::Range &p = a.ranges.at(i), &q = b.ranges.at(i);
        if (p.from != q.from || p.to != q.to || p.measured != q.measured || p.stdev != q.stdev)
            return false;
    }
    return true;
}

} // namespace

SiteAcceptanceTab *SiteAcceptanceTab::instance()
{
    static SiteAcceptanceTab *tab = new SiteAcceptanceTab;
    return tab;
}

SiteAcceptanceTab::SiteAcceptanceTab() : m_hub(SentrovaInterface::instance())
{
    auto *layout = new QVBoxLayout(this);

    auto *planBox = new QGroupBox(tr("Survey points and target"), this);
    auto *planGrid = new QGridLayout(planBox);
    m_site = new QLineEdit(planBox);
    m_site->setObjectName(QStringLiteral("site"));
    m_site->setPlaceholderText(tr("name of the site, for the report"));
    m_figure = new QComboBox(planBox);
    m_figure->setObjectName(QStringLiteral("targetFigure"));
    for (SurveyPlan::Figure f : {SurveyPlan::Figure::Cep50, SurveyPlan::Figure::Cep95, SurveyPlan::Figure::Rms3d})
        m_figure->addItem(SurveyPlan::figureName(f), int(f));
    m_target = new QDoubleSpinBox(planBox);
    m_target->setObjectName(QStringLiteral("target"));
    m_target->setDecimals(kDecimals);
    m_target->setRange(kMinTarget, kMaxTarget);
    m_target->setSingleStep(0.05);
    m_target->setSuffix(QStringLiteral(" m"));
    m_limitKind = new QComboBox(planBox);
    m_limitKind->setObjectName(QStringLiteral("limitKind"));
    m_limitKind->addItem(tr("Seconds per point"), int(SurveyPlan::Limit::Seconds));
    m_limitKind->addItem(tr("Positions per point"), int(SurveyPlan::Limit::Reports));
    m_limit = new QSpinBox(planBox);
    m_limit->setObjectName(QStringLiteral("limit"));
    m_limit->setRange(1, 1000000);
    m_tag = new QComboBox(planBox);
    m_tag->setObjectName(QStringLiteral("tag"));
    m_tag->setMinimumContentsLength(14);

    planGrid->addWidget(new QLabel(tr("Site:"), planBox), 0, 0);
    planGrid->addWidget(m_site, 0, 1);
    planGrid->addWidget(new QLabel(tr("Target:"), planBox), 0, 2);
    auto *targetRow = new QHBoxLayout;
    targetRow->addWidget(m_figure);
    targetRow->addWidget(new QLabel(QStringLiteral("≤"), planBox));
    targetRow->addWidget(m_target);
    planGrid->addLayout(targetRow, 0, 3);
    planGrid->addWidget(new QLabel(tr("Run:"), planBox), 0, 4);
    auto *limitRow = new QHBoxLayout;
    limitRow->addWidget(m_limit);
    limitRow->addWidget(m_limitKind);
    planGrid->addLayout(limitRow, 0, 5);
    planGrid->addWidget(new QLabel(tr("Tag:"), planBox), 0, 6);
    planGrid->addWidget(m_tag, 0, 7);
    planGrid->setColumnStretch(1, 1);

    m_import = new QPushButton(tr("Import CSV..."), planBox);
    m_import->setObjectName(QStringLiteral("import"));
    m_paste = new QPushButton(tr("Paste points"), planBox);
    m_paste->setObjectName(QStringLiteral("paste"));
    m_add = new QPushButton(tr("Add point"), planBox);
    m_add->setObjectName(QStringLiteral("addPoint"));
    m_remove = new QPushButton(tr("Remove point"), planBox);
    m_remove->setObjectName(QStringLiteral("removePoint"));
    m_readRanges = new QPushButton(tr("Read anchor ranges"), planBox);
    m_readRanges->setObjectName(QStringLiteral("readRanges"));
    m_readRanges->setToolTip(tr("Asks every anchor for its ranges to the others, for the layout check and the "
                                "calibration that flag anchors"));
    m_exportReport = new QPushButton(tr("Export report..."), planBox);
    m_exportReport->setObjectName(QStringLiteral("exportReport"));
    m_exportCsv = new QPushButton(tr("Export CSV..."), planBox);
    m_exportCsv->setObjectName(QStringLiteral("exportCsv"));
    auto *planButtons = new QHBoxLayout;
    for (QPushButton *b : {m_import, m_paste, m_add, m_remove, m_readRanges})
        planButtons->addWidget(b);
    planButtons->addStretch(1);
    planButtons->addWidget(m_exportReport);
    planButtons->addWidget(m_exportCsv);
    planGrid->addLayout(planButtons, 1, 0, 1, 8);
    layout->addWidget(planBox);

    auto *runBox = new QGroupBox(tr("Run a point"), this);
    auto *runRow = new QHBoxLayout(runBox);
    m_start = new QPushButton(tr("Start"), runBox);
    m_start->setObjectName(QStringLiteral("start"));
    m_stop = new QPushButton(tr("Stop"), runBox);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_progress = new QProgressBar(runBox);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, kProgressSteps);
    m_progress->setValue(0);
    m_status = new QLabel(tr("Import, paste or add the surveyed points; then stand the tag on a point, select the "
                             "point and press Start."),
                          runBox);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    runRow->addWidget(m_start);
    runRow->addWidget(m_stop);
    runRow->addWidget(m_progress, 1);
    runRow->addWidget(m_status, 2);
    layout->addWidget(runBox);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    m_table = new QTableWidget(0, ColumnCount, splitter);
    m_table->setObjectName(QStringLiteral("points"));
    QStringList headers;
    for (const char *h : kHeaders)
        headers.append(tr(h));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed);
    // Widths follow the contents when rows come and go and when a run ends,
    // not on every redraw: measuring every cell four times a second costs
    // more than all the figures.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    splitter->addWidget(m_table);

    // On a small screen the plot and its wrapped texts need more height than
    // the tab has: they scroll rather than being drawn over each other.
    auto *sideScroll = new QScrollArea(splitter);
    sideScroll->setObjectName(QStringLiteral("sidePanel"));
    sideScroll->setWidgetResizable(true);
    sideScroll->setFrameShape(QFrame::NoFrame);
    sideScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *side = new QWidget(sideScroll);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    m_plot = new SurveyTargetPlot(side);
    m_plot->setObjectName(QStringLiteral("targetPlot"));
    m_plot->chart()->legend()->hide();
    sideLayout->addWidget(m_plot, 1);
    auto *legend = new QLabel(tr("Dots: the horizontal errors of the selected point's used positions. Circles: "
                                 "CEP50 (green), CEP95 (orange), the target (red, dashed)."),
                              side);
    legend->setWordWrap(true);
    sideLayout->addWidget(legend);
    m_summary = new QLabel(side);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::RichText);
    sideLayout->addWidget(m_summary);
    m_anchors = new QLabel(side);
    m_anchors->setObjectName(QStringLiteral("anchors"));
    m_anchors->setWordWrap(true);
    sideLayout->addWidget(m_anchors);
    sideScroll->setWidget(side);
    // Never narrower than the plot and the scroll bar beside it, so that the
    // texts under the plot wrap instead of being cut.
    sideScroll->setMinimumWidth(side->minimumSizeHint().width() + sideScroll->verticalScrollBar()->sizeHint().width());
    splitter->addWidget(sideScroll);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    m_clock = new QTimer(this);
    m_clock->setInterval(NodeTools::kViewRefreshMs);
    connect(m_clock, &QTimer::timeout, this, &SiteAcceptanceTab::onClock);
    m_clock->start();
    m_siteClock = new QTimer(this);
    m_siteClock->setInterval(kSiteReviewMs);
    connect(m_siteClock, &QTimer::timeout, this, [this] {
        reviewAnchors();
        renameTagChoices();
    });
    m_siteClock->start();
    m_runEnd = new QTimer(this);
    m_runEnd->setSingleShot(true);
    connect(m_runEnd, &QTimer::timeout, this, [this] { finishRun(false); });

    connect(m_import, &QPushButton::clicked, this, &SiteAcceptanceTab::chooseImportFile);
    connect(m_paste, &QPushButton::clicked, this, &SiteAcceptanceTab::pasteFromClipboard);
    connect(m_add, &QPushButton::clicked, this, &SiteAcceptanceTab::addPoint);
    connect(m_remove, &QPushButton::clicked, this, &SiteAcceptanceTab::removeSelectedPoint);
    connect(m_readRanges, &QPushButton::clicked, m_hub, &SentrovaInterface::getAllDistances);
    connect(m_start, &QPushButton::clicked, this, &SiteAcceptanceTab::startRun);
    connect(m_stop, &QPushButton::clicked, this, &SiteAcceptanceTab::stopRun);
    connect(m_exportReport, &QPushButton::clicked, this, &SiteAcceptanceTab::chooseReportFile);
    connect(m_exportCsv, &QPushButton::clicked, this, &SiteAcceptanceTab::chooseCsvFile);
    connect(m_table, &QTableWidget::itemChanged, this, &SiteAcceptanceTab::itemChanged);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &SiteAcceptanceTab::pointSelected);
    auto *paste = new QShortcut(QKeySequence::Paste, m_table, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(paste, &QShortcut::activated, this, &SiteAcceptanceTab::pasteFromClipboard);
    connect(m_site, &QLineEdit::textEdited, this, &SiteAcceptanceTab::planEdited);
    connect(m_figure, QOverload<int>::of(&QComboBox::activated), this, &SiteAcceptanceTab::planEdited);
    connect(m_limitKind, QOverload<int>::of(&QComboBox::activated), this, &SiteAcceptanceTab::planEdited);
    connect(m_target, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &SiteAcceptanceTab::planEdited);
    connect(m_limit, QOverload<int>::of(&QSpinBox::valueChanged), this, &SiteAcceptanceTab::planEdited);

    connect(m_hub, &SentrovaInterface::nodeUpdatedSignal, this, &SiteAcceptanceTab::nodeUpdated);
    connect(m_hub, &SentrovaInterface::nodeAddedSignal, this, &SiteAcceptanceTab::nodeAdded);
    connect(m_hub, &SentrovaInterface::newAntennaDelays, this, &SiteAcceptanceTab::newDelays);

    for (RtlsObject *node : m_hub->nodes())
        addTagChoice(node);
    showPlan();
    reviewAnchors();
    refresh();
    updateControls();
}

void SiteAcceptanceTab::setMapTab(MapTab *map)
{
    if (m_map == map)
        return;
    if (m_map)
        m_map->setSurveyMarkers({});
    m_map = map;
    m_dirty = true;
    updateMap();
}

MapTab *SiteAcceptanceTab::mapTab() const
{
    return m_map;
}

int SiteAcceptanceTab::minimumQuality() const
{
    return m_map ? m_map->minPqf() : 0;
}

QString SiteAcceptanceTab::summaryText() const
{
    return m_summary->text();
}

QString SiteAcceptanceTab::statusText() const
{
    return m_status->text();
}

// Nodes

void SiteAcceptanceTab::addTagChoice(RtlsObject *node)
{
    if (!node || node->mode() != QLatin1String("tag"))
        return;
    const QVariant id(qulonglong(node->id()));
    if (m_tag->findData(id) >= 0)
        return;
    int index = 0;
    while (index < m_tag->count() && m_tag->itemData(index).toULongLong() < node->id())
        ++index;
    m_tag->insertItem(index, QStringLiteral("%1 (%2)").arg(node->name(), node->idString()), id);
}

// A tag is often heard before its details (and name) are.
void SiteAcceptanceTab::renameTagChoices()
{
    for (int i = 0; i < m_tag->count(); ++i) {
        RtlsObject *node = m_hub->node(m_tag->itemData(i).toULongLong());
        if (!node)
            continue;
        const QString text = QStringLiteral("%1 (%2)").arg(node->name(), node->idString());
        if (m_tag->itemText(i) != text)
            m_tag->setItemText(i, text);
    }
}

void SiteAcceptanceTab::nodeAdded(RtlsObject *node)
{
    addTagChoice(node);
    nodeUpdated(node);
}

void SiteAcceptanceTab::nodeUpdated(RtlsObject *node)
{
    // Every report of every node passes here: one comparison for all but
    // the running tag.
    if (!m_session.addReport(node))
        return;
    m_dirty = true;
    const SiteAcceptanceSession::Run *run = m_session.currentRun();
    if (m_session.plan().limit == SurveyPlan::Limit::Reports && run->reports() >= m_session.plan().reports)
        finishRun(false);
}

void SiteAcceptanceTab::newDelays(uint64_t id, uint16_t tx, uint16_t rx)
{
    m_delays.insert(id, Delays{tx, rx});
}

QString SiteAcceptanceTab::nodeName(uint64_t id) const
{
    RtlsObject *node = m_hub->node(id);
    return node && !node->name().isEmpty() ? node->name() : Rtls::hexText(id);
}

// The layout check and the delay solution are least-squares fits over every
// anchor: run again only when the anchors' coordinates or ranges changed.
void SiteAcceptanceTab::reviewAnchors()
{
    AnchorSurvey survey = AnchorSurvey::fromHub(m_hub);
    if (m_reviewed && sameSurvey(survey, m_survey))
        return;
    m_review = AnchorReview::review(survey);
    m_survey = std::move(survey);
    m_reviewed = true;
    QStringList flagged;
    for (const AnchorReview::Anchor &a : qAsConst(m_review)) {
        if (a.layoutFault)
            flagged.append(tr("%1: its surveyed position is %2 m from where the ranges put it (%3, %4)")
                               .arg(nodeName(a.id), metres(a.residual), metres(a.fitX), metres(a.fitY)));
        else if (a.delayFault)
            flagged.append(tr("%1: its ranges are %2 m off (antenna delays)").arg(nodeName(a.id), metres(a.rangeError)));
    }
    m_anchors->setText(flagged.isEmpty() ? QString() : tr("Flagged anchors:\n%1").arg(flagged.join(QLatin1Char('\n'))));
    m_dirty = true;
}

QVector<SiteAcceptanceSession::Anchor> SiteAcceptanceTab::anchorsForResults() const
{
    QVector<SiteAcceptanceSession::Anchor> out;
    for (const AnchorReview::Anchor &a : m_review)
        if (a.surveyed)
            out.append({a.id, a.x, a.y, a.z, a.flagged()});
    return out;
}

// The plan

void SiteAcceptanceTab::showPlan()
{
    const SurveyPlan &plan = m_session.plan();
    m_updating = true;
    m_site->setText(plan.siteName);
    m_figure->setCurrentIndex(m_figure->findData(int(plan.figure)));
    m_target->setValue(plan.target);
    m_limitKind->setCurrentIndex(m_limitKind->findData(int(plan.limit)));
    m_limit->setValue(plan.limit == SurveyPlan::Limit::Seconds ? plan.seconds : plan.reports);
    m_updating = false;
    rebuildRows();
}

void SiteAcceptanceTab::planEdited()
{
    if (m_updating)
        return;
    SurveyPlan &plan = m_session.plan();
    plan.siteName = m_site->text().trimmed();
    plan.figure = SurveyPlan::Figure(m_figure->currentData().toInt());
    plan.target = m_target->value();
    const auto limit = SurveyPlan::Limit(m_limitKind->currentData().toInt());
    if (limit != plan.limit) {
        // The spin box shows the newly chosen limit's own number.
        plan.limit = limit;
        m_updating = true;
        m_limit->setValue(limit == SurveyPlan::Limit::Seconds ? plan.seconds : plan.reports);
        m_updating = false;
    } else if (limit == SurveyPlan::Limit::Seconds) {
        plan.seconds = m_limit->value();
    } else {
        plan.reports = m_limit->value();
    }
    m_dirty = true;
}

QJsonObject SiteAcceptanceTab::toJSON(QJsonObject root) const
{
    // A settings file of a site that never used the tool stays as it was.
    if (!m_session.plan().isDefault())
        root.insert(QStringLiteral("survey"), m_session.plan().toJson());
    return root;
}

void SiteAcceptanceTab::fromJSON(const QJsonObject &root)
{
    const QJsonValue survey = root.value(QStringLiteral("survey"));
    if (!survey.isObject())
        return;
    QStringList problems;
    const SurveyPlan plan = SurveyPlan::fromJson(survey.toObject(), &problems);
    for (const QString &p : qAsConst(problems))
        say(tr("settings file: %1").arg(p), true);
    // Loading the file the points came from keeps the runs made on them.
    if (plan == m_session.plan())
        return;
    m_runEnd->stop();
    m_session.setPlan(plan);
    showPlan();
    m_dirty = true;
    refresh();
    updateControls();
}

// Points

bool SiteAcceptanceTab::importCsv(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        say(tr("Cannot read %1: %2").arg(fileName, file.errorString()), true);
        return false;
    }
    QVector<SurveyPoint> points;
    QString error;
    if (!SurveyPlan::parseCsv(QString::fromUtf8(file.readAll()), &points, &error)) {
        say(tr("%1 is not a survey point file: %2").arg(fileName, error), true);
        return false;
    }
    SurveyPlan plan = m_session.plan();
    plan.points = points;
    m_runEnd->stop();
    m_session.setPlan(plan);
    rebuildRows();
    if (m_table->rowCount() > 0)
        m_table->selectRow(0);
    say(tr("%n point(s) imported from %1.", nullptr, points.size()).arg(fileName));
    m_dirty = true;
    refresh();
    updateControls();
    return true;
}

bool SiteAcceptanceTab::pastePoints(const QString &text)
{
    QVector<SurveyPoint> points;
    QString error;
    if (!SurveyPlan::parsePasted(text, &points, &error)) {
        say(tr("Nothing pasted: %1").arg(error));
        return false;
    }
    for (const SurveyPoint &p : qAsConst(points)) {
        if (m_session.indexOf(p.name) >= 0) {
            say(tr("Nothing pasted: there is a point %1 already").arg(p.name));
            return false;
        }
    }
    for (const SurveyPoint &p : qAsConst(points))
        m_session.addPoint(p);
    rebuildRows();
    say(tr("%n point(s) pasted.", nullptr, points.size()));
    m_dirty = true;
    refresh();
    return true;
}

void SiteAcceptanceTab::pasteFromClipboard()
{
    if (!m_session.isRunning())
        pastePoints(QApplication::clipboard()->text());
}

void SiteAcceptanceTab::addPoint()
{
    int n = m_session.pointCount() + 1;
    while (m_session.indexOf(QStringLiteral("P%1").arg(n)) >= 0)
        ++n;
    SurveyPoint p;
    p.name = QStringLiteral("P%1").arg(n);
    m_session.addPoint(p);
    rebuildRows();
    // Typing goes straight into the new point's x.
    m_table->setCurrentCell(m_table->rowCount() - 1, ColX);
    m_dirty = true;
}

void SiteAcceptanceTab::removeSelectedPoint()
{
    const int point = selectedPoint();
    if (point < 0 || !m_session.removePoint(point))
        return;
    rebuildRows();
    m_dirty = true;
    refresh();
}

int SiteAcceptanceTab::selectedPoint() const
{
    const QList<QTableWidgetItem *> selected = m_table->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->row();
}

void SiteAcceptanceTab::itemChanged(QTableWidgetItem *item)
{
    if (m_updating || item->column() > ColZ)
        return;
    const int row = item->row();
    SurveyPoint p = m_session.plan().points.at(row);
    if (item->column() == ColName) {
        const QString name = item->text().trimmed();
        const int other = m_session.indexOf(name);
        if (name.isEmpty() || (other >= 0 && other != row))
            say(name.isEmpty() ? tr("A point needs a name.") : tr("There is a point %1 already.").arg(name));
        else
            p.name = name;
    } else {
        double v = 0.0;
        double *const axis[] = {&p.x, &p.y, &p.z};
        if (NodeDetailText::parseCoordinate(item->text(), &v))
            *axis[item->column() - ColX] = v;
        else
            say(tr("\"%1\" is not a coordinate.").arg(item->text()));
    }
    m_session.setPoint(row, p);
    fillRow(row);
    m_dirty = true;
}

void SiteAcceptanceTab::recompute()
{
    m_results = m_session.results(anchorsForResults());
    m_overall = m_session.overall(m_results);
}

void SiteAcceptanceTab::rebuildRows()
{
    // The rows show results of the points as they are now.
    recompute();
    m_updating = true;
    m_table->setUpdatesEnabled(false);
    m_table->setRowCount(m_session.pointCount());
    for (int row = 0; row < m_table->rowCount(); ++row)
        fillRow(row);
    m_table->resizeColumnsToContents();
    m_table->setUpdatesEnabled(true);
    m_updating = false;
}

void SiteAcceptanceTab::setCell(int row, int column, const QString &text, const QColor &background)
{
    QTableWidgetItem *item = m_table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        if (column > ColName && column != ColTag && column != ColResult && column != ColFlagged)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (column > ColZ)
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        m_table->setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
    const QBrush brush = background.isValid() ? QBrush(background) : QBrush();
    if (item->background() != brush)
        item->setBackground(brush);
}

void SiteAcceptanceTab::fillRow(int row)
{
    const bool updating = m_updating;
    m_updating = true;
    const SurveyPoint &p = m_session.plan().points.at(row);
    setCell(row, ColName, p.name);
    setCell(row, ColX, metres(p.x));
    setCell(row, ColY, metres(p.y));
    setCell(row, ColZ, metres(p.z));
    setCell(row, ColTag, p.tag ? nodeName(p.tag) : QString());
    const SiteAcceptanceSession::PointResult r =
        row < m_results.size() ? m_results.at(row) : SiteAcceptanceSession::PointResult();
    const SurveyStatistics::Figures &f = r.figures;
    const bool valid = f.valid();
    auto figure = [valid](double v) { return valid ? metres(v) : QString(); };
    QString result = SurveyLook::statusText(r.status);
    if (r.runs > 1)
        result += tr(" (run %1)").arg(r.runs);
    const QColor look = SurveyLook::colour(r, m_session.plan().target);
    setCell(row, ColResult, result, r.status == SiteAcceptanceSession::Status::NotRun ? QColor() : look.lighter(160));
    const SiteAcceptanceSession::Run *run =
        r.run >= 0 && r.run < m_session.runs(row).size() ? &m_session.runs(row).at(r.run) : nullptr;
    setCell(row, ColUsed, run ? QString::number(run->used) : QString());
    setCell(row, ColBelow, run ? QString::number(run->belowQuality()) : QString());
    setCell(row, ColMeanX, figure(f.mean.x));
    setCell(row, ColMeanY, figure(f.mean.y));
    setCell(row, ColMeanZ, figure(f.mean.z));
    setCell(row, ColBiasX, figure(f.biasX));
    setCell(row, ColBiasY, figure(f.biasY));
    setCell(row, ColBiasZ, figure(f.biasZ));
    setCell(row, ColBiasH, figure(f.biasHorizontal));
    setCell(row, ColSdX, figure(f.sdX));
    setCell(row, ColSdY, figure(f.sdY));
    setCell(row, ColSdZ, figure(f.sdZ));
    setCell(row, ColRms2d, figure(f.rms2d));
    setCell(row, ColRms3d, figure(f.rms3d));
    setCell(row, ColCep50, figure(f.cep50));
    setCell(row, ColCep95, figure(f.cep95), valid ? look.lighter(160) : QColor());
    setCell(row, ColMax, figure(f.maxError));
    setCell(row, ColHdop, std::isfinite(r.hdop) ? QString::number(r.hdop, 'f', 2) : QString());
    setCell(row, ColAnchors, run ? QString::number(r.inRange.size()) : QString());
    QStringList near;
    for (uint64_t id : r.flaggedNear)
        near.append(nodeName(id));
    setCell(row, ColFlagged, near.join(QStringLiteral(", ")),
            near.isEmpty() ? QColor() : QColor(255, 200, 200));
    if (QTableWidgetItem *anchors = m_table->item(row, ColAnchors)) {
        QStringList heard;
        for (uint64_t id : r.inRange)
            heard.append(nodeName(id));
        anchors->setToolTip(heard.join(QStringLiteral(", ")));
    }
    m_updating = updating;
}

// Runs

bool SiteAcceptanceTab::startRun()
{
    if (m_session.isRunning())
        return false;
    int point = selectedPoint();
    if (point < 0) {
        say(tr("Select the point the tag stands on."));
        return false;
    }
    const uint64_t tag = m_tag->currentIndex() >= 0 ? m_tag->currentData().toULongLong() : 0;
    if (!tag) {
        say(tr("Choose the tag that stands on the point."));
        return false;
    }
    const SurveyPlan &plan = m_session.plan();
    m_session.start(point, tag, minimumQuality(), QDateTime::currentMSecsSinceEpoch());
    m_runClock.start();
    if (plan.limit == SurveyPlan::Limit::Seconds)
        m_runEnd->start(plan.seconds * 1000);
    say(tr("Running %1 with %2...").arg(plan.points.at(point).name, nodeName(tag)));
    m_dirty = true;
    updateControls();
    refresh();
    return true;
}

void SiteAcceptanceTab::stopRun()
{
    if (m_session.isRunning())
        finishRun(true);
}

void SiteAcceptanceTab::finishRun(bool stoppedByUser)
{
    const int point = m_session.runningPoint();
    if (point < 0)
        return;
    m_runEnd->stop();
    const SiteAcceptanceSession::Run run = *m_session.currentRun();
    m_session.stop();
    const QString name = m_session.plan().points.at(point).name;
    QString line = tr("%1: %n position(s)", nullptr, run.reports()).arg(name);
    if (run.belowQuality() > 0)
        line += tr(", %n below the minimum quality (pqf < %1), not used", nullptr, run.belowQuality())
                    .arg(run.minPqf);
    line += stoppedByUser ? tr("; stopped.") : tr(".");
    say(line);
    // On to the next point that has no run yet.
    for (int i = 1; i <= m_session.pointCount(); ++i) {
        const int next = (point + i) % m_session.pointCount();
        if (m_session.runs(next).isEmpty()) {
            m_table->selectRow(next);
            break;
        }
    }
    m_dirty = true;
    updateControls();
    refresh();
    m_table->resizeColumnsToContents();
}

void SiteAcceptanceTab::updateControls()
{
    const bool running = m_session.isRunning();
    m_start->setEnabled(!running);
    m_stop->setEnabled(running);
    for (QWidget *w : std::initializer_list<QWidget *>{m_import, m_paste, m_add, m_remove, m_tag, m_limit,
                                                       m_limitKind, m_exportReport, m_exportCsv})
        w->setEnabled(!running);
    m_table->setEditTriggers(running ? QAbstractItemView::NoEditTriggers
                                     : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                           | QAbstractItemView::AnyKeyPressed);
    if (!running)
        m_progress->setValue(m_progress->value() > 0 ? kProgressSteps : 0);
}

void SiteAcceptanceTab::updateProgress()
{
    const SiteAcceptanceSession::Run *run = m_session.currentRun();
    if (!run)
        return;
    const SurveyPlan &plan = m_session.plan();
    const double done = plan.limit == SurveyPlan::Limit::Seconds
                            ? double(m_runClock.elapsed()) / (plan.seconds * 1000.0)
                            : double(run->reports()) / plan.reports;
    m_progress->setValue(int(std::min(1.0, done) * kProgressSteps));
    QString line = tr("Running %1 with %2: %n position(s)", nullptr, run->reports())
                       .arg(plan.points.at(m_session.runningPoint()).name, nodeName(run->tag));
    if (run->belowQuality() > 0)
        line += tr(", %n below the minimum quality", nullptr, run->belowQuality());
    m_status->setText(line);
}

// Showing the results

void SiteAcceptanceTab::onClock()
{
    if (m_session.isRunning())
        updateProgress();
    if (m_dirty)
        refresh();
}

void SiteAcceptanceTab::refresh()
{
    m_dirty = false;
    recompute();
    m_table->setUpdatesEnabled(false);
    for (int row = 0; row < m_table->rowCount(); ++row)
        fillRow(row);
    m_table->setUpdatesEnabled(true);

    const SurveyPlan &plan = m_session.plan();
    const SiteAcceptanceSession::Overall &o = m_overall;
    QString text = QStringLiteral("<p><b><span style=\"color:%1\">%2</span></b> — %3</p>")
                       .arg(SurveyLook::verdictColour(o.verdict).name(),
                            tr("Verdict: %1").arg(SurveyLook::verdictText(o.verdict)),
                            tr("%1 of %2 points meet %3 ≤ %4 m; %5 fail; %6 without a result.")
                                .arg(o.passed)
                                .arg(plan.points.size())
                                .arg(SurveyPlan::figureName(plan.figure), metres(plan.target))
                                .arg(o.failed)
                                .arg(o.open));
    if (o.figures.valid())
        text += QStringLiteral("<p>%1</p>")
                    .arg(tr("Over all points (%1 positions): CEP50 %2 m, CEP95 %3 m, largest %4 m, 3D RMS error %5 m.")
                             .arg(o.figures.count)
                             .arg(metres(o.figures.cep50), metres(o.figures.cep95), metres(o.figures.maxError),
                                  metres(o.figures.rms3dError)));
    if (o.worst >= 0) {
        const SiteAcceptanceSession::PointResult &w = m_results.at(o.worst);
        text += QStringLiteral("<p>%1</p>")
                    .arg(w.status == SiteAcceptanceSession::Status::NoUsable
                             ? tr("Worst point: %1 (no position met the minimum quality).").arg(plan.points.at(o.worst).name)
                             : tr("Worst point: %1 (%2 %3 m).")
                                   .arg(plan.points.at(o.worst).name, SurveyPlan::figureName(plan.figure),
                                        metres(w.figure)));
    }
    if (m_summary->text() != text)
        m_summary->setText(text);
    showSelectedPlot();
    updateMap();
}

// A point run before, or given a tag in the file, is run with that tag
// again unless the user chooses another.
void SiteAcceptanceTab::pointSelected()
{
    const int point = selectedPoint();
    if (!m_session.isRunning() && point >= 0) {
        const int index = m_tag->findData(QVariant(qulonglong(m_session.plan().points.at(point).tag)));
        if (index >= 0)
            m_tag->setCurrentIndex(index);
    }
    showSelectedPlot();
}

void SiteAcceptanceTab::showSelectedPlot()
{
    int point = m_session.isRunning() ? m_session.runningPoint() : selectedPoint();
    SurveyTargetPlot::Data data;
    data.target = m_session.plan().target;
    if (point >= 0 && point < m_results.size() && point < m_session.pointCount()) {
        const SurveyPoint &p = m_session.plan().points.at(point);
        const SiteAcceptanceSession::PointResult &r = m_results.at(point);
        data.title = p.name;
        if (r.run >= 0) {
            for (const SiteAcceptanceSession::Sample &s : m_session.runs(point).at(r.run).samples)
                if (s.used)
                    data.errors.append(QPointF(s.x - p.x, s.y - p.y));
        }
        if (r.figures.valid()) {
            data.cep50 = r.figures.cep50;
            data.cep95 = r.figures.cep95;
        }
    }
    m_plot->setData(data);
}

void SiteAcceptanceTab::updateMap()
{
    if (!m_map)
        return;
    QVector<MapSurveyMarker> markers;
    const SurveyPlan &plan = m_session.plan();
    for (int i = 0; i < plan.points.size(); ++i) {
        const SurveyPoint &p = plan.points.at(i);
        MapSurveyMarker m;
        m.label = p.name;
        m.truth = qglviewer::Vec(p.x, p.y, p.z);
        if (i < m_results.size()) {
            const SiteAcceptanceSession::PointResult &r = m_results.at(i);
            m.colour = SurveyLook::colour(r, plan.target).rgb();
            if (r.figures.valid()) {
                m.hasMean = true;
                m.mean = qglviewer::Vec(r.figures.mean.x, r.figures.mean.y, r.figures.mean.z);
                m.radius = r.figures.cep95;
            }
        }
        markers.append(m);
    }
    m_map->setSurveyMarkers(markers);
}

void SiteAcceptanceTab::say(const QString &line, bool console)
{
    m_status->setText(line);
    if (console) {
        qCWarning(lcTools).noquote() << line;
        m_hub->postMessage(tr("Site Acceptance: %1").arg(line));
    }
}

// Files

bool SiteAcceptanceTab::exportCsv(const QString &fileName)
{
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(m_session.toCsv().toUtf8());
        if (file.commit()) {
            say(tr("Positions written to %1.").arg(fileName));
            return true;
        }
    }
    say(tr("Cannot write %1: %2").arg(fileName, file.errorString()), true);
    return false;
}

bool SiteAcceptanceTab::exportReport(const QString &fileName)
{
    refresh();
    SiteAcceptanceReport::Input in;
    in.date = QDateTime::currentDateTime();
    in.session = &m_session;
    in.results = m_results;
    in.overall = m_overall;
    for (const AnchorReview::Anchor &a : qAsConst(m_review)) {
        SiteAcceptanceReport::AnchorRow row;
        row.name = nodeName(a.id);
        row.review = a;
        const auto delays = m_delays.constFind(a.id);
        row.delaysKnown = delays != m_delays.constEnd();
        if (row.delaysKnown) {
            row.txDelay = delays->tx;
            row.rxDelay = delays->rx;
        }
        in.anchors.append(row);
        in.nodeNames.insert(a.id, row.name);
    }
    for (const SurveyPoint &p : m_session.plan().points)
        if (p.tag)
            in.nodeNames.insert(p.tag, nodeName(p.tag));
    for (int i = 0; i < m_session.pointCount(); ++i)
        for (const SiteAcceptanceSession::Run &run : m_session.runs(i))
            in.nodeNames.insert(run.tag, nodeName(run.tag));
    if (m_map)
        in.map = m_map->mapImage();
    QString error;
    if (!SiteAcceptanceReport::write(fileName, in, &error)) {
        say(tr("Cannot write %1: %2").arg(fileName, error), true);
        return false;
    }
    say(tr("Report written to %1.").arg(fileName));
    return true;
}

void SiteAcceptanceTab::chooseImportFile()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Import survey points"), QString(),
                                                          tr("CSV files (*.csv);;All files (*)"));
    if (fileName.isEmpty())
        return;
    bool anyRun = false;
    for (int i = 0; i < m_session.pointCount(); ++i)
        anyRun = anyRun || !m_session.runs(i).isEmpty();
    if (anyRun && QMessageBox::question(this, tr("Import survey points"),
                                        tr("The imported points replace the current ones and their runs. "
                                           "Export the CSV first to keep the runs.\n\nReplace them?"))
                      != QMessageBox::Yes)
        return;
    importCsv(fileName);
}

void SiteAcceptanceTab::chooseCsvFile()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Export positions"), QStringLiteral("survey.csv"),
                                                          tr("CSV files (*.csv)"));
    if (!fileName.isEmpty())
        exportCsv(fileName);
}

void SiteAcceptanceTab::chooseReportFile()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Export report"),
                                                          QStringLiteral("site-acceptance.pdf"), tr("PDF files (*.pdf)"));
    if (!fileName.isEmpty())
        exportReport(fileName);
}
