#include "BookFile.h"

#include "Codepage.h"
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

// True when the character would end a line or the file on reading.
bool breaksLine(QChar c) {
    return c == u'\r' || c == u'\x1a';
}

// The text as a line of the file can hold it: characters that would end the
// line or the file become blanks, and so does a name's first character below
// 16, which would make the line a subentry. Characters the code page lacks are
// left for the encoder, which counts them.
QString storable(const QString& text, bool isName) {
    const bool badStart = isName && !text.isEmpty() && text.at(0).unicode() < KindByteLimit;
    if (!badStart && std::none_of(text.begin(), text.end(), breaksLine))
        return text;
    QString out = text;
    for (QChar& c : out)
        if (breaksLine(c))
            c = u' ';
    if (badStart)
        out[0] = u' ';
    return out;
}

// The bytes of a line's text, and the text as it will read back.
struct Encoded {
    QByteArray bytes;
    QString text;
    int replaced = 0;
};

Encoded encode(const QString& text, bool isName) {
    Encoded e;
    e.text = storable(text, isName);
    e.bytes = encodeCp1252(e.text, &e.replaced);
    if (e.replaced > 0)
        e.text = decodeCp1252(e.bytes);
    return e;
}

int storableKind(int kind) {
    return kind >= 0 && kind < KindByteLimit && kind != '\r' ? kind : KindUnknown;
}

// A text or kind that is stored other than the book holds it.
struct Adjustment {
    int row;
    int sub; // -1 for the name itself
    QString text;
    int kind;
};

// Writes all bytes; a short write is retried so that a failure leaves the
// system's reason in the file's error text.
bool writeFully(QIODevice& file, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// Writes the book to an open file; collects what had to be adjusted.
bool writeBook(const Book& book, QIODevice& file, std::vector<Adjustment>& adjusted,
               int& replaced) {
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
        const Encoded text = encode(name->text, true);
        chunk += text.bytes;
        chunk += LineEnd;
        replaced += text.replaced;
        if (text.text.isEmpty())
            adjusted.push_back({row, -1, QLatin1String(NoName), 0});
        else if (text.text != name->text)
            adjusted.push_back({row, -1, text.text, 0});
        int sub = 0;
        for (const Subentry& s : name->subs) {
            const int kind = storableKind(s.kind);
            const Encoded subText = encode(s.text, false);
            chunk += char(kind);
            chunk += subText.bytes;
            chunk += LineEnd;
            replaced += subText.replaced;
            if (kind != s.kind || subText.text != s.text)
                adjusted.push_back({row, sub, subText.text, kind});
            ++sub;
        }
        if (chunk.size() >= WriteChunk && !flush())
            return false;
        ++row;
    }
    return flush();
}

template <typename Apply>
SaveResult save(const Book& book, const QString& path, PathRule rule, Apply apply) {
    SaveResult r;
    r.path = fullPath(rule == PathRule::AddPbf ? pbfPath(path) : path);
    QSaveFile file(r.path);
    // A file the user may write in a folder they may not (no room for the
    // temporary file) is written in place, as editors do; elsewhere the save
    // stays atomic.
    file.setDirectWriteFallback(true);
    std::vector<Adjustment> adjusted;
    int replaced = 0;
    // Unbuffered, so a failing write reports the system's reason at once; the
    // text is taken before the file object drops its temporary file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !writeBook(book, file, adjusted, replaced) || !file.commit()) {
        r.error = file.errorString();
        return r;
    }
    for (const Adjustment& a : adjusted)
        apply(a);
    r.ok = true;
    r.adjusted = static_cast<int>(adjusted.size());
    r.replaced = replaced;
    r.status = QStringLiteral("Wrote file ") + QFileInfo(r.path).fileName();
    return r;
}

} // namespace

PbfLoss pbfLoss(const Book& book) {
    PbfLoss loss;
    for (const auto& name : book) {
        int here = unmappableCp1252(name->text);
        for (const Subentry& s : name->subs)
            here += unmappableCp1252(s.text);
        loss.characters += here;
        loss.names += here > 0;
    }
    return loss;
}

QString PbfLoss::warning() const {
    const QString chars = characters == 1 ? QStringLiteral("1 character")
                                          : QStringLiteral("%1 characters").arg(characters);
    const QString in =
        names == 1 ? QStringLiteral("1 name") : QStringLiteral("%1 names").arg(names);
    return QStringLiteral("%1 in %2 cannot be stored in a .pbf file and will be saved as \"?\".")
        .arg(chars, in);
}

QString pbfPath(const QString& path) {
    return path.contains(QLatin1String(".pbf")) ? path : path + QLatin1String(".pbf");
}

bool writeBookFile(const Book& book, QIODevice& device, QString& error) {
    std::vector<Adjustment> adjusted;
    int replaced = 0;
    if (writeBook(book, device, adjusted, replaced))
        return true;
    error = device.errorString();
    return false;
}

SaveResult saveBookFile(Book& book, const QString& path, PathRule rule) {
    SaveResult r = save(book, path, rule, [&](const Adjustment& a) {
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

SaveResult saveBookFile(BookModel& model, const QString& path, PathRule rule) {
    SaveResult r = save(model.book(), path, rule, [&](const Adjustment& a) {
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
    BookResult read = readBookFile(file);
    read.path = r.path;
    if (read.ok)
        read.status = QStringLiteral("Opened file ") + QFileInfo(r.path).fileName();
    return read;
}

BookResult readBookFile(QIODevice& device) {
    BookResult r;
    const QString notValid = QStringLiteral("This is not a valid phonebook!");
    LineReader in(device);
    // Only the header's bytes are taken for the check: a longer first line is
    // no header, however long it goes on.
    const bool valid = in.readLine(qsizetype(sizeof(PbfHeader)) - 1) == QByteArrayView(PbfHeader);
    if (in.failed() && readFailed(in, r, notValid))
        return r;
    if (!valid) {
        r.error = notValid;
        return r;
    }
    Book& book = r.book;
    Name* current = nullptr; // a subentry line before the first name has no owner and is dropped
    while (!in.atEnd()) {
        QByteArray line = in.readLine();
        if (!line.isEmpty() && uchar(line.at(0)) < KindByteLimit) {
            if (current)
                Book::addSubentry(*current, decodeCp1252(QByteArrayView(line).sliced(1)),
                                  uchar(line.at(0)));
        } else {
            // Every name goes on top; the flip below restores the file's order.
            current = &book.addAtTop(line.isEmpty() ? QString(QLatin1String(NoName))
                                                    : decodeCp1252(line));
        }
    }
    if (readFailed(in, r, notValid))
        return r;
    book.flipBook();
    book.rootExpanded = true;
    r.ok = true;
    return r;
}

} // namespace quorix::files
