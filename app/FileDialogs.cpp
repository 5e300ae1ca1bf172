#include "app/FileDialogs.h"

#include "app/MessageBoxes.h"
#include "files/FileResult.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>

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
    // A format's own message stands first as it is; the file and what in it
    // is wrong follow.
    if (isFormatMessage(result.error) && !result.detail.isEmpty())
        MessageBoxes::error(parent, result.error + QLatin1Char('\r') +
                                        QDir::toNativeSeparators(result.path) + QLatin1Char('\r') +
                                        result.detail);
    else if (isFormatMessage(result.error) || result.path.isEmpty())
        MessageBoxes::error(parent, result.error);
    else
        MessageBoxes::error(parent, QDir::toNativeSeparators(result.path) + QLatin1Char('\r') +
                                        result.error);
}

void FileDialogs::setHook(Hook h) {
    hook() = std::move(h);
}

QString FileDialogs::open(QWidget* parent, const QString& title, const QString& filter) {
    return ask(parent, {FileRequest::Mode::Open, title, filter, {}, {}, {}, nullptr});
}

QString FileDialogs::save(QWidget* parent, const QString& title, const QString& filter,
                          const QString& directory, const QString& fileName) {
    return ask(parent, {FileRequest::Mode::Save, title, filter, directory, fileName, {}, nullptr});
}

QString FileDialogs::save(QWidget* parent, const QString& title, const QString& filter,
                          const QString& directory, const QString& fileName,
                          const QString& optionText, bool* option) {
    return ask(parent,
               {FileRequest::Mode::Save, title, filter, directory, fileName, optionText, option});
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
    QCheckBox* option = nullptr;
    if (!request.optionText.isEmpty() && request.option) {
        // The system's own dialog takes no widgets of ours.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        option = new QCheckBox(request.optionText, &dialog);
        option->setChecked(*request.option);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(option, grid->rowCount(), 0, 1, -1);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (option)
        *request.option = option->isChecked();
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
