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

// Every command; each lives in a Cmd*.cpp file of its own.
const QList<Command>& commands();

// Prints "quorix-cli: <message>" on stderr and gives the failure exit status.
int fail(const QString& message);

} // namespace quorix::cli
