// How quick the window stays with a big book: the real main window (offscreen
// unless a platform is given) opens a generated .pbf of N names, then Expand all,
// Sort, Collapse all, Expand all again and Flip book with the names expanded;
// then View > Table (building the table proxies), a word typed into the filter
// and taken back one keystroke at a time (the median and the slowest
// keystroke), a sort by the Name column, the same keystrokes on the sorted
// table, and View > Tree again.
// Each figure is the command plus the events it leaves behind and one paint of
// the tree, so the view's own layout work is counted: the wall-clock time and,
// since a shared machine stretches that, the CPU time the process spent.
// Repeated, the median shown.
//
//   book_view [sizes, default 10000,100000] [repeat, default 3]
#include "app/BookTable.h"
#include "app/BookTree.h"
#include "app/CommandActions.h"
#include "app/FileDialogs.h"
#include "app/MainWindow.h"
#include "model/BookTableModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sys/resource.h>
#include <vector>

using namespace quorix;

namespace {

// A book in the .pbf format: names of mixed case and Latin-1 letters, so the
// collation does real work; one to four subentries, every tenth name none.
QByteArray makeBook(int names) {
    static const char* const first[] = {"anna",  "Bob",      "carl-heinz", "D'Arcy", "\xc9mile",
                                        "frank", "Gr\xe9ta", "hans",       "Ines",   "J\xfcrgen"};
    static const char* const last[] = {"M\xfcller", "Meyer",   "o'Neill", "Schmidt", "van-Dijk",
                                       "Zimmer",    "\xd6zil", "berg",    "Co-op",   "Lee"};
    QByteArray out = "[QUORIX7-File]\r\n";
    quint32 seed = 7;
    for (int i = 0; i < names; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out += first[(seed >> 8) % 10];
        out += ' ';
        out += last[(seed >> 16) % 10];
        out += ' ' + QByteArray::number((seed >> 4) % 100000) + "\r\n";
        const int subs = i % 10 == 9 ? 0 : 1 + int((seed >> 20) % 4);
        for (int s = 0; s < subs; ++s) {
            out += char(0x09 - s); // Note, Postal Address, E-Mail, Fax: sort reorders them
            out += "+49 " + QByteArray::number(seed % 1000000 + quint32(s)) + "\r\n";
        }
    }
    return out;
}

double cpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QList<int> sizes{10000, 100000};
    if (!args.isEmpty()) {
        sizes.clear();
        for (const QString& s : args[0].split(QLatin1Char(',')))
            sizes << s.toInt();
    }
    const int repeat = args.size() > 1 ? std::max(1, args[1].toInt()) : 3;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path()); // the window keeps its settings file here
    const char* const steps[] = {"Open",         "Expand all",          "Sort",
                                 "Collapse all", "Expand all",          "Flip (expanded)",
                                 "Table view",   "Filter key (median)", "Filter key (slowest)",
                                 "Sort by Name", "Sorted key (median)", "Sorted key (slowest)",
                                 "Tree view"};
    // A word typed and taken back: narrowing and widening the rows.
    const QString word = QStringLiteral("m\u00fcller 12");
    QStringList keys;
    for (qsizetype i = 1; i <= word.size(); ++i)
        keys << word.left(i);
    for (qsizetype i = word.size() - 1; i >= 0; --i)
        keys << word.left(i);

    std::map<int, std::vector<double>> figures, cpu; // per size, one median per step
    for (const int n : sizes) {
        const QString path = dir.filePath(QStringLiteral("book%1.pbf").arg(n));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(makeBook(n)) < 0)
            return 1;
        f.close();
        std::vector<std::vector<double>> runs(std::size(steps)), cpuRuns(std::size(steps));
        for (int r = 0; r < repeat; ++r) {
            MainWindow w;
            w.createWindows();
            w.setInfoAtStart(false);
            QSignalSpy started(&w, &MainWindow::startupFinished);
            w.resize(500, 700);
            w.show();
            started.wait(5000);
            FileDialogs::setHook([&](const FileRequest&) { return path; });
            auto timed = [&](size_t step, auto&& command) {
                const double cpu0 = cpuMs();
                QElapsedTimer t;
                t.start();
                command();
                QCoreApplication::processEvents();
                w.treeView()->viewport()->repaint();
                runs[step].push_back(double(t.nsecsElapsed()) / 1e6);
                cpuRuns[step].push_back(cpuMs() - cpu0);
            };
            timed(0, [&] { w.commands().action(QStringLiteral("file.open"))->trigger(); });
            if (w.model().book().entryCount() != n)
                return 1;
            timed(1, [&] { w.commands().action(QStringLiteral("tree.expandAll"))->trigger(); });
            timed(2, [&] { w.commands().action(QStringLiteral("extras.sort"))->trigger(); });
            timed(3, [&] { w.commands().action(QStringLiteral("tree.collapseAll"))->trigger(); });
            timed(4, [&] { w.commands().action(QStringLiteral("tree.expandAll"))->trigger(); });
            timed(5, [&] { w.commands().action(QStringLiteral("extras.flip"))->trigger(); });
            QWidget* table = w.tableView()->view()->viewport();
            const auto timedHere = [&](auto&& command, QWidget* paint) {
                const double cpu0 = cpuMs();
                QElapsedTimer t;
                t.start();
                command();
                QCoreApplication::processEvents();
                paint->repaint();
                return std::pair(double(t.nsecsElapsed()) / 1e6, cpuMs() - cpu0);
            };
            const auto record = [&](size_t step, std::pair<double, double> figure) {
                runs[step].push_back(figure.first);
                cpuRuns[step].push_back(figure.second);
            };
            const auto typeKeys = [&](size_t step) {
                std::vector<double> wall, cpuTimes;
                for (const QString& k : keys) {
                    const auto [ms, cpuUsed] =
                        timedHere([&] { w.tableView()->filterBox()->setText(k); }, table);
                    wall.push_back(ms);
                    cpuTimes.push_back(cpuUsed);
                }
                record(step, {median(wall), median(cpuTimes)});
                record(step + 1, {*std::max_element(wall.begin(), wall.end()),
                                  *std::max_element(cpuTimes.begin(), cpuTimes.end())});
            };
            record(6,
                   timedHere([&] { w.commands().action(QStringLiteral("view.table"))->trigger(); },
                             table));
            if (w.tableView()->filter()->rowCount() != n)
                return 1;
            typeKeys(7);
            record(9, timedHere([&] { w.tableView()->view()->sortByColumn(0, Qt::AscendingOrder); },
                                table));
            typeKeys(10);
            record(12,
                   timedHere([&] { w.commands().action(QStringLiteral("view.tree"))->trigger(); },
                             w.treeView()->viewport()));
            FileDialogs::clearHook();
            w.phonebook().bookChanged = false; // no question on closing
            w.close();
        }
        for (size_t s = 0; s < runs.size(); ++s) {
            figures[n].push_back(median(runs[s]));
            cpu[n].push_back(median(cpuRuns[s]));
        }
    }
    std::printf("%-16s", "names");
    for (const int n : sizes)
        std::printf("%10d wall %6d cpu", n, n);
    std::printf("\n");
    for (size_t s = 0; s < std::size(steps); ++s) {
        std::printf("%-16s", steps[s]);
        for (const int n : sizes)
            std::printf("%12.0f ms %7.0f ms", figures[n][s], cpu[n][s]);
        std::printf("\n");
    }
    return 0;
}
