#pragma once

#include "Codepage.h"
#include "FileResult.h"

namespace quorix::files {

// Reads a Nokia Communicator 9110 export into a fresh book: one name per
// "[RECORD]" whose first field is "Name"; its "Tel" (Mobile when labelled
// "GSM/PCN", else General), "Fax", "Mail" and "Address" fields become
// subentries, numbers as importedNumber finds them (a number field that is no
// number becomes a Note after the others); a name that would get a sixth
// number or a third text goes on in a continuation name "Base (2)", ...
// Lines end with CR LF, LF or CR. Fails with "Invalid format!" (detail saying
// why) when the first line is not "[RECORD]", when no record has a name, or
// with the system's text when the file cannot be opened or read. On success status
// is "Import finished."; hand the result to adoptImportedBook.
// Texts are read in the given encoding (see TextEncoding; a UTF-8 file's
// byte-order mark is not part of the first line).
BookResult import9110(const QString& path, TextEncoding encoding = TextEncoding::Automatic);
// The same over a device open for reading (a file, or bytes in a QBuffer).
BookResult import9110(QIODevice& device, TextEncoding encoding = TextEncoding::Automatic);

} // namespace quorix::files
