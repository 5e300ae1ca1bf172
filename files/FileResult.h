#pragma once

#include "model/Book.h"

#include <QString>

namespace quorix {
class BookModel;
}

namespace quorix::files {

// The text of a name that a file leaves empty.
inline constexpr char NoName[] = "<No Name>";

// What a file operation gives back instead of showing anything: success, or the
// text a window shows and quorix-cli prints.
struct FileResult {
    bool ok = false;
    // Why it failed: the system's text for an input/output error, or the
    // format's own message ("This is not a valid phonebook!", "Invalid format!").
    QString error;
    // What in the file is wrong, when error is a format's fixed message
    // ("The first line is not ..."); may be empty.
    QString detail;
    // Full path of the file read or written (also on failure, for messages).
    QString path;
    // The status-bar text after success, e.g. "Wrote file book.pbf"; may be empty.
    QString status;
};

// A book read from a file. It is a fresh book: the caller puts it in place of
// the live one only when ok is set, so a failed read never leaves half a book.
struct BookResult : FileResult {
    Book book;
};

// Puts a book read from a .pbf file in place of the live book's names and
// entry notes, names the file (bookFileName := loaded.path), clears bookChanged
// and expands the root. transferActive and any other state stay as they are.
// The model form resets the views once.
void adoptLoadedBook(Book& live, BookResult& loaded);
void adoptLoadedBook(BookModel& model, BookResult& loaded);

// Puts an imported book in place of the live book's names and marks the book
// changed; the book keeps its file name.
void adoptImportedBook(Book& live, BookResult& imported);
void adoptImportedBook(BookModel& model, BookResult& imported);

// The expanded form of a path as the book remembers it: absolute, with "." and
// ".." resolved, symbolic links kept.
QString fullPath(const QString& path);

// Writes bytes as the whole new contents of the file at path, atomically (in
// place when only the file, not its folder, may be written). A short write
// (disk full, file size limit) fails with the system's reason and leaves the
// old file as it was. status "Wrote file NAME".
FileResult writeWholeFile(const QString& path, const QByteArray& bytes);

} // namespace quorix::files
