#include "link/LineRecording.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quorix::link {

namespace {

// Bytes per line: short enough to read and to mail.
constexpr qint64 BytesPerLine = 32;
// Far beyond any session (about 30 years), and still exact in a double.
constexpr double MaxMs = 1e12;

QString fileError(const QString& path, const QString& reason) {
    return QStringLiteral("%1: %2").arg(path, reason);
}

bool isHexByte(const QByteArray& token) {
    auto hex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    return token.size() == 2 && hex(token[0]) && hex(token[1]);
}

// One line of a recording into an event; false with the reason.
bool parseEvent(const QByteArray& line, LineEvent& event, QString& reason) {
    const QList<QByteArray> tokens = line.simplified().split(' ');
    if (tokens.size() < 2 || !tokens[0].startsWith('+')) {
        reason = QStringLiteral("a time such as +12.5 and a direction are expected");
        return false;
    }
    bool ok = false;
    event.ms = tokens[0].mid(1).toDouble(&ok);
    if (!ok || !std::isfinite(event.ms) || event.ms < 0 || event.ms > MaxMs) {
        reason = QStringLiteral("\"%1\" is not a time").arg(QString::fromLatin1(tokens[0]));
        return false;
    }
    const QByteArray& what = tokens[1];
    event.bytes.clear();
    if (what == "open") {
        event.kind = LineEvent::Opened;
        event.bytes = tokens.mid(2).join(' ');
        return true;
    }
    if (what == "close" && tokens.size() == 2) {
        event.kind = LineEvent::Closed;
        return true;
    }
    if ((what != ">" && what != "<") || tokens.size() < 3) {
        reason = QStringLiteral("\"%1\" is not one of >, <, open, close followed by what they need")
                     .arg(QString::fromLatin1(what.left(20)));
        return false;
    }
    event.kind = what == ">" ? LineEvent::Written : LineEvent::Read;
    for (qsizetype i = 2; i < tokens.size(); ++i) {
        if (!isHexByte(tokens[i])) {
            reason = QStringLiteral("\"%1\" is not a byte in hexadecimal")
                         .arg(QString::fromLatin1(tokens[i].left(20)));
            return false;
        }
        event.bytes += char(tokens[i].toInt(nullptr, 16));
    }
    return true;
}

} // namespace

LineRecorder::~LineRecorder() {
    close();
}

bool LineRecorder::open(const QString& path, QString* error) {
    std::lock_guard g(mutex_);
    file_.close();
    file_.setFileName(path);
    path_ = path;
    error_.clear();
    // Truncated, not saved whole at the end: see the class comment.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error = fileError(path, file_.errorString());
        return false;
    }
    const QByteArray header = QByteArray(LineRecordingMagic) + ' ' +
                              QByteArray::number(LineRecordingVersion) +
                              "\n# Every byte on the serial line: > to the phone, < from it; "
                              "times in ms.\n";
    if (file_.write(header) != header.size() || !file_.flush()) {
        if (error)
            *error = fileError(path, file_.errorString());
        file_.close();
        return false;
    }
    clock_.start();
    return true;
}

void LineRecorder::close() {
    std::lock_guard g(mutex_);
    file_.close();
}

bool LineRecorder::isOpen() const {
    std::lock_guard g(mutex_);
    return file_.isOpen();
}

QString LineRecorder::errorString() const {
    std::lock_guard g(mutex_);
    return error_;
}

void LineRecorder::setFailureHandler(std::function<void(const QString&)> handler) {
    std::lock_guard g(mutex_);
    failed_ = std::move(handler);
}

void LineRecorder::add(const char* tag, const char* data, qint64 size, bool hex) {
    if (!file_.isOpen())
        return;
    const QByteArray time = '+' + QByteArray::number(double(clock_.nsecsElapsed()) / 1e6, 'f', 1);
    QByteArray text;
    qint64 pos = 0;
    do {
        const qint64 n = hex ? std::min(size - pos, BytesPerLine) : size;
        text += time + ' ' + tag;
        if (n > 0)
            text += ' ' + (hex ? QByteArray(data + pos, n).toHex(' ').toUpper()
                               : QByteArray(data + pos, n));
        text += '\n';
        pos += n;
    } while (pos < size);
    if (file_.write(text) == text.size() && file_.flush())
        return;
    error_ = fileError(path_, file_.errorString());
    file_.close();
    // Told outside the lock, so that the handler may ask us anything.
    if (auto handler = std::exchange(failed_, nullptr)) {
        const QString error = error_;
        mutex_.unlock();
        handler(error);
        mutex_.lock();
    }
}

void LineRecorder::opened(const QByteArray& device) {
    std::lock_guard g(mutex_);
    add("open", device.constData(), device.size(), false);
}

void LineRecorder::closed() {
    std::lock_guard g(mutex_);
    add("close", nullptr, 0, false);
}

void LineRecorder::read(const char* data, qint64 size) {
    if (size <= 0)
        return;
    std::lock_guard g(mutex_);
    add("<", data, size, true);
}

qint64 LineRecorder::written(const char* data, const std::function<qint64()>& write) {
    std::lock_guard g(mutex_);
    const qint64 n = write();
    if (n > 0)
        add(">", data, n, true);
    return n;
}

bool parseLineRecording(const QByteArray& text, QList<LineEvent>& events, QString* error) {
    events.clear();
    auto fail = [&](qsizetype line, const QString& reason) {
        if (error)
            *error = line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(reason) : reason;
        events.clear();
        return false;
    };
    if (text.size() > MaxRecordingSize)
        return fail(0, QStringLiteral("larger than any recording (%1 MiB)")
                           .arg(MaxRecordingSize / (1024 * 1024)));
    QList<QByteArray> lines = text.split('\n');
    // The text after the last line end: empty, or a line the recorder did not
    // finish (it crashed, the disk filled up).
    QByteArray unfinished = lines.takeLast();
    if (lines.isEmpty())
        lines.append(std::exchange(unfinished, {}));
    const QByteArray header = lines[0].trimmed();
    const QByteArray magic = QByteArray(LineRecordingMagic) + ' ';
    if (!header.startsWith(magic))
        return fail(0, QStringLiteral("not a line recording (its first line is not \"%1 %2\")")
                           .arg(QLatin1String(LineRecordingMagic))
                           .arg(LineRecordingVersion));
    bool ok = false;
    const int version = header.mid(magic.size()).toInt(&ok);
    if (!ok || version < 1)
        return fail(1, QStringLiteral("no format version"));
    if (version > LineRecordingVersion)
        return fail(1, QStringLiteral("made in format %1 by a newer Quorix; this one reads "
                                      "format %2")
                           .arg(version)
                           .arg(LineRecordingVersion));
    LineEvent event;
    QString reason;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (!parseEvent(line, event, reason))
            return fail(i + 1, reason);
        events.append(event);
    }
    if (!unfinished.trimmed().isEmpty() && !unfinished.trimmed().startsWith('#') &&
        parseEvent(unfinished.trimmed(), event, reason))
        events.append(event);
    return true;
}

bool readLineRecording(const QString& path, QList<LineEvent>& events, QString* error) {
    events.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = fileError(path, file.errorString());
        return false;
    }
    const QByteArray text = file.read(MaxRecordingSize + 1);
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = fileError(path, file.errorString());
        return false;
    }
    QString reason;
    if (parseLineRecording(text, events, &reason))
        return true;
    if (error)
        *error = fileError(path, reason);
    return false;
}

} // namespace quorix::link
