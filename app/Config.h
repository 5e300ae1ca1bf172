#pragma once

#include "app/ProfileFile.h"
#include "files/Codepage.h"
#include "model/Book.h"

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

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
    files::TextEncoding csvEncoding = files::TextEncoding::Automatic; // of CSV files
    QString csvSep = QStringLiteral(";"); // the separator field; its first character counts
    // A serial device path the connection dialog uses instead of the COM choice
    // (a USB adapter, a pseudo-terminal); empty for the COM choice.
    QByteArray device;
    // The window shows the book as a table instead of the tree.
    bool tableView = false;
    // What a new number starts with and an emptied number becomes: the
    // country prefix; only the characters a number keeps, never empty.
    QString numberPrefix = DefaultNumberPrefix.toString();
    // Where the last export went; the next export of a book without a file
    // starts there. Empty before the first.
    QString exportFolder;

    // The settings a file holds; a missing file, section or key, and a value
    // that is not a number or out of range, give the default.
    static Config read(const ProfileFile& file);

    // Where the settings file is: "quorix7.ini" in startDir when one is there
    // (portable use, and the files of earlier versions), else in the user's
    // configuration folder, ~/.config/quorix/ on Linux.
    static QString locate(const QString& startDir);
    // Sets the eight keys in the file's order of writing: PORT, CABLE, CSV_NAME,
    // CSV_START, CSV_STOP, CSV_LINE, CSV_SEP, CSV_QUOTES; then the ninth,
    // CSV_ENCODING ("auto", "utf-8", "windows-1252"); then DEVICE, but only
    // when there is a device or the file had one to clear, so that a file of
    // someone who never chose a device keeps just the eight keys; then VIEW
    // ("TREE" or "TABLE") once the table was chosen; then NUMBER_PREFIX, only
    // when it is not "+49" or the file had one; then EXPORT_FOLDER once there
    // was an export.
    void write(ProfileFile& file) const;

    // The values the connection dialog sets (port, cable, device, number
    // prefix) taken from other.
    void takeSetupFrom(const Config& other);

    friend bool operator==(const Config&, const Config&) = default;
};

// File > Open recent, kept in the settings file's own section "RECENT" as
// FILE1 (the newest) .. FILE8, so CONFIG keeps its keys.
struct RecentFiles {
    static constexpr const char* Section = "RECENT";
    static constexpr int Count = 8;

    // The paths in the file, newest first, without empty or repeated ones.
    static QStringList read(const ProfileFile& file);
    // Writes the first Count paths; keys of older entries that are no longer
    // there are emptied.
    static void write(ProfileFile& file, const QStringList& paths);
    // The list with path put first (once), cut to Count.
    static QStringList added(QStringList paths, const QString& path);
};

// The main window's place and size (without the window system's frame), in
// the settings file's own section "MAINWINDOW" (LEFT, TOP, WIDTH, HEIGHT),
// written after the other sections.
struct WindowPlace {
    static constexpr const char* Section = "MAINWINDOW";

    // The rectangle kept, or an empty one when the file has none (or a broken one).
    static QRect read(const ProfileFile& file);
    static void write(ProfileFile& file, const QRect& place);
};

} // namespace quorix
