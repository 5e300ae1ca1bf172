#pragma once

#include "files/CsvImport.h"

#include <QDialog>
#include <vector>

class QCheckBox;
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
// the chosen file, and imports the file in place of the book. The settings
// live in the main window's configuration and stay for the whole run; the
// file is chosen anew at every showing.
class CsvImportDialog : public QDialog {
    Q_OBJECT
public:
    explicit CsvImportDialog(MainWindow& main);

    // Shows the dialog, modal for the application, and asks for a file (after
    // the question about unsaved changes). Returns while the dialog stays up.
    void showDialog();

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
    void chooseFile();
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
