#include "Import9110.h"

#include "Codepage.h"
#include "Filling.h"
#include "LineReader.h"

#include <QFile>

#include <utility>

namespace quorix::files {

namespace {

// Walks an export line by line; the line last read is the current line.
class Walker {
public:
    // An export's lines end with CR LF, LF or CR.
    Walker(QIODevice& device, TextEncoding encoding)
        : in_(device, LineEnds::Any), encoding_(encoding) {}

    bool atEnd() { return in_.atEnd(); }
    // Reads the next line; at the end of the file the line becomes empty.
    const QByteArray& read() {
        gotLine_ = !in_.atEnd();
        line_ = in_.readLine();
        // The tags are ASCII; a byte-order mark would hide the first one.
        if (std::exchange(first_, false) && encoding_ == TextEncoding::Utf8 &&
            line_.startsWith("\xef\xbb\xbf"))
            line_.remove(0, 3);
        return line_;
    }
    QString text() const { return decodeLine(line_, encoding_); }
    const QByteArray& line() const { return line_; }
    // False when the last read met the end of the file instead of a line.
    bool gotLine() const { return gotLine_; }
    bool is(const char* tag) const { return line_ == QByteArrayView(tag); }
    // Reads on until the current line is the tag or the file ends.
    void skipTo(const char* tag) {
        while (!is(tag) && !atEnd())
            read();
    }
    const LineReader& reader() const { return in_; }

private:
    LineReader in_;
    TextEncoding encoding_;
    bool first_ = true;
    QByteArray line_;
    bool gotLine_ = false;
};

// The kind a field type gives, or -1 for a field that is not imported.
int kindOf(const QByteArray& type) {
    if (type == "Tel")
        return KindGeneral;
    if (type == "Fax")
        return KindFax;
    if (type == "Mail")
        return KindEMail;
    if (type == "Address")
        return KindPostalAddress;
    return -1;
}

// One record from its "[RECORD]" on: the Name field, then the other fields up
// to "[RECORD-END]" or the end of the file.
void readRecord(Walker& w, Filling& fill) {
    w.skipTo("[RECORD]");
    w.skipTo("[FIELD]");
    if (w.read() != "Name")
        return; // a record that does not start with its name is skipped
    w.skipTo("[FIELD-DATA]");
    w.read();
    fill.startName(w.is("[FIELD-END]") ? QString() : w.text());
    QStringList notNumbers;
    while (!w.is("[RECORD-END]") && !w.atEnd()) {
        if (w.read() != "[FIELD]")
            continue;
        int kind = kindOf(w.read());
        if (kind < 0)
            continue;
        // Room is made before the data is looked at, so a field without data
        // can still open a continuation name.
        fill.makeRoom(kind);
        w.skipTo("[FIELD-NAME]");
        if (w.read() == "GSM/PCN" && kind == KindGeneral)
            kind = KindMobile;
        w.skipTo("[FIELD-DATA]");
        // A file that ends before the data line adds nothing, not an empty text.
        if (w.read() == "[FIELD-END]" || !w.gotLine())
            continue;
        const QString data = w.text();
        if (!isNumberKind(kind)) {
            fill.add(data, kind);
        } else if (const std::optional<QString> number = importedNumber(data)) {
            fill.add(*number, kind);
        } else if (!data.trimmed().isEmpty()) {
            notNumbers << data.trimmed();
        }
    }
    // A number field that holds no number: a Note, after the fields that are
    // what they say, in a continuation name when this one is full.
    for (const QString& text : notNumbers) {
        fill.makeRoom(KindNote);
        fill.add(text, KindNote);
    }
    fill.finishName();
}

} // namespace

BookResult import9110(const QString& path, TextEncoding encoding) {
    BookResult r;
    QFile file;
    if (!openForReading(file, path, r))
        return r;
    const QString full = r.path;
    r = import9110(file, encoding);
    r.path = full;
    return r;
}

BookResult import9110(QIODevice& device, TextEncoding encoding) {
    BookResult r;
    Walker w(device, resolveEncoding(encoding, device));
    const QString invalid = QStringLiteral("Invalid format!");
    const QByteArray first = w.read();
    const bool valid = first == "[RECORD]";
    if (readFailed(w.reader(), r, invalid))
        return r;
    if (!valid) {
        r.error = invalid;
        r.detail = !w.gotLine() ? QStringLiteral("The file is empty.")
                                : QStringLiteral("The first line is not \"[RECORD]\".");
        return r;
    }
    Filling fill(r.book);
    while (!w.atEnd())
        readRecord(w, fill);
    if (readFailed(w.reader(), r, invalid))
        return r;
    if (r.book.isEmpty()) {
        r.error = QStringLiteral("No names to import: no record starts with a Name field.");
        return r;
    }
    fill.finish();
    r.ok = true;
    r.status = QStringLiteral("Import finished.");
    return r;
}

} // namespace quorix::files
