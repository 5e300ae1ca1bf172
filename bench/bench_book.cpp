// Times the whole-book operations on large books, to show they grow linearly
// (sorting as n log n): building a book the way the fillers do (each name added
// at the top with its subentries, then one flip), and Sort.
//
//   bench_book [largest]   (default 100000; also runs a quarter and a half)

#include "model/BookEditor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPersistentModelIndex>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace quorix;

namespace {

// Deterministic names with mixed case, hyphens, apostrophes and Latin-1
// letters, so the collation does real work.
QByteArray makeName(quint32& seed) {
    static const char* const first[] = {"anna",  "Bob",      "carl-heinz", "D'Arcy", "\xc9mile",
                                        "frank", "Gr\xe9ta", "hans",       "Ines",   "J\xfcrgen"};
    static const char* const last[] = {"M\xfcller", "Meyer",   "o'Neill", "Schmidt", "van-Dijk",
                                       "Zimmer",    "\xd6zil", "berg",    "Co-op",   "Lee"};
    seed = seed * 1664525u + 1013904223u;
    QByteArray name = first[(seed >> 8) % 10];
    name += ' ';
    name += last[(seed >> 16) % 10];
    name += ' ';
    name += QByteArray::number((seed >> 4) % 100000);
    return name;
}

double buildAtTopThenFlip(BookModel& model, int count) {
    quint32 seed = 1;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        Name& name = model.addNameAtTop(makeName(seed));
        model.addSubentry(name, "+491701234567", KindMobile);
        model.addSubentry(name, "someone@example.org", KindEMail);
    }
    model.flipBook();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double sortBook(BookEditor& editor) {
    QElapsedTimer timer;
    timer.start();
    editor.sortBook(QLocale(QLocale::English, QLocale::UnitedStates));
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

// Best of a few runs: the machine is shared, and the least disturbed run is
// the one that shows the cost.
template <typename F> double best(int runs, F&& f) {
    double result = f();
    for (int i = 1; i < runs; ++i)
        result = std::min(result, f());
    return result;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int largest = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int runs = 3;
    std::printf("%10s %18s %12s %22s\n", "names", "build+flip (ms)", "sort (ms)",
                "sort, all held (ms)");
    for (const int count : {largest / 4, largest / 2, largest}) {
        const double build = best(runs, [&] {
            BookModel model;
            return buildAtTopThenFlip(model, count);
        });
        const double sort = best(runs, [&] {
            BookModel model;
            BookEditor editor(model);
            buildAtTopThenFlip(model, count);
            return sortBook(editor);
        });
        // A view with every name expanded holds a persistent index on each.
        const double sortHeld = best(runs, [&] {
            BookModel model;
            BookEditor editor(model);
            buildAtTopThenFlip(model, count);
            std::vector<QPersistentModelIndex> held;
            held.reserve(static_cast<size_t>(count));
            for (int row = 0; row < count; ++row)
                held.emplace_back(model.indexOf(model.book().name(row)));
            return sortBook(editor);
        });
        std::printf("%10d %18.1f %12.1f %22.1f\n", count, build, sort, sortHeld);
    }
    return 0;
}
