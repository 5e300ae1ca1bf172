#pragma once

#include <QStringList>

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

// Prints "quorix-cli: <message>" on stderr and gives the failure exit status.
int fail(const QString& message);

} // namespace quorix::cli
