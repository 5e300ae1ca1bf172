#include "BookFormats.h"

#include "CsvExport.h"
#include "VCard.h"

#include "model/BookModel.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace quorix::files {

BookFormat formatOf(const QString& path) {
    if (path.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive) ||
        path.endsWith(QLatin1String(".vcard"), Qt::CaseInsensitive))
        return BookFormat::VCard;
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return BookFormat::Csv;
    return BookFormat::Pbf;
}

ImportFormat importFormatOf(const QString& path) {
    // A pipe or a device is never waited on.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return ImportFormat::None;
    // The first line is enough; a CR, an LF or a Ctrl+Z ends it.
    QByteArray first = file.read(4096);
    if (first.startsWith("\xEF\xBB\xBF"))
        first.remove(0, 3);
    qsizetype cut = first.size();
    for (const char c : {'\r', '\n', '\x1a'})
        if (const qsizetype at = first.indexOf(c); at >= 0)
            cut = std::min(cut, at);
    const QByteArray line = first.left(cut).trimmed();
    if (line == "[RECORD]")
        return ImportFormat::Communicator9110;
    if (line == PbfHeader || line.startsWith("BEGIN:VCARD"))
        return ImportFormat::None;
    if (formatOf(path) == BookFormat::Csv || line.contains(';') || line.contains(',') ||
        line.contains('\t'))
        return ImportFormat::Csv;
    return ImportFormat::None;
}

BookResult openBook(const QString& path) {
    if (formatOf(path) == BookFormat::VCard)
        return importVCard(path);
    return loadBookFile(path);
}

namespace {
template <typename B>
SaveResult saveIn(B& book, Book& plain, const QString& path, PathRule rule,
                  const CsvExportOptions& csv) {
    const BookFormat format = formatOf(path);
    if (format == BookFormat::Pbf)
        return saveBookFile(book, path, rule);
    Book& book_ = plain;
    SaveResult r;
    static_cast<FileResult&>(r) =
        format == BookFormat::VCard ? saveVCard(book_, path) : saveCsv(book_, path, csv);
    return r;
}
} // namespace

SaveResult saveBook(Book& book, const QString& path, PathRule rule, const CsvExportOptions& csv) {
    return saveIn(book, book, path, rule, csv);
}

SaveResult saveBook(BookModel& model, const QString& path, PathRule rule,
                    const CsvExportOptions& csv) {
    return saveIn(model, model.book(), path, rule, csv);
}

} // namespace quorix::files
