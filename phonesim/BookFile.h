#pragma once

#include "model/Book.h"

#include <QString>

// The simulator's memory to and from .pbf and .vcf files (told apart by the
// name's ending), through the program's own readers and writers. A .vcf keeps
// every character the phone holds; a .pbf holds Windows-1252 only.
namespace quorix::phonesim {

// Reads a .pbf into book (names in file order). False with a message on an
// input/output error or when the first line is not "[QUORIX7-File]"; the book is
// then left as it was.
bool readBookFile(const QString& path, Book& book, QString* error);

// Writes the book as a .pbf, replacing the file atomically (".pbf" is appended
// when the path holds none). False with a message.
bool writeBookFile(const QString& path, const Book& book, QString* error);

} // namespace quorix::phonesim
