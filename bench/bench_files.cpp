// Times the book files engine on large books: .pbf save and load, and the CSV
// import, at 25 000, 50 000 and 100 000 names, so that growth is visible.
// Built with the project, never run by CTest:
//   bench_files [DIRECTORY]   (default: the system's temporary directory)

#include "files/BookFile.h"
#include "files/CsvImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace quorix;
using namespace quorix::files;

namespace {

// A book like a full phone's: names with two numbers, a mail address, and now
// and then a note and a caller group.
void fillBook(Book& book, int names) {
    for (int i = 0; i < names; ++i) {
        Name& n = book.addAtTop("Person " + QByteArray::number(i));
        Book::addSubentry(n, "+49" + QByteArray::number(1000000 + i), KindMobile);
        Book::addSubentry(n, "030" + QByteArray::number(2000000 + i), KindHome);
        Book::addSubentry(n, "person" + QByteArray::number(i) + "@example.org", KindEMail);
        if (i % 3 == 0)
            Book::addSubentry(n, "Met at the conference in spring", KindNote);
        if (i % 5 == 0)
            Book::addSubentry(n, groupNames[1 + i % 5], KindCallerGroup);
    }
    book.flipBook();
}

// One line a person, seven numbers and texts, so every line also makes a
// continuation name.
bool writeCsv(const QString& path, int lines) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        const QByteArray n = QByteArray::number(i);
        chunk += "\"Person " + n + "\";+49" + n + ";030" + n + ";0171" + n + ";0172" + n + ";0173" +
                 n + ";0174" + n + ";person" + n + "@example.org\r\n";
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    return f.write(chunk) == chunk.size() && f.flush();
}

double msSince(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + "/quorix-bench-XXXXXX"
                               : QDir::tempPath() + "/quorix-bench-XXXXXX");
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench_files: cannot make a directory: %s\n",
                     qPrintable(dir.errorString()));
        return 1;
    }
    std::printf("%8s %10s %9s %9s %9s %10s %10s\n", "names", "pbf bytes", "save ms", "load ms",
                "csv ms", "csv names", "us/name");
    // Each figure is the best of Runs, so that warming up the heap and the page
    // cache does not hide how the times grow with the size.
    constexpr int Runs = 3;
    for (const int names : {25000, 50000, 100000}) {
        Book book;
        fillBook(book, names);
        const QString pbf = dir.filePath("bench.pbf");
        const QString csv = dir.filePath("bench.csv");
        if (!writeCsv(csv, names)) {
            std::fprintf(stderr, "bench_files: cannot write %s\n", qPrintable(csv));
            return 1;
        }
        CsvSettings settings;
        settings.quotes = true;
        settings.lastColumn = 8;

        double saveMs = 1e99, loadMs = 1e99, csvMs = 1e99;
        int csvNames = 0;
        for (int run = 0; run < Runs; ++run) {
            QElapsedTimer t;
            t.start();
            const SaveResult saved = saveBookFile(book, pbf);
            saveMs = std::min(saveMs, msSince(t));

            t.restart();
            const BookResult loaded = loadBookFile(pbf);
            loadMs = std::min(loadMs, msSince(t));

            t.restart();
            const BookResult imported = importCsv(csv, settings);
            csvMs = std::min(csvMs, msSince(t));

            if (!saved.ok || !loaded.ok || !imported.ok || loaded.book.entryCount() != names) {
                std::fprintf(stderr, "bench_files: %s\n",
                             qPrintable(saved.error + loaded.error + imported.error));
                return 1;
            }
            csvNames = imported.book.entryCount();
        }
        std::printf("%8d %10lld %9.1f %9.1f %9.1f %10d %10.2f\n", names,
                    static_cast<long long>(QFileInfo(pbf).size()), saveMs, loadMs, csvMs, csvNames,
                    1000.0 * (saveMs + loadMs + csvMs) / names);
    }
    return 0;
}
