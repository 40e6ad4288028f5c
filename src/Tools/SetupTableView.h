#pragma once

#include <QTableView>

// A table view whose first four columns (X, Y, Z, seat) stay in place while
// the distance columns scroll: a second view over the same model and
// selection is laid over the left part of this one.
class SetupTableView : public QTableView
{
    Q_OBJECT

public:
    static constexpr int kFrozenColumns = 4;
    static constexpr int kFrozenWidth = 75;

    explicit SetupTableView(QAbstractItemModel *model, QWidget *parent = nullptr);

    QTableView *frozenView() const { return m_frozen; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void updateGeometries() override;

private slots:
    void updateFrozenSectionWidth(int logicalIndex, int oldSize, int newSize);
    void updateSectionWidth(int logicalIndex, int oldSize, int newSize);
    void updateSectionHeight(int logicalIndex, int oldSize, int newSize);
    void updateFrozenTableGeometry();
    void layoutChanged();

private:
    void hideScrollingColumns();
    int frozenWidth() const;

    QTableView *m_frozen;
};
