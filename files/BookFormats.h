#pragma once

#include "BookFile.h"
#include "CsvExport.h"

namespace quorix::files {

// The files a whole book can be read from and written to, told apart by the
// file name's ending: ".vcf" or ".vcard" is vCard, ".csv" CSV (written only),
// anything else a phonebook file.
enum class BookFormat { Pbf, VCard, Csv };
BookFormat formatOf(const QString& path);

// A file Open cannot read that one of the imports takes: a Communicator 9110
// export (first line "[RECORD]") or a CSV file (named ".csv", or a first line
// cut by ";", "," or tabs). None for anything else, or a file that cannot be read.
enum class ImportFormat { None, Csv, Communicator9110 };
ImportFormat importFormatOf(const QString& path);

// Reads a phonebook file or a vCard file (status: the vCard import's report).
BookResult openBook(const QString& path);

// Writes the book in the format its path names. A phonebook file may lose
// characters (see pbfLoss); ask first.
// PathRule::AddPbf is the Save dialog's rule, Exact a command line's. csv says
// how a CSV file is written.
SaveResult saveBook(Book& book, const QString& path, PathRule rule = PathRule::AddPbf,
                    const CsvExportOptions& csv = {});
SaveResult saveBook(BookModel& model, const QString& path, PathRule rule = PathRule::AddPbf,
                    const CsvExportOptions& csv = {});

} // namespace quorix::files
