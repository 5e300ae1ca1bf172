#pragma once

#include <QString>
#include <QCollator>
#include <QLocale>
#include <vector>

namespace quorix {

class Book;

// The order in which Sort puts names: a word sort by the user's locale,
// case-sensitive (small before capital letters of the same word, as the locale
// has it), in which hyphens and apostrophes weigh less than every other
// character: "coop" and "co-op" sort together, before "cop", and only when the
// rest is equal does the hyphen decide ("co-op" before "coop"). Spaces and
// other punctuation count as characters that sort before letters and digits.
//
// The C/POSIX locale sets no language and would sort every capital before
// every small letter; it gets the language-neutral word sort instead.
class NameOrder {
public:
    explicit NameOrder(const QLocale& locale = QLocale());

    // Negative when a sorts before b, 0 when the order sees them as equal.
    int compare(const QString& a, const QString& b) const;

    // The rows of the book's names in sorted order (result[newRow] = old row);
    // names that compare equal keep their order. Each name is keyed once (a
    // second time only to break a tie that hyphens or apostrophes decide), so a
    // large book sorts in O(n log n) key comparisons.
    std::vector<int> sortedRows(const Book& book) const;

    QLocale locale() const { return collator_.locale(); }

private:
    QCollator collator_;
};

} // namespace quorix
