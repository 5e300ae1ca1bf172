// Phonebook files and the imports.
#include "app/BookTree.h"
#include "app/BookUndo.h"
#include "app/CsvImportDialog.h"
#include "app/FileDialogs.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "files/BookFile.h"
#include "files/Import9110.h"

#include <QFileInfo>
#include <QLabel>

namespace quorix {

namespace {

// Asks before an existing file is replaced; true when it may be.
bool mayReplace(MainWindow& w, const QString& target) {
    if (!QFileInfo::exists(target))
        return true;
    return MessageBoxes::ask(&w, QStringLiteral("Confirm"),
                             QLatin1Char('"') + QFileInfo(target).fileName() +
                                 QStringLiteral("\" already exists. Overwrite?"),
                             QMessageBox::Question,
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// Writes the book; the caption and the book's file name change only when the
// file was really written.
bool writeBook(MainWindow& w, const QString& path) {
    const files::SaveResult r = whileBusy([&] { return files::saveBookFile(*w.bookModel, path); });
    if (!r.ok) {
        FileDialogs::error(&w, r);
        return false;
    }
    w.bookUndo->setSaved();
    w.updateCaption();
    w.setPanel(0, r.status);
    w.tree->setFocus();
    return true;
}

bool saveAs(MainWindow& w) {
    QString directory, fileName;
    if (const QString& current = w.phonebook().bookFileName; !current.isEmpty()) {
        const QFileInfo info(current);
        directory = info.absolutePath();
        fileName = info.fileName();
    }
    const QString chosen =
        FileDialogs::save(&w, QStringLiteral("Save Phonebook"),
                          QStringLiteral("Phonebook Files|*.pbf"), directory, fileName);
    if (chosen.isEmpty())
        return false;
    // The question is about the file that will be replaced: the chosen name
    // with ".pbf" added where it has none.
    if (!mayReplace(w, files::pbfPath(chosen)))
        return false;
    return writeBook(w, chosen);
}

} // namespace

void MainWindow::openFile() {
    if (phonebook().transferActive || !confirmClose())
        return;
    const QString path = FileDialogs::open(this, QStringLiteral("Open Phonebook"),
                                           QStringLiteral("Phonebook-Files|*.pbf"));
    if (path.isEmpty())
        return;
    // The file is read into a book of its own, so a file that is not a
    // phonebook, or cannot be read, leaves the book as it was.
    files::BookResult r = whileBusy([&] { return files::loadBookFile(path); });
    if (!r.ok) {
        FileDialogs::error(this, r);
        return;
    }
    files::adoptLoadedBook(*bookModel, r);
    bookUndo->clear();
    updateCaption();
    setPanel(0, r.status);
    tree->setFocus();
}

void MainWindow::saveFile() {
    saveBook();
}

void MainWindow::saveFileAs() {
    if (!phonebook().transferActive)
        saveAs(*this);
}

bool MainWindow::saveBook() {
    if (phonebook().transferActive)
        return false;
    const QString current = phonebook().bookFileName;
    if (current.isEmpty())
        return saveAs(*this);
    // A book opened from a file without ".pbf" in its name is written beside
    // it under the name with ".pbf" added, which may be another book's file.
    const QString target = files::fullPath(files::pbfPath(current));
    if (target != current && !mayReplace(*this, target))
        return false;
    return writeBook(*this, current);
}

void MainWindow::importCsvFile() {
    if (!phonebook().transferActive && csvImportDialog)
        csvImportDialog->showDialog();
}

void MainWindow::import9110File() {
    if (phonebook().transferActive || !confirmClose())
        return;
    const QString path = FileDialogs::open(this, QStringLiteral("Import Nokia 9110 - file"),
                                           QStringLiteral("Textfiles|*.txt|All files|*.*"));
    if (path.isEmpty())
        return;
    const QString before = panelText(0);
    setPanel(0, QStringLiteral("Importing..."));
    panelLabel(0)->repaint();
    files::BookResult r = whileBusy([&] { return files::import9110(path); });
    if (!r.ok) {
        setPanel(0, before);
        FileDialogs::error(this, r);
        return;
    }
    // The names come collapsed under the open root; the book counts as
    // changed and has no file name.
    adoptImport(r, QStringLiteral("Import 9110 file"));
    setPanel(0, r.status);
    tree->setFocus();
}

} // namespace quorix
