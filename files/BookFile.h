#pragma once

#include "FileResult.h"

class QIODevice;

namespace quorix {
class BookModel;
}

namespace quorix::files {

// The first line of every phonebook file.
inline constexpr char PbfHeader[] = "[QUORIX7-File]";

// The path a book is saved under: ".pbf" is appended unless the path already
// holds ".pbf" anywhere (case-sensitive, directories included), so "book"
// becomes "book.pbf", "book.PBF" becomes "book.PBF.pbf" and "data.pbf.old/x"
// stays as it is.
QString pbfPath(const QString& path);

struct SaveResult : FileResult {
    // How many texts or kinds the file could not hold as they were and that were
    // stored adjusted (see saveBookFile); the book now holds them adjusted too.
    int adjusted = 0;
    // How many of the characters were stored as "?" (see pbfLoss).
    int replaced = 0;
};

// What a .pbf file would lose of a book: the characters its code page has no
// byte for (they are stored as "?"), and in how many names they stand.
struct PbfLoss {
    int characters = 0;
    int names = 0;
    bool isEmpty() const { return characters == 0; }
    // "N characters in M names cannot be stored in a .pbf file and will be saved as "?"."
    QString warning() const;
};
PbfLoss pbfLoss(const Book& book);

// Writes the whole book to pbfPath(path), atomically: the file appears whole or
// not at all, and a failure leaves an earlier file of that name untouched.
// On success: bookFileName := the full path, bookChanged cleared, status
// "Wrote file NAME". On failure the book and its state are not changed.
//
// Texts are stored in the 8-bit code page (see Codepage.h); a character it has
// no byte for is stored as "?" (ask pbfLoss first: saving is never silent about
// that). The format has no escapes, so characters that would not read back are
// adjusted: a CR or Ctrl+Z inside a text becomes a blank, a name's first
// character below 16 becomes a blank, an empty name is stored as the empty line that reads back as
// "<No Name>", and a kind the kind byte cannot carry (13, which is a CR, or any
// value outside 0..15) is stored as 11, unknown. After a successful save the book
// holds those adjusted values too, so it always equals what the file reads back.
// The model form makes those changes through the model's signals.
// With PathRule::Exact the file is path itself, as a command line names it.
enum class PathRule { AddPbf, Exact };
SaveResult saveBookFile(Book& book, const QString& path, PathRule rule = PathRule::AddPbf);
SaveResult saveBookFile(BookModel& model, const QString& path, PathRule rule = PathRule::AddPbf);

// Writes the book as a phonebook file to an open device (a pipe, stdout); the
// book is not changed. False with the system's text in error on failure.
bool writeBookFile(const Book& book, QIODevice& device, QString& error);

// Reads a phonebook file into a fresh book (names in file order, notes empty,
// root expanded). Fails with "This is not a valid phonebook!" when the first
// line is not the header, or with the system's text when the file cannot be
// opened or read. On success status is "Opened file NAME"; hand the result to
// adoptLoadedBook to make it the live book.
BookResult loadBookFile(const QString& path);
// The same from an open device (bytes in memory, say); no path, no status.
BookResult readBookFile(QIODevice& device);

} // namespace quorix::files
