#include "NodeNameOrder.h"

#include <QCollator>
#include <QComboBox>
#include <QLocale>

namespace {

// Made once: setting up a collator costs far more than a comparison. Views
// use it on the GUI thread only. The C locale (a bare environment, a
// service) compares code points and knows no numbers: English rules stand
// in for it.
const QCollator &collator()
{
    static const QCollator made = [] {
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        QCollator c(locale);
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return made;
}

// A node without a name is shown by its id, "0x" and hexadecimal digits:
// such names go by the id's value ("0x200A" after "0x2009"), which the
// collation, reading "200" and "A", would not give.
bool hexValue(const QString &name, quint64 *value)
{
    if (name.size() < 3 || !name.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return false;
    bool ok = false;
    *value = name.midRef(2).toULongLong(&ok, 16);
    return ok;
}

} // namespace

int NodeNameOrder::compare(const QString &a, const QString &b)
{
    quint64 hexA = 0;
    quint64 hexB = 0;
    if (hexValue(a, &hexA) && hexValue(b, &hexB) && hexA != hexB)
        return hexA < hexB ? -1 : 1;
    const int byCollation = collator().compare(a, b);
    if (byCollation != 0)
        return byCollation;
    // Names the collation holds equal ("tag 1" and "Tag 1", "Tag 01" and
    // "Tag 1") still get one fixed order.
    return a.compare(b);
}

int NodeNameOrder::comboInsertIndex(const QComboBox *box, int first, const QString &text)
{
    int lo = first;
    int hi = box->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compare(box->itemText(mid), text) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int NodeNameOrder::placeInCombo(QComboBox *box, int first, const QString &text, const QVariant &data)
{
    const int existing = box->findData(data);
    if (existing >= 0 && box->itemText(existing) == text)
        return existing;
    const QVariant current = box->currentData();
    const bool hadCurrent = box->currentIndex() >= 0;
    if (existing >= 0)
        box->removeItem(existing);
    const int at = comboInsertIndex(box, first, text);
    box->insertItem(at, text, data);
    if (hadCurrent)
        box->setCurrentIndex(box->findData(current));
    else if (existing >= 0)
        box->setCurrentIndex(-1);
    return box->findData(data);
}
