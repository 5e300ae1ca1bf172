#pragma once

#include "FileResult.h"

#include <QIODevice>

// vCard files, the address-book format of phones and desktop programs, read
// (versions 2.1, 3.0 and 4.0) and written (3.0, UTF-8, CRLF, lines folded at
// 75 octets). The writer's files are the lossless backup of a book.
namespace quorix::files {

// The longest physical or unfolded line the reader takes. A property we skip
// may unfold longer (a large photo); it is dropped without being held.
inline constexpr qsizetype MaxVCardLine = 1024 * 1024;

struct VCardResult : BookResult {
    int contacts = 0;
    // Properties not taken into the book: photos, birthdays, the rest.
    int photos = 0;
    int birthdays = 0;
    int others = 0;
    // "12 contacts, 3 photos and 5 birthdays skipped"
    QString report() const;
};

// Reads the cards of a vCard file into a fresh book, one name per card (FN,
// else N joined): TEL by TYPE (CELL Mobile, HOME Home, WORK Office, FAX Fax,
// else General; numbers cleaned as typed numbers are), EMAIL E-Mail, ADR Postal
// Address (its parts joined with ", "), NOTE Note, CATEGORIES naming a caller
// group that group. A card with more than a name holds goes on in "Name (2)",
// ... Files written by writeVCard come back exactly as they were written
// (texts unchanged, kinds kept, no continuation names). Fails with a message
// naming the line when a line is longer than MaxVCardLine, when a card is not
// closed before the next begins, or when the file holds no card.
VCardResult readVCard(QIODevice& device);
VCardResult importVCard(const QString& path);

// The book as vCard 3.0 text.
QByteArray vCardText(const Book& book);
// Writes the book as a vCard file, atomically. status "Wrote file NAME".
FileResult saveVCard(const Book& book, const QString& path);

} // namespace quorix::files
