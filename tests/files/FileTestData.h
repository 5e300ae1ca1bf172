#pragma once

// Files and books the tests of files/ and of quorix-cli share.

#include "files/Codepage.h"
#include "model/Book.h"

#include <QByteArrayList>
#include <QFile>

namespace quorix::testdata {

// A book as text, for comparing books in a test's failure message.
inline QByteArray described(const Book& book) {
    return describeBook(book).toUtf8();
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Lines joined with CR LF, the last one included.
inline QByteArray crlf(const QByteArrayList& lines) {
    QByteArray out;
    for (const QByteArray& l : lines)
        out += l + "\r\n";
    return out;
}

// The whole structure of a book: "name" then " kind:text" lines, each text as
// the bytes a .pbf file holds for it (so 8-bit file tests compare byte for byte).
inline QByteArray structure(const Book& book) {
    using files::encodeCp1252;
    QByteArray out;
    for (const auto& n : book) {
        out += encodeCp1252(n->text) + '\n';
        for (const Subentry& s : n->subs)
            out += ' ' + QByteArray::number(s.kind) + ':' + encodeCp1252(s.text) + '\n';
    }
    return out;
}

// Anna (a Mobile number, a Note and the caller group Family), then Bob (one
// General number), as a phonebook file and as show prints it.
inline const QByteArray AnnaBobFile =
    crlf({"[QUORIX7-File]", "Anna", "\x03+491230", "\x09Neighbour",
          "\x0a"
          "Family",
          "Bob",
          "\x02"
          "112"});
inline const QByteArray AnnaBobText = "Anna\n  Mobile: +491230\n  Note: Neighbour\n"
                                      "  Caller group: Family\nBob\n  General: 112\n";

} // namespace quorix::testdata
