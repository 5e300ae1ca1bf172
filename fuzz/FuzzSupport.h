#pragma once
// What the fuzz targets share: the input as Qt bytes or as a device in memory
// for the file readers, a scratch file for the configuration file (which takes
// a path only), a Qt application for the code that uses timers, and a check
// that stops the run on a broken rule.

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: broken rule: %s\n", __FILE__, __LINE__, #cond);           \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace quorix::fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A file of this process that holds the bytes; one per name, written afresh.
inline QString scratchFile(const QByteArray& contents, const char* name = "input") {
    const QString path = QDir::tempPath() + QStringLiteral("/quorix-fuzz-%1-%2")
                                                .arg(QCoreApplication::applicationPid())
                                                .arg(QLatin1String(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(contents) != contents.size())
        std::abort();
    return path;
}

// The bytes as a device open for reading, as a file reader takes them.
class Memory {
public:
    explicit Memory(const QByteArray& bytes) {
        buffer_.setData(bytes);
        buffer_.open(QIODevice::ReadOnly);
    }
    QIODevice& device() { return buffer_; }
    operator QIODevice&() { return buffer_; }

private:
    QBuffer buffer_;
};

// Takes bytes from the front of the input, as the target needs them.
class Input {
public:
    explicit Input(QByteArray data) : data_(std::move(data)) {}
    bool empty() const { return pos_ >= data_.size(); }
    quint8 byte() { return empty() ? 0 : quint8(data_.at(pos_++)); }
    QByteArray take(qsizetype n) {
        const QByteArray out = data_.mid(pos_, n);
        pos_ += out.size();
        return out;
    }
    QByteArray rest() { return take(data_.size() - pos_); }
    // n UTF-16 code units of any value, lone surrogates and zeros included.
    QString text(qsizetype n) {
        const QByteArray b = take(2 * n);
        QString out;
        for (qsizetype i = 0; i + 1 < b.size(); i += 2)
            out.append(QChar(char16_t((quint8(b[i]) << 8) | quint8(b[i + 1]))));
        return out;
    }

private:
    QByteArray data_;
    qsizetype pos_ = 0;
};

// One application for the whole run: timers and queued calls need it.
inline void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "quorix-fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

} // namespace quorix::fuzz
