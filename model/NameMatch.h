#pragma once

#include <QString>

namespace quorix {

// The form under which two spellings of one person's name meet: case and
// accents dropped, "Family, Given" turned into "Given Family", runs of blanks
// made one. Used to find the same contact in two books (the phone's and ours,
// an import and the open book); never shown.
QString nameKey(const QString& name);

// Whether two names stand for the same person by nameKey.
inline bool sameContactName(const QString& a, const QString& b) {
    return nameKey(a) == nameKey(b);
}

} // namespace quorix
