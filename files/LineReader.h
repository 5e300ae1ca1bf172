#pragma once

#include <QByteArray>
#include <QString>

class QFile;
class QIODevice;

namespace quorix::files {

struct BookResult;
struct FileResult;

// Reads the lines of a text file the way every reader of ours does: a CR ends a
// line, an LF right after that CR belongs to the line end, any other LF is an
// ordinary byte, and a Ctrl+Z byte ends the file. The device is read in
// chunks, so a file is never held whole in memory, and a line longer than
// MaxLineLength ends the reading: no file of ours has such lines, and a
// device without line ends (/dev/zero) must not fill the memory.
class LineReader {
public:
    static constexpr qsizetype MaxLineLength = 1024 * 1024;

    explicit LineReader(QIODevice& device) : device_(device) {}

    // True when no line is left: the device is exhausted, a Ctrl+Z was met, or
    // reading failed.
    bool atEnd();
    // The next line without its end; an empty text once the file is at its end.
    // A line longer than limit gives an empty text and ends the file: tooLong().
    QByteArray readLine(qsizetype limit = MaxLineLength);
    // True once a line was longer than its limit.
    bool tooLong() const { return tooLong_; }

    // True when reading the device failed; errorString() then says why.
    bool failed() const { return failed_; }
    QString errorString() const;

private:
    bool fill();
    void finish();

    QIODevice& device_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool ended_ = false;     // nothing more will come from the device
    bool pendingLf_ = false; // the last line ended with CR: an LF next is part of it
    bool failed_ = false;
    bool tooLong_ = false;
};

// Why a path that is no regular file is not read.
inline constexpr char NotRegularFile[] =
    "not a regular file (a folder, a pipe or a device); choose a file";

// Opens path for reading; result.path becomes its full path, and on failure
// result.error the system's text, or NotRegularFile for a folder, a pipe or a
// device, which is refused before it is opened.
bool openForReading(QFile& file, const QString& path, FileResult& result);

// When reading failed: the system's text goes to result.error (formatError when
// a line was too long), the half-read book is dropped, and true is returned.
bool readFailed(const LineReader& in, BookResult& result, const QString& formatError);

} // namespace quorix::files
