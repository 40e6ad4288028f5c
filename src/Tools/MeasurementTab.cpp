#include "MeasurementTab.h"
#include "RtlsConvert.h"

#include "NodeChoices.h"
#include "NodeDetailText.h"
#include "NodeToolsConstants.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"
#include "ToolsLog.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { ColLabel, ColCount, ColMean, ColStddev, ColMin, ColMax, ColBias, ColumnCount };
constexpr int kDecimals = 3;

SentrovaInterface *hub()
{
    return SentrovaInterface::instance();
}


QString metres(double v)
{
    return QString::number(v, 'f', kDecimals);
}

} // namespace

MeasurementTab::MeasurementTab(QWidget *parent) : QWidget(parent)
{
    m_node = new QComboBox(this);
    m_node->setObjectName(QStringLiteral("node"));
    m_anchor = new QComboBox(this);
    m_anchor->setObjectName(QStringLiteral("anchor"));
    m_anchor->addItem(tr("All anchors"), QVariant(qulonglong(0)));

    m_referenceKind = new QComboBox(this);
    m_referenceKind->setObjectName(QStringLiteral("referenceKind"));
    m_referenceKind->addItem(tr("No reference"), MeasurementSession::Reference::None);
    m_referenceKind->addItem(tr("Reference distance"), MeasurementSession::Reference::Distance);
    m_referenceKind->addItem(tr("Reference position"), MeasurementSession::Reference::Position);
    m_referenceDistance = new QLineEdit(this);
    m_referenceDistance->setObjectName(QStringLiteral("referenceDistance"));
    m_referenceDistance->setPlaceholderText(tr("distance [m]"));
    auto *reference = new QHBoxLayout;
    reference->addWidget(m_referenceKind);
    reference->addWidget(m_referenceDistance);
    const char *const axes[] = {"x", "y", "z"};
    for (int axis = 0; axis < 3; ++axis) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("reference_") + QLatin1String(axes[axis]));
        edit->setPlaceholderText(QStringLiteral("%1 [m]").arg(QString::fromLatin1(axes[axis]).toUpper()));
        reference->addWidget(edit);
        m_referencePosition[size_t(axis)] = edit;
        connect(edit, &QLineEdit::textChanged, this, &MeasurementTab::referenceChanged);
    }
    connect(m_referenceKind, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MeasurementTab::referenceChanged);
    connect(m_referenceDistance, &QLineEdit::textChanged, this, &MeasurementTab::referenceChanged);

    auto *form = new QFormLayout;
    form->addRow(tr("Node"), m_node);
    form->addRow(tr("Anchor"), m_anchor);
    form->addRow(tr("Reference"), reference);

    m_start = new QPushButton(tr("Start"), this);
    m_start->setObjectName(QStringLiteral("start"));
    m_stop = new QPushButton(tr("Stop"), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_clear = new QPushButton(tr("Clear"), this);
    m_clear->setObjectName(QStringLiteral("clear"));
    m_export = new QPushButton(tr("Export CSV..."), this);
    m_export->setObjectName(QStringLiteral("export"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    connect(m_start, &QPushButton::clicked, this, &MeasurementTab::startMeasurements);
    connect(m_stop, &QPushButton::clicked, this, &MeasurementTab::stopMeasurements);
    connect(m_clear, &QPushButton::clicked, this, &MeasurementTab::clearAll);
    connect(m_export, &QPushButton::clicked, this, &MeasurementTab::chooseExportFile);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_clear);
    buttons->addWidget(m_export);
    buttons->addWidget(m_status, 1);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("results"));
    m_table->setHorizontalHeaderLabels({tr("Measurement"), tr("Count"), tr("Mean [m]"), tr("Std dev [m]"),
                                        tr("Min [m]"), tr("Max [m]"), tr("Bias [m]")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(m_table);

    m_timer = new QTimer(this);
    m_timer->setInterval(NodeTools::kViewRefreshMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_dirty)
            refresh();
    });
    m_timer->start();

    const QHash<uint64_t, RtlsObject *> &nodes = hub()->nodes();
    for (RtlsObject *node : nodes)
        addNodeChoice(node);
    referenceChanged();
    updateButtons();
    refresh();
}

MeasurementTab::~MeasurementTab() = default;

void MeasurementTab::nodeListUpdated(RtlsObject *node)
{
    if (node)
        addNodeChoice(node);
}

void MeasurementTab::addNodeChoice(RtlsObject *node)
{
    // A node made by one location report is offered once it is heard again.
    if (node->msgFlags() & Rtls::kMsgHeardOnce)
        return;
    const uint64_t id = node->id();
    m_offered.insert(id);
    const QString text = QStringLiteral("%1 (%2)").arg(node->name(), node->idString());
    // Offered once (m_offered), so the box has no item of this node yet.
    NodeChoices::insert(m_node, 0, text, id, QVariant(qulonglong(id)));
    if (Rtls::isAnchorOrMaster(node->mode()))
        NodeChoices::insert(m_anchor, 1, text, id, QVariant(qulonglong(id)));
}

void MeasurementTab::nodeUpdated(RtlsObject *node)
{
    // Every report of every node passes here: a look-up and one comparison
    // for the others.
    if (!node)
        return;
    if (!m_offered.contains(node->id()))
        addNodeChoice(node);
    if (!m_running || node->id() != m_session.node())
        return;
    if (m_session.addReport(node))
        m_dirty = true;
}

void MeasurementTab::startMeasurements()
{
    if (m_node->currentIndex() < 0)
        return;
    const uint64_t node = m_node->currentData().toULongLong();
    const uint64_t anchor = m_anchor->currentData().toULongLong();
    // A run of another node or anchor starts afresh; the same one goes on.
    if (node != m_session.node() || anchor != m_session.anchor())
        m_session.clear();
    m_session.setNode(node);
    m_session.setAnchor(anchor);
    m_running = true;
    updateButtons();
    refresh();
}

void MeasurementTab::stopMeasurements()
{
    m_running = false;
    updateButtons();
    refresh();
}

void MeasurementTab::clearAll()
{
    m_session.clear();
    refresh();
}

void MeasurementTab::updateButtons()
{
    m_start->setEnabled(!m_running);
    m_stop->setEnabled(m_running);
    m_node->setEnabled(!m_running);
    m_anchor->setEnabled(!m_running);
}

void MeasurementTab::referenceChanged()
{
    const int kind = m_referenceKind->currentData().toInt();
    m_referenceDistance->setVisible(kind == MeasurementSession::Reference::Distance);
    for (QLineEdit *edit : m_referencePosition)
        edit->setVisible(kind == MeasurementSession::Reference::Position);
    m_dirty = true;
}

MeasurementSession::Reference MeasurementTab::reference(bool *valid) const
{
    MeasurementSession::Reference ref;
    *valid = true;
    const int kind = m_referenceKind->currentData().toInt();
    if (kind == MeasurementSession::Reference::Distance) {
        double d = 0.0;
        if (NodeDetailText::parseCoordinate(m_referenceDistance->text(), &d)) {
            ref.kind = MeasurementSession::Reference::Distance;
            ref.distance = d;
        } else {
            *valid = false;
        }
    } else if (kind == MeasurementSession::Reference::Position) {
        QVector3D p;
        for (int axis = 0; axis < 3; ++axis) {
            double v = 0.0;
            if (!NodeDetailText::parseCoordinate(m_referencePosition[size_t(axis)]->text(), &v)) {
                *valid = false;
                return MeasurementSession::Reference();
            }
            p[axis] = float(v);
        }
        ref.kind = MeasurementSession::Reference::Position;
        ref.position = p;
    }
    return ref;
}

QHash<uint64_t, QVector3D> MeasurementTab::anchorPositions() const
{
    QHash<uint64_t, QVector3D> out;
    const QHash<uint64_t, RtlsObject *> &nodes = hub()->nodes();
    for (auto it = m_session.ranges().cbegin(); it != m_session.ranges().cend(); ++it) {
        RtlsObject *anchor = nodes.value(it.key());
        if (!anchor || !anchor->hasPos())
            continue;
        RtlsPos *p = anchor->pos();
        if ((p->flags() & Rtls::kPosXYZ) == Rtls::kPosXYZ)
            out.insert(it.key(), QVector3D(p->x(), p->y(), p->z()));
    }
    return out;
}

QVector<MeasurementSession::Row> MeasurementTab::rows() const
{
    bool valid = false;
    const MeasurementSession::Reference ref = reference(&valid);
    return m_session.rows(ref, anchorPositions());
}

void MeasurementTab::refresh()
{
    m_dirty = false;
    bool valid = true;
    reference(&valid);
    m_status->setText(valid ? tr("%n report(s)", nullptr, m_session.reports())
                            : tr("%n report(s); the reference is not a number", nullptr, m_session.reports()));
    const QVector<MeasurementSession::Row> shown = rows();
    m_table->setUpdatesEnabled(false);
    m_table->setRowCount(shown.size());
    for (int r = 0; r < shown.size(); ++r) {
        const MeasurementSession::Row &row = shown.at(r);
        const bool stats = row.hasStats && row.stats.count() > 0;
        const QString cells[ColumnCount] = {
            row.label,
            row.hasStats ? QString::number(row.stats.count()) : QString(),
            stats ? metres(row.stats.mean()) : QString(),
            stats ? metres(row.stats.stddev()) : QString(),
            stats ? metres(row.stats.min()) : QString(),
            stats ? metres(row.stats.max()) : QString(),
            row.hasBias ? metres(row.bias) : QString(),
        };
        for (int c = 0; c < ColumnCount; ++c) {
            QTableWidgetItem *item = m_table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                if (c != ColLabel)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_table->setItem(r, c, item);
            }
            if (item->text() != cells[c])
                item->setText(cells[c]);
        }
    }
    m_table->setUpdatesEnabled(true);
}

bool MeasurementTab::exportCsv(const QString &fileName)
{
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(MeasurementSession::toCsv(rows()).toUtf8());
        if (file.commit())
            return true;
    }
    const QString line = tr("Measurement Tool: cannot write %1: %2").arg(fileName, file.errorString());
    qCWarning(lcTools).noquote() << line;
    hub()->postMessage(line);
    return false;
}

void MeasurementTab::chooseExportFile()
{
    const QString fileName =
        QFileDialog::getSaveFileName(this, tr("Export Measurements"), QString(), tr("CSV files (*.csv)"));
    if (!fileName.isEmpty())
        exportCsv(fileName);
}
