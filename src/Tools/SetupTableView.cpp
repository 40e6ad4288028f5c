#include "SetupTableView.h"

#include <QHeaderView>
#include <QScrollBar>

SetupTableView::SetupTableView(QAbstractItemModel *model, QWidget *parent)
    : QTableView(parent), m_frozen(new QTableView(this))
{
    setModel(model);
    m_frozen->setModel(model);
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->verticalHeader()->hide();
    m_frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    viewport()->stackUnder(m_frozen);

    m_frozen->setStyleSheet(QStringLiteral(
        "QTableView { border: none;background-color: #DDD;selection-color: #F00;selection-background-color: #FFF}"));
    setStyleSheet(QStringLiteral("QTableView { border: none;background-color: #FFF;selection-background-color: #DDD}"));
    m_frozen->setSelectionModel(selectionModel());
    hideScrollingColumns();
    for (int col = 0; col < kFrozenColumns; ++col)
        setColumnWidth(col, kFrozenWidth);
    for (int col = 0; col < kFrozenColumns; ++col)
        m_frozen->setColumnWidth(col, columnWidth(col));
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerPixel);
    m_frozen->setVerticalScrollMode(ScrollPerPixel);
    m_frozen->show();

    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &SetupTableView::updateSectionWidth);
    connect(verticalHeader(), &QHeaderView::sectionResized, this, &SetupTableView::updateSectionHeight);
    connect(m_frozen->horizontalHeader(), &QHeaderView::sectionResized, this,
            &SetupTableView::updateFrozenSectionWidth);
    connect(m_frozen->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_frozen->verticalScrollBar(), &QScrollBar::setValue);
    connect(model, &QAbstractItemModel::layoutChanged, this, &SetupTableView::layoutChanged);
    // Columns come and go with the anchors: the frozen view must hide the
    // new distance columns too.
    connect(model, &QAbstractItemModel::columnsInserted, this, &SetupTableView::layoutChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &SetupTableView::layoutChanged);
    connect(m_frozen, &QTableView::clicked, this, &QTableView::clicked);

    updateFrozenTableGeometry();
}

void SetupTableView::hideScrollingColumns()
{
    const int columns = model() ? model()->columnCount() : 0;
    for (int col = 0; col < columns; ++col)
        m_frozen->setColumnHidden(col, col >= kFrozenColumns);
}

int SetupTableView::frozenWidth() const
{
    int width = 0;
    for (int col = 0; col < kFrozenColumns; ++col)
        width += columnWidth(col);
    return width;
}

void SetupTableView::updateFrozenSectionWidth(int logicalIndex, int, int newSize)
{
    if (logicalIndex >= kFrozenColumns || columnWidth(logicalIndex) == newSize)
        return;
    setColumnWidth(logicalIndex, newSize);
    updateFrozenTableGeometry();
}

void SetupTableView::updateSectionWidth(int logicalIndex, int, int newSize)
{
    if (logicalIndex >= kFrozenColumns || m_frozen->columnWidth(logicalIndex) == newSize)
        return;
    m_frozen->setColumnWidth(logicalIndex, newSize);
    updateFrozenTableGeometry();
}

void SetupTableView::updateSectionHeight(int logicalIndex, int, int newSize)
{
    m_frozen->setRowHeight(logicalIndex, newSize);
}

void SetupTableView::layoutChanged()
{
    for (int col = 0; col < kFrozenColumns; ++col) {
        setColumnWidth(col, kFrozenWidth);
        m_frozen->setColumnWidth(col, kFrozenWidth);
    }
    hideScrollingColumns();
    updateFrozenTableGeometry();
}

void SetupTableView::updateFrozenTableGeometry()
{
    m_frozen->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), frozenWidth(),
                          viewport()->height() + horizontalHeader()->height());
}

void SetupTableView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    updateFrozenTableGeometry();
}

void SetupTableView::updateGeometries()
{
    QTableView::updateGeometries();
    if (m_frozen)
        updateFrozenTableGeometry();
}

// A cursor moved onto a cell hidden under the frozen columns scrolls the view
// so that the cell comes out from under them.
QModelIndex SetupTableView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    if (cursorAction == MoveLeft && current.column() >= kFrozenColumns
        && visualRect(current).topLeft().x() < frozenWidth()) {
        const int newValue = horizontalScrollBar()->value() + visualRect(current).topLeft().x() - frozenWidth();
        horizontalScrollBar()->setValue(newValue);
    }
    return current;
}

void SetupTableView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (index.column() >= kFrozenColumns)
        QTableView::scrollTo(index, hint);
}
