#include "app/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace quorix;

namespace {

struct Options {
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Start a virtual Nokia 7110 and connect to it.")};

    explicit Options(QCommandLineParser& parser) {
        parser.setApplicationDescription(QStringLiteral("Phonebook editor for the Nokia 7110."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(demo);
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
    if (parser.isSet(options.demo))
        QObject::connect(&window, &MainWindow::startupFinished, &window, &MainWindow::startDemo);
    // One window holds one book: the first file counts.
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        std::fprintf(stderr, "quorix: only the first file is opened: %s\n",
                     qPrintable(files.constFirst()));
    if (!files.isEmpty())
        window.openWhenStarted(files.constFirst());
    window.show();
    return app.exec();
}
