// Times Find on a large book, a keystroke at a time: the search alone, and the
// whole keystroke in the window (search, selection, scrolling, painting).
//
//   bench_find [names]   (default 100000; runs offscreen unless a platform is set)

#include "app/BookTree.h"
#include "app/CommandActions.h"
#include "app/FindBar.h"
#include "app/MainWindow.h"
#include "model/BookSearch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <cstdio>

using namespace quorix;

namespace {

QByteArray makeName(quint32& seed) {
    static const char* const first[] = {"anna",  "Bob",      "carl-heinz", "D'Arcy", "\xc9mile",
                                        "frank", "Gr\xe9ta", "hans",       "Ines",   "J\xfcrgen"};
    static const char* const last[] = {"M\xfcller", "Meyer",   "o'Neill", "Schmidt", "van-Dijk",
                                       "Zimmer",    "\xd6zil", "berg",    "Co-op",   "Lee"};
    seed = seed * 1664525u + 1013904223u;
    return QByteArray(first[(seed >> 8) % 10]) + ' ' + last[(seed >> 16) % 10] + ' ' +
           QByteArray::number((seed >> 4) % 100000);
}

double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;

    MainWindow w;
    w.setInfoAtStart(false);
    w.show();
    QApplication::processEvents();
    w.model().rebuild([count](Book& b) {
        quint32 seed = 7;
        for (int i = 0; i < count; ++i) {
            Name& n = b.insertName(b.entryCount(), QString::fromLatin1(makeName(seed)));
            Book::addSubentry(n, QStringLiteral("+49170%1").arg(1000000 + i), KindMobile);
            Book::addSubentry(n, QStringLiteral("someone%1@example.org").arg(i), KindEMail);
        }
        b.rootExpanded = true;
    });
    QApplication::processEvents();
    std::printf("%d names, %d nodes\n", count, count * 3);

    // The typed text grows a letter at a time; the last keys find nothing.
    const QString typed = QStringLiteral("m\u00fcller 4x");
    std::printf("%-12s %10s %12s %14s\n", "typed", "matches", "search ms", "keystroke ms");
    double worst = 0;
    w.commands().action(QStringLiteral("edit.find"))->trigger();
    auto* bar = w.findChild<FindBar*>();
    for (int i = 1; i <= typed.size(); ++i) {
        const QString text = typed.left(i);
        QElapsedTimer t;
        t.start();
        const size_t matches = BookSearch::findAll(w.phonebook(), text).size();
        const double search = ms(t);
        t.restart();
        bar->field()->setText(text); // runs the find as typing does
        QApplication::processEvents();
        const double key = ms(t);
        worst = std::max(worst, key);
        std::printf("%-12s %10zu %12.1f %14.1f\n",
                    qPrintable(QLatin1Char('"') + text + QLatin1Char('"')), matches, search, key);
    }
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 20; ++i) // Enter in the find bar
        QTest::keyClick(bar->field(), Qt::Key_Return);
    std::printf("Enter (next match): %.1f ms each\n", ms(t) / 20);
    std::printf("slowest keystroke: %.1f ms\n", worst);
    return 0;
}
