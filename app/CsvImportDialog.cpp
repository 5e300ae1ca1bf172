#include "app/CsvImportDialog.h"

#include "app/BookTree.h"
#include "app/FileDialogs.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/Placement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QWindow>

namespace quorix {

namespace {

constexpr int DesignWidth = 414;
constexpr int DesignHeight = 274;
// Below the design: the check box and the table of a known header's columns.
constexpr int HeaderHeight = 170;
constexpr char NotAvailable[] = "Not available!";

QSpinBox* makeCounter(QWidget* parent) {
    auto* s = new QSpinBox(parent);
    s->setRange(Config::CsvMin, Config::CsvMax);
    s->setAlignment(Qt::AlignRight);
    return s;
}

QPlainTextEdit* makeMemo(QWidget* parent) {
    auto* m = new QPlainTextEdit(parent);
    m->setReadOnly(true);
    m->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m->setTabChangesFocus(true);
    return m;
}

} // namespace

CsvImportDialog::CsvImportDialog(MainWindow& main)
    : QDialog(&main, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      main_(main) {
    setWindowTitle(QStringLiteral("CSV - Import"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    const auto label = [](QWidget* parent, const char* text) {
        return new QLabel(QString::fromLatin1(text), parent);
    };

    columnGroup = new QGroupBox(QStringLiteral("Column of"), this);
    QLabel* nameLabel = label(columnGroup, "Name:");
    nameColumnBox = makeCounter(columnGroup);
    QLabel* firstColumnLabel = label(columnGroup, "First entry:");
    firstColumnBox = makeCounter(columnGroup);
    QLabel* lastColumnLabel = label(columnGroup, "Last entry:");
    lastColumnBox = makeCounter(columnGroup);

    settingsGroup = new QGroupBox(QStringLiteral("Settings"), this);
    QLabel* sepLabel = label(settingsGroup, "Separator:");
    QFont bold = small;
    bold.setBold(true);
    sepLabel->setFont(bold);
    separatorEdit = new QLineEdit(settingsGroup);
    separatorEdit->setAlignment(Qt::AlignCenter);
    QLabel* firstLineLabel = label(settingsGroup, "First Line:");
    firstLineBox = makeCounter(settingsGroup);
    quotesBox = new QCheckBox(QStringLiteral("Data in Quotes (\")"), settingsGroup);
    QLabel* encodingLabel = label(this, "Encoding:");
    encodingBox = new QComboBox(this);
    // In the order of files::TextEncoding.
    encodingBox->addItems(
        {QStringLiteral("Automatic"), QStringLiteral("UTF-8"), QStringLiteral("Windows-1252")});
    encodingLabel->setBuddy(encodingBox);

    importButton = new QPushButton(QStringLiteral("Load file"), this);
    importButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);

    QLabel* expected = label(this, "Data expected:");
    sample = makeMemo(this);
    QLabel* inFile = label(this, "Data in file:");
    probe = makeMemo(this);
    expected->setBuddy(sample);
    inFile->setBuddy(probe);

    byHeaderBox = new QCheckBox(this);
    columnTable = new QTableWidget(0, 2, this);
    columnTable->setHorizontalHeaderLabels(
        {QStringLiteral("Column"), QStringLiteral("Imported as")});
    columnTable->horizontalHeader()->setStretchLastSection(true);
    columnTable->verticalHeader()->setVisible(false);
    columnTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(byHeaderBox, &QCheckBox::toggled, this, [this] { enableSettings(); });

    // Column and line counters, the separator and the quotes change the sample
    // at once; the name column and the first line also pick the probe line.
    const auto reprobe = [this] {
        if (csvLoaded_ && !readProbe(csvFile_))
            dropFile();
        toConfig();
        refreshSample();
    };
    const auto changed = [this] {
        toConfig();
        refreshSample();
    };
    connect(nameColumnBox, &QSpinBox::valueChanged, this, reprobe);
    connect(firstLineBox, &QSpinBox::valueChanged, this, reprobe);
    connect(firstColumnBox, &QSpinBox::valueChanged, this, changed);
    connect(lastColumnBox, &QSpinBox::valueChanged, this, changed);
    connect(quotesBox, &QCheckBox::toggled, this, changed);
    // The probe is read again in the new encoding.
    connect(encodingBox, &QComboBox::currentIndexChanged, this, reprobe);
    // While the separator is being retyped it may be empty for a moment; it
    // falls back to ";" only when the user leaves it so.
    connect(separatorEdit, &QLineEdit::textEdited, this, [this, changed](const QString& text) {
        if (!text.isEmpty())
            changed();
    });
    connect(separatorEdit, &QLineEdit::editingFinished, this, changed);
    connect(importButton, &QPushButton::clicked, this, &CsvImportDialog::startImport);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(nameColumnBox, firstColumnBox);
    setTabOrder(firstColumnBox, lastColumnBox);
    setTabOrder(lastColumnBox, separatorEdit);
    setTabOrder(separatorEdit, firstLineBox);
    setTabOrder(firstLineBox, quotesBox);
    setTabOrder(quotesBox, encodingBox);
    setTabOrder(encodingBox, importButton);
    setTabOrder(importButton, cancelButton);
    setTabOrder(cancelButton, sample);
    setTabOrder(sample, probe);

    // The old design, wider by the room its texts need at 8 pt: the encoding
    // choice and the buttons in the right column, "Separator:" and the quotes
    // box in the settings.
    places_ = {
        {columnGroup, {8, 6, 121, 99}},     {nameLabel, {10, 24, 60, 17}},
        {nameColumnBox, {71, 22, 42, 21}},  {firstColumnLabel, {10, 48, 60, 17}},
        {firstColumnBox, {71, 46, 42, 21}}, {lastColumnLabel, {10, 72, 60, 17}},
        {lastColumnBox, {71, 70, 42, 21}},  {settingsGroup, {136, 6, 150, 99}},
        {sepLabel, {10, 24, 70, 17}},       {separatorEdit, {82, 22, 45, 21}},
        {firstLineLabel, {10, 48, 66, 17}}, {firstLineBox, {82, 46, 45, 21}},
        {quotesBox, {10, 74, 136, 17}},     {importButton, {294, 12, 112, 25}},
        {cancelButton, {294, 44, 112, 25}}, {encodingLabel, {294, 72, 112, 13}},
        {encodingBox, {294, 85, 112, 20}},  {expected, {8, 110, 120, 15}},
        {sample, {8, 126, 398, 62}},        {inFile, {8, 192, 120, 15}},
        {probe, {8, 208, 398, 58}},         {byHeaderBox, {8, 272, 398, 17}},
        {columnTable, {8, 292, 398, 144}},
    };
    scale_ = main_.scale();
    fromConfig();
    showHeader(std::nullopt);
    dropFile();
    refreshSample();
}

void CsvImportDialog::layoutControls() {
    const auto s = [this](int v) { return v * scale_ / 100; };
    setFixedSize(s(DesignWidth), s(DesignHeight + (header_ ? HeaderHeight : 0)));
    for (const Place& p : places_)
        p.widget->setGeometry(s(p.box.x()), s(p.box.y()), s(p.box.width()), s(p.box.height()));
}

files::CsvSettings CsvImportDialog::settings() const {
    files::CsvSettings s;
    s.nameColumn = nameColumnBox->value();
    s.firstColumn = firstColumnBox->value();
    s.lastColumn = lastColumnBox->value();
    s.firstLine = firstLineBox->value();
    const QString typed = separatorEdit->text();
    s.separator = typed.isEmpty() ? QChar(u';') : typed.front();
    s.quotes = quotesBox->isChecked();
    s.encoding = files::TextEncoding(encodingBox->currentIndex());
    if (header_ && byHeaderBox->isChecked()) {
        s.header = header_;
        const QList<files::CsvColumn> choices = files::csvMeaningChoices();
        for (int row = 0; row < columnTable->rowCount(); ++row) {
            const auto* box = qobject_cast<QComboBox*>(columnTable->cellWidget(row, 1));
            files::CsvColumn& c = s.header->columns[row];
            const files::CsvColumn chosen = box->currentData().toInt() < 0
                                                ? header_->columns[row]
                                                : choices.value(box->currentData().toInt());
            // A meaning the user picks keeps the slot the header gave the column.
            c = {chosen.meaning, chosen.kind, header_->columns[row].slot};
        }
    }
    return s;
}

void CsvImportDialog::showHeader(const std::optional<files::CsvHeader>& header) {
    header_ = header;
    columnTable->setRowCount(0);
    byHeaderBox->setVisible(bool(header_));
    columnTable->setVisible(bool(header_));
    if (header_) {
        byHeaderBox->setText(
            QStringLiteral("Read the columns by their titles (%1)").arg(header_->program));
        const QSignalBlocker quiet(byHeaderBox);
        byHeaderBox->setChecked(true);
        const QList<files::CsvColumn> choices = files::csvMeaningChoices();
        columnTable->setRowCount(int(header_->titles.size()));
        for (int row = 0; row < columnTable->rowCount(); ++row) {
            columnTable->setItem(row, 0, new QTableWidgetItem(header_->titles[row]));
            auto* box = new QComboBox(columnTable);
            const files::CsvColumn& c = header_->columns[row];
            const auto at = choices.indexOf(files::CsvColumn{c.meaning, c.kind});
            // A meaning the list does not offer (our own "Unknown") stays as found.
            if (at < 0)
                box->addItem(files::csvMeaningName(c), -1);
            for (int i = 0; i < choices.size(); ++i)
                box->addItem(files::csvMeaningName(choices[i]), i);
            box->setCurrentIndex(at < 0 ? 0 : int(at));
            columnTable->setCellWidget(row, 1, box);
        }
        columnTable->resizeColumnToContents(0);
    }
    layoutControls();
    enableSettings();
}

void CsvImportDialog::enableSettings() {
    const bool byHeader = header_ && byHeaderBox->isChecked();
    columnTable->setEnabled(byHeader);
    for (QWidget* w :
         std::initializer_list<QWidget*>{columnGroup, firstLineBox, separatorEdit, quotesBox})
        w->setEnabled(!byHeader);
}

void CsvImportDialog::fromConfig() {
    const Config& c = main_.settings();
    const QList<std::pair<QSpinBox*, int>> counters = {{nameColumnBox, c.csvName},
                                                       {firstColumnBox, c.csvStart},
                                                       {lastColumnBox, c.csvStop},
                                                       {firstLineBox, c.csvLine}};
    for (const auto& [counter, value] : counters) {
        const QSignalBlocker quiet(counter);
        counter->setValue(value);
    }
    const QSignalBlocker quietQuote(quotesBox);
    quotesBox->setChecked(c.csvQuotes);
    const QSignalBlocker quietEncoding(encodingBox);
    encodingBox->setCurrentIndex(int(c.csvEncoding));
    separatorEdit->setText(c.csvSep);
}

void CsvImportDialog::toConfig() {
    Config& c = main_.settings();
    c.csvName = nameColumnBox->value();
    c.csvStart = firstColumnBox->value();
    c.csvStop = lastColumnBox->value();
    c.csvLine = firstLineBox->value();
    c.csvQuotes = quotesBox->isChecked();
    c.csvSep = separatorEdit->text();
    c.csvEncoding = files::TextEncoding(encodingBox->currentIndex());
}

void CsvImportDialog::refreshSample() {
    importButton->setText(csvLoaded_ ? QStringLiteral("Import") : QStringLiteral("Load file"));
    if (!csvLoaded_)
        probeLine_ = QLatin1String(NotAvailable);
    if (separatorEdit->text().isEmpty()) {
        separatorEdit->setText(QStringLiteral(";"));
        toConfig();
    }
    sample->setPlainText(files::csvSample(settings()));
    probe->setPlainText(probeLine_);
}

bool CsvImportDialog::showDialog(const QString& path) {
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    chooseFile(path);
    return csvLoaded_;
}

void CsvImportDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (scale_ != main_.scale()) {
        scale_ = main_.scale();
        layoutControls();
    }
    // The settings are the configuration's, read at start-up.
    fromConfig();
    QScreen* screen = main_.screen();
    if (screen) {
        QSize frame = size();
        if (windowHandle())
            frame = frame.grownBy(windowHandle()->frameMargins());
        move(centreOn(main_.frameGeometry(), frame, screen->geometry()));
    }
}

void CsvImportDialog::chooseFile(const QString& given) {
    dropFile();
    refreshSample();
    // Cancel leaves the dialog up without a file: "Load file" asks again. The
    // book's unsaved changes are asked about when the import replaces it.
    {
        const QString path =
            !given.isEmpty()
                ? given
                : FileDialogs::open(
                      this, QStringLiteral("Import *.csv - file"),
                      QStringLiteral("Comma Separated Values (*.csv)|*.csv|All files|*.*"));
        if (!path.isEmpty() && readProbe(path)) {
            csvFile_ = files::fullPath(path);
            csvLoaded_ = true;
            showHeader(
                files::readCsvHeader(path, files::TextEncoding(encodingBox->currentIndex())));
        }
    }
    refreshSample();
}

bool CsvImportDialog::readProbe(const QString& path) {
    // The probe shows the first line the import would take.
    const files::LineResult r =
        files::csvProbe(path, firstLineBox->value(),
                        files::TextEncoding(encodingBox->currentIndex()), quotesBox->isChecked());
    if (!r.ok) {
        FileDialogs::error(this, r);
        return false;
    }
    probeLine_ = r.line;
    return true;
}

void CsvImportDialog::dropFile() {
    csvLoaded_ = false;
    csvFile_.clear();
    if (header_)
        showHeader(std::nullopt);
}

void CsvImportDialog::startImport() {
    if (!csvLoaded_) {
        chooseFile();
        return;
    }
    files::CsvResult r = whileBusy([&] { return files::importCsv(csvFile_, settings()); });
    // Data the settings leave out is not lost without a word.
    if (r.ok && r.unreadFirst &&
        MessageBoxes::ask(
            this, QStringLiteral("Confirm"), r.unreadWarning() + QStringLiteral("\rImport anyway?"),
            QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!r.ok) {
        // The book stays as it was; the file is asked for again.
        FileDialogs::error(this, r);
        dropFile();
        refreshSample();
        return;
    }
    // The import ends, as every fill of the book does, with the flip's "OK.".
    // Cancelled, the dialog stays up with its file.
    if (main_.adoptImport(r, QStringLiteral("Import CSV file"), QStringLiteral("OK.")))
        accept();
}

void CsvImportDialog::done(int result) {
    const bool loaded = csvLoaded_;
    dropFile();
    refreshSample();
    toConfig();
    QDialog::done(result);
    if (loaded) {
        main_.treeView()->expand(main_.model().rootIndex());
        main_.treeView()->setFocus();
    }
}

} // namespace quorix
