#include "BookFile.h"

#include "files/BookFile.h"
#include "files/BookFormats.h"

namespace quorix::phonesim {

bool readBookFile(const QString& path, Book& book, QString* error) {
    files::BookResult loaded = files::openBook(path);
    if (!loaded.ok) {
        if (error)
            *error = loaded.error;
        return false;
    }
    book = std::move(loaded.book);
    return true;
}

bool writeBookFile(const QString& path, const Book& book, QString* error) {
    // The writer may blank bytes a .pbf cannot hold, so it works on a copy.
    Book copy;
    for (const auto& name : book) {
        Name& n = copy.insertName(copy.entryCount(), name->text);
        n.subs = name->subs;
        n.location = name->location; // a .vcf keeps them; a .pbf has no place for them
        n.phoneContent = name->phoneContent;
    }
    const files::SaveResult saved = files::saveBook(copy, path);
    if (!saved.ok && error)
        *error = saved.error;
    return saved.ok;
}

} // namespace quorix::phonesim
