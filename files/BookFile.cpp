#include "BookFile.h"

#include "LineReader.h"
#include "model/BookModel.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <vector>

namespace quorix::files {

namespace {

constexpr char LineEnd[] = "\r\n";
constexpr qsizetype WriteChunk = 256 * 1024;
constexpr int KindByteLimit = 16; // a line starting with a byte below this is a subentry

// True when the byte would end a line or the file on reading.
bool breaksLine(char c) {
    return c == '\r' || c == '\x1a';
}

// The text as a line of the file can hold it: bytes that would end the line or
// the file become blanks, and so does a name's first byte below 16, which would
// make the line a subentry.
QByteArray storable(const QByteArray& text, bool isName) {
    const bool badStart = isName && !text.isEmpty() && uchar(text.at(0)) < KindByteLimit;
    if (!badStart && std::none_of(text.begin(), text.end(), breaksLine))
        return text;
    QByteArray out = text;
    for (char& c : out)
        if (breaksLine(c))
            c = ' ';
    if (badStart)
        out[0] = ' ';
    return out;
}

int storableKind(int kind) {
    return kind >= 0 && kind < KindByteLimit && kind != '\r' ? kind : KindUnknown;
}

// A text or kind that is stored other than the book holds it.
struct Adjustment {
    int row;
    int sub; // -1 for the name itself
    QByteArray text;
    int kind;
};

// Writes all bytes; a short write is retried so that a failure leaves the
// system's reason in the file's error text.
bool writeFully(QSaveFile& file, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// Writes the book to an open file; collects what had to be adjusted.
bool writeBook(const Book& book, QSaveFile& file, std::vector<Adjustment>& adjusted) {
    QByteArray chunk;
    chunk.reserve(WriteChunk + 1024);
    const auto flush = [&] {
        const bool ok = writeFully(file, chunk);
        chunk.resize(0); // keeps the allocation for the next chunk
        return ok;
    };
    chunk += PbfHeader;
    chunk += LineEnd;
    int row = 0;
    for (const auto& name : book) {
        const QByteArray text = storable(name->text, true);
        chunk += text;
        chunk += LineEnd;
        if (text.isEmpty())
            adjusted.push_back({row, -1, NoName, 0});
        else if (text != name->text)
            adjusted.push_back({row, -1, text, 0});
        int sub = 0;
        for (const Subentry& s : name->subs) {
            const int kind = storableKind(s.kind);
            const QByteArray subText = storable(s.text, false);
            chunk += char(kind);
            chunk += subText;
            chunk += LineEnd;
            if (kind != s.kind || subText != s.text)
                adjusted.push_back({row, sub, subText, kind});
            ++sub;
        }
        if (chunk.size() >= WriteChunk && !flush())
            return false;
        ++row;
    }
    return flush();
}

template <typename Apply> SaveResult save(const Book& book, const QString& path, Apply apply) {
    SaveResult r;
    r.path = fullPath(pbfPath(path));
    QSaveFile file(r.path);
    // A file the user may write in a folder they may not (no room for the
    // temporary file) is written in place, as editors do; elsewhere the save
    // stays atomic.
    file.setDirectWriteFallback(true);
    std::vector<Adjustment> adjusted;
    // Unbuffered, so a failing write reports the system's reason at once; the
    // text is taken before the file object drops its temporary file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !writeBook(book, file, adjusted) || !file.commit()) {
        r.error = file.errorString();
        return r;
    }
    for (const Adjustment& a : adjusted)
        apply(a);
    r.ok = true;
    r.adjusted = static_cast<int>(adjusted.size());
    r.status = QStringLiteral("Wrote file ") + QFileInfo(r.path).fileName();
    return r;
}

} // namespace

QString pbfPath(const QString& path) {
    return path.contains(QLatin1String(".pbf")) ? path : path + QLatin1String(".pbf");
}

SaveResult saveBookFile(Book& book, const QString& path) {
    SaveResult r = save(book, path, [&](const Adjustment& a) {
        Name& name = book.name(a.row);
        if (a.sub < 0)
            name.text = a.text;
        else
            name.subs[static_cast<size_t>(a.sub)] = Subentry{a.text, a.kind};
    });
    if (r.ok) {
        book.bookFileName = r.path;
        book.bookChanged = false;
    }
    return r;
}

SaveResult saveBookFile(BookModel& model, const QString& path) {
    SaveResult r = save(model.book(), path, [&](const Adjustment& a) {
        Name& name = model.book().name(a.row);
        if (a.sub < 0) {
            model.setNameText(name, a.text);
        } else {
            model.setSubentryText(name, a.sub, a.text);
            model.setSubentryKind(name, a.sub, a.kind);
        }
    });
    if (r.ok) {
        model.book().bookFileName = r.path;
        model.book().bookChanged = false;
    }
    return r;
}

BookResult loadBookFile(const QString& path) {
    BookResult r;
    QFile file;
    if (!openForReading(file, path, r))
        return r;
    LineReader in(file);
    const bool valid = in.readLine() == PbfHeader;
    if (readFailed(in, r))
        return r;
    if (!valid) {
        r.error = QStringLiteral("This is not a valid phonebook!");
        return r;
    }
    Book& book = r.book;
    Name* current = nullptr; // a subentry line before the first name has no owner and is dropped
    while (!in.atEnd()) {
        QByteArray line = in.readLine();
        if (!line.isEmpty() && uchar(line.at(0)) < KindByteLimit) {
            if (current)
                Book::addSubentry(*current, line.mid(1), uchar(line.at(0)));
        } else {
            // Every name goes on top; the flip below restores the file's order.
            current = &book.addAtTop(line.isEmpty() ? QByteArray(NoName) : std::move(line));
        }
    }
    if (readFailed(in, r))
        return r;
    book.flipBook();
    book.rootExpanded = true;
    r.ok = true;
    r.status = QStringLiteral("Opened file ") + QFileInfo(r.path).fileName();
    return r;
}

} // namespace quorix::files
