#include "Commands.h"

#include "files/BookFile.h"
#include "files/BookFormats.h"
#include "files/CsvImport.h"
#include "files/Import9110.h"

#include "model/BookMerge.h"
#include "model/BookModel.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <array>

namespace quorix::cli {

namespace {

using files::BookResult;

const QCommandLineOption OutputOption({QStringLiteral("o"), QStringLiteral("output")},
                                      QStringLiteral("The file to write, exactly as named ('-' "
                                                     "for stdout): a vCard file (.vcf), a CSV "
                                                     "file (.csv) or else a phonebook file. An "
                                                     "existing file is replaced only once the new "
                                                     "one is written whole."),
                                      QStringLiteral("OUTPUT"));

const QCommandLineOption AddToOption(
    QStringLiteral("add-to"),
    QStringLiteral("Add the input's names to the names of BOOK (a phonebook or vCard file) and "
                   "write them all to OUTPUT, which may be BOOK itself. A name BOOK holds "
                   "already (case, accents and \"Family, Given\" aside) takes the input's "
                   "numbers and texts it lacks, or goes on in \"Name (2)\" when they do not "
                   "fit."),
    QStringLiteral("BOOK"));

const QCommandLineOption
    StrictOption(QStringLiteral("strict"),
                 QStringLiteral("Write no phonebook file that would lose characters (a .pbf holds "
                                "Windows-1252 only); exit with 1 instead of warning."));

const QCommandLineOption
    EncodingOption(QStringLiteral("encoding"),
                   QStringLiteral("The file's character set: auto (UTF-8 when the file has a UTF-8 "
                                  "byte-order mark or is valid UTF-8, else Windows-1252), utf-8 or "
                                  "windows-1252 (default auto)."),
                   QStringLiteral("auto|utf-8|windows-1252"), QStringLiteral("auto"));

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
        parser.addOptions({OutputOption, AddToOption, StrictOption});
    if (!parser.parse(args))
        return usageError(args, parser.errorText());
    if (parser.isSet(help)) {
        // Qt's usage line names the executable; ours names the command and its arguments.
        QString usage = QStringLiteral("Usage: %1 %2").arg(args.first(), positionals.join(' '));
        if (output == Output::Required)
            usage += QStringLiteral(" -o OUTPUT");
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')), usage + QStringLiteral(" [options]"));
        QTextStream(stdout) << text << '\n' << exitStatusHelp();
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

const Book& bookOf(const Book& book) {
    return book;
}
const Book& bookOf(BookModel& model) {
    return model.book();
}

int fileFailure(const QString& path, const QString& reason) {
    return fail(QStringLiteral("%1: %2").arg(path, reason));
}

// A failed read: the file, the reason, and what in the file is wrong.
int readFailure(const QString& path, const files::FileResult& read) {
    return fileFailure(path, read.detail.isEmpty() ? read.error : read.error + u' ' + read.detail);
}

// Writes a book read or imported from input to the -o file, in the format its
// name says. Characters a .pbf cannot hold are named in a warning (or, with
// --strict, keep the file from being written).
int writeBook(BookResult& read, const QString& input, const QCommandLineParser& parser,
              const files::CsvExportOptions& csv = {}) {
    const QString output = parser.value(OutputOption);
    if (!read.ok)
        return readFailure(input, read);
    if (!read.status.isEmpty() && files::formatOf(input) == files::BookFormat::VCard)
        QTextStream(stderr) << "quorix-cli: " << input << ": " << read.status << Qt::endl;
    if (parser.isSet(AddToOption)) {
        // The book is read whole before anything is written, so OUTPUT may name it.
        const QString base = parser.value(AddToOption);
        BookResult into = files::openBook(base);
        if (!into.ok)
            return bookFailure(base, into);
        const AddCounts counts = addToBook(into.book, read.book);
        read.book = std::move(into.book);
        QTextStream(stderr) << "quorix-cli: " << base << ": " << counts.summary() << Qt::endl;
    }
    const bool pbf =
        output == QLatin1String("-") || files::formatOf(output) == files::BookFormat::Pbf;
    if (const files::PbfLoss loss = files::pbfLoss(read.book); pbf && !loss.isEmpty()) {
        if (parser.isSet(StrictOption))
            return fileFailure(output,
                               loss.warning() + QStringLiteral(" Nothing was written (--strict)."));
        QTextStream(stderr) << "quorix-cli: warning: " << output << ": " << loss.warning()
                            << Qt::endl;
    }
    const files::SaveResult saved = saveOutput(read.book, output, csv);
    if (!saved.ok)
        return fileFailure(output, saved.error);
    if (saved.adjusted > saved.replaced)
        QTextStream(stderr) << "quorix-cli: " << output
                            << ": note: " << saved.adjusted - saved.replaced
                            << " text(s) or kind(s) adjusted to fit the file (CR, Ctrl+Z and a "
                               "name's leading control byte became blanks, kinds the file "
                               "cannot hold became unknown)"
                            << Qt::endl;
    if (output != QLatin1String("-"))
        QTextStream(stdout) << saved.status << Qt::endl;
    return 0;
}

template <typename B>
files::SaveResult saveTo(B& book, const QString& output, const files::CsvExportOptions& csv) {
    if (output != QLatin1String("-"))
        return files::saveBook(book, output, files::PathRule::Exact, csv);
    files::SaveResult r;
    r.path = QStringLiteral("stdout");
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        r.error = out.errorString();
        return r;
    }
    r.ok = files::writeBookFile(bookOf(book), out, r.error);
    return r;
}

int runShow(const QStringList& args) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("BOOK"),
                                 QStringLiteral("The phonebook file (.pbf) or vCard file (.vcf)."));
    if (const int status =
            parse(parser, args,
                  QStringLiteral("Prints a phonebook or vCard file: each name, then its "
                                 "numbers, texts and caller group, indented with "
                                 "their kind."),
                  {QStringLiteral("BOOK")}, Output::None);
        status >= 0)
        return status;
    const QString input = parser.positionalArguments().first();
    const BookResult read = files::openBook(input);
    if (!read.ok)
        return bookFailure(input, read);
    QTextStream(stdout) << describeBook(read.book);
    return 0;
}

// The --encoding option's choice, or false with the complaint in error.
bool encodingOption(const QCommandLineParser& parser, files::TextEncoding& encoding,
                    QString& error) {
    bool ok = false;
    encoding = files::encodingFromName(parser.value(EncodingOption), &ok);
    if (!ok)
        error = QStringLiteral("--encoding takes auto, utf-8 or windows-1252, not '%1'")
                    .arg(parser.value(EncodingOption));
    return ok;
}

const QCommandLineOption BomOption(
    QStringLiteral("bom"),
    QStringLiteral("Start a CSV file with a UTF-8 byte-order mark, which Excel needs to read "
                   "it as UTF-8."));
const QCommandLineOption FormatOption(
    QStringLiteral("format"),
    QStringLiteral("The columns of a CSV file: quorix (Name, General ... Caller group; reads "
                   "back to the same book) or google (Google Contacts' own, which Google "
                   "Contacts and Outlook import). Default quorix."),
    QStringLiteral("quorix|google"), QStringLiteral("quorix"));

int runConvert(const QStringList& args) {
    QCommandLineParser parser;
    parser.addOptions({BomOption, FormatOption});
    parser.addPositionalArgument(QStringLiteral("INPUT"),
                                 QStringLiteral("The phonebook (.pbf) or vCard (.vcf) file to "
                                                "read."));
    if (const int status =
            parse(parser, args,
                  QStringLiteral("Reads a phonebook or vCard file and writes the book as a "
                                 "phonebook, vCard (3.0, UTF-8) or CSV (UTF-8) file, as the "
                                 "output's name says. vCard keeps every character; a phonebook "
                                 "file holds Windows-1252 only and is warned about. A CSV file "
                                 "has the same columns whatever the book holds, and cells a "
                                 "spreadsheet would run as a formula start with \"'\"."),
                  {QStringLiteral("INPUT")}, Output::Required);
        status >= 0)
        return status;
    files::CsvExportOptions csv;
    csv.bom = parser.isSet(BomOption);
    const QString format = parser.value(FormatOption).toLower();
    if (format == QLatin1String("google"))
        csv.layout = files::CsvLayout::Google;
    else if (format != QLatin1String("quorix"))
        return usageError(args,
                          QStringLiteral("--format takes quorix or google, not '%1'").arg(format));
    const QString input = parser.positionalArguments().first();
    if (QString error; !checkOutput(parser.value(OutputOption), input, error))
        return fail(error);
    BookResult book = files::openBook(input);
    if (!book.ok)
        return bookFailure(input, book);
    return writeBook(book, input, parser, csv);
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

// The options that make import-csv read the columns by number.
constexpr std::array<const char*, 4> ColumnOptions = {"name-column", "first-column", "last-column",
                                                      "first-line"};

// "columns read by the header of Thunderbird: Display Name = Name, ..."
QString columnsNote(const files::CsvHeader& header) {
    if (header.ownExport)
        return QStringLiteral("columns read by their titles (%1's own export)").arg(header.program);
    QStringList read;
    for (qsizetype i = 0; i < header.columns.size(); ++i)
        if (header.columns[i].meaning != files::CsvMeaning::Ignore)
            read << header.titles[i] + QStringLiteral(" = ") +
                        files::csvMeaningName(header.columns[i]);
    return QStringLiteral("columns read by their titles (%1): %2")
        .arg(header.program, read.join(QStringLiteral(", ")));
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
    parser.addOption(EncodingOption);
    parser.addOption(QCommandLineOption(QStringLiteral("quotes"),
                                        QStringLiteral("Fields are in double quotes: a separator "
                                                       "inside quotes belongs to the field, a "
                                                       "doubled quote inside them is one quote, "
                                                       "and the other quotes are dropped.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("allow-unread"),
        QStringLiteral("Import even when columns after the last one read hold data.")));
    const int status =
        parse(parser, args,
              QStringLiteral("Imports a CSV file, one name a line, and writes it as a "
                             "phonebook, vCard or CSV file, as the output's name says. When the "
                             "first line is the header of a "
                             "program we know (Quorix, Google Contacts, Outlook, "
                             "Thunderbird, Apple/iCloud), the columns are read by their "
                             "titles and the column options are not needed; giving one "
                             "reads the columns by number instead. By number, a field of "
                             "only the characters #*+0123456789pw becomes a General "
                             "number, any other a Note. More than five numbers or two "
                             "texts go on in a name \"NAME (2)\". A file that gives no "
                             "name, or whose columns after the last one read hold data, "
                             "is not imported (exit status 1)."),
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
            settings.separator = u'\t';
        else if (sep.size() == 1)
            settings.separator = sep.at(0);
        else
            error = QStringLiteral("--separator takes one character or 'tab', not '%1'").arg(sep);
    }
    settings.quotes = parser.isSet(QStringLiteral("quotes"));
    if (error.isEmpty())
        encodingOption(parser, settings.encoding, error);
    if (!error.isEmpty())
        return usageError(args, error);

    const QString input = parser.positionalArguments().first();
    if (QString error; !checkOutput(parser.value(OutputOption), input, error))
        return fail(error);
    const bool byNumber =
        std::any_of(ColumnOptions.begin(), ColumnOptions.end(),
                    [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); });
    if (!byNumber) {
        settings.header = files::readCsvHeader(input, settings.encoding);
        // A separator given that the header does not use reads by number.
        if (settings.header && parser.isSet(QStringLiteral("separator")) &&
            settings.header->separator != settings.separator)
            settings.header.reset();
        if (settings.header)
            QTextStream(stderr) << "quorix-cli: " << input << ": " << columnsNote(*settings.header)
                                << Qt::endl;
    }
    files::CsvResult read = files::importCsv(input, settings);
    if (read.ok && read.unreadFirst && !parser.isSet(QStringLiteral("allow-unread")))
        return fileFailure(input,
                           read.unreadWarning() +
                               QStringLiteral(" Nothing was written: give --last-column %1 to "
                                              "import them, or --allow-unread.")
                                   .arg(read.unreadLast));
    return writeBook(read, input, parser);
}

int runImport9110(const QStringList& args) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("INPUT"),
                                 QStringLiteral("The Communicator 9110 export (.txt)."));
    parser.addOption(EncodingOption);
    if (const int status =
            parse(parser, args,
                  QStringLiteral("Imports a Nokia Communicator 9110 export and writes it "
                                 "as a phonebook, vCard or CSV file, as the output's name "
                                 "says."),
                  {QStringLiteral("INPUT")}, Output::Required);
        status >= 0)
        return status;
    files::TextEncoding encoding{};
    if (QString error; !encodingOption(parser, encoding, error))
        return usageError(args, error);
    const QString input = parser.positionalArguments().first();
    if (QString error; !checkOutput(parser.value(OutputOption), input, error))
        return fail(error);
    BookResult read = files::import9110(input, encoding);
    return writeBook(read, input, parser);
}

} // namespace

int bookFailure(const QString& path, const files::FileResult& read) {
    QString reason = read.detail.isEmpty() ? read.error : read.error + u' ' + read.detail;
    const files::ImportFormat format = files::importFormatOf(path);
    if (format != files::ImportFormat::None) {
        const bool csv = format == files::ImportFormat::Csv;
        const QFileInfo info(path);
        reason += QStringLiteral(" %1 looks like %2: import it with \"quorix-cli %3 %4 -o %5\".")
                      .arg(info.fileName(),
                           csv ? QStringLiteral("a CSV file")
                               : QStringLiteral("a Nokia Communicator 9110 export"),
                           csv ? QStringLiteral("import-csv") : QStringLiteral("import-9110"), path,
                           info.completeBaseName() + QStringLiteral(".pbf"));
    }
    return fileFailure(path, reason);
}

bool checkOutput(const QString& output, const QString& input, QString& error) {
    if (output == QLatin1String("-"))
        return true;
    const QFileInfo target(output);
    if (target.exists() && !target.isFile()) {
        error =
            QStringLiteral("%1: not a regular file; name a file, or '-' for stdout").arg(output);
        return false;
    }
    if (!input.isEmpty() && target.exists() &&
        target.canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
        error = QStringLiteral("%1: the output would replace its own input; name another file")
                    .arg(output);
        return false;
    }
    return true;
}

files::SaveResult saveOutput(Book& book, const QString& output,
                             const files::CsvExportOptions& csv) {
    return saveTo(book, output, csv);
}

files::SaveResult saveOutput(BookModel& model, const QString& output,
                             const files::CsvExportOptions& csv) {
    return saveTo(model, output, csv);
}

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
        {"show", "print the names and subentries of a phonebook or vCard file", runShow},
        {"convert", "read a phonebook or vCard file and write it as a phonebook, vCard or CSV file",
         runConvert},
        {"import-csv", "import a CSV file into a phonebook, vCard or CSV file", runImportCsv},
        {"import-9110", "import a Communicator 9110 export into a phonebook, vCard or CSV file",
         runImport9110},
    };
}

} // namespace quorix::cli
