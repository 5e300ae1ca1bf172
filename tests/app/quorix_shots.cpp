// Takes the pictures of the windows for the README and docs/: the program's
// window in a given state, saved as PNG, then quits. A tool for the
// documentation only, built beside the tests and never installed.
#include "app/BookTree.h"
#include "app/CommandActions.h"
#include "app/ConnectionDialog.h"
#include "app/CsvImportDialog.h"
#include "app/FileDialogs.h"
#include "app/FindBar.h"
#include "app/InfoWindow.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/ReleaseNotesWindow.h"
#include "app/TraceWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace quorix;

namespace {

// The command line: what to show and where the picture goes.
struct Options {
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Start a virtual Nokia 7110 and connect to it.")};
    QCommandLineOption wide{QStringLiteral("wide"),
                            QStringLiteral("With --screenshot: widen the window by this many "
                                           "pixels."),
                            QStringLiteral("pixels")};
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Save a picture of the main window and quit."),
                                  QStringLiteral("file")};
    QCommandLineOption infoShot{QStringLiteral("screenshot-info"),
                                QStringLiteral("Save a picture of the info window and quit."),
                                QStringLiteral("file")};
    QCommandLineOption csvShot{
        QStringLiteral("screenshot-csv"),
        QStringLiteral("Load a CSV file into the import dialog, save a picture of it (the "
                       "file named after the option) and quit."),
        QStringLiteral("csvfile")};
    QCommandLineOption sample{QStringLiteral("sample-book"),
                              QStringLiteral("Start with a few names in the book.")};
    QCommandLineOption popup{
        QStringLiteral("show-popup"),
        QStringLiteral("With --screenshot: open the popup menu on a number of the last name.")};

    QCommandLineOption traceShot{
        QStringLiteral("screenshot-trace"),
        QStringLiteral("Open a link to the virtual phone, save a picture of the trace window "
                       "once the phone's status answer is in it, and quit."),
        QStringLiteral("file")};
    QCommandLineOption editMenu{
        QStringLiteral("show-edit-menu"),
        QStringLiteral("With --screenshot: delete the second name, then open the Edit menu.")};
    QCommandLineOption expanded{QStringLiteral("show-expanded"),
                                QStringLiteral("With --screenshot: expand every name.")};
    QCommandLineOption find{QStringLiteral("show-find"),
                            QStringLiteral("With --screenshot: open the find bar on this text."),
                            QStringLiteral("text")};
    QCommandLineOption connectionShot{
        QStringLiteral("screenshot-connection"),
        QStringLiteral("Save a picture of the connection dialog and quit."),
        QStringLiteral("file")};

    QCommandLineOption notesShot{
        QStringLiteral("screenshot-notes"),
        QStringLiteral("Save a picture of the release notes window and quit."),
        QStringLiteral("file")};
    QCommandLineOption readShot{
        QStringLiteral("screenshot-read"),
        QStringLiteral("With --demo: read the virtual phone's book, save a picture of the main "
                       "window half-way through and quit."),
        QStringLiteral("file")};

    QCommandLineOption dialogShot{
        QStringLiteral("screenshot-dialog"),
        QStringLiteral("Save a picture of the dialog or question open 1.5 s after the start "
                       "(the file given to open, or --show-duplicates, brings one) and quit."),
        QStringLiteral("file")};
    QCommandLineOption duplicates{QStringLiteral("show-duplicates"),
                                  QStringLiteral("Run Extras > Find duplicates at the start.")};
    QCommandLineOption sync{
        QStringLiteral("show-sync"),
        QStringLiteral("With --demo: once the virtual phone runs, Compare (compare) or Write "
                       "(write) the book opened."),
        QStringLiteral("command")};

    explicit Options(QCommandLineParser& parser) {
        parser.setApplicationDescription(
            QStringLiteral("Takes the pictures of Quorix's windows for its documentation."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({demo, wide, screenshot, infoShot, csvShot, sample, popup, expanded,
                           traceShot, connectionShot, notesShot, readShot, editMenu, find,
                           dialogShot, duplicates, sync});
        parser.addPositionalArgument(
            QStringLiteral("file"),
            QStringLiteral("A book to open, as the program opens it (with --screenshot-csv: "
                           "where the picture goes)."),
            QStringLiteral("[file]"));
    }
};

// The window's parts, as its children.
template <typename T> T* part(const MainWindow& w, const char* name = nullptr) {
    return name ? w.findChild<T*>(QString::fromLatin1(name)) : w.findChild<T*>();
}

QAction* command(const MainWindow& w, const char* id) {
    return w.commands().action(QString::fromLatin1(id));
}

// Saves what the screen shows of a window, frame included, and of a menu
// open over it.
void grab(QWidget* window, const QString& file, const QWidget* menu = nullptr) {
    QRect r = window->frameGeometry();
    if (menu && menu->isVisible())
        r |= menu->frameGeometry();
    window->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(file);
}

// Saves a picture of target once ready() holds and settleMs more have passed
// (for what was just drawn to reach the screen), then quits.
void grabWhen(QWidget* target, const QString& file, std::function<bool()> ready, int settleMs) {
    auto* poll = new QTimer(target);
    QObject::connect(poll, &QTimer::timeout, target, [=] {
        if (!ready())
            return;
        poll->stop();
        QTimer::singleShot(settleMs, target, [target, file] {
            grab(target, file);
            // Not quit(): that asks the windows to close, and the main window
            // refuses while a transfer runs.
            QCoreApplication::exit(0);
        });
    });
    poll->start(20);
}

// A few names, for pictures of the window.
void fillSample(BookModel& model) {
    struct Sample {
        const char* name;
        std::initializer_list<std::pair<const char*, int>> subs;
    };
    const Sample samples[] = {
        {"Anna Berg",
         {{"+4930123456", KindGeneral},
          {"+49171234567", KindMobile},
          {"anna@example.org", KindEMail},
          {"Birthday 12 May", KindNote},
          {"Family", KindCallerGroup}}},
        {"Dentist", {{"+4930998877", KindOffice}}},
        {"Office",
         {{"+4930555100", KindOffice},
          {"+4930555199", KindFax},
          {"Main Street 1", KindPostalAddress},
          {"Colleagues", KindCallerGroup}}},
        {"Pizza Roma", {{"+4930777888", KindGeneral}, {"Closed on Mondays", KindNote}}},
        {"Tom",
         {{"+491609876543", KindMobile}, {"+4930111222", KindHome}, {"VIP", KindCallerGroup}}},
    };
    for (const Sample& s : samples) {
        Name& n = model.insertName(model.book().entryCount(), s.name);
        for (const auto& [text, kind] : s.subs)
            model.addSubentry(n, text, kind);
    }
}

// Ends a picture-taking run that cannot get its picture.
void giveUp(const char* why) {
    std::fprintf(stderr, "quorix: %s\n", why);
    QCoreApplication::exit(1);
}

// Opens the link to the virtual phone with tracing on and takes the picture of
// the trace window once the phone has answered the link-opening frame.
void traceScreenshot(MainWindow& window, const QString& file) {
    QObject::connect(&window, &MainWindow::demoReady, &window, [&window] {
        part<QCheckBox>(window, "debugBox")->setChecked(true);
        window.startLink();
    });
    QObject::connect(&window, &MainWindow::linkStartFinished, &window, [](bool ok) {
        if (!ok)
            giveUp("the link to the virtual phone did not open");
    });
    grabWhen(
        part<TraceWindow>(window), file,
        [&window] {
            return part<TraceWindow>(window)->logText().contains(QLatin1String("PHONE STATUS"));
        },
        300);
    QTimer::singleShot(20000, &window, [] { giveUp("no status answer from the virtual phone"); });
}

// Reads the virtual phone's book and takes the picture of the main window
// once the progress bar stands past a third of the way.
void readScreenshot(MainWindow& window, const QString& file) {
    QObject::connect(&window, &MainWindow::demoReady, &window,
                     [&window] { command(window, "transfer.read")->trigger(); });
    grabWhen(
        &window, file,
        [&window] {
            const auto* bar = part<QProgressBar>(window, "progress");
            return bar->isVisible() && bar->maximum() > 0 && bar->value() * 3 >= bar->maximum();
        },
        0);
    QTimer::singleShot(60000, &window, [] { giveUp("the read did not get far enough"); });
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Quorix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORIX_VERSION));
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorix.Quorix"));
    QCommandLineParser parser;
    const Options options(parser);
    parser.process(app);

    MainWindow window;
    window.createWindows();
    if (parser.isSet(options.sample)) {
        fillSample(window.model());
        command(window, "tree.expandAll")->trigger();
        window.treeView()->collapse(window.model().indexOf(window.phonebook().name(1)));
        window.treeView()->collapse(window.model().indexOf(window.phonebook().name(2)));
        window.treeView()->setCurrentIndex(window.model().indexOf(window.phonebook().name(0), 1));
    }
    if (parser.isSet(options.demo) || parser.isSet(options.traceShot))
        QObject::connect(&window, &MainWindow::startupFinished, &window, &MainWindow::startDemo);
    // A file named on the command line is opened once the settings are read
    // (a CSV import uses them). One window holds one book: the first file counts.
    // The book to show, opened as the program opens it.
    if (!parser.positionalArguments().isEmpty() && !parser.isSet(options.csvShot))
        window.openWhenStarted(parser.positionalArguments().constFirst());
    if (parser.isSet(options.duplicates))
        QObject::connect(&window, &MainWindow::startupFinished, &window, [&window] {
            QTimer::singleShot(0, &window,
                               [&window] { command(window, "extras.findDuplicates")->trigger(); });
        });
    if (parser.isSet(options.sync)) {
        const char* action = parser.value(options.sync) == QLatin1String("write")
                                 ? "transfer.write"
                                 : "transfer.compare";
        QObject::connect(&window, &MainWindow::demoReady, &window, [&window, action] {
            QTimer::singleShot(0, &window,
                               [&window, action] { command(window, action)->trigger(); });
        });
    }
    if (parser.isSet(options.dialogShot)) {
        window.setInfoAtStart(false);
        const QString file = parser.value(options.dialogShot);
        // A question or dialog runs its own loop; the timer fires inside it. One
        // that a transfer brings (--show-sync) is waited for.
        const int waitMs = parser.isSet(options.sync) ? 30000 : 0;
        QTimer::singleShot(1500, &window, [file, waitMs] {
            QElapsedTimer waited;
            waited.start();
            auto* poll = new QTimer(qApp);
            QObject::connect(poll, &QTimer::timeout, qApp, [=] {
                QWidget* dialog = QApplication::activeModalWidget();
                if (!dialog && waited.elapsed() < waitMs)
                    return;
                poll->stop();
                if (!dialog)
                    return giveUp("no dialog open to take a picture of");
                grab(dialog, file);
                QCoreApplication::exit(0);
            });
            poll->start(100);
        });
    } else if (parser.isSet(options.readShot)) {
        window.setInfoAtStart(false);
        QObject::connect(&window, &MainWindow::startupFinished, &window, &MainWindow::startDemo);
        readScreenshot(window, parser.value(options.readShot));
    } else if (parser.isSet(options.notesShot)) {
        window.setInfoAtStart(false);
        const QString file = parser.value(options.notesShot);
        QObject::connect(&window, &MainWindow::startupFinished, &window, [&window, file] {
            command(window, "help.releaseNotes")->trigger();
            auto* notes = part<ReleaseNotesWindow>(window);
            if (!notes)
                return giveUp("no release notes found");
            grabWhen(
                notes, file, [notes] { return notes->isVisible(); }, 800);
        });
    } else if (parser.isSet(options.traceShot)) {
        window.setInfoAtStart(false);
        traceScreenshot(window, parser.value(options.traceShot));
    } else if (parser.isSet(options.connectionShot)) {
        window.setInfoAtStart(false);
        const QString file = parser.value(options.connectionShot);
        // With --demo the picture shows the virtual phone's device.
        const auto shoot = [&window, file] {
            auto* dialog = part<ConnectionDialog>(window);
            grabWhen(
                dialog, file, [dialog] { return dialog->isVisible(); }, 500);
            command(window, "connection.setup")->trigger();
        };
        if (parser.isSet(options.demo))
            QObject::connect(&window, &MainWindow::demoReady, &window, shoot);
        else
            QObject::connect(&window, &MainWindow::startupFinished, &window, shoot);
    } else if (parser.isSet(options.screenshot)) {
        window.setInfoAtStart(false);
        const QString file = parser.value(options.screenshot);
        const bool withPopup = parser.isSet(options.popup);
        const bool withEditMenu = parser.isSet(options.editMenu);
        const bool withExpanded = parser.isSet(options.expanded);
        const int wider = parser.value(options.wide).toInt();
        const QString findText = parser.value(options.find);
        QObject::connect(
            &window, &MainWindow::startupFinished, &window,
            [&window, file, withPopup, withEditMenu, withExpanded, findText, wider] {
                if (wider > 0)
                    window.resize(window.width() + wider, window.height());
                QWidget* menu = window.popupMenu();
                if (withExpanded)
                    command(window, "tree.expandAll")->trigger();
                if (withEditMenu && window.phonebook().entryCount() > 1) {
                    // A step to undo, then the menu open under its title.
                    MessageBoxes::setHook([](const Question&) { return QMessageBox::Yes; });
                    window.treeView()->setCurrentIndex(
                        window.model().indexOf(window.phonebook().name(1)));
                    command(window, "tree.delete")->trigger();
                    MessageBoxes::clearHook();
                    for (QAction* a : window.menuBar()->actions()) {
                        if (a->menu() &&
                            a->menu()->actions().contains(command(window, "edit.undo"))) {
                            menu = a->menu();
                            a->menu()->popup(window.menuBar()->mapToGlobal(
                                window.menuBar()->actionGeometry(a).bottomLeft()));
                        }
                    }
                }
                if (!findText.isEmpty()) {
                    command(window, "edit.find")->trigger();
                    part<FindBar>(window)->field()->setText(findText);
                }
                if (withPopup) {
                    // As after a right click on a number of the last name, with the
                    // menu kept inside the window so the names above stay in sight.
                    Book& b = window.phonebook();
                    if (!b.isEmpty() && !b.name(b.entryCount() - 1).subs.empty())
                        window.treeView()->setCurrentIndex(
                            window.model().indexOf(b.name(b.entryCount() - 1), 0));
                    BookTree* tree = window.treeView();
                    const QRect row = tree->visualRect(tree->currentIndex());
                    QPoint at =
                        tree->viewport()->mapToGlobal(QPoint(row.center().x(), row.bottom() + 1));
                    const int right = window.geometry().right() - 8;
                    at.setX(std::min(at.x(), right - window.popupMenu()->sizeHint().width()));
                    tree->setFocus();
                    window.popupMenu()->popup(at);
                }
                QTimer::singleShot(800, &window, [&window, file, menu] {
                    grab(&window, file, menu);
                    // A picture run saves nothing: the close question gets No.
                    menu->hide();
                    MessageBoxes::setHook([](const Question&) { return QMessageBox::No; });
                    QCoreApplication::quit();
                });
            });
    } else if (parser.isSet(options.infoShot)) {
        const QString file = parser.value(options.infoShot);
        // Taken while the reminder shows red, as people see it flash.
        grabWhen(
            part<InfoWindow>(window), file,
            [&window] {
                const InfoWindow* info = part<InfoWindow>(window);
                return info->isVisible() && info->reminderColour() == Qt::red;
            },
            100);
    } else if (parser.isSet(options.csvShot) && !parser.positionalArguments().isEmpty()) {
        window.setInfoAtStart(false);
        const QString csv = parser.value(options.csvShot);
        const QString file = parser.positionalArguments().constFirst();
        QObject::connect(&window, &MainWindow::startupFinished, &window, [&window, csv, file] {
            FileDialogs::setHook([csv](const FileRequest&) { return csv; });
            command(window, "file.importCsv")->trigger();
            FileDialogs::clearHook();
            QTimer::singleShot(800, &window, [&window, file] {
                grab(part<CsvImportDialog>(window), file);
                QCoreApplication::quit();
            });
        });
    }
    window.show();
    return app.exec();
}
