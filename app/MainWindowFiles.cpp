// Phonebook files and the imports.
#include "app/BookTree.h"
#include "app/BookUndo.h"
#include "app/CsvImportDialog.h"
#include "app/FileDialogs.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/StatusPanel.h"
#include "app/SyncDialogs.h"
#include "files/Backups.h"
#include "files/BookFile.h"
#include "files/BookFormats.h"
#include "files/CsvExport.h"
#include "files/Import9110.h"
#include "files/VCard.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QStandardPaths>

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

// Writes the book as a vCard or CSV file (in the CSV layout given), asking for
// its name; the book keeps its own file name. True when the file was written.
bool exportBook(MainWindow& w, files::BookFormat format,
                files::CsvLayout layout = files::CsvLayout::Quorix) {
    const bool vcard = format == files::BookFormat::VCard;
    // Excel takes a CSV file as UTF-8 only with a byte-order mark; the choice
    // stays for the run.
    static bool bom = false;
    const bool google = layout == files::CsvLayout::Google;
    const QString suffix = vcard ? QStringLiteral(".vcf") : QStringLiteral(".csv");
    // The book's folder and name; a book without a file starts where the last
    // export went.
    QString directory = w.settings().exportFolder;
    QString fileName = QStringLiteral("Phonebook") + suffix;
    if (const QString& current = w.phonebook().bookFileName; !current.isEmpty()) {
        const QFileInfo info(current);
        directory = info.absolutePath();
        fileName = info.completeBaseName() + suffix;
    }
    if (directory.isEmpty() || !QFileInfo(directory).isDir())
        directory = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString chosen =
        vcard ? FileDialogs::save(&w, QStringLiteral("Export vCard"),
                                  QStringLiteral("vCard Files|*.vcf"), directory, fileName)
              : FileDialogs::save(&w,
                                  google ? QStringLiteral("Export CSV for Google Contacts")
                                         : QStringLiteral("Export CSV"),
                                  QStringLiteral("CSV Files|*.csv"), directory, fileName,
                                  QStringLiteral("UTF-8 with byte-order mark (for Excel)"), &bom);
    if (chosen.isEmpty())
        return false;
    if (files::formatOf(chosen) != format)
        chosen += suffix;
    if (!mayReplace(w, chosen))
        return false;
    const files::FileResult r = whileBusy([&] {
        return vcard ? files::saveVCard(w.phonebook(), chosen)
                     : files::saveCsv(w.phonebook(), chosen, {layout, bom});
    });
    if (!r.ok) {
        FileDialogs::error(&w, r);
        return false;
    }
    w.settings().exportFolder = QFileInfo(chosen).absolutePath();
    w.setPanel(0, r.status);
    w.treeView()->setFocus();
    return true;
}

} // namespace

// Writes the book; the caption and the book's file name change only when the
// file was really written. Characters the file cannot hold are never dropped
// silently: the user saves anyway, saves a vCard instead, or cancels.
bool writeBook(MainWindow& w, const QString& path) {
    if (const files::PbfLoss loss = files::pbfLoss(w.phonebook()); !loss.isEmpty()) {
        // Saving as vCard loses nothing, so it is what Enter does.
        const auto answer = MessageBoxes::ask(
            &w, Question{QStringLiteral("Confirm"),
                         loss.warning(),
                         QMessageBox::Warning,
                         QMessageBox::Save | QMessageBox::SaveAll | QMessageBox::Cancel,
                         {{QMessageBox::Save, QStringLiteral("Save anyway")},
                          {QMessageBox::SaveAll, QStringLiteral("Save as vCard...")}},
                         QMessageBox::SaveAll});
        if (answer == QMessageBox::SaveAll) {
            if (!exportBook(w, files::BookFormat::VCard))
                return false;
            // Everything is in the vCard file: nothing is left unsaved.
            w.phonebook().bookChanged = false;
            return true;
        }
        if (answer != QMessageBox::Save)
            return false;
    }
    const files::SaveResult r = whileBusy([&] { return files::saveBookFile(w.model(), path); });
    if (!r.ok) {
        FileDialogs::error(&w, r);
        return false;
    }
    w.bookUndo->setSaved();
    w.updateCaption();
    w.setPanel(0, r.status);
    w.treeView()->setFocus();
    w.addRecentFile(w.phonebook().bookFileName);
    return true;
}

namespace {

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
    if (!confirmClose())
        return;
    const QString path = FileDialogs::open(
        this, QStringLiteral("Open Phonebook"),
        QStringLiteral("Phonebook-Files|*.pbf *.vcf *.vcard|Phonebook files (*.pbf)|*.pbf|"
                       "vCard files (*.vcf)|*.vcf *.vcard"));
    if (!path.isEmpty())
        loadBook(path);
}

bool MainWindow::openPath(const QString& path) {
    if (phonebook().transferActive)
        return false;
    // Each import a file can go to is one line here.
    switch (files::formatOf(path)) {
    case files::BookFormat::Csv:
        return csvImportDialog && csvImportDialog->showDialog(path);
    case files::BookFormat::VCard:
        // A vCard is a book of its own: into an empty window it opens as one;
        // beside names it may be added to them instead.
        if (phonebook().isEmpty())
            return confirmClose() && loadBook(path);
        return importVCardFile(path, true);
    case files::BookFormat::Pbf:
        break;
    }
    // Anything else is taken for a phonebook; the file's first line decides.
    return confirmClose() && loadBook(path);
}

bool MainWindow::openRecent(const QString& path) {
    return !phonebook().transferActive && confirmClose() && loadBook(path);
}

bool MainWindow::loadBook(const QString& path) {
    // The file is read into a book of its own, so a file that is not a
    // phonebook, or cannot be read, leaves the book as it was.
    // A vCard opens as the book, and Save keeps it a vCard (see saveBook).
    files::BookResult r = whileBusy([&] { return files::openBook(path); });
    if (!r.ok) {
        FileDialogs::error(this, r);
        // A file that is gone is no longer offered under Open recent.
        if (!QFileInfo::exists(path) && recentFiles_.removeAll(QFileInfo(path).absoluteFilePath()))
            fillRecentMenu();
        return false;
    }
    const bool vcard = files::formatOf(path) == files::BookFormat::VCard;
    files::adoptLoadedBook(*bookModel, r);
    bookUndo->clear();
    updateCaption();
    // A vCard's status is what its reader passed over, if anything.
    setPanel(0, vcard ? QStringLiteral("Opened file ") + QFileInfo(r.path).fileName() +
                            (r.status.isEmpty() ? QString() : QStringLiteral("; ") + r.status)
                      : r.status);
    tree->setFocus();
    addRecentFile(phonebook().bookFileName);
    return true;
}

void MainWindow::saveFile() {
    saveBook();
}

void MainWindow::saveFileAs() {
    saveAs(*this);
}

bool MainWindow::saveBook() {
    const QString current = phonebook().bookFileName;
    if (current.isEmpty())
        return saveAs(*this);
    if (files::formatOf(current) == files::BookFormat::VCard)
        return saveVCardBook();
    // A book opened from a file without ".pbf" in its name is written beside
    // it under the name with ".pbf" added, which may be another book's file.
    const QString target = files::fullPath(files::pbfPath(current));
    if (target != current && !mayReplace(*this, target))
        return false;
    return writeBook(*this, current);
}

bool MainWindow::saveVCardBook() {
    const QString current = phonebook().bookFileName;
    // Asked once for each vCard opened: after that, Save writes the vCard.
    if (vcardKept_ != current) {
        const auto answer = MessageBoxes::choose(
            this, QStringLiteral("Confirm"),
            QLatin1Char('"') + QFileInfo(current).fileName() +
                QStringLiteral("\" is a vCard file. Keep it as vCard?\rvCard keeps every "
                               "character; a phonebook file (.pbf) is the program's own format."),
            QStringLiteral("Save as vCard"), QStringLiteral("Save as phonebook..."));
        if (answer == QMessageBox::No)
            return saveAs(*this);
        if (answer != QMessageBox::Yes)
            return false;
        vcardKept_ = current;
    }
    const files::FileResult r = whileBusy([&] { return files::saveVCard(phonebook(), current); });
    if (!r.ok) {
        FileDialogs::error(this, r);
        return false;
    }
    phonebook().bookChanged = false;
    bookUndo->setSaved();
    updateCaption();
    setPanel(0, r.status);
    tree->setFocus();
    addRecentFile(current);
    return true;
}

void MainWindow::exportVCardFile() {
    exportBook(*this, files::BookFormat::VCard);
}

void MainWindow::exportCsvFile() {
    exportBook(*this, files::BookFormat::Csv);
}

void MainWindow::exportGoogleCsvFile() {
    if (!phonebook().transferActive)
        exportBook(*this, files::BookFormat::Csv, files::CsvLayout::Google);
}

bool MainWindow::importVCardFile(const QString& given, bool opens) {
    const QString path = !given.isEmpty()
                             ? given
                             : FileDialogs::open(this, QStringLiteral("Import vCard - file"),
                                                 QStringLiteral("vCard Files|*.vcf|All files|*.*"));
    if (path.isEmpty())
        return false;
    files::VCardResult r = whileBusy([&] { return files::importVCard(path); });
    if (!r.ok) {
        FileDialogs::error(this, r);
        return false;
    }
    // "12 contacts, 3 photos and 5 birthdays skipped"
    if (!adoptImport(r, QStringLiteral("Import vCard file"), r.report(), opens))
        return false;
    tree->setFocus();
    return true;
}

void MainWindow::restoreFromBackup() {
    if (phonebook().transferActive || !confirmClose())
        return;
    BackupListDialog dialog(files::BackupFolder().newest(), this);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenPath().isEmpty())
        return;
    const QString path = dialog.chosenPath();
    files::VCardResult r = whileBusy([&] { return files::importVCard(path); });
    if (!r.ok) {
        FileDialogs::error(this, r);
        return;
    }
    // In place of the book, as one undo step; a book of no file.
    Book fresh;
    files::adoptImportedBook(fresh, r);
    {
        const BookStepScope step(*bookModel, QStringLiteral("Restore from backup"));
        bookModel->replaceContent(fresh);
    }
    phonebook().bookChanged = true;
    phonebook().bookFileName.clear();
    updateCaption();
    setPanel(0, QStringLiteral("Restored %1").arg(path));
    tree->setFocus();
}

bool MainWindow::openDroppedFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const char* known : {"pbf", "vcf", "vcard", "csv"})
        if (suffix == QLatin1String(known)) {
            openPath(path);
            return true;
        }
    return false;
}

namespace {
// The one local file of a drop whose kind the window takes, or an empty text.
QString droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile())
        return {};
    const QString path = data->urls().front().toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const char* known : {"pbf", "vcf", "vcard", "csv"})
        if (suffix == QLatin1String(known))
            return path;
    return {};
}
} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!phonebook().transferActive && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QMainWindow::dragEnterEvent(event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) {
        QMainWindow::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    // Not inside the drop: the questions and dialogs it may bring are modal.
    QMetaObject::invokeMethod(
        this, [this, path] { openDroppedFile(path); }, Qt::QueuedConnection);
}

void MainWindow::importCsvFile() {
    if (csvImportDialog)
        csvImportDialog->showDialog();
}

void MainWindow::import9110File() {
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
    if (!adoptImport(r, QStringLiteral("Import 9110 file"), r.status)) {
        setPanel(0, before);
        return;
    }
    tree->setFocus();
}

} // namespace quorix
