#include "app/ReleaseNotesWindow.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorix {

ReleaseNotesWindow::ReleaseNotesWindow(QWidget* parent) : QDialog(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Release Notes"));
    view = new QPlainTextEdit(this);
    view->setReadOnly(true);
    // The notes are laid out for a fixed-width font, at 78 columns.
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    closeButton = buttons->button(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(buttons);

    const QFontMetrics m(view->font());
    resize(m.horizontalAdvance(QLatin1Char('x')) * 84 + 40, m.lineSpacing() * 36 + 60);
}

QStringList ReleaseNotesWindow::places(const QString& startDir) {
    const QString program = QCoreApplication::applicationDirPath();
    QStringList out = {startDir, program};
#ifdef QUORIX_DOCDIR
    out << QStringLiteral(QUORIX_DOCDIR);
#endif
    out << QDir(program).absoluteFilePath(QStringLiteral("../share/doc/quorix"));
#ifdef QUORIX_SOURCE_DIR
    out << QStringLiteral(QUORIX_SOURCE_DIR);
#endif
    for (QString& dir : out)
        dir = QDir::cleanPath(dir);
    out.removeDuplicates();
    return out;
}

QString ReleaseNotesWindow::find(const QString& startDir) {
    for (const QString& dir : places(startDir)) {
        const QString path = QDir(dir).absoluteFilePath(QString::fromLatin1(FileName));
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

bool ReleaseNotesWindow::load(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Our own file, written in UTF-8.
    view->setPlainText(QString::fromUtf8(file.readAll()));
    view->moveCursor(QTextCursor::Start);
    path_ = path;
    setWindowTitle(QStringLiteral("Release Notes - ") + QDir::toNativeSeparators(path));
    return true;
}

} // namespace quorix
