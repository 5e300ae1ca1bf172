#include "BookFormats.h"

#include "CsvExport.h"
#include "VCard.h"

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

SaveResult saveBook(Book& book, const QString& path) {
    const BookFormat format = formatOf(path);
    if (format == BookFormat::Pbf)
        return saveBookFile(book, path);
    SaveResult r;
    static_cast<FileResult&>(r) = format == BookFormat::VCard ? saveVCard(book, path)
                                                              : saveCsv(book, path);
    return r;
}

} // namespace quorix::files
