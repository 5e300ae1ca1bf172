#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;

namespace quorix {

// Help > Release Notes: "Release_Notes.txt" in a read-only viewer of its own,
// so that no text editor needs to be installed.
class ReleaseNotesWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* FileName = "Release_Notes.txt";

    explicit ReleaseNotesWindow(QWidget* parent = nullptr);

    // The folders searched, in this order: the folder the program was started
    // in, the program's own folder (a build tree), the installed documentation
    // folder (also relative to the program, for a moved installation), and the
    // source tree the program was built from.
    static QStringList places(const QString& startDir);
    // The first release notes found in places(), or empty.
    static QString find(const QString& startDir);

    // Shows the file; false with the system's text in error when it cannot be read.
    bool load(const QString& path, QString* error = nullptr);
    const QString& path() const { return path_; }

    QPlainTextEdit* view;
    QPushButton* closeButton;

private:
    QString path_;
};

} // namespace quorix
