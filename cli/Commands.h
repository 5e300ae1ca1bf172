#pragma once

#include "files/BookFile.h"
#include "files/CsvExport.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

namespace quorix::link {
class FbusLink;
class SerialPort;
struct LinkSettings;
} // namespace quorix::link

namespace quorix {
class BookModel;
}

namespace quorix::cli {

// One sub-command of quorix-cli. args holds the program name followed by the
// command's own arguments, ready for QCommandLineParser::process.
struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& args);
};

// Every command, in the order --help lists them.
const QList<Command>& commands();

// The commands of each area, each in a Cmd*.cpp file of its own.
QList<Command> fileCommands();  // show, convert, import-csv, import-9110
QList<Command> linkCommands();  // status
QList<Command> phoneCommands(); // read, write, demo

// Exit statuses, the same in every command.
enum ExitStatus { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

// Prints "quorix-cli: <message>" on stderr and gives the failure exit status.
int fail(const QString& message);
// A book that could not be opened: "quorix-cli: FILE: reason" on stderr, and
// for a CSV file or a 9110 export the import command that reads it; gives
// the failure exit status.
int bookFailure(const QString& path, const files::FileResult& read);
// Wrong usage: the reason and where to look on stderr; gives ExitUsage.
int usageError(const QStringList& args, const QString& message);
// The closing paragraph of every --help: what the exit statuses mean.
QString exitStatusHelp();
// Parses a command's arguments (args.first() is "quorix-cli COMMAND"). Gives -1
// when the command should run, else the exit status: 0 after --help (printed,
// with the exit statuses), ExitUsage after wrong usage (reported).
int parseCommandLine(QCommandLineParser& parser, const QStringList& args);

// An output file named on the command line: "-" is stdout; anything else is a
// regular file or none yet (a device or directory is refused), and not the
// input file. False with the complaint in error.
bool checkOutput(const QString& output, const QString& input, QString& error);
// Saves the book to the output exactly as named, or to stdout for "-".
// csv says how a CSV file is written.
files::SaveResult saveOutput(Book& book, const QString& output,
                             const files::CsvExportOptions& csv = {});
files::SaveResult saveOutput(BookModel& model, const QString& output,
                             const files::CsvExportOptions& csv = {});

// The options of every command that opens the link: --port, --cable, --trace,
// --record.
struct LinkOptions {
    explicit LinkOptions(const QString& portHelp = QStringLiteral("Serial device, or COM1..COM4."));
    QCommandLineOption port;
    QCommandLineOption cable;
    QCommandLineOption trace;
    QCommandLineOption record;

    void addTo(QCommandLineParser& parser) const {
        parser.addOptions({port, cable, trace, record});
    }
    // The settings the parsed options give (the port need not be set); false
    // with the complaint in error when they name no cable or port we know.
    bool settings(const QCommandLineParser& parser, link::LinkSettings& settings,
                  QString& error) const;
    // With --trace, the link writes its trace to stderr.
    void setUpTrace(const QCommandLineParser& parser, link::FbusLink& link) const;
    // With --record FILE, the port records its line into FILE; false with the
    // file and the reason in error when it cannot be written.
    bool setUpRecording(const QCommandLineParser& parser, link::SerialPort& serial,
                        QString& error) const;
};

// Message texts use single CRs as line breaks; a terminal wants newlines.
QString messageText(const QByteArray& text);
// A text for the terminal, control characters shown as "?" (describeBook already
// shows them so).
QString terminalText(QString text);

} // namespace quorix::cli
