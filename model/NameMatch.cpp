#include "NameMatch.h"

#include "BookSearch.h"

namespace quorix {

QString nameKey(const QString& name) {
    QString plain = BookSearch::fold(name);
    // "Family, Given": the part after the first comma comes first.
    if (const qsizetype comma = plain.indexOf(u','); comma >= 0)
        plain = plain.mid(comma + 1) + u' ' + plain.left(comma);
    return plain.simplified();
}

} // namespace quorix
