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
// ordinary byte, and a Ctrl+Z byte ends the file. Lines may be of any length;
// the device is read in chunks, so a file is never held whole in memory.
class LineReader {
public:
    explicit LineReader(QIODevice& device) : device_(device) {}

    // True when no line is left: the device is exhausted, a Ctrl+Z was met, or
    // reading failed.
    bool atEnd();
    // The next line without its end; an empty text once the file is at its end.
    QByteArray readLine();

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
};

// Opens path for reading; result.path becomes its full path, and on failure
// result.error the system's text.
bool openForReading(QFile& file, const QString& path, FileResult& result);

// When reading failed: the system's text goes to result.error, the half-read
// book is dropped, and true is returned.
bool readFailed(const LineReader& in, BookResult& result);

} // namespace quorix::files
