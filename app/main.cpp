#include "app/BookTree.h"
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
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

using namespace quorix;

namespace {

// The command line; the hidden options take pictures for the documentation.
struct Options {
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Start a virtual Nokia 7110 and connect to it.")};
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
        for (QCommandLineOption* hidden :
             {&screenshot, &infoShot, &csvShot, &sample, &popup, &expanded, &traceShot,
              &connectionShot, &notesShot, &readShot, &editMenu, &find, &dialogShot, &duplicates,
              &sync})
            hidden->setFlags(QCommandLineOption::HiddenFromHelp);
        parser.setApplicationDescription(QStringLiteral("Phonebook editor for the Nokia 7110."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({demo, screenshot, infoShot, csvShot, sample, popup, expanded, traceShot,
                           connectionShot, notesShot, readShot, editMenu, find, dialogShot,
                           duplicates, sync});
        parser.addPositionalArgument(
            QStringLiteral("file"),
            QStringLiteral("A book to open: a vCard file (.vcf, the lossless backup) or a "
                           "phonebook (.pbf); or a CSV file (.csv) to import."),
            QStringLiteral("[file]"));
    }
};

// --help and --version need no display.
bool textOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const char* opt : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], opt) == 0)
                return true;
    return false;
}

// A window needs a display: X11 or Wayland, unless a platform was chosen
// (offscreen, vnc, ...), in which case Qt itself says what is missing.
bool haveDisplay() {
    const auto set = [](const char* name) { return !qEnvironmentVariableIsEmpty(name); };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

bool platformArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
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
        window.debugBox->setChecked(true);
        window.startLink();
    });
    QObject::connect(&window, &MainWindow::linkStartFinished, &window, [](bool ok) {
        if (!ok)
            giveUp("the link to the virtual phone did not open");
    });
    grabWhen(
        window.traceWindow, file,
        [&window] { return window.traceWindow->logText().contains(QLatin1String("PHONE STATUS")); },
        300);
    QTimer::singleShot(20000, &window, [] { giveUp("no status answer from the virtual phone"); });
}

// Reads the virtual phone's book and takes the picture of the main window
// once the progress bar stands past a third of the way.
void readScreenshot(MainWindow& window, const QString& file) {
    QObject::connect(&window, &MainWindow::demoReady, &window, [&window] { window.startRead(); });
    grabWhen(
        &window, file,
        [&window] {
            const QProgressBar* bar = window.progressBar;
            return bar->isVisible() && bar->maximum() > 0 && bar->value() * 3 >= bar->maximum();
        },
        0);
    QTimer::singleShot(60000, &window, [] { giveUp("the read did not get far enough"); });
}

} // namespace

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    // A save past the file size limit then fails with "File too large" and says
    // so, instead of the signal ending the program with the book unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication::setApplicationName(QStringLiteral("Quorix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORIX_VERSION));
    if (textOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        Options options(parser);
        parser.process(app); // prints and ends the program
        return 0;
    }

    // Without a display Qt would abort; say what is needed instead.
    if (!haveDisplay() && !platformArgument(argc, argv)) {
        std::fputs("quorix: needs a graphical session (no DISPLAY or WAYLAND_DISPLAY is set); "
                   "use quorix-cli without one.\n",
                   stderr);
        return 1;
    }

    // A display that is named but cannot be reached (a stale DISPLAY over ssh)
    // makes Qt give up while the application is set up: one line then too, with
    // the platform's own words for what failed.
    static QtMessageHandler previous = nullptr;
    static QStringList platformTrouble;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context,
                                         const QString& message) {
        const bool platform = context.category && std::strncmp(context.category, "qt.qpa", 6) == 0;
        if (type != QtFatalMsg) {
            if (platform)
                platformTrouble << message;
            else if (previous)
                previous(type, context, message);
            return;
        }
        // The platform's first word is the cause; the rest follows from it.
        std::fprintf(stderr,
                     "quorix: needs a graphical session (%s); use quorix-cli without "
                     "one.\n",
                     qPrintable(platformTrouble.isEmpty() ? QStringLiteral("no display")
                                                          : platformTrouble.constFirst()));
        std::_Exit(1);
    });
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    for (const QString& warning : platformTrouble) // the window came up all the same
        std::fprintf(stderr, "%s\n", qPrintable(warning));
    // The window belongs to the menu entry of the same name (Wayland's app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorix.Quorix"));
    QCommandLineParser parser;
    const Options options(parser);
    parser.process(app);

    MainWindow window;
    window.createWindows();
    if (parser.isSet(options.sample)) {
        fillSample(*window.bookModel);
        window.expandAll();
        window.tree->collapse(window.bookModel->indexOf(window.phonebook().name(1)));
        window.tree->collapse(window.bookModel->indexOf(window.phonebook().name(2)));
        window.tree->setCurrentIndex(window.bookModel->indexOf(window.phonebook().name(0), 1));
    }
    if (parser.isSet(options.demo) || parser.isSet(options.traceShot))
        QObject::connect(&window, &MainWindow::startupFinished, &window, &MainWindow::startDemo);
    // A file named on the command line is opened once the settings are read
    // (a CSV import uses them). One window holds one book: the first file counts.
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty() && !parser.isSet(options.csvShot)) {
        if (files.size() > 1)
            std::fprintf(stderr, "quorix: only the first file is opened: %s\n",
                         qPrintable(files.constFirst()));
        const QString path = QFileInfo(files.constFirst()).absoluteFilePath();
        QObject::connect(&window, &MainWindow::startupFinished, &window,
                         [&window, path] { window.openPath(path); });
    }
    if (parser.isSet(options.duplicates))
        QObject::connect(&window, &MainWindow::startupFinished, &window, [&window] {
            QTimer::singleShot(0, &window, [&window] { window.findDuplicatesAction->trigger(); });
        });
    if (parser.isSet(options.sync)) {
        const bool write = parser.value(options.sync) == QLatin1String("write");
        QObject::connect(&window, &MainWindow::demoReady, &window, [&window, write] {
            QTimer::singleShot(0, &window, [&window, write] {
                (write ? window.writeAction : window.compareAction)->trigger();
            });
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
            window.showReleaseNotes();
            if (!window.releaseNotesWindow)
                return giveUp("no release notes found");
            grabWhen(
                window.releaseNotesWindow, file,
                [&window] { return window.releaseNotesWindow->isVisible(); }, 800);
        });
    } else if (parser.isSet(options.traceShot)) {
        window.setInfoAtStart(false);
        traceScreenshot(window, parser.value(options.traceShot));
    } else if (parser.isSet(options.connectionShot)) {
        window.setInfoAtStart(false);
        const QString file = parser.value(options.connectionShot);
        // With --demo the picture shows the virtual phone's device.
        const auto shoot = [&window, file] {
            window.setupConnection();
            grabWhen(
                window.connectionDialog, file,
                [&window] { return window.connectionDialog->isVisible(); }, 500);
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
        const QString findText = parser.value(options.find);
        QObject::connect(
            &window, &MainWindow::startupFinished, &window,
            [&window, file, withPopup, withEditMenu, withExpanded, findText] {
                QWidget* menu = window.popup;
                if (withExpanded)
                    window.expandAll();
                if (withEditMenu && window.phonebook().entryCount() > 1) {
                    // A step to undo, then the menu open under its title.
                    MessageBoxes::setHook([](const Question&) { return QMessageBox::Yes; });
                    window.tree->setCurrentIndex(
                        window.bookModel->indexOf(window.phonebook().name(1)));
                    window.deleteNode();
                    MessageBoxes::clearHook();
                    for (QAction* a : window.menuBar()->actions()) {
                        if (a->menu() && a->menu()->actions().contains(window.undoAction)) {
                            menu = a->menu();
                            a->menu()->popup(window.menuBar()->mapToGlobal(
                                window.menuBar()->actionGeometry(a).bottomLeft()));
                        }
                    }
                }
                if (!findText.isEmpty()) {
                    window.showFindBar();
                    window.findBar->field()->setText(findText);
                }
                if (withPopup) {
                    // As after a right click on a number of the last name, with the
                    // menu kept inside the window so the names above stay in sight.
                    Book& b = window.phonebook();
                    if (!b.isEmpty() && !b.name(b.entryCount() - 1).subs.empty())
                        window.tree->setCurrentIndex(
                            window.bookModel->indexOf(b.name(b.entryCount() - 1), 0));
                    const QRect row = window.tree->visualRect(window.tree->currentIndex());
                    QPoint at = window.tree->viewport()->mapToGlobal(
                        QPoint(row.center().x(), row.bottom() + 1));
                    const int right = window.geometry().right() - 8;
                    at.setX(std::min(at.x(), right - window.popup->sizeHint().width()));
                    window.tree->setFocus();
                    window.popup->popup(at);
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
            window.infoWindow, file,
            [&window] {
                return window.infoWindow->isVisible() &&
                       window.infoWindow->reminderColour() == Qt::red;
            },
            100);
    } else if (parser.isSet(options.csvShot) && !parser.positionalArguments().isEmpty()) {
        window.setInfoAtStart(false);
        const QString csv = parser.value(options.csvShot);
        const QString file = parser.positionalArguments().constFirst();
        QObject::connect(&window, &MainWindow::startupFinished, &window, [&window, csv, file] {
            FileDialogs::setHook([csv](const FileRequest&) { return csv; });
            window.importCsvFile();
            FileDialogs::clearHook();
            QTimer::singleShot(800, &window, [&window, file] {
                grab(window.csvImportDialog, file);
                QCoreApplication::quit();
            });
        });
    }
    window.show();
    return app.exec();
}
