#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quorix::files {

// What a CSV column holds, as a header names it.
enum class CsvMeaning {
    Ignore,
    Name,      // the whole name as shown ("Name", "Display Name")
    GivenName, // parts a name is made of when there is no whole name
    MiddleName,
    FamilyName,
    Nickname,
    Company,    // the name of a contact that has no other
    Number,     // of the column's kind, or of its type column's kind (kind 0)
    NumberType, // "Mobile", "Work Fax", ... for the Number column of its slot
    EMail,
    Address,     // a whole postal address
    AddressPart, // street, city, ...: joined with the other parts of its slot
    Note,
    Group,   // caller group (or a list of groups, the first known one counts)
    Unknown, // our own export's column of subentries of no known kind
    Order,   // our own export's order of a name's subentries by column
};

// One column's meaning. kind is a subentry kind for Number (0: by the type
// column of the same slot). slot ties a number to its type column and an
// address's parts to each other; 0 for a column on its own.
struct CsvColumn {
    CsvMeaning meaning = CsvMeaning::Ignore;
    int kind = 0;
    int slot = 0;

    friend bool operator==(const CsvColumn&, const CsvColumn&) = default;
};

// How the columns of a file with a known header are read.
struct CsvHeader {
    QString program;          // "Google Contacts", "Outlook", ...
    QStringList titles;       // the header's cells
    QList<CsvColumn> columns; // one per title
    QChar separator = u',';
    // Quorix's own export: texts are taken exactly as they stand (numbers are
    // not cleaned), so the file reads back to the book it was written from.
    bool ownExport = false;
};

// The header a line's cells make, when they are the header of a program we
// know: Quorix's export (either form), Google Contacts, Outlook, Thunderbird,
// Apple/iCloud. nullopt for any other line.
std::optional<CsvHeader> recogniseCsvHeader(const QStringList& titles);

// The meaning of one header cell in any of the known programs' headers.
CsvColumn csvColumnOf(const QString& title);

// How the import dialog and quorix-cli name a meaning ("Mobile", "Given name",
// "Phone (kind from its type column)", "Not imported").
QString csvMeaningName(const CsvColumn& column);

// The meanings a user can give a column, each once, in the order a list shows
// them.
QList<CsvColumn> csvMeaningChoices();

} // namespace quorix::files
