#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>

class QComboBox;

// The node pickers of the tools (a combo box of nodes after a few fixed
// entries), in the order people read names (NodeNameOrder), nodes of the
// same name by id. Items are found and placed by halving on (name, id), so
// a site with a hundred thousand ids costs each new node a look at a few
// items instead of a walk over all of them; the caller keeps each node's
// text, which is how its item is found again.
namespace NodeChoices {

// The index of the item of (text, id) among the items from `first` on, or -1.
int find(const QComboBox *box, int first, const QString &text, uint64_t id);
// Inserts (text, data) at the place of (text, id) and returns its index; the
// current item stays the same item (in an empty box the new one becomes
// current, as QComboBox does). False-free: the caller knows whether the
// node is in the box already.
int insert(QComboBox *box, int first, const QString &text, uint64_t id, const QVariant &data);
// The item of (oldText, id) takes newText and moves to its new place; a
// current item stays current. Returns its index, or -1 when there was no
// such item.
int rename(QComboBox *box, int first, const QString &oldText, const QString &newText, uint64_t id);

} // namespace NodeChoices
