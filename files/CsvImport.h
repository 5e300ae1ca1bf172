#pragma once

#include "Codepage.h"
#include "CsvHeaders.h"
#include "FileResult.h"

#include <QStringList>

#include <optional>

namespace quorix::files {

// The six settings of the CSV import. Columns and lines count from 1; the
// dialog offers 1 to CsvSettingMax for each number.
inline constexpr int CsvSettingMax = 100;
struct CsvSettings {
    int nameColumn = 1;     // column of the name
    int firstColumn = 2;    // first entry column
    int lastColumn = 7;     // last entry column; below firstColumn imports names only
    int firstLine = 1;      // the lines before it are skipped (a header, say)
    QChar separator = u';'; // one character
    bool quotes = false;    // double quotes group a field and are dropped
    TextEncoding encoding = TextEncoding::Automatic; // of the file's bytes
    // When set, the file's first line is this header and the columns are read
    // by its meanings; the column and line settings above are not used.
    std::optional<CsvHeader> header;
};

// Field number column (1-based) of a line: the text after the (column-1)-th
// separator and before the column-th one. With quotes on, a double quote
// switches a quoted part on or off, and a separator inside a quoted part
// belongs to the field; inside a quoted part a doubled quote is one quote of
// the field, any other quote never reaches a field. Nothing is trimmed; a
// column beyond the last field gives an empty text.
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

// Record number lineNumber (1-based) of a CSV file, to show beside the sample;
// an empty text when the file has fewer. A record ends at CR LF, LF or CR, but
// not inside quotes when quotes are on.
LineResult csvProbe(const QString& path, int lineNumber = 1,
                    TextEncoding encoding = TextEncoding::Automatic, bool quotes = false);
LineResult csvProbe(QIODevice& device, int lineNumber = 1,
                    TextEncoding encoding = TextEncoding::Automatic, bool quotes = false);

// The header of a CSV file when its first line is one we know (see
// recogniseCsvHeader), with the separator (",", ";" or tab) that makes it so.
std::optional<CsvHeader> readCsvHeader(const QString& path,
                                       TextEncoding encoding = TextEncoding::Automatic);

// The kind a phone type names ("Mobile", "* Work", "Home Fax", "iPhone"):
// General for a type it does not know.
int kindOfPhoneType(const QString& type);

// Undoes the export's guard against spreadsheet formulas: a cell the export
// began with "'" (see csvCell) loses that one quote; any other text is given
// back as it stands.
QString csvUnguarded(const QString& cell);

// What an import read beyond its book.
struct CsvResult : BookResult {
    // Columns past the last one the settings read that hold data in some
    // record (1-based; 0 when there are none): left out of the book.
    int unreadFirst = 0;
    int unreadLast = 0;
    // "Columns 8 to 11 hold data that the settings do not import."; empty
    // when every column with data was read.
    QString unreadWarning() const;
};

// Reads a CSV file into a fresh book: from settings.firstLine on, one name per
// record (an empty name becomes "<No Name>"), with one subentry per non-empty
// field of the entry columns: General when the field holds only dialable
// characters ("#*+0123456789pw"), else Note, its text as it stands. With a
// header, one name per record after it, made from the columns' meanings:
// numbers of a program's file are cleaned (a value without a digit is kept as
// a Note, never made a number), our own export's texts are taken as they stand.
// A name that would get a sixth number or a third text goes on in a
// continuation name "Base (2)", "Base (3)", ... Each name's subentries stand in
// class order. A file that gives no name fails, saying why. Hand the result to
// adoptImportedBook.
CsvResult importCsv(const QString& path, const CsvSettings& settings);
// The same over a device open for reading (a file, or bytes in a QBuffer).
CsvResult importCsv(QIODevice& device, const CsvSettings& settings);

} // namespace quorix::files
