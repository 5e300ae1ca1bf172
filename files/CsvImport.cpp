#include "CsvImport.h"

#include "Codepage.h"
#include "Filling.h"
#include "LineReader.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

namespace quorix::files {

namespace {

constexpr QChar Quote = u'"';
constexpr char CsvLineTooLong[] = "A line is longer than 1 MiB: this is no CSV file of names.";

// The records of a CSV file: a record ends at CR LF, LF or CR, except inside
// quotes when quotes are on, and each is decoded in the file's encoding.
class Records {
public:
    Records(QIODevice& device, TextEncoding encoding, bool quotes)
        : in_(device, LineEnds::Any, quotes ? '"' : 0), encoding_(encoding) {}

    bool atEnd() { return in_.atEnd(); }
    QString next() {
        ++count_;
        return decodeLine(in_.readLine(), encoding_, count_ == 1);
    }
    // Skips the records before record number n (1-based).
    void skipTo(int n) {
        while (count_ + 1 < n && !atEnd())
            next();
    }
    int count() const { return count_; }
    const LineReader& reader() const { return in_; }

private:
    LineReader in_;
    TextEncoding encoding_;
    int count_ = 0;
};

QString fieldAt(const QStringList& fields, int column) {
    return column >= 1 && column <= fields.size() ? fields.at(column - 1) : QString();
}

// The values of a cell that holds several, as Google writes them ("a ::: b").
QStringList values(const QString& cell, bool own) {
    if (own)
        return {cell};
    return cell.split(QStringLiteral(" ::: "), Qt::SkipEmptyParts);
}

// A caller group named in a list of groups or labels ("Family ::: * myContacts",
// "VIP;Friends"): the first one the phone knows, or an empty text.
QString knownGroup(const QString& cell) {
    static const QRegularExpression separators(QStringLiteral("\\s*(:::|;|,)\\s*"));
    for (QString g : cell.split(separators, Qt::SkipEmptyParts)) {
        g = g.trimmed();
        if (g.startsWith(u'*'))
            g = g.mid(1).trimmed();
        for (int i = 1; i < GroupCount; ++i)
            if (g.compare(groupNames[size_t(i)], Qt::CaseInsensitive) == 0)
                return groupNames[size_t(i)];
    }
    return {};
}

// One record of a file with a known header: its name and subentries.
void importRecord(const QStringList& cells, const CsvHeader& h, Filling& fill) {
    using M = CsvMeaning;
    struct Entry {
        qsizetype column;
        QString text;
        int kind;
    };
    std::vector<Entry> entries;
    QString name, nickname, company;
    QStringList nameParts;
    // Address parts by slot: where the address stands, its parts, and whether
    // a whole ("formatted") address of the slot was given instead.
    struct Address {
        qsizetype column = -1;
        QStringList parts;
        bool whole = false;
    };
    QMap<int, Address> addresses;
    QList<qsizetype> order;    // our export's order of the subentries, by column
    QHash<int, QString> types; // phone slot -> its type cell
    for (qsizetype i = 0; i < h.columns.size() && i < cells.size(); ++i)
        if (h.columns[i].meaning == M::NumberType)
            types.insert(h.columns[i].slot, cells[i].trimmed());

    for (qsizetype i = 0; i < h.columns.size() && i < cells.size(); ++i) {
        const CsvColumn& c = h.columns[i];
        const QString cell = csvUnguarded(cells[i]);
        if (cell.isEmpty() || (!h.ownExport && cell.trimmed().isEmpty()))
            continue;
        switch (c.meaning) {
        case M::Name:
            if (name.isEmpty())
                name = cell;
            break;
        case M::GivenName:
        case M::MiddleName:
        case M::FamilyName:
            nameParts << cell.trimmed();
            break;
        case M::Nickname:
            nickname = nickname.isEmpty() ? cell : nickname;
            break;
        case M::Company:
            company = company.isEmpty() ? cell : company;
            break;
        case M::Number:
            for (const QString& v : values(cell, h.ownExport)) {
                const int kind = c.kind ? c.kind : kindOfPhoneType(types.value(c.slot));
                if (h.ownExport)
                    entries.push_back({i, v, kind});
                else if (const std::optional<QString> number = importedNumber(v))
                    entries.push_back({i, *number, kind});
                else // never a number made up from what is none
                    entries.push_back({i, v.trimmed(), KindNote});
            }
            break;
        case M::EMail:
            for (const QString& v : values(cell, h.ownExport))
                entries.push_back({i, h.ownExport ? v : v.trimmed(), KindEMail});
            break;
        case M::Address:
        case M::AddressPart: {
            Address& a = addresses[c.slot ? c.slot : -int(i) - 1];
            if (a.column < 0)
                a.column = i;
            if (c.meaning == M::Address) {
                a.whole = true;
                a.parts = {cell};
            } else if (!a.whole) {
                a.parts << cell.trimmed();
            }
            break;
        }
        case M::Note:
            entries.push_back({i, cell, KindNote});
            break;
        case M::Group:
            if (h.ownExport)
                entries.push_back({i, cell, KindCallerGroup});
            else if (const QString g = knownGroup(cell); !g.isEmpty())
                entries.push_back({i, g, KindCallerGroup});
            break;
        case M::Unknown:
            entries.push_back({i, cell, KindUnknown});
            break;
        case M::Order:
            if (h.ownExport)
                for (const QString& column : cell.split(u' ', Qt::SkipEmptyParts))
                    if (const int n = column.toInt(); n >= 1)
                        order << n - 1;
            break;
        case M::NumberType:
        case M::Ignore:
            break;
        }
    }
    for (const Address& a : addresses)
        entries.push_back({a.column, a.parts.join(QStringLiteral(", ")), KindPostalAddress});
    // Numbers and the caller group first, so that they stay with the first
    // name; then e-mails, addresses and notes, each in column order; what does
    // not fit goes on in "Name (2)".
    const auto rank = [](const Entry& e) {
        const int c = sortClassOf(e.kind);
        return std::tuple(c == ClassGroup ? 0 : c, isTextKind(e.kind) ? e.kind : 0, e.column);
    };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return rank(a) < rank(b); });
    if (!order.isEmpty()) {
        // Our own export says in which order the name held them; a column it
        // does not list keeps its place after the listed ones.
        const auto place = [&](const Entry& e) {
            const qsizetype at = order.indexOf(e.column);
            return at < 0 ? order.size() : at;
        };
        std::stable_sort(entries.begin(), entries.end(),
                         [&](const Entry& a, const Entry& b) { return place(a) < place(b); });
    }

    if (name.isEmpty())
        name = nameParts.join(u' ');
    if (name.isEmpty())
        name = nickname.isEmpty() ? company : nickname;
    fill.startName(name);
    for (Entry& e : entries) {
        fill.makeRoom(e.kind);
        fill.add(std::move(e.text), e.kind);
    }
    fill.finishName();
}

QString lines(int n) {
    return n == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(n);
}

} // namespace

QStringList csvFields(const QString& line, QChar separator, bool quotes) {
    // Fields are copied run by run, between the separators and quotes that
    // are not part of them, rather than character by character.
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
        } else if (inQuotes && i + 1 < line.size() && line.at(i + 1) == Quote) {
            // A doubled quote inside quotes is one quote of the field.
            field.append(Quote);
            run = ++i + 1;
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

LineResult csvProbe(const QString& path, int lineNumber, TextEncoding encoding, bool quotes) {
    LineResult r;
    QFile file;
    if (!openForReading(file, path, r))
        return r;
    LineResult read = csvProbe(file, lineNumber, encoding, quotes);
    read.path = r.path;
    return read;
}

LineResult csvProbe(QIODevice& device, int lineNumber, TextEncoding encoding, bool quotes) {
    LineResult r;
    r.encoding = resolveEncoding(encoding, device);
    Records in(device, r.encoding, quotes);
    in.skipTo(lineNumber);
    r.line = in.next();
    if (in.reader().failed() || in.reader().tooLong()) {
        r.error =
            in.reader().tooLong() ? QString::fromLatin1(CsvLineTooLong) : in.reader().errorString();
        r.line.clear();
        return r;
    }
    r.ok = true;
    return r;
}

std::optional<CsvHeader> readCsvHeader(const QString& path, TextEncoding encoding) {
    // A pipe or a device is no file to look into: the import refuses it.
    QFile file;
    FileResult opened;
    if (!openForReading(file, path, opened))
        return std::nullopt;
    Records in(file, resolveEncoding(encoding, file), true);
    const QString first = in.next();
    for (const QChar separator : {u',', u';', u'\t'}) {
        if (!first.contains(separator))
            continue;
        if (auto h = recogniseCsvHeader(csvFields(first, separator, true))) {
            h->separator = separator;
            return h;
        }
    }
    return std::nullopt;
}

int kindOfPhoneType(const QString& type) {
    const QString t = type.toLower();
    const auto has = [&](const char* word) { return t.contains(QLatin1String(word)); };
    if (has("fax"))
        return KindFax;
    if (has("mobile") || has("cell") || has("iphone") || has("handy"))
        return KindMobile;
    if (has("home"))
        return KindHome;
    if (has("work") || has("business") || has("office"))
        return KindOffice;
    return KindGeneral;
}

QString csvUnguarded(const QString& cell) {
    // The export puts "'" before a cell that a spreadsheet would run, and
    // before one that starts with quotes followed by such a character, so
    // taking one quote off is its exact reverse.
    qsizetype quotes = 0;
    while (quotes < cell.size() && cell.at(quotes) == u'\'')
        ++quotes;
    if (quotes == 0 || quotes == cell.size())
        return cell;
    const QChar c = cell.at(quotes);
    const bool formula =
        c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
    return formula ? cell.mid(1) : cell;
}

QString CsvResult::unreadWarning() const {
    if (unreadFirst == 0)
        return {};
    if (unreadFirst == unreadLast)
        return QStringLiteral("Column %1 holds data that the settings do not import.")
            .arg(unreadFirst);
    return QStringLiteral("Columns %1 to %2 hold data that the settings do not import.")
        .arg(unreadFirst)
        .arg(unreadLast);
}

CsvResult importCsv(const QString& path, const CsvSettings& s) {
    CsvResult r;
    QFile file;
    if (!openForReading(file, path, r))
        return r;
    const QString full = r.path;
    r = importCsv(file, s);
    r.path = full;
    return r;
}

CsvResult importCsv(QIODevice& device, const CsvSettings& s) {
    CsvResult r;
    const TextEncoding encoding = resolveEncoding(s.encoding, device);
    const CsvHeader* header = s.header ? &*s.header : nullptr;
    Records in(device, encoding, header || s.quotes);
    const int firstLine = header ? 2 : s.firstLine;
    in.skipTo(firstLine);
    // The last column the settings read; data beyond it is reported.
    const int lastRead = std::max(s.nameColumn, s.lastColumn >= s.firstColumn ? s.lastColumn : 0);
    Filling fill(r.book);
    while (!in.atEnd()) {
        const QString record = in.next();
        if (header) {
            // A blank line between the contacts of a program's file is no contact.
            if (!record.isEmpty())
                importRecord(csvFields(record, header->separator, true), *header, fill);
            continue;
        }
        const QStringList fields = csvFields(record, s.separator, s.quotes);
        // Column settings below 1 read nothing, so every column may be unread.
        // (Counted in qsizetype: the last column read may be INT_MAX.)
        for (qsizetype column = std::max<qsizetype>(qsizetype(lastRead) + 1, 1);
             column <= fields.size(); ++column)
            if (!fields.at(column - 1).isEmpty()) {
                const int at = static_cast<int>(column);
                r.unreadFirst = r.unreadFirst ? std::min(r.unreadFirst, at) : at;
                r.unreadLast = std::max(r.unreadLast, at);
            }
        fill.startName(fieldAt(fields, s.nameColumn));
        // Columns beyond the line's last field are empty and add nothing.
        const int last = std::min(s.lastColumn, static_cast<int>(fields.size()));
        for (int column = std::max(s.firstColumn, 1); column <= last; ++column) {
            const QString& text = fields.at(column - 1);
            if (text.isEmpty())
                continue;
            // A field that is a number as it stands is one; anything else, a
            // lone "p" or "w" included, stays the text it is.
            const int kind = importedNumber(text) == text ? KindGeneral : KindNote;
            fill.makeRoom(kind);
            fill.add(text, kind);
        }
        fill.finishName();
    }
    if (readFailed(in.reader(), r, QString::fromLatin1(CsvLineTooLong)))
        return r;
    if (r.book.isEmpty()) {
        // Nothing to import is no success: say what the file holds.
        const int count = in.count();
        r.error = QStringLiteral("No names to import: ") +
                  (count == 0 ? QStringLiteral("the file is empty.")
                   : header   ? QStringLiteral("the file holds its header line only.")
                              : QStringLiteral("the file has %1, and the import starts at line %2.")
                                  .arg(lines(count))
                                  .arg(firstLine));
        return r;
    }
    fill.finish();
    r.ok = true;
    return r;
}

} // namespace quorix::files
