#pragma once

#include "files/CsvImport.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace quorix {

class MainWindow;

// The CSV import dialog: the user sets the columns, the separator, the quotes
// and the first line, compares a made-up line in that layout with a line of
// the chosen file, and imports the file into the book (MainWindow::adoptImport).
// The settings live in the main window's configuration and stay for the whole
// run; the file is chosen anew at every showing.
class CsvImportDialog : public QDialog {
    Q_OBJECT
public:
    explicit CsvImportDialog(MainWindow& main);

    // Shows the dialog, modal for the application, and asks for a file.
    // Returns while the dialog stays up.
    // Shows the dialog and asks for a file; with a path (a file dropped on the
    // window, given on the command line or chosen in Open recent) that file is
    // taken instead. True when a file is loaded.
    bool showDialog(const QString& path = {});

    bool csvLoaded() const { return csvLoaded_; }
    // Full path of the chosen file; empty while none is loaded.
    const QString& csvFile() const { return csvFile_; }
    files::CsvSettings settings() const;

    // Controls.
    QGroupBox* columnGroup;
    QGroupBox* settingsGroup;
    QSpinBox* nameColumnBox;
    QSpinBox* firstColumnBox;
    QSpinBox* lastColumnBox;
    QSpinBox* firstLineBox;
    QLineEdit* separatorEdit;
    QCheckBox* quotesBox;
    QComboBox* encodingBox; // Automatic, UTF-8, Windows-1252
    QPushButton* importButton;
    QPushButton* cancelButton;
    QPlainTextEdit* sample;
    QPlainTextEdit* probe;

public Q_SLOTS:
    // Brings the button caption and both memos up to date.
    void refreshSample();
    // "Load file" asks for a file again; "Import" imports it and closes.
    void startImport();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void layoutControls();
    // The start of a showing: no file, the close question, the file dialog.
    void chooseFile(const QString& given = {});
    // Reads the probe line of the file; false (and said why) when it cannot.
    bool readProbe(const QString& path);
    void dropFile();
    void fromConfig();
    void toConfig();

    // Where a control stands at design size (left, top, width, height),
    // relative to the box or dialog that holds it.
    struct Place {
        QWidget* widget;
        QRect box;
    };

    MainWindow& main_;
    int scale_ = 100;
    std::vector<Place> places_;
    QString csvFile_;
    bool csvLoaded_ = false;
    QString probeLine_;
};

} // namespace quorix
