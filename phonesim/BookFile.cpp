#include "phonesim/BookFile.h"

#include <QFile>
#include <QSaveFile>

namespace quorix::phonesim {

namespace {

const QByteArray Header("[QUORIX7-File]");

// Lines end at CR; an LF right after a CR belongs to the line end, anywhere else it
// is an ordinary byte (it is the kind byte of a caller group). Ctrl+Z ends the file.
QList<QByteArray> splitLines(QByteArray data) {
    const qsizetype eof = data.indexOf('\x1a');
    if (eof >= 0)
        data.truncate(eof);
    QList<QByteArray> lines;
    qsizetype pos = 0;
    while (pos < data.size()) {
        qsizetype cr = data.indexOf('\r', pos);
        if (cr < 0)
            cr = data.size();
        lines.append(data.mid(pos, cr - pos));
        pos = cr + 1;
        if (pos < data.size() && data[pos] == '\n')
            ++pos;
    }
    return lines;
}

} // namespace

bool readBookFile(const QString& path, Book& book, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QList<QByteArray> lines = splitLines(data);
    if (lines.isEmpty() || lines.front() != Header) {
        *error = QStringLiteral("%1: This is not a valid phonebook!").arg(path);
        return false;
    }
    Book result;
    Name* current = nullptr;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (!line.isEmpty() && quint8(line[0]) < 16) {
            if (current) // a subentry before the first name belongs to nothing
                Book::addSubentry(*current, line.mid(1), quint8(line[0]));
            continue;
        }
        current = &result.insertName(result.entryCount(), line.isEmpty() ? "<No Name>" : line);
    }
    book = std::move(result);
    return true;
}

bool writeBookFile(const QString& path, const Book& book, QString* error) {
    QByteArray data = Header + "\r\n";
    for (const auto& name : book) {
        data += name->text + "\r\n";
        for (const Subentry& s : name->subs)
            data += char(s.kind) + s.text + "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace quorix::phonesim
