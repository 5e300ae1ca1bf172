#pragma once

#include "Book.h"

#include <QString>
#include <vector>

namespace quorix {

class BookModel;

// The form in which two names count as one person: without case and accents,
// blanks collapsed, and "Family, Given" turned into "Given Family". Empty for a
// name that stands for nobody in particular (empty, "<No Name>").
QString personKey(const QString& name);

// A number as the comparisons see it: its digits, with the country prefix
// ("+49", "0049") told apart from the national trunk "0", and a pause or
// extension ("p102") kept. "+49 171 1234567", "0049171-1234567" and
// "0171 1234567" all have the national part "1711234567".
struct NumberKey {
    QString international; // country code and national part; empty for a national number
    QString national;      // the number without country code or trunk "0"
};
NumberKey numberKey(const QString& number);

// Whether two numbers are one: the same digits, or the same national part when
// one of them is written without its country prefix. Two international numbers
// with different country codes differ.
bool sameNumber(const QString& a, const QString& b);

// What adding one book to another did with the incoming names.
struct AddCounts {
    int added = 0;   // new names (also those that did not fit beside a name: "Name (2)")
    int merged = 0;  // went into a name of the same person
    int skipped = 0; // held nothing the book did not have already
    // "3 added, 2 merged, 1 skipped (already in the book)"
    QString summary() const;
};

// Adds the names of incoming to the book. A name whose person (personKey) the
// book holds already is merged into that name all or nothing: its numbers and
// texts the name holds already are not doubled, a caller group stays behind
// when the name has one, and when the rest does not fit within the name's
// limits it becomes a name of its own, "Name (2)" (the first free number).
// Other names are appended in their order. The names of incoming are used up.
// The model form makes every change through the model, so the window records
// the whole addition as one undo step (the caller opens it).
AddCounts addToBook(Book& book, Book& incoming);
AddCounts addToBook(BookModel& model, Book& incoming);

// Rows of names that look like one person, ascending.
using DuplicateGroup = std::vector<int>;

// The groups of names that share a number (sameNumber; numbers of fewer than
// five digits, such as "112", do not count) or stand for the same person
// (personKey), each group in book order, the groups ordered by their first
// row. Linear in the size of the book, apart from hashing.
std::vector<DuplicateGroup> findDuplicates(const Book& book);

// Merges the names at rows into the first of them, all or nothing, with the
// rules of addToBook: false, and the book unchanged, when the first name cannot
// take what the others add. The first name keeps its text; the others go.
bool mergeNames(Book& book, const DuplicateGroup& rows);
bool mergeNames(BookModel& model, const DuplicateGroup& rows);

} // namespace quorix
