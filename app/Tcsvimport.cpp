#include "app/Tcsvimport.h"

#include "app/BookTree.h"
#include "app/FileDialogs.h"
#include "app/Placement.h"
#include "app/TMain.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QWindow>

namespace quorix {

namespace {

constexpr int DesignWidth = 355;
constexpr int DesignHeight = 274;
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

Tcsvimport::Tcsvimport(TMain& main)
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
    QLabel* disname = label(columnGroup, "Name:");
    clname = makeCounter(columnGroup);
    QLabel* disstart = label(columnGroup, "First entry:");
    clstart = makeCounter(columnGroup);
    QLabel* disstop = label(columnGroup, "Last entry:");
    clstop = makeCounter(columnGroup);

    settingsGroup = new QGroupBox(QStringLiteral("Settings"), this);
    QLabel* sepLabel = label(settingsGroup, "Separator:");
    QFont bold = small;
    bold.setBold(true);
    sepLabel->setFont(bold);
    sep = new QLineEdit(settingsGroup);
    sep->setAlignment(Qt::AlignCenter);
    QLabel* dislin = label(settingsGroup, "First Line:");
    startlin = makeCounter(settingsGroup);
    quote = new QCheckBox(QStringLiteral("Data in Quotes (\")"), settingsGroup);

    startcsv = new QPushButton(QStringLiteral("Load file"), this);
    startcsv->setDefault(true);
    impcancel = new QPushButton(QStringLiteral("Cancel"), this);

    QLabel* expected = label(this, "Data expected:");
    sample = makeMemo(this);
    QLabel* inFile = label(this, "Data in file:");
    probe = makeMemo(this);
    expected->setBuddy(sample);
    inFile->setBuddy(probe);

    // Column and line counters, the separator and the quotes change the sample
    // at once; the name column and the first line also pick the probe line.
    const auto reprobe = [this] {
        if (csvloaded_ && !readProbe(csvfile_))
            dropFile();
        toConfig();
        refreshsample();
    };
    const auto changed = [this] {
        toConfig();
        refreshsample();
    };
    connect(clname, &QSpinBox::valueChanged, this, reprobe);
    connect(startlin, &QSpinBox::valueChanged, this, reprobe);
    connect(clstart, &QSpinBox::valueChanged, this, changed);
    connect(clstop, &QSpinBox::valueChanged, this, changed);
    connect(quote, &QCheckBox::toggled, this, changed);
    // While the separator is being retyped it may be empty for a moment; it
    // falls back to ";" only when the user leaves it so.
    connect(sep, &QLineEdit::textEdited, this, [this, changed](const QString& text) {
        if (!text.isEmpty())
            changed();
    });
    connect(sep, &QLineEdit::editingFinished, this, changed);
    connect(startcsv, &QPushButton::clicked, this, &Tcsvimport::startcsvClick);
    connect(impcancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(clname, clstart);
    setTabOrder(clstart, clstop);
    setTabOrder(clstop, sep);
    setTabOrder(sep, startlin);
    setTabOrder(startlin, quote);
    setTabOrder(quote, startcsv);
    setTabOrder(startcsv, impcancel);
    setTabOrder(impcancel, sample);
    setTabOrder(sample, probe);

    places_ = {
        {columnGroup, {8, 6, 121, 99}}, {disname, {10, 24, 60, 17}},
        {clname, {71, 22, 42, 21}},     {disstart, {10, 48, 60, 17}},
        {clstart, {71, 46, 42, 21}},    {disstop, {10, 72, 60, 17}},
        {clstop, {71, 70, 42, 21}},     {settingsGroup, {136, 6, 135, 99}},
        {sepLabel, {10, 24, 66, 17}},   {sep, {82, 22, 45, 21}},
        {dislin, {10, 48, 66, 17}},     {startlin, {82, 46, 45, 21}},
        {quote, {10, 74, 121, 17}},     {startcsv, {278, 12, 69, 25}},
        {impcancel, {278, 44, 69, 25}}, {expected, {8, 110, 120, 15}},
        {sample, {8, 126, 339, 62}},    {inFile, {8, 192, 120, 15}},
        {probe, {8, 208, 339, 58}},
    };
    scale_ = main_.scale();
    layoutControls();
    fromConfig();
    dropFile();
    refreshsample();
}

void Tcsvimport::layoutControls() {
    const auto s = [this](int v) { return v * scale_ / 100; };
    setFixedSize(s(DesignWidth), s(DesignHeight));
    for (const Place& p : places_)
        p.widget->setGeometry(s(p.box.x()), s(p.box.y()), s(p.box.width()), s(p.box.height()));
}

files::CsvSettings Tcsvimport::settings() const {
    files::CsvSettings s;
    s.nameColumn = clname->value();
    s.firstColumn = clstart->value();
    s.lastColumn = clstop->value();
    s.firstLine = startlin->value();
    // A character the file's code page does not have becomes "?".
    const QByteArray typed = sep->text().toLatin1();
    s.separator = typed.isEmpty() ? ';' : typed.front();
    s.quotes = quote->isChecked();
    return s;
}

void Tcsvimport::fromConfig() {
    const Config& c = main_.config;
    const QList<std::pair<QSpinBox*, int>> counters = {
        {clname, c.csvName}, {clstart, c.csvStart}, {clstop, c.csvStop}, {startlin, c.csvLine}};
    for (const auto& [counter, value] : counters) {
        const QSignalBlocker quiet(counter);
        counter->setValue(value);
    }
    const QSignalBlocker quietQuote(quote);
    quote->setChecked(c.csvQuotes);
    sep->setText(QString::fromLatin1(c.csvSep));
}

void Tcsvimport::toConfig() {
    Config& c = main_.config;
    c.csvName = clname->value();
    c.csvStart = clstart->value();
    c.csvStop = clstop->value();
    c.csvLine = startlin->value();
    c.csvQuotes = quote->isChecked();
    c.csvSep = sep->text().toLatin1();
}

void Tcsvimport::refreshsample() {
    startcsv->setText(csvloaded_ ? QStringLiteral("Import") : QStringLiteral("Load file"));
    if (!csvloaded_)
        csvprobe_ = NotAvailable;
    if (sep->text().isEmpty()) {
        sep->setText(QStringLiteral(";"));
        toConfig();
    }
    sample->setPlainText(QString::fromLatin1(files::csvsample(settings())));
    probe->setPlainText(QString::fromLatin1(csvprobe_));
}

void Tcsvimport::showDialog() {
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    chooseFile();
}

void Tcsvimport::showEvent(QShowEvent* event) {
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

void Tcsvimport::chooseFile() {
    dropFile();
    refreshsample();
    // Cancel leaves the dialog up without a file: "Load file" asks again.
    if (main_.FormCloseQuery()) {
        const QString path =
            FileDialogs::open(this, QStringLiteral("Import *.csv - file"),
                              QStringLiteral("Comma Separated Values (*.csv)|*.csv|All files|*.*"));
        if (!path.isEmpty() && readProbe(path)) {
            csvfile_ = files::fullPath(path);
            csvloaded_ = true;
        }
    }
    refreshsample();
}

bool Tcsvimport::readProbe(const QString& path) {
    // The probe shows the first line the import would take.
    const files::LineResult r = files::csvprobe(path, startlin->value());
    if (!r.ok) {
        FileDialogs::error(this, r);
        return false;
    }
    csvprobe_ = r.line;
    return true;
}

void Tcsvimport::dropFile() {
    csvloaded_ = false;
    csvfile_.clear();
}

void Tcsvimport::startcsvClick() {
    if (!csvloaded_) {
        chooseFile();
        return;
    }
    files::BookResult r = whileBusy([&] { return files::importcsv(csvfile_, settings()); });
    if (!r.ok) {
        // The book stays as it was; the file is asked for again.
        FileDialogs::error(this, r);
        dropFile();
        refreshsample();
        return;
    }
    files::adoptImportedBook(*main_.bookmodel, r);
    // The import ends, as every fill of the book does, with the flip's "OK.".
    main_.setPanel(0, QStringLiteral("OK."));
    accept();
}

void Tcsvimport::done(int result) {
    const bool loaded = csvloaded_;
    dropFile();
    refreshsample();
    toConfig();
    QDialog::done(result);
    if (loaded) {
        main_.book->expand(main_.bookmodel->rootIndex());
        main_.book->setFocus();
    }
}

} // namespace quorix
