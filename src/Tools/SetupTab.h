#pragma once

#include <QHash>
#include <QModelIndex>
#include <QWidget>

#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSpinBox;
class QStandardItem;
class QStandardItemModel;
class QTableWidget;
class QTimer;
class RtlsObject;
class SentrovaInterface;
class SetupTableView;
class WriteCheck;

// The installer's view of the anchor layout: every anchor and master with
// its coordinates and seat, and the distance it measures to every other
// anchor against the distance the coordinates imply, coloured by the size
// of the disagreement. Coordinates can be typed in and sent, exported as
// "setPos" commands, and checked against the ranges by a least-squares fit;
// a small editor reads and writes one anchor's antenna delays. Every write
// is read back from the node.
class SetupTab : public QWidget
{
    Q_OBJECT

public:
    // Item data roles of the table.
    static constexpr int kSetTextRole = Qt::UserRole + 1; // text as the program set it; header: node id
    static constexpr int kKnownRole = Qt::UserRole + 2;   // coordinate known
    static constexpr int kFirstDistanceColumn = 4;

    static SetupTab *instance();

    QStandardItemModel *model() const { return m_model; }
    SetupTableView *tableView() const { return m_view; }
    QComboBox *anchorCombo() const { return m_anchorCombo; }
    QSpinBox *txDelayBox() const { return m_txDelay; }
    QSpinBox *rxDelayBox() const { return m_rxDelay; }
    QPushButton *setDelaysButton() const { return m_setDelays; }
    // Why the delays shown cannot be written; empty when they can.
    QString delayNote() const;
    QListWidget *checkList() const { return m_checkList; }
    QTableWidget *layoutTable() const { return m_layoutTable; }
    QString layoutVerdict() const;
    WriteCheck *writeCheck() const { return m_check; }
    bool editMode() const { return m_editMode; }
    // The "setPos" commands of the current table, one per line.
    QString coordinatesCommands() const;

public slots:
    void NodeUpdated(RtlsObject *node);
    void anchorListUpdated();
    void NodeListUpdated(RtlsObject *node);
    void itemChanged(QStandardItem *item);
    void tableClicked(QModelIndex index);
    void editModeChanged(bool enable);
    void setNewCoordinates();
    void printCurrentCoordinatesCommands();
    void cbAnchorSelected(int index);
    void idSelected(uint64_t id);
    void getCurrentDelays();
    void newDelays(uint64_t id, uint16_t tx, uint16_t rx);
    void setNewDelays();
    void checkLayout();

private slots:
    void rebuild();
    void showCheck(const QString &key);

private:
    struct Point {
        double x, y, z;
    };

    SetupTab();

    int rowOf(uint64_t id) const { return m_rowById.value(id, -1); }
    uint64_t rowId(int row) const;
    RtlsObject *rowNode(int row) const;
    bool isEdited(const QStandardItem *item) const;
    std::optional<Point> rowPoint(int row) const;
    void fillCoordinate(int row, int column, RtlsObject *node);
    void fillSeat(int row, RtlsObject *node);
    void fillDistance(int row, int column);
    void colourCoordinate(QStandardItem *item);
    void refreshRow(int row);
    void refreshDistancesOf(int row);
    void fillAnchorCombo(const QList<uint64_t> &ids);
    std::optional<uint64_t> comboId() const;
    void syncDelayEditor();
    QString exportedCoordinate(const QStandardItem *item) const;
    void addCheckLine(const QString &key, const QString &name);

    SentrovaInterface *m_hub;
    WriteCheck *m_check;
    QStandardItemModel *m_model;
    SetupTableView *m_view;
    QComboBox *m_anchorCombo;
    QSpinBox *m_txDelay;
    QSpinBox *m_rxDelay;
    QPushButton *m_getDelays;
    QPushButton *m_setDelays;
    QLabel *m_delayNote;
    // The anchor whose own delays the boxes hold, as it reported them.
    std::optional<uint64_t> m_delaysOf;
    QListWidget *m_checkList;
    QTableWidget *m_layoutTable;
    QLabel *m_layoutVerdict;
    QTimer *m_rebuildTimer;
    QHash<uint64_t, int> m_rowById;
    QHash<QString, QListWidgetItem *> m_checkLines;
    QHash<QString, QString> m_checkNames;
    bool m_editMode = false;
    bool m_updating = false;
};
