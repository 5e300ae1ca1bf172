#include "Commands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace quorix::cli {

const QList<Command>& commands() {
    static const QList<Command> all = fileCommands() + linkCommands() + phoneCommands();
    return all;
}

int fail(const QString& message) {
    QTextStream(stderr) << "quorix-cli: " << message << Qt::endl;
    return 1;
}

namespace {

void printUsage(QTextStream& out) {
    out << "Usage: quorix-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
           "       quorix-cli --help | --version\n\n"
           "The Quorix phonebook engine for the Nokia 7110, without a window.\n\n"
           "Commands:\n";
    for (const Command& c : commands())
        out << "  " << QString::fromLatin1(c.name).leftJustified(12) << c.summary << '\n';
    out << "\nRun 'quorix-cli COMMAND --help' for a command's options.\n";
}

} // namespace
} // namespace quorix::cli

int main(int argc, char* argv[]) {
    using namespace quorix::cli;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorix-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORIX_VERSION));

    QStringList args = QCoreApplication::arguments();
    QTextStream out(stdout);
    if (args.size() < 2 || args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")) {
        printUsage(out);
        return args.size() < 2 ? 2 : 0;
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
    return 2;
}
