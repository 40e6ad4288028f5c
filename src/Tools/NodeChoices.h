#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>

class QComboBox;

// The node pickers of the tools (a combo box of nodes sorted by id, after a
// few fixed entries): found and inserted by binary search, so that a site
// with a hundred thousand ids, or a flood of them, costs each new node a
// look-up of a few items instead of a walk over all of them.
namespace NodeChoices {

// The index of the item for id among the items from `first` on, or -1.
int find(const QComboBox *box, int first, uint64_t id);
// Inserts (text, data) where id keeps the items from `first` on sorted by
// id (the current item stays the same item; in an empty box the new one
// becomes current, as QComboBox does). False, and nothing inserted, when the
// box already has id.
bool insert(QComboBox *box, int first, const QString &text, uint64_t id, const QVariant &data);

} // namespace NodeChoices
