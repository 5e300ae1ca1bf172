#pragma once

#include "phonesim/VirtualPhone.h"

#include <QSet>
#include <QString>
#include <QStringList>

namespace quorix::phonesim {

// The command line of quorix-phonesim.
struct PhoneOptions {
    PhoneSettings settings;
    int memorySize = PhoneMemory::DefaultSize;
    QString bookFile;  // fill the memory from this .pbf
    int generate = -1; // or with this many made-up names
    bool sparse = false;
    QString saveFile;   // write the memory here on exit
    QString linkPath;   // symbolic link to the device
    QString replayFile; // answer as the phone of this line recording did
    bool verbose = false;
};

enum class ParseResult { Run, Help, Version, Error };

// Parses the arguments (the program name first). Gives Help or Version with the text
// to print in message, Error with the complaint in message.
ParseResult parseOptions(const QStringList& arguments, PhoneOptions& options, QString& message);

// "3", "3,7", "10-12,20": the numbers of a list option. False on anything else.
bool parseNumberList(const QString& text, QSet<int>& numbers);

// Builds the memory the options ask for: empty, from the book file or generated.
bool buildMemory(const PhoneOptions& options, PhoneMemory& memory, QString& error);

} // namespace quorix::phonesim
