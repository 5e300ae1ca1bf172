#pragma once

#include "model/Book.h"

#include <QString>

// Stand-in for files/'s phonebook file reader and writer, which this branch does not
// have yet: the simulator reads and writes .pbf only through these two functions,
// so that they can be replaced by loadbookfile/savebookfile when the branches meet.
namespace quorix::phonesim {

// Reads a .pbf into book (names in file order). False with a message on an
// input/output error or when the first line is not "[QUORIX7-File]"; the book is
// then left as it was.
bool readBookFile(const QString& path, Book& book, QString* error);

// Writes the book as a .pbf, replacing the file atomically. False with a message.
bool writeBookFile(const QString& path, const Book& book, QString* error);

} // namespace quorix::phonesim
