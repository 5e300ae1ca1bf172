#pragma once

#include "app/ProfileFile.h"

#include <QByteArray>
#include <QString>

namespace quorix {

// The user's settings kept between runs in "quorix7.ini", section "CONFIG".
// The connection dialog and the CSV import dialog read and set these values;
// the main window reads them from the file at its first show and writes them
// back when it closes.
struct Config {
    static constexpr const char* FileName = "quorix7.ini";
    static constexpr const char* Section = "CONFIG";
    static constexpr int PortCount = 4;  // "COM 1" .. "COM 4"
    static constexpr int CableCount = 2; // "DAU-9P", "DLR-3"
    static constexpr int CsvMin = 1;     // the CSV counters run from 1 to 100
    static constexpr int CsvMax = 100;

    int port = 0;  // 0-based: 0 = COM1 .. 3 = COM4
    int cable = 1; // 0 = DAU-9P, 1 = DLR-3
    int csvName = 1;
    int csvStart = 2;
    int csvStop = 7;
    int csvLine = 1;
    bool csvQuotes = false;
    QString csvSep = QStringLiteral(";"); // the separator field; its first character counts
    // A serial device path the connection dialog uses instead of the COM choice
    // (a USB adapter, a pseudo-terminal); empty for the COM choice.
    QByteArray device;

    // The settings a file holds; a missing file, section or key, and a value
    // that is not a number or out of range, give the default.
    static Config read(const ProfileFile& file);
    // Sets the eight keys in the file's order of writing: PORT, CABLE, CSV_NAME,
    // CSV_START, CSV_STOP, CSV_LINE, CSV_SEP, CSV_QUOTES; then DEVICE, but only
    // when there is a device or the file had one to clear, so that a file of
    // someone who never chose a device keeps just the eight keys.
    void write(ProfileFile& file) const;

    friend bool operator==(const Config&, const Config&) = default;
};

} // namespace quorix
