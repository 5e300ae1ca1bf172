#pragma once

#include "model/BookEditor.h"

#include <QAbstractItemModelTester>
#include <QList>

namespace quorix::test {

// A small book from a compact description: "Name|3:+49123|9:Note" per name.
inline void fill(Book& book, const QList<QByteArray>& rows) {
    for (const QByteArray& row : rows) {
        const QList<QByteArray> parts = row.split('|');
        Name& n = book.insertName(book.entryCount(), QString::fromUtf8(parts.first()));
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const qsizetype colon = parts[i].indexOf(':');
            if (parts[i].startsWith("org:")) { // the company
                n.organization = QString::fromUtf8(parts[i].mid(colon + 1));
                continue;
            }
            Book::addSubentry(n, QString::fromUtf8(parts[i].mid(colon + 1)),
                              parts[i].left(colon).toInt());
        }
    }
}

// The names of the book, comma-separated, in UTF-8.
inline QByteArray names(const Book& book) {
    QByteArrayList out;
    for (const auto& n : book)
        out << n->text.toUtf8();
    return out.join(',');
}

// Records the messages an editor shows and answers its questions in turn
// (No once the answers run out).
struct Messages {
    QList<UserMessage> shown;
    QList<bool> answers;

    MessageHandler handler() {
        return [this](const UserMessage& m) {
            shown.append(m);
            if (m.type != UserMessage::Type::Question)
                return true;
            return answers.isEmpty() ? false : answers.takeFirst();
        };
    }
    // "Caption: text" per message, "\r" kept, one per line.
    QByteArray log() const {
        QByteArrayList out;
        for (const UserMessage& m : shown)
            out << (m.caption + QStringLiteral(": ") + m.text).toUtf8();
        return out.join('\n');
    }
};

// A model checked by QAbstractItemModelTester on every signal, with an editor
// over it whose messages are recorded.
struct EditorFixture {
    EditorFixture() { editor.setMessageHandler(messages.handler()); }

    BookModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    BookEditor editor{model};
    Messages messages;

    Book& book() { return model.book(); }
    QModelIndex nameIndex(int row) { return model.indexOf(book().name(row)); }
    QModelIndex subIndex(int row, int pos) { return model.indexOf(book().name(row), pos); }
};

} // namespace quorix::test
