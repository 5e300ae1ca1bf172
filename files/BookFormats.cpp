#include "BookFormats.h"

#include "CsvExport.h"
#include "VCard.h"

#include "model/BookModel.h"

namespace quorix::files {

BookFormat formatOf(const QString& path) {
    if (path.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive) ||
        path.endsWith(QLatin1String(".vcard"), Qt::CaseInsensitive))
        return BookFormat::VCard;
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return BookFormat::Csv;
    return BookFormat::Pbf;
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
