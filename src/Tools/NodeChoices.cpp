#include "NodeChoices.h"

#include "NodeNameOrder.h"

#include <QComboBox>

namespace {

uint64_t idAt(const QComboBox *box, int index)
{
    return box->itemData(index).toULongLong();
}

// < 0, 0 or > 0 as the item at index comes before, with or after (text, id).
int compareAt(const QComboBox *box, int index, const QString &text, uint64_t id)
{
    const int byName = NodeNameOrder::compare(box->itemText(index), text);
    if (byName != 0)
        return byName;
    const uint64_t there = idAt(box, index);
    return there < id ? -1 : (there > id ? 1 : 0);
}

// The first index from `first` on whose item does not come before (text, id).
int lowerBound(const QComboBox *box, int first, const QString &text, uint64_t id)
{
    int lo = first;
    int hi = box->count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (compareAt(box, mid, text, id) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

namespace NodeChoices {

int find(const QComboBox *box, int first, const QString &text, uint64_t id)
{
    const int at = lowerBound(box, first, text, id);
    return at < box->count() && compareAt(box, at, text, id) == 0 ? at : -1;
}

int insert(QComboBox *box, int first, const QString &text, uint64_t id, const QVariant &data)
{
    const int at = lowerBound(box, first, text, id);
    box->insertItem(at, text, data);
    return at;
}

int rename(QComboBox *box, int first, const QString &oldText, const QString &newText, uint64_t id)
{
    const int at = find(box, first, oldText, id);
    if (at < 0)
        return -1;
    const bool wasCurrent = box->currentIndex() == at;
    const QVariant data = box->itemData(at);
    box->removeItem(at);
    const int to = insert(box, first, newText, id, data);
    if (wasCurrent)
        box->setCurrentIndex(to);
    return to;
}

} // namespace NodeChoices
