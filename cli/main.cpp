#include "Commands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>

namespace quorix::cli {

const QList<Command>& commands() {
    static const QList<Command> all = fileCommands() + linkCommands() + phoneCommands();
    return all;
}

int fail(const QString& message) {
    QTextStream(stderr) << "quorix-cli: " << message << Qt::endl;
    return ExitFailure;
}

int usageError(const QStringList& args, const QString& message) {
    fail(message);
    QTextStream(stderr) << "Try '" << args.first() << " --help'." << Qt::endl;
    return ExitUsage;
}

QString exitStatusHelp() {
    return QStringLiteral("Exit status: 0 success, 1 failure (of the transfer or a file), "
                          "2 wrong usage.\n");
}

int parseCommandLine(QCommandLineParser& parser, const QStringList& args) {
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    if (!parser.parse(args))
        return usageError(args, parser.errorText());
    if (!parser.isSet(help))
        return -1;
    // Qt's usage line names the executable; ours names the command.
    QString text = parser.helpText();
    const qsizetype from = text.indexOf(QLatin1Char(' ')) + 1;
    const qsizetype to = text.indexOf(QLatin1Char(' '), from);
    if (from > 0 && to > from)
        text.replace(from, to - from, args.first());
    QTextStream(stdout) << text << '\n' << exitStatusHelp();
    return ExitSuccess;
}

namespace {

void printUsage(QTextStream& out) {
    out << "Usage: quorix-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
           "       quorix-cli --help | --version\n\n"
           "The Quorix phonebook engine for the Nokia 7110, without a window.\n\n"
           "Commands:\n";
    for (const Command& c : commands())
        out << "  " << QString::fromLatin1(c.name).leftJustified(12) << c.summary << '\n';
    out << "\nRun 'quorix-cli COMMAND --help' for a command's options.\n\n" << exitStatusHelp();
}

} // namespace
} // namespace quorix::cli

int main(int argc, char* argv[]) {
    using namespace quorix::cli;
#ifdef SIGXFSZ
    // Past the file size limit a write then fails with "File too large" and is
    // reported like any other, instead of the signal killing us mid-save.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorix-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORIX_VERSION));

    QStringList args = QCoreApplication::arguments();
    QTextStream out(stdout);
    if (args.size() < 2) {
        // No command is wrong usage: the usage goes where errors go.
        QTextStream err(stderr);
        printUsage(err);
        return ExitUsage;
    }
    if (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")) {
        printUsage(out);
        return ExitSuccess;
    }
    if (args[1] == QLatin1String("--version") || args[1] == QLatin1String("-v")) {
        out << "quorix-cli " << QUORIX_VERSION << '\n';
        return 0;
    }
    const QString name = args[1];
    for (const Command& c : commands()) {
        if (name == QLatin1String(c.name)) {
            args.removeAt(1);
            args[0] = QStringLiteral("quorix-cli ") + name;
            return c.run(args);
        }
    }
    QTextStream(stderr) << "quorix-cli: unknown command '" << name
                        << "'; 'quorix-cli --help' lists the commands." << Qt::endl;
    return ExitUsage;
}
