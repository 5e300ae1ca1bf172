#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>

#include <functional>
#include <mutex>

// A recording of the serial line: every byte written to and read from the port,
// with its time, so that a session with a real phone can be sent in and played
// back. The file is text, one chunk a line:
//
//   quorix-line-recording 1          the format and its version, always first
//   # ...                            a comment
//   +0.0 open /dev/ttyUSB0           the port was opened (the device follows)
//   +1003.4 > 55 55 55 ...           bytes written to the port, towards the phone
//   +1025.0 < 1E 2A 00 7F ...        bytes read from the port, from the phone
//   +5210.9 close                    the port was closed
//
// The time is milliseconds since the recording began, on a monotonic clock. A
// long chunk is spread over several lines with the same time.
namespace quorix::link {

inline constexpr char LineRecordingMagic[] = "quorix-line-recording";
inline constexpr int LineRecordingVersion = 1;

struct LineEvent {
    enum Kind { Opened, Closed, Written, Read };
    Kind kind = Written;
    double ms = 0;
    QByteArray bytes; // the bytes, or the device of Opened
    friend bool operator==(const LineEvent&, const LineEvent&) = default;
};

// Writes a recording as the line is used. Each line goes to the system as soon
// as it is made (written and flushed, not saved at the end): a program that
// crashes or hangs has still left everything up to that moment in the file, and
// that is when a recording is wanted most. Thread-safe: the transmit thread
// writes while the receiving thread reads.
class LineRecorder {
public:
    LineRecorder() = default;
    ~LineRecorder();
    LineRecorder(const LineRecorder&) = delete;
    LineRecorder& operator=(const LineRecorder&) = delete;

    // Creates the file (an earlier one is replaced) and writes the header. False
    // with the file and the system's reason in error.
    bool open(const QString& path, QString* error = nullptr);
    // Ends the recording; what was recorded stays in the file.
    void close();
    bool isOpen() const;
    QString path() const { return path_; }
    // Why recording stopped early (the disk full...), with the file; empty if not.
    QString errorString() const;
    // Called once, on whichever thread met it, when writing the file fails;
    // nothing more is recorded then.
    void setFailureHandler(std::function<void(const QString& error)> handler);

    void opened(const QByteArray& device);
    void closed();
    void read(const char* data, qint64 size);
    // Runs write (which gives the bytes it wrote, or -1) and records what it wrote
    // under the same lock, so that an answer read meanwhile can never be recorded
    // before the bytes it answers.
    qint64 written(const char* data, const std::function<qint64()>& write);

private:
    void add(const char* tag, const char* data, qint64 size, bool hex);

    mutable std::mutex mutex_;
    QFile file_;
    QString path_;
    QString error_;
    QElapsedTimer clock_;
    std::function<void(const QString&)> failed_;
};

// Reads a recording. Gives false with the reason (and the line) in error when
// the text is not a recording of a version we know, or a line is damaged; a
// last line without its line end (a recording cut short) is left out instead.
// Never reads more than MaxRecordingSize bytes.
inline constexpr qsizetype MaxRecordingSize = 64 * 1024 * 1024;
bool parseLineRecording(const QByteArray& text, QList<LineEvent>& events, QString* error);
// The same from a file; the error then names it.
bool readLineRecording(const QString& path, QList<LineEvent>& events, QString* error);

} // namespace quorix::link
