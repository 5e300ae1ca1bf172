#include "CsvImport.h"

#include "Filling.h"
#include "LineReader.h"

#include <QFile>

#include <algorithm>

namespace quorix::files {

namespace {

constexpr char Quote = '"';

// Skips the lines of a file before line number line (1-based).
void skipTo(LineReader& in, int line) {
    for (int i = 1; i < line && !in.atEnd(); ++i)
        in.readLine();
}

QByteArray fieldAt(const QByteArrayList& fields, int column) {
    return column >= 1 && column <= fields.size() ? fields.at(column - 1) : QByteArray();
}

} // namespace

QByteArrayList csvFields(const QByteArray& line, char separator, bool quotes) {
    // Fields are copied run by run, between the separators and quotes that
    // are not part of them, rather than byte by byte.
    QByteArrayList fields;
    fields.reserve(line.count(separator) + 1);
    QByteArray field;
    bool inQuotes = false;
    qsizetype run = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        const bool ends = !inQuotes && c == separator;
        if (!ends && !(quotes && c == Quote))
            continue;
        field.append(QByteArrayView(line).sliced(run, i - run));
        run = i + 1;
        if (ends) {
            fields.append(std::move(field));
            field = QByteArray();
        } else {
            inQuotes = !inQuotes;
        }
    }
    field.append(QByteArrayView(line).sliced(run));
    fields.append(std::move(field));
    return fields;
}

QByteArray csvField(const QByteArray& line, int column, char separator, bool quotes) {
    return fieldAt(csvFields(line, separator, quotes), column);
}

QByteArray csvSample(const CsvSettings& s) {
    const QByteArray quote = s.quotes ? QByteArray(1, Quote) : QByteArray();
    const int count =
        std::min(std::max({10, s.nameColumn, s.firstColumn, s.lastColumn}), CsvSettingMax);
    QByteArray sample;
    for (int i = 1; i <= count; ++i) {
        sample += quote;
        if (i == s.nameColumn)
            sample += "Alex Example";
        else if (i >= s.firstColumn && i <= s.lastColumn)
            sample += "+491230";
        sample += quote;
        sample += s.separator;
        sample += ' ';
    }
    return sample;
}

LineResult csvProbe(const QString& path, int lineNumber) {
    LineResult r;
    QFile file;
    if (!openForReading(file, path, r))
        return r;
    LineReader in(file);
    skipTo(in, lineNumber);
    r.line = in.readLine();
    if (in.failed()) {
        r.error = in.errorString();
        r.line.clear();
        return r;
    }
    r.ok = true;
    return r;
}

BookResult importCsv(const QString& path, const CsvSettings& s) {
    BookResult r;
    QFile file;
    if (!openForReading(file, path, r))
        return r;
    LineReader in(file);
    skipTo(in, s.firstLine);
    Filling fill(r.book);
    while (!in.atEnd()) {
        const QByteArrayList fields = csvFields(in.readLine(), s.separator, s.quotes);
        fill.startName(fieldAt(fields, s.nameColumn));
        // Columns beyond the line's last field are empty and add nothing.
        const int last = std::min(s.lastColumn, static_cast<int>(fields.size()));
        for (int column = std::max(s.firstColumn, 1); column <= last; ++column) {
            const QByteArray& text = fields.at(column - 1);
            if (text.isEmpty())
                continue;
            const int kind = cleanNumber(text) == text ? KindGeneral : KindNote;
            fill.makeRoom(kind);
            fill.add(text, kind);
        }
        fill.finishName();
    }
    if (readFailed(in, r))
        return r;
    fill.finish();
    r.ok = true;
    return r;
}

} // namespace quorix::files
