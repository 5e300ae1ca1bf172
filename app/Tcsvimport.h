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

class TMain;

// The CSV import dialog: the user sets the columns, the separator, the quotes
// and the first line, compares a made-up line in that layout with a line of
// the chosen file, and imports the file in place of the book. The settings
// live in the main window's configuration and stay for the whole run; the
// file is chosen anew at every showing.
class Tcsvimport : public QDialog {
    Q_OBJECT
public:
    explicit Tcsvimport(TMain& main);

    // Shows the dialog, modal for the application, and asks for a file (after
    // the question about unsaved changes). Returns while the dialog stays up.
    void showDialog();

    bool csvloaded() const { return csvloaded_; }
    // Full path of the chosen file; empty while none is loaded.
    const QString& csvfile() const { return csvfile_; }
    files::CsvSettings settings() const;

    // Controls.
    QGroupBox* columnGroup;
    QGroupBox* settingsGroup;
    QSpinBox* clname;
    QSpinBox* clstart;
    QSpinBox* clstop;
    QSpinBox* startlin;
    QLineEdit* sep;
    QCheckBox* quote;
    QPushButton* startcsv;
    QPushButton* impcancel;
    QPlainTextEdit* sample;
    QPlainTextEdit* probe;

public Q_SLOTS:
    // Brings the button caption and both memos up to date.
    void refreshsample();
    // "Load file" asks for a file again; "Import" imports it and closes.
    void startcsvClick();

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

    TMain& main_;
    int scale_ = 100;
    std::vector<Place> places_;
    QString csvfile_;
    bool csvloaded_ = false;
    QByteArray csvprobe_;
};

} // namespace quorix
