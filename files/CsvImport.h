#pragma once

#include "Codepage.h"
#include "FileResult.h"

#include <QStringList>

namespace quorix::files {

// The six settings of the CSV import. Columns and lines count from 1; the
// dialog offers 1 to CsvSettingMax for each number.
inline constexpr int CsvSettingMax = 100;
struct CsvSettings {
    int nameColumn = 1;   // column of the name
    int firstColumn = 2;  // first entry column
    int lastColumn = 7;   // last entry column; below firstColumn imports names only
    int firstLine = 1;    // the lines before it are skipped (a header, say)
    QChar separator = u';'; // one character
    bool quotes = false;  // double quotes group a field and are dropped
    TextEncoding encoding = TextEncoding::Automatic; // of the file's bytes
};

// Field number column (1-based) of a line: the text after the (column-1)-th
// separator and before the column-th one. With quotes on, a double quote
// switches a quoted part on or off and never reaches a field, and a separator
// inside a quoted part belongs to the field. Nothing is trimmed; a column beyond
// the last field gives an empty text.
QString csvField(const QString& line, int column, QChar separator, bool quotes);

// Every field of a line by the same rules, in one pass.
QStringList csvFields(const QString& line, QChar separator, bool quotes);

// The made-up line that shows which layout the settings expect: at least ten
// fields, "Alex Example" in the name column, "+491230" in each entry column,
// each field quoted when quotes are on and followed by the separator and a blank.
// It never shows more than CsvSettingMax fields.
QString csvSample(const CsvSettings& settings);

struct LineResult : FileResult {
    QString line;
    TextEncoding encoding = TextEncoding::Windows1252; // what the file was read as
};

// Line number lineNumber (1-based) of a file by the shared line rules, to show
// beside the sample; an empty text when the file has fewer lines.
LineResult csvProbe(const QString& path, int lineNumber = 1,
                    TextEncoding encoding = TextEncoding::Automatic);
LineResult csvProbe(QIODevice& device, int lineNumber = 1,
                    TextEncoding encoding = TextEncoding::Automatic);

// Reads a CSV file into a fresh book: from settings.firstLine on, one name per
// line (an empty name becomes "<No Name>"), with one subentry per non-empty
// field of the entry columns: General when the field holds only dialable
// characters ("#*+0123456789pw"), else Note, its text as it stands. A name that
// would get a sixth number or a third text goes on in a continuation name
// "Base (2)", "Base (3)", ... Each name's subentries stand in class order.
// Hand the result to adoptImportedBook.
BookResult importCsv(const QString& path, const CsvSettings& settings);
// The same from an open device (bytes in memory, say); result.path stays empty.
BookResult importCsv(QIODevice& device, const CsvSettings& settings);

} // namespace quorix::files
