#include "app/FileDialogs.h"

#include "app/MessageBoxes.h"
#include "files/FileResult.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace quorix {

namespace {

FileDialogs::Hook& hook() {
    static FileDialogs::Hook h;
    return h;
}

// Where the next dialog starts when it is not told: where the last one ended,
// as the system's own dialogs do.
QString& lastDirectory() {
    static QString dir;
    return dir;
}

// The messages of the file formats; every other error text is the system's.
bool isFormatMessage(const QString& text) {
    return text == QLatin1String("This is not a valid phonebook!") ||
           text == QLatin1String("Invalid format!");
}

} // namespace

QStringList FileRequest::nameFilters() const {
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Several patterns are separated by ";" here and by blanks in Qt.
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out;
}

void FileDialogs::error(QWidget* parent, const files::FileResult& result) {
    if (isFormatMessage(result.error) || result.path.isEmpty())
        MessageBoxes::error(parent, result.error);
    else
        MessageBoxes::error(parent, QDir::toNativeSeparators(result.path) + QLatin1Char('\r') +
                                        result.error);
}

void FileDialogs::setHook(Hook h) {
    hook() = std::move(h);
}

QString FileDialogs::open(QWidget* parent, const QString& title, const QString& filter) {
    return ask(parent, {FileRequest::Mode::Open, title, filter, {}, {}});
}

QString FileDialogs::save(QWidget* parent, const QString& title, const QString& filter,
                          const QString& directory, const QString& fileName) {
    return ask(parent, {FileRequest::Mode::Save, title, filter, directory, fileName});
}

QString FileDialogs::ask(QWidget* parent, const FileRequest& request) {
    if (hook())
        return hook()(request);

    const bool saving = request.mode == FileRequest::Mode::Save;
    QFileDialog dialog(parent, request.title,
                       request.directory.isEmpty() ? lastDirectory() : request.directory);
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The descriptions are shown as they are written; the patterns are in them
    // where they are meant to be seen.
    dialog.setOptions(QFileDialog::HideNameFilterDetails | QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(request.nameFilters());
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    lastDirectory() = QFileInfo(chosen).absolutePath();
    return chosen;
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace quorix
