#pragma once

#include "FileResult.h"

namespace quorix::files {

// The book as CSV for spreadsheets and address books: UTF-8, CRLF, comma
// separated, fields quoted as RFC 4180 wants (when they hold a comma, a quote
// or a line break; quotes doubled). A header row names the columns: Name,
// General, Mobile, Home, Office, Fax, E-Mail, Postal Address, Note, Caller
// group; a second subentry of a kind goes into a repeated column ("Mobile 2")
// right after the first, and subentries of no known kind into "Unknown".
QByteArray csvText(const Book& book);
// Writes it, atomically. status "Wrote file NAME".
FileResult saveCsv(const Book& book, const QString& path);

} // namespace quorix::files
