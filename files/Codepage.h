#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QIODevice;

// The one 8-bit character set of the .pbf, CSV and 9110 files: Windows-1252 in
// the WHATWG form, which gives every one of the 256 byte values a character
// (0x80 is "€"; the five holes 0x81, 0x8D, 0x8F, 0x90, 0x9D stand for
// U+0081 ... U+009D), so any byte string decodes and encodes back unchanged.
namespace quorix::files {

// The characters of the bytes, one for each.
QString decodeCp1252(QByteArrayView bytes);

// The bytes of the text. A character with no byte (anything beyond the 256 of
// the table, an emoji say) becomes "?" and is counted in *unmappable; a
// character outside the Basic Multilingual Plane counts once.
QByteArray encodeCp1252(QStringView text, int* unmappable = nullptr);

// How many characters of the text encodeCp1252 would replace.
int unmappableCp1252(QStringView text);

// The character sets an imported text file may be in. Automatic takes UTF-8
// when the file starts with a UTF-8 byte-order mark or is valid UTF-8 with
// bytes above 0x7F, and Windows-1252 otherwise (plain ASCII is both).
enum class TextEncoding { Automatic, Utf8, Windows1252 };

// "auto", "utf-8", "windows-1252" (as quorix-cli and the configuration file
// name them); nullopt-like Automatic with *ok false for anything else.
QString encodingName(TextEncoding encoding);
TextEncoding encodingFromName(const QString& name, bool* ok = nullptr);

// The encoding Automatic stands for in the device's bytes, read from its
// current position to its end in chunks; the position is put back after.
// Any other choice is given back unchanged.
TextEncoding resolveEncoding(TextEncoding chosen, QIODevice& device);

// One line of a file in a resolved encoding (Utf8 or Windows1252). Invalid
// UTF-8 becomes U+FFFD. A UTF-8 byte-order mark at the start of a file's first
// line is not part of it: pass firstLine for that line.
QString decodeLine(QByteArrayView bytes, TextEncoding resolved, bool firstLine = false);

} // namespace quorix::files
