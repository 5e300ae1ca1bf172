#pragma once

#include "model/BookModel.h"

#include <QList>

namespace quorix::test {

// A small book from a compact description: "Name|3:+49123|9:Note" per name.
inline void fill(Book& book, const QList<QByteArray>& rows) {
    for (const QByteArray& row : rows) {
        const QList<QByteArray> parts = row.split('|');
        Name& n = book.insertName(book.entryCount(), parts.first());
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const qsizetype colon = parts[i].indexOf(':');
            Book::addSubentry(n, parts[i].mid(colon + 1), parts[i].left(colon).toInt());
        }
    }
}

// The names of the book, comma-separated.
inline QByteArray names(const Book& book) {
    QByteArrayList out;
    for (const auto& n : book)
        out << n->text;
    return out.join(',');
}

} // namespace quorix::test
