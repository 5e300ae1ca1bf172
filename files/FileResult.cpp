#include "FileResult.h"

#include "model/BookModel.h"

#include <QDir>
#include <QFileInfo>

namespace quorix::files {

namespace {

// Moves every name and note of from into to, dropping to's own; linear.
void replaceNames(Book& to, Book& from) {
    to.clear();
    while (!from.isEmpty())
        to.insertName(to.entryCount(), from.takeName(0));
    to.entryNotes = std::move(from.entryNotes);
    from.entryNotes.clear();
    to.rootExpanded = true;
}

} // namespace

void adoptLoadedBook(Book& live, BookResult& loaded) {
    replaceNames(live, loaded.book);
    live.bookFileName = loaded.path;
    live.bookChanged = false;
}

void adoptLoadedBook(BookModel& model, BookResult& loaded) {
    model.rebuild([&](Book& live) { adoptLoadedBook(live, loaded); });
}

void adoptImportedBook(Book& live, BookResult& imported) {
    replaceNames(live, imported.book);
    live.bookChanged = true;
}

void adoptImportedBook(BookModel& model, BookResult& imported) {
    model.rebuild([&](Book& live) { adoptImportedBook(live, imported); });
}

QString fullPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace quorix::files
