#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

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

} // namespace quorix::files
