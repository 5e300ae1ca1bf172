#pragma once

#include "Book.h"

#include <QString>
#include <string>
#include <vector>

namespace quorix {

// Finds names and subentries whose text contains a given text, ignoring case
// and accents ("mull" finds "Müller"). A search walks the whole book in tree
// order without allocating per node, so it stays fast on very large books.
class BookSearch {
public:
    // A node found: the name's row, and the subentry's position or -1 for the
    // name itself.
    struct Hit {
        int row = -1;
        int pos = -1;
        friend bool operator==(const Hit&, const Hit&) = default;
        // Tree order: a name, then its subentries, then the next name.
        friend bool operator<(const Hit& a, const Hit& b) {
            return a.row != b.row ? a.row < b.row : a.pos < b.pos;
        }
    };

    // Every node containing needle, in tree order; nothing for an empty needle.
    static std::vector<Hit> findAll(const Book& book, const QString& needle);
    // The text as the search compares it: case-folded, accents taken off.
    static QString fold(const QString& text);
    // The same, folding a string the caller gives up in place.
    static QString fold(QString&& text);
};

} // namespace quorix
