#include "LineReader.h"

#include "FileResult.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace quorix::files {

namespace {
constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char CtrlZ = '\x1a';
constexpr qint64 ChunkSize = 64 * 1024;
} // namespace

QString LineReader::errorString() const {
    return device_.errorString();
}

void LineReader::finish() {
    ended_ = true;
    buffer_.clear();
    pos_ = 0;
}

bool LineReader::fill() {
    if (ended_)
        return false;
    buffer_.resize(ChunkSize);
    const qint64 got = device_.read(buffer_.data(), ChunkSize);
    if (got <= 0) {
        failed_ = got < 0;
        finish();
        return false;
    }
    buffer_.resize(got);
    pos_ = 0;
    return true;
}

bool LineReader::atEnd() {
    for (;;) {
        if (pos_ == buffer_.size() && !fill())
            return true;
        if (pendingLf_) {
            pendingLf_ = false;
            if (buffer_.at(pos_) == LF) {
                ++pos_;
                continue;
            }
        }
        if (buffer_.at(pos_) == CtrlZ) {
            finish();
            return true;
        }
        return false;
    }
}

QByteArray LineReader::readLine(qsizetype limit) {
    QByteArray line;
    if (atEnd())
        return line;
    for (;;) {
        const char* begin = buffer_.constData() + pos_;
        const char* end = buffer_.constData() + buffer_.size();
        const char* stop = std::find_if(begin, end, [](char c) { return c == CR || c == CtrlZ; });
        if (line.size() + (stop - begin) > limit) {
            tooLong_ = true;
            finish();
            return {};
        }
        line.append(begin, stop - begin);
        if (stop != end) {
            if (*stop == CR) {
                pos_ = stop - buffer_.constData() + 1;
                pendingLf_ = true;
            } else {
                finish();
            }
            return line;
        }
        pos_ = buffer_.size();
        if (!fill())
            return line;
    }
}

bool openForReading(QFile& file, const QString& path, FileResult& result) {
    result.path = fullPath(path);
    // Opening a pipe waits for a writer, and a device may never end: only a
    // regular file (or a link to one) is read.
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        result.error = QString::fromLatin1(NotRegularFile);
        return false;
    }
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return true;
    result.error = file.errorString();
    return false;
}

bool readFailed(const LineReader& in, BookResult& result, const QString& formatError) {
    if (!in.failed() && !in.tooLong())
        return false;
    result.error = in.tooLong() ? formatError : in.errorString();
    result.book.clear();
    return true;
}

} // namespace quorix::files
