#include "NodeChoices.h"

#include <QComboBox>

namespace {

uint64_t idAt(const QComboBox *box, int index)
{
    return box->itemData(index).toULongLong();
}

// The first index from `first` on whose id is not below id.
int lowerBound(const QComboBox *box, int first, uint64_t id)
{
    int lo = first;
    int hi = box->count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (idAt(box, mid) < id)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

namespace NodeChoices {

int find(const QComboBox *box, int first, uint64_t id)
{
    const int at = lowerBound(box, first, id);
    return at < box->count() && idAt(box, at) == id ? at : -1;
}

bool insert(QComboBox *box, int first, const QString &text, uint64_t id, const QVariant &data)
{
    const int at = lowerBound(box, first, id);
    if (at < box->count() && idAt(box, at) == id)
        return false;
    box->insertItem(at, text, data);
    return true;
}

} // namespace NodeChoices
