#include "CsvExport.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <vector>

namespace quorix::files {

namespace {

// Our layout's columns after "Name": a kind and how many columns it has.
struct KindColumns {
    int kind;
    int count;
};
constexpr std::array<KindColumns, 10> QuorixColumns = {{{KindGeneral, MaxNumbers},
                                                        {KindMobile, MaxNumbers},
                                                        {KindHome, MaxNumbers},
                                                        {KindOffice, MaxNumbers},
                                                        {KindFax, MaxNumbers},
                                                        {KindEMail, MaxTexts},
                                                        {KindPostalAddress, MaxTexts},
                                                        {KindNote, MaxTexts},
                                                        {KindCallerGroup, MaxGroups},
                                                        {KindUnknown, 1}}};

// Google's columns of each repeated kind.
constexpr int GoogleEMails = MaxTexts;
constexpr int GooglePhones = MaxNumbers;
constexpr int GoogleAddresses = MaxTexts;

// Kinds without a column of their own go with "Unknown".
int columnKind(int kind) {
    for (const KindColumns& c : QuorixColumns)
        if (c.kind == kind)
            return kind;
    return KindUnknown;
}

QString title(int kind, int i) {
    const QString base = QString::fromLatin1(kindName(kind));
    return i == 1 ? base : base + u' ' + QString::number(i);
}

// Google's type of a number of a kind.
QString googleType(int kind) {
    switch (kind) {
    case KindMobile:
        return QStringLiteral("Mobile");
    case KindHome:
        return QStringLiteral("Home");
    case KindOffice:
        return QStringLiteral("Work");
    case KindFax:
        return QStringLiteral("Work Fax");
    default:
        return QStringLiteral("Main");
    }
}

void endRow(QByteArray& out, const QList<QString>& cells) {
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i)
            out += ',';
        out += csvCell(cells[i]);
    }
    out += "\r\n";
}

// The rows of one name in our layout: subentries go into the columns of
// their kind in order; what is left over goes into the next row. The "Order"
// cell lists the columns in the order the name holds its subentries, when
// that is not the order of the columns.
void quorixRows(QByteArray& out, const Name& name) {
    std::array<int, KindCount> first{}; // each kind's first cell; Name is cell 0
    int cells = 1;
    for (const KindColumns& c : QuorixColumns) {
        first[size_t(c.kind)] = cells;
        cells += c.count;
    }
    std::array<int, KindCount> used{};
    std::vector<QList<QString>> rows;
    std::vector<QList<int>> orders;
    for (const Subentry& s : name.subs) {
        const int kind = columnKind(s.kind);
        const int count =
            std::find_if(QuorixColumns.begin(), QuorixColumns.end(), [&](const KindColumns& c) {
                return c.kind == kind;
            })->count;
        const size_t row = size_t(used[size_t(kind)] / count);
        const int cell = first[size_t(kind)] + used[size_t(kind)]++ % count;
        while (rows.size() <= row) {
            rows.emplace_back(cells + 1);
            rows.back()[0] = name.text;
            orders.emplace_back();
        }
        rows[row][cell] = s.text;
        orders[row] << cell + 1;
    }
    if (rows.empty()) {
        rows.emplace_back(cells + 1);
        rows.back()[0] = name.text;
        orders.emplace_back();
    }
    for (size_t row = 0; row < rows.size(); ++row) {
        if (!std::is_sorted(orders[row].begin(), orders[row].end())) {
            QStringList order;
            for (const int column : orders[row])
                order << QString::number(column);
            rows[row].back() = order.join(u' ');
        }
        endRow(out, rows[row]);
    }
}

void googleRows(QByteArray& out, const Name& name) {
    QList<const Subentry*> phones, emails, addresses;
    QStringList notes;
    QString group;
    for (const Subentry& s : name.subs) {
        if (isNumberKind(s.kind))
            phones << &s;
        else if (s.kind == KindEMail)
            emails << &s;
        else if (s.kind == KindPostalAddress)
            addresses << &s;
        else if (s.kind == KindCallerGroup && group.isEmpty())
            group = s.text;
        else
            notes << s.text; // notes, and what Google has no column for
    }
    const NameParts parts = splitName(name.text);
    for (qsizetype row = 0;; ++row) {
        QList<QString> cells{name.text, parts.given, parts.family,
                             row == 0 ? notes.join(u'\n') : QString(),
                             row == 0 ? group : QString()};
        const auto take = [&](const QList<const Subentry*>& list, int count, auto type) {
            for (int i = 0; i < count; ++i) {
                const qsizetype at = row * count + i;
                const Subentry* s = at < list.size() ? list[at] : nullptr;
                cells << (s ? type(*s) : QString()) << (s ? s->text : QString());
            }
        };
        take(emails, GoogleEMails, [](const Subentry&) { return QStringLiteral("Other"); });
        take(phones, GooglePhones, [](const Subentry& s) { return googleType(s.kind); });
        take(addresses, GoogleAddresses, [](const Subentry&) { return QStringLiteral("Home"); });
        endRow(out, cells);
        if ((row + 1) * GoogleEMails >= emails.size() &&
            (row + 1) * GooglePhones >= phones.size() &&
            (row + 1) * GoogleAddresses >= addresses.size())
            break;
    }
}

QList<QString> googleHeader() {
    QList<QString> h{QStringLiteral("Name"), QStringLiteral("Given Name"),
                     QStringLiteral("Family Name"), QStringLiteral("Notes"),
                     QStringLiteral("Group Membership")};
    const auto pairs = [&](const char* what, int count, const char* type, const char* value) {
        for (int i = 1; i <= count; ++i)
            h << QStringLiteral("%1 %2 - %3")
                     .arg(QLatin1String(what))
                     .arg(i)
                     .arg(QLatin1String(type))
              << QStringLiteral("%1 %2 - %3")
                     .arg(QLatin1String(what))
                     .arg(i)
                     .arg(QLatin1String(value));
    };
    pairs("E-mail", GoogleEMails, "Type", "Value");
    pairs("Phone", GooglePhones, "Type", "Value");
    pairs("Address", GoogleAddresses, "Type", "Formatted");
    return h;
}

} // namespace

QByteArray csvCell(const QString& text) {
    // Formula guard as the OWASP CSV-injection advice has it. Leading quotes
    // are looked past so that the guard is undone exactly on import.
    static const QRegularExpression plainNumber(QStringLiteral("^\\+[0-9]+$"));
    qsizetype quotes = 0;
    while (quotes < text.size() && text.at(quotes) == u'\'')
        ++quotes;
    QString cell = text;
    if (quotes < text.size()) {
        const QChar c = text.at(quotes);
        const bool formula =
            c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
        if (formula && (quotes > 0 || !plainNumber.match(text).hasMatch()))
            cell.prepend(u'\'');
    }
    QByteArray bytes = cell.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

NameParts splitName(const QString& name) {
    const QString n = name.simplified();
    if (const qsizetype comma = n.indexOf(u','); comma >= 0)
        return {n.mid(comma + 1).trimmed(), n.left(comma).trimmed()};
    const qsizetype space = n.lastIndexOf(u' ');
    if (space < 0)
        return {n, {}};
    return {n.left(space), n.mid(space + 1)};
}

QByteArray csvText(const Book& book, const CsvExportOptions& options) {
    QByteArray out = options.bom ? QByteArray("\xef\xbb\xbf") : QByteArray();
    const bool google = options.layout == CsvLayout::Google;
    if (google) {
        endRow(out, googleHeader());
    } else {
        QList<QString> header{QStringLiteral("Name")};
        for (const KindColumns& c : QuorixColumns)
            for (int i = 1; i <= c.count; ++i)
                header << title(c.kind, i);
        endRow(out, header << QStringLiteral("Order"));
    }
    for (const auto& name : book) {
        if (google)
            googleRows(out, *name);
        else
            quorixRows(out, *name);
    }
    return out;
}

FileResult saveCsv(const Book& book, const QString& path, const CsvExportOptions& options) {
    return writeWholeFile(path, csvText(book, options));
}

} // namespace quorix::files
