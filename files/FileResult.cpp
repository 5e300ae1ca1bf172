#include "FileResult.h"

#include "model/BookModel.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace quorix::files {

namespace {

// Moves every name and note of from into to, dropping to's own; linear.
void replaceNames(Book& to, Book& from) {
    to.clear();
    while (!from.isEmpty())
        to.insertName(to.entryCount(), from.takeName(0));
    to.entryNotes = std::move(from.entryNotes);
    from.entryNotes.clear();
    // What the phone holds is the file's word now, not the old book's.
    to.phoneHeld = std::move(from.phoneHeld);
    from.phoneHeld.clear();
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

FileResult writeWholeFile(const QString& path, const QByteArray& bytes) {
    FileResult r;
    r.path = fullPath(path);
    QSaveFile file(r.path);
    file.setDirectWriteFallback(true);
    // Unbuffered: a buffered QSaveFile can lose a failed flush at commit and
    // keep a cut-off file as if it were whole. A short write is followed by
    // another, which fails with the system's reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        r.error = file.errorString();
        return r;
    }
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            r.error = file.errorString();
            return r; // the temporary file goes with the QSaveFile
        }
        done += n;
    }
    if (!file.commit()) {
        r.error = file.errorString();
        return r;
    }
    r.ok = true;
    r.status = QStringLiteral("Wrote file ") + QFileInfo(r.path).fileName();
    return r;
}

} // namespace quorix::files
