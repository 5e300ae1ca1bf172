#include "CsvImport.h"

#include "Codepage.h"
#include "Filling.h"
#include "LineReader.h"

#include <QFile>

#include <algorithm>
#include <utility>

namespace quorix::files {

namespace {

constexpr QChar Quote = u'"';
constexpr char CsvLineTooLong[] = "A line is longer than 1 MiB: this is no CSV file of names.";

// Skips the lines of a file before line number line (1-based).
void skipTo(LineReader& in, int line) {
    for (int i = 1; i < line && !in.atEnd(); ++i)
        in.readLine();
}

QString fieldAt(const QStringList& fields, int column) {
    return column >= 1 && column <= fields.size() ? fields.at(column - 1) : QString();
}

} // namespace

QStringList csvFields(const QString& line, QChar separator, bool quotes) {
    // Fields are copied run by run, between the separators and quotes that
    // are not part of them, rather than byte by byte.
    QStringList fields;
    fields.reserve(line.count(separator) + 1);
    QString field;
    bool inQuotes = false;
    qsizetype run = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        const bool ends = !inQuotes && c == separator;
        if (!ends && !(quotes && c == Quote))
            continue;
        field.append(QStringView(line).sliced(run, i - run));
        run = i + 1;
        if (ends) {
            fields.append(std::move(field));
            field = QString();
        } else {
            inQuotes = !inQuotes;
        }
    }
    field.append(QStringView(line).sliced(run));
    fields.append(std::move(field));
    return fields;
}

QString csvField(const QString& line, int column, QChar separator, bool quotes) {
    return fieldAt(csvFields(line, separator, quotes), column);
}

QString csvSample(const CsvSettings& s) {
    const QString quote = s.quotes ? QString(Quote) : QString();
    const int count =
        std::min(std::max({10, s.nameColumn, s.firstColumn, s.lastColumn}), CsvSettingMax);
    QString sample;
    for (int i = 1; i <= count; ++i) {
        sample += quote;
        if (i == s.nameColumn)
            sample += QLatin1String("Alex Example");
        else if (i >= s.firstColumn && i <= s.lastColumn)
            sample += QLatin1String("+491230");
        sample += quote;
        sample += s.separator;
        sample += u' ';
    }
    return sample;
}

LineResult csvProbe(const QString& path, int lineNumber, TextEncoding encoding) {
    LineResult r;
    QFile file;
    if (!openForReading(file, path, r))
        return r;
    LineResult read = csvProbe(file, lineNumber, encoding);
    read.path = r.path;
    return read;
}

LineResult csvProbe(QIODevice& device, int lineNumber, TextEncoding encoding) {
    LineResult r;
    r.encoding = resolveEncoding(encoding, device);
    LineReader in(device);
    skipTo(in, lineNumber);
    r.line = decodeLine(in.readLine(), r.encoding, lineNumber <= 1);
    if (in.failed() || in.tooLong()) {
        r.error = in.tooLong() ? QString::fromLatin1(CsvLineTooLong) : in.errorString();
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
    BookResult read = importCsv(file, s);
    read.path = r.path;
    return read;
}

BookResult importCsv(QIODevice& device, const CsvSettings& s) {
    BookResult r;
    const TextEncoding encoding = resolveEncoding(s.encoding, device);
    LineReader in(device);
    skipTo(in, s.firstLine);
    bool first = s.firstLine <= 1;
    Filling fill(r.book);
    while (!in.atEnd()) {
        const QString line = decodeLine(in.readLine(), encoding, std::exchange(first, false));
        const QStringList fields = csvFields(line, s.separator, s.quotes);
        fill.startName(fieldAt(fields, s.nameColumn));
        // Columns beyond the line's last field are empty and add nothing.
        const int last = std::min(s.lastColumn, static_cast<int>(fields.size()));
        for (int column = std::max(s.firstColumn, 1); column <= last; ++column) {
            const QString& text = fields.at(column - 1);
            if (text.isEmpty())
                continue;
            const int kind = cleanNumber(text) == text ? KindGeneral : KindNote;
            fill.makeRoom(kind);
            fill.add(text, kind);
        }
        fill.finishName();
    }
    if (readFailed(in, r, QString::fromLatin1(CsvLineTooLong)))
        return r;
    fill.finish();
    r.ok = true;
    return r;
}

} // namespace quorix::files
