#include "Commands.h"

#include "files/BookFile.h"
#include "files/CsvImport.h"
#include "files/Import9110.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace quorix::cli {

namespace {

using files::BookResult;

const QCommandLineOption OutputOption({QStringLiteral("o"), QStringLiteral("output")},
                                      QStringLiteral("The phonebook file to write. \".pbf\" is "
                                                     "appended unless the path holds \".pbf\"; "
                                                     "an existing file is replaced only once "
                                                     "the new one is written whole."),
                                      QStringLiteral("OUTPUT"));

// Wrong usage: the reason and where to look, with exit status 2.
int usageError(const QStringList& args, const QString& message) {
    fail(message);
    QTextStream(stderr) << "Try '" << args.first() << " --help'." << Qt::endl;
    return 2;
}

enum class Output { None, Required };

// Parses a command's arguments. Gives -1 when the command should run, else the
// exit status (0 after --help, 2 after wrong usage).
int parse(QCommandLineParser& parser, const QStringList& args, const QString& description,
          const QStringList& positionals, Output output) {
    parser.setApplicationDescription(description);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    if (output == Output::Required)
        parser.addOption(OutputOption);
    if (!parser.parse(args))
        return usageError(args, parser.errorText());
    if (parser.isSet(help)) {
        // Qt's usage line names the executable; ours names the command and its arguments.
        QString usage = QStringLiteral("Usage: %1 %2").arg(args.first(), positionals.join(' '));
        if (output == Output::Required)
            usage += QStringLiteral(" -o OUTPUT");
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')), usage + QStringLiteral(" [options]"));
        QTextStream(stdout) << text;
        return 0;
    }
    const QStringList given = parser.positionalArguments();
    if (given.size() < positionals.size())
        return usageError(args, QStringLiteral("missing %1").arg(positionals.at(given.size())));
    if (given.size() > positionals.size())
        return usageError(
            args, QStringLiteral("unexpected argument '%1'").arg(given.at(positionals.size())));
    if (output == Output::Required && parser.value(OutputOption).isEmpty())
        return usageError(args, QStringLiteral("missing -o OUTPUT"));
    return -1;
}

int fileFailure(const QString& path, const QString& reason) {
    return fail(QStringLiteral("%1: %2").arg(path, reason));
}

// Writes a book read or imported from input to the -o file.
int writeBook(BookResult& read, const QString& input, const QString& output) {
    if (!read.ok)
        return fileFailure(input, read.error);
    const files::SaveResult saved = files::saveBookFile(read.book, output);
    if (!saved.ok)
        return fileFailure(files::pbfPath(output), saved.error);
    if (saved.adjusted > 0)
        QTextStream(stderr) << "quorix-cli: " << files::pbfPath(output)
                            << ": note: " << saved.adjusted
                            << " text(s) or kind(s) adjusted to fit the file (CR, Ctrl+Z and a "
                               "name's leading control byte became blanks, kinds the file "
                               "cannot hold became unknown)"
                            << Qt::endl;
    QTextStream(stdout) << saved.status << Qt::endl;
    return 0;
}

int runShow(const QStringList& args) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("BOOK"),
                                 QStringLiteral("The phonebook file (.pbf)."));
    if (const int status = parse(parser, args,
                                 QStringLiteral("Prints a phonebook file: each name, then its "
                                                "numbers, texts and caller group, indented with "
                                                "their kind."),
                                 {QStringLiteral("BOOK")}, Output::None);
        status >= 0)
        return status;
    const QString input = parser.positionalArguments().first();
    const BookResult read = files::loadBookFile(input);
    if (!read.ok)
        return fileFailure(input, read.error);
    QTextStream(stdout) << describeBook(read.book);
    return 0;
}

// A command that reads one file and writes the book as a phonebook file.
int readAndWrite(const QStringList& args, const QString& description, const QString& inputHelp,
                 BookResult (*read)(const QString&)) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("INPUT"), inputHelp);
    if (const int status =
            parse(parser, args, description, {QStringLiteral("INPUT")}, Output::Required);
        status >= 0)
        return status;
    const QString input = parser.positionalArguments().first();
    BookResult book = read(input);
    return writeBook(book, input, parser.value(OutputOption));
}

int runConvert(const QStringList& args) {
    return readAndWrite(
        args, QStringLiteral("Reads a phonebook file and writes it again, with CR LF line ends."),
        QStringLiteral("The phonebook file to read."), files::loadBookFile);
}

// A whole number of at least 1 from an option, or -1 after reporting it.
int positiveOption(const QCommandLineParser& parser, const QString& name, int fallback,
                   QString& error) {
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (ok && value >= 1)
        return value;
    error = QStringLiteral("--%1 takes a whole number from 1 up, not '%2'")
                .arg(name, parser.value(name));
    return -1;
}

int runImportCsv(const QStringList& args) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("INPUT"),
                                 QStringLiteral("The CSV file to import."));
    const files::CsvSettings defaults;
    const auto number = [&](const char* name, const char* what, int value) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name),
                                            QStringLiteral("%1 (default %2).").arg(what).arg(value),
                                            QStringLiteral("N")));
    };
    number("name-column", "Column of the name", defaults.nameColumn);
    number("first-column", "First column of numbers and texts", defaults.firstColumn);
    number("last-column",
           "Last column of numbers and texts; below the first column, only "
           "names are imported",
           defaults.lastColumn);
    number("first-line", "First line to import; the lines before it are skipped",
           defaults.firstLine);
    parser.addOption(QCommandLineOption(QStringLiteral("separator"),
                                        QStringLiteral("The field separator: one character, or "
                                                       "'tab' (default ';')."),
                                        QStringLiteral("C")));
    parser.addOption(QCommandLineOption(QStringLiteral("quotes"),
                                        QStringLiteral("Fields are in double quotes: a separator "
                                                       "inside quotes belongs to the field, and "
                                                       "the quotes are dropped.")));
    const int status =
        parse(parser, args,
              QStringLiteral("Imports a CSV file, one name a line, and writes it as a "
                             "phonebook file. A field of only the characters "
                             "#*+0123456789pw becomes a General number, any other a "
                             "Note; more than five numbers or two texts go on in a "
                             "name \"NAME (2)\"."),
              {QStringLiteral("INPUT")}, Output::Required);
    if (status >= 0)
        return status;

    files::CsvSettings settings;
    QString error;
    settings.nameColumn =
        positiveOption(parser, QStringLiteral("name-column"), defaults.nameColumn, error);
    settings.firstColumn =
        positiveOption(parser, QStringLiteral("first-column"), defaults.firstColumn, error);
    settings.lastColumn =
        positiveOption(parser, QStringLiteral("last-column"), defaults.lastColumn, error);
    settings.firstLine =
        positiveOption(parser, QStringLiteral("first-line"), defaults.firstLine, error);
    if (parser.isSet(QStringLiteral("separator"))) {
        const QString sep = parser.value(QStringLiteral("separator"));
        if (sep == QLatin1String("tab"))
            settings.separator = '\t';
        else if (sep.size() == 1 && sep.at(0).unicode() <= 0xff)
            settings.separator = char(sep.at(0).unicode());
        else
            error = QStringLiteral("--separator takes one Latin-1 character or 'tab', not '%1'")
                        .arg(sep);
    }
    settings.quotes = parser.isSet(QStringLiteral("quotes"));
    if (!error.isEmpty())
        return usageError(args, error);

    const QString input = parser.positionalArguments().first();
    BookResult read = files::importCsv(input, settings);
    return writeBook(read, input, parser.value(OutputOption));
}

int runImport9110(const QStringList& args) {
    return readAndWrite(args,
                        QStringLiteral("Imports a Nokia Communicator 9110 export and writes it "
                                       "as a phonebook file."),
                        QStringLiteral("The Communicator 9110 export (.txt)."), files::import9110);
}

} // namespace

// Control characters (C0, DEL, C1, line and paragraph separators) would drive
// or break the terminal, so they show as "?".
QString terminalText(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029)
            c = u'?';
    }
    return text;
}

QList<Command> fileCommands() {
    return {
        {"show", "print the names and subentries of a phonebook file", runShow},
        {"convert", "read a phonebook file and write it again", runConvert},
        {"import-csv", "import a CSV file into a phonebook file", runImportCsv},
        {"import-9110", "import a Communicator 9110 export into a phonebook file", runImport9110},
    };
}

} // namespace quorix::cli
