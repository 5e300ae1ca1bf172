// Times Find duplicates and the import that adds a book to a book, on books
// like a real one: most names with two or three numbers, a few people twice
// (a number written with and without the country prefix, "Family, Given").
//
//   bench_duplicates [names]   (default 10000; also runs ten times as many)

#include "model/BookMerge.h"
#include "model/BookModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

using namespace quorix;

namespace {

void fillBook(Book& book, int count, quint32 seed) {
    static const char* const first[] = {"Anna",       "Bob",        "Carl-Heinz", "D'Arcy",
                                        "\u00c9mile", "Frank",      "Gr\u00e9ta", "Hans",
                                        "Ines",       "J\u00fcrgen"};
    static const char* const last[] = {"M\u00fcller", "Meyer", "O'Neill", "Schmidt", "van Dijk"};
    for (int i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const QString given = QString::fromUtf8(first[(seed >> 8) % 10]);
        const QString family =
            QString::fromUtf8(last[(seed >> 16) % 5]) + QString::number(i / 50 % 1000);
        // Every fiftieth name is an earlier one written "Family, Given".
        const bool twin = i % 50 == 49;
        Name& n = book.insertName(book.entryCount(), twin ? family + QStringLiteral(", ") + given
                                                          : given + u' ' + family);
        const int number = 1000000 + i;
        // Every twentieth number is an earlier one without the country prefix.
        if (i % 20 == 19)
            Book::addSubentry(n, QStringLiteral("0171 %1").arg(number - 7), KindMobile);
        else
            Book::addSubentry(n, QStringLiteral("+49 171 %1").arg(number), KindMobile);
        Book::addSubentry(n, QStringLiteral("+4930%1").arg(number), KindHome);
        if (seed % 3 == 0)
            Book::addSubentry(n, QStringLiteral("0040 21 %1").arg(number), KindOffice);
        Book::addSubentry(n, QStringLiteral("someone%1@example.org").arg(i), KindEMail);
    }
}

double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

template <typename F> double best(int runs, F&& f) {
    double result = f();
    for (int i = 1; i < runs; ++i)
        result = std::min(result, f());
    return result;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int base = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 10000;
    std::printf("%10s %10s %16s %22s %24s\n", "names", "groups", "find dups (ms)",
                "add same book (ms)", "add, through model (ms)");
    for (const int count : {base, base * 10}) {
        Book book;
        fillBook(book, count, 1);
        size_t groups = 0;
        const double find = best(3, [&] {
            QElapsedTimer t;
            t.start();
            groups = findDuplicates(book).size();
            return ms(t);
        });
        // Adding a book's own export again: every name is looked up and skipped.
        const double add = best(3, [&] {
            Book into, incoming;
            fillBook(into, count, 1);
            fillBook(incoming, count, 1);
            QElapsedTimer t;
            t.start();
            addToBook(into, incoming);
            return ms(t);
        });
        // New names through the item model, recorded for undo, as the window adds them.
        const double addModel = best(3, [&] {
            BookModel model;
            model.setStepSink([](std::unique_ptr<BookStep>) {});
            fillBook(model.book(), count, 1);
            Book incoming;
            fillBook(incoming, count, 2);
            QElapsedTimer t;
            t.start();
            const BookStepScope step(model, QStringLiteral("Import"));
            addToBook(model, incoming);
            return ms(t);
        });
        std::printf("%10d %10zu %16.1f %22.1f %24.1f\n", count, groups, find, add, addModel);
    }
    return 0;
}
