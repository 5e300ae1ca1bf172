#pragma once

#include "FileResult.h"

namespace quorix::files {

// The header a CSV export writes.
enum class CsvLayout {
    // Ours: Name, General ... General 5, Mobile ... Mobile 5, Home, Office and
    // Fax likewise, E-Mail, E-Mail 2, Postal Address, Postal Address 2, Note,
    // Note 2, Caller group, Unknown, Order: the same columns whatever the book
    // holds, as many of a kind as the phone keeps. Order lists the columns in
    // the order of a name's subentries when it differs from the columns' own.
    // It reads back to the same book.
    Quorix,
    // Google Contacts' own columns (Name, Given Name, Family Name, Notes,
    // Group Membership, E-mail n, Phone n - Type/Value, Address n), which
    // Google Contacts and Outlook import.
    Google,
};

struct CsvExportOptions {
    CsvLayout layout = CsvLayout::Quorix;
    // A UTF-8 byte-order mark first, so that Excel takes the file as UTF-8.
    bool bom = false;
};

// The book as CSV for spreadsheets and address books: UTF-8, CR LF, comma
// separated, every cell through csvCell. A name with more subentries of a
// kind than the header has columns goes on in a further row of the same name.
QByteArray csvText(const Book& book, const CsvExportOptions& options = {});
// Writes it, atomically. status "Wrote file NAME".
FileResult saveCsv(const Book& book, const QString& path, const CsvExportOptions& options = {});

// One cell as written: a text a spreadsheet would run as a formula (one that
// starts with "=", "+", "-", "@", a tab or a CR, after any "'") gets a "'" in
// front, except a number of only "+" and digits; then it is quoted as RFC 4180
// wants when it holds a comma, a quote or a line break (quotes doubled).
// csvUnguarded (CsvImport.h) takes the "'" off again.
QByteArray csvCell(const QString& text);

// The given and family name of a name as people write it: "Given Family" (the
// last word is the family name), "Family, Given"; a single word is the given
// name.
struct NameParts {
    QString given;
    QString family;
};
NameParts splitName(const QString& name);

} // namespace quorix::files
