#pragma once

#include "FileResult.h"

#include <QIODevice>

// vCard files, the address-book format of phones and desktop programs, read
// (versions 2.1, 3.0 and 4.0) and written (3.0, UTF-8, CRLF, lines folded at
// 75 octets). The writer's files are the lossless backup of a book.
namespace quorix::files {

// The longest physical or unfolded line the reader takes. A property we skip
// may be longer (a large photo); it is dropped without being held. Any other
// longer line makes its card skipped (and counted); the other cards are read.
inline constexpr qsizetype MaxVCardLine = 1024 * 1024;

struct VCardResult : BookResult {
    int contacts = 0;
    // Properties not taken into the book: photos, birthdays, the rest.
    int photos = 0;
    int birthdays = 0;
    int others = 0;
    // Cards skipped whole: an AGENT's card inside another, a card with a line
    // over MaxVCardLine.
    int agents = 0;
    int tooLong = 0;
    // Phone fields that hold no number, where the name had no room for a Note.
    int notNumbers = 0;
    // "12 contacts, 3 photos and 5 birthdays skipped"
    QString report() const;
};

// Reads the cards of a vCard file (UTF-8, a UTF-16 of either byte order, lines
// ending in CR LF, LF or CR) into a fresh book, one name per card (FN, else N
// joined, else ORG): TEL by TYPE or by its Apple label (CELL Mobile, HOME Home,
// WORK Office, FAX Fax, else General; numbers as importedNumber finds them),
// EMAIL E-Mail, ADR Postal Address (its parts joined with ", "), NOTE Note,
// CATEGORIES naming a caller group that group. A phone field without a number
// and the ORG of a named card become Notes where the name has room. A card with
// more than a name holds goes on in "Name (2)", ... An AGENT's card inside
// another is skipped and counted. Files written by vCardText come back exactly
// as they were written (texts unchanged, kinds kept, no continuation names).
// Fails when the file holds no card it could read.
VCardResult readVCard(QIODevice& device);
VCardResult importVCard(const QString& path);

// The book as vCard 3.0 text.
QByteArray vCardText(const Book& book);
// Writes the book as a vCard file, atomically. status "Wrote file NAME".
FileResult saveVCard(const Book& book, const QString& path);

} // namespace quorix::files
