#include "CsvExport.h"

#include <QFileInfo>

#include <array>
#include <vector>

namespace quorix::files {

namespace {

// The column kinds in their order; the last stands for every other kind.
constexpr std::array<int, 10> ColumnKinds = {KindGeneral, KindMobile,        KindHome,
                                             KindOffice,  KindFax,           KindEMail,
                                             KindPostalAddress, KindNote,    KindCallerGroup,
                                             KindUnknown};

int slotOf(int kind) {
    for (size_t i = 0; i < ColumnKinds.size(); ++i)
        if (ColumnKinds[i] == kind)
            return int(i);
    return int(ColumnKinds.size()) - 1;
}

QString header(int slot) {
    const int kind = ColumnKinds[size_t(slot)];
    return kind == KindCallerGroup ? QStringLiteral("Caller group")
                                   : QLatin1String(kindName(kind));
}

QByteArray field(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

} // namespace

QByteArray csvText(const Book& book) {
    // How many columns each kind needs: the most any name has, one at least
    // (none for "Unknown" unless a name has such a subentry).
    std::vector<int> widths(ColumnKinds.size(), 1);
    widths.back() = 0;
    for (const auto& name : book) {
        std::vector<int> count(ColumnKinds.size(), 0);
        for (const Subentry& s : name->subs) {
            const int slot = slotOf(s.kind);
            widths[size_t(slot)] = std::max(widths[size_t(slot)], ++count[size_t(slot)]);
        }
    }
    QByteArray out = "Name";
    for (size_t slot = 0; slot < widths.size(); ++slot)
        for (int i = 1; i <= widths[slot]; ++i)
            out += ',' + field(i == 1 ? header(int(slot))
                                      : header(int(slot)) + u' ' + QString::number(i));
    out += "\r\n";
    for (const auto& name : book) {
        std::vector<QStringList> cells(ColumnKinds.size());
        for (const Subentry& s : name->subs)
            cells[size_t(slotOf(s.kind))] << s.text;
        out += field(name->text);
        for (size_t slot = 0; slot < widths.size(); ++slot)
            for (int i = 0; i < widths[slot]; ++i)
                out += ',' + (i < cells[slot].size() ? field(cells[slot][i]) : QByteArray());
        out += "\r\n";
    }
    return out;
}

FileResult saveCsv(const Book& book, const QString& path) {
    return writeWholeFile(path, csvText(book));
}

} // namespace quorix::files
