// The window side of phonebook files and imports: File > Open, Save, Save as,
// the "Load" and "Save" buttons, the CSV import dialog and the 9110 import.
#include "AppTestSupport.h"
#include "app/BookTree.h"
#include "app/CsvImportDialog.h"
#include "app/FileDialogs.h"
#include "files/BookFile.h"
#include "tests/files/FileTestData.h"
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QStandardPaths>
#include <QTableWidget>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QUrl>

#include <csignal>
#include <sys/resource.h>

using namespace quorix;
using test::TransferRunning;
using testdata::crlf;
using testdata::structure;
using Reply = QMessageBox::StandardButton;

namespace {

// A window at work in a scratch directory. Its questions are answered from
// replies (then OK), its file dialogs with the files named in paths (an empty
// name, or none left, cancels); both note what was asked.
struct Session {
    explicit Session(QList<Reply> replies = {}, QStringList paths = {}, QByteArray ini = {})
        : answers(replies), paths_(paths) {
        FileDialogs::setHook([this](const FileRequest& r) {
            asked.append(r);
            const QString name = paths_.isEmpty() ? QString() : paths_.takeFirst();
            return name.isEmpty() ? name : dir.file(name);
        });
        if (!ini.isEmpty())
            dir.write(QStringLiteral("quorix7.ini"), ini);
        w = test::startWindow();
    }
    ~Session() { FileDialogs::clearHook(); }

    // A book the user has been working on: named after a file, changed since.
    void workOn(const QString& file, const QList<QByteArray>& names = {"Old"}) {
        for (const QByteArray& n : names)
            w->model().addSubentry(w->model().insertName(w->phonebook().entryCount(), n), "110",
                                   KindGeneral);
        w->phonebook().bookFileName = file.isEmpty() ? file : dir.file(file);
        w->phonebook().bookChanged = true;
        w->updateCaption();
        w->setPanel(0, QStringLiteral("before"));
    }
    // What the user sees of the book: caption, file, changed or not, status.
    QString state() const {
        const Book& b = w->phonebook();
        return QStringList{
            w->windowTitle(),
            b.bookFileName.isEmpty() ? b.bookFileName
                                     : QDir(dir.path()).relativeFilePath(b.bookFileName),
            b.bookChanged ? QStringLiteral("changed") : QStringLiteral("saved"), w->panelText(0)}
            .join(QStringLiteral(" | "));
    }
    // The questions asked, as "Caption: text".
    QStringList questions() const {
        QStringList out;
        for (const Question& q : answers.asked)
            out << q.caption + QStringLiteral(": ") + q.text;
        return out;
    }
    QString ioError(const QString& file, const char* systemText) const {
        return QStringLiteral("Error: ") + QDir::toNativeSeparators(dir.file(file)) +
               QLatin1Char('\r') + QString::fromLatin1(systemText);
    }
    QByteArray book() const { return structure(w->phonebook()); }

    test::WorkDir dir;
    test::Answers answers;
    QList<FileRequest> asked;
    std::unique_ptr<MainWindow> w;

private:
    QStringList paths_;
};

QByteArray pbf(const QByteArrayList& names) {
    QByteArrayList lines{"[QUORIX7-File]"};
    for (const QByteArray& n : names)
        lines << n
              << "\x02"
                 "110";
    return crlf(lines);
}

const QByteArray OldBook = "Old\n 2:110\n";
const QByteArray OldAnna = "Anna Berg\n 2:0301111\n";
const QString NotABook = QStringLiteral("Error: This is not a valid phonebook!");

} // namespace

class TestFilesGui : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { FileDialogs::clearHook(); }

    // --- Open ---------------------------------------------------------------

    void openReplacesTheBook() {
        Session s({}, {"book.pbf"});
        s.dir.write(QStringLiteral("book.pbf"), testdata::AnnaBobFile);
        test::command(*s.w, "file.open")->trigger();
        QCOMPARE(s.asked.size(), 1);
        QCOMPARE(s.asked[0].mode, FileRequest::Mode::Open);
        QCOMPARE(s.asked[0].title, QStringLiteral("Open Phonebook"));
        QCOMPARE(s.asked[0].nameFilters(),
                 (QStringList{QStringLiteral("Phonebook-Files (*.pbf *.vcf *.vcard)"),
                              QStringLiteral("Phonebook files (*.pbf) (*.pbf)"),
                              QStringLiteral("vCard files (*.vcf) (*.vcf *.vcard)")}));
        QVERIFY(s.asked[0].fileName.isEmpty());
        QVERIFY(s.answers.asked.isEmpty());
        QCOMPARE(s.book(), QByteArray("Anna\n 3:+491230\n 9:Neighbour\n 10:Family\nBob\n 2:112\n"));
        QCOMPARE(s.state(),
                 QStringLiteral("Quorix - book.pbf | book.pbf | saved | Opened file book.pbf"));
        QVERIFY(s.w->treeView()->isExpanded(s.w->model().rootIndex()));
        QCOMPARE(s.w->focusWidget(), s.w->treeView());
    }

    void openFailureChangesNothing_data() {
        QTest::addColumn<QByteArray>("content"); // none: the file does not exist
        QTest::newRow("not a phonebook") << QByteArray("Anna\r\n");
        QTest::newRow("bare LF line ends") << QByteArray("[QUORIX7-File]\nAnna\n");
        QTest::newRow("missing file") << QByteArray();
    }

    void openFailureChangesNothing() {
        QFETCH(QByteArray, content);
        Session s({QMessageBox::No}, {"other.pbf"});
        if (!content.isEmpty())
            s.dir.write(QStringLiteral("other.pbf"), content);
        s.workOn(QStringLiteral("kept.pbf"));
        const QString before = s.state();
        test::child<QToolButton>(*s.w, "loadButton")->click();
        QCOMPARE(s.questions(),
                 (QStringList{QStringLiteral("Book changed!: Save changes to \"kept.pbf\"?"),
                              content.isEmpty() ? s.ioError(QStringLiteral("other.pbf"),
                                                            "No such file or directory")
                                                : NotABook}));
        QCOMPARE(s.answers.asked[1].icon, QMessageBox::Critical);
        QCOMPARE(s.book(), OldBook);
        QCOMPARE(s.state(), before);
    }

    void replacingCommandsStopWhenTheQuestionIsCancelled() {
        // Open asks before the file dialog; an import asks once the file is
        // read, since adding it needs no question (see importAddsReplacesOrCancels).
        Session s({QMessageBox::Cancel}, {"x"});
        s.workOn(QString());
        test::command(*s.w, "file.open")->trigger();
        QCOMPARE(s.answers.asked.size(), 1);
        QVERIFY(s.asked.isEmpty());
        QCOMPARE(s.book(), OldBook);
        QCOMPARE(s.state(), QStringLiteral("Quorix |  | changed | before"));
    }

    void commandsWaitForTheTransfer() {
        Session s({}, {"any.pbf"});
        s.workOn(QStringLiteral("cur.pbf"));
        TransferRunning running(*s.w);
        for (QAction* a :
             {test::command(*s.w, "file.open"), test::command(*s.w, "file.save"),
              test::command(*s.w, "file.saveAs"), test::command(*s.w, "file.importCsv"),
              test::command(*s.w, "file.import9110")})
            a->trigger();
        test::child<QToolButton>(*s.w, "loadButton")->click();
        test::child<QToolButton>(*s.w, "saveButton")->click();
        QVERIFY(!s.w->confirmClose()); // the close question's Save does not come either
        QVERIFY(s.asked.isEmpty());
        QVERIFY(s.answers.asked.isEmpty());
        QVERIFY(!test::child<CsvImportDialog>(*s.w)->isVisible());
        QVERIFY(QDir(s.dir.path()).entryList({QStringLiteral("*.pbf")}).isEmpty());
    }

    // --- Save and Save as -------------------------------------------------------

    void saveWithAFileNameAsksNothing() {
        Session s;
        s.dir.write(QStringLiteral("b.pbf"), "older contents");
        s.workOn(QStringLiteral("b.pbf"), {"Anna", "Bob"});
        test::command(*s.w, "file.save")->trigger();
        QVERIFY(s.asked.isEmpty());
        QVERIFY(s.answers.asked.isEmpty());
        QCOMPARE(s.dir.read(QStringLiteral("b.pbf")), pbf({"Anna", "Bob"}));
        QCOMPARE(s.state(), QStringLiteral("Quorix - b.pbf | b.pbf | saved | Wrote file b.pbf"));
        QCOMPARE(s.w->focusWidget(), s.w->treeView());
    }

    void saveWithoutAFileNameAsksForOne() {
        Session s({}, {"mybook"});
        s.workOn(QString(), {"Anna"});
        test::child<QToolButton>(*s.w, "saveButton")->click();
        QCOMPARE(s.asked.size(), 1);
        QCOMPARE(s.asked[0].mode, FileRequest::Mode::Save);
        QCOMPARE(s.asked[0].title, QStringLiteral("Save Phonebook"));
        QCOMPARE(s.asked[0].filter, QStringLiteral("Phonebook Files|*.pbf"));
        QVERIFY(s.asked[0].directory.isEmpty() && s.asked[0].fileName.isEmpty());
        QVERIFY(s.answers.asked.isEmpty());
        QVERIFY(!QFile::exists(s.dir.file(QStringLiteral("mybook"))));
        QCOMPARE(s.dir.read(QStringLiteral("mybook.pbf")), pbf({"Anna"}));
        QCOMPARE(
            s.state(),
            QStringLiteral("Quorix - mybook.pbf | mybook.pbf | saved | Wrote file mybook.pbf"));
    }

    void saveAsAsksBeforeReplacingAFile_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QList<Reply>>("replies");
        QTest::addColumn<QString>("question"); // empty: none
        QTest::addColumn<bool>("written");
        const QString old = QStringLiteral("Confirm: \"old.pbf\" already exists. Overwrite?");
        QTest::newRow("No keeps it") << "old" << QList<Reply>{QMessageBox::No} << old << false;
        QTest::newRow("Yes replaces it")
            << "old.pbf" << QList<Reply>{QMessageBox::Yes} << old << true;
        // The file of the name as typed is not the one written.
        QTest::newRow("typed name exists") << "plain" << QList<Reply>{} << QString() << true;
    }

    void saveAsAsksBeforeReplacingAFile() {
        QFETCH(QString, chosen);
        QFETCH(QList<Reply>, replies);
        QFETCH(QString, question);
        QFETCH(bool, written);
        Session s(replies, {chosen});
        s.dir.write(QStringLiteral("old.pbf"), "keep me");
        s.dir.write(QStringLiteral("plain"), "keep me");
        QVERIFY(QDir(s.dir.path()).mkdir(QStringLiteral("sub")));
        s.workOn(QStringLiteral("sub/cur.pbf"), {"Anna"});
        const QString before = s.state();
        test::command(*s.w, "file.saveAs")->trigger();

        QCOMPARE(s.asked[0].directory, s.dir.file(QStringLiteral("sub")));
        QCOMPARE(s.asked[0].fileName, QStringLiteral("cur.pbf"));
        QCOMPARE(s.questions(), question.isEmpty() ? QStringList() : QStringList{question});
        const QString target = files::pbfPath(chosen);
        QCOMPARE(s.dir.read(target), written ? pbf({"Anna"}) : QByteArray("keep me"));
        QCOMPARE(s.dir.read(QStringLiteral("plain")), QByteArray("keep me"));
        if (written)
            QCOMPARE(s.state(),
                     QStringLiteral("Quorix - %1 | %1 | saved | Wrote file %1").arg(target));
        else
            QCOMPARE(s.state(), before);
    }

    void saveOfABookOpenedWithoutPbfAsksBeforeReplacing() {
        // Its file name gets ".pbf", and "book.txt.pbf" is another book.
        Session s({QMessageBox::No}, {"book.txt"});
        s.dir.write(QStringLiteral("book.txt"), testdata::AnnaBobFile);
        s.dir.write(QStringLiteral("book.txt.pbf"), "another book");
        test::command(*s.w, "file.open")->trigger();
        test::command(*s.w, "file.save")->trigger();
        QCOMPARE(s.questions(), QStringList{QStringLiteral(
                                    "Confirm: \"book.txt.pbf\" already exists. Overwrite?")});
        QCOMPARE(s.dir.read(QStringLiteral("book.txt.pbf")), QByteArray("another book"));
    }

    void failedSaveKeepsTheBookUnsaved_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("name of a directory") << "folder.pbf";
        QTest::newRow("file size limit") << "big.pbf";
    }

    void failedSaveKeepsTheBookUnsaved() {
        QFETCH(QString, target);
        const bool sizeLimit = target == QLatin1String("big.pbf");
        Session s({QMessageBox::Yes}, {target}); // Yes: replace what is there
        s.dir.write(QStringLiteral("big.pbf"), "the earlier book");
        QVERIFY(QDir(s.dir.path()).mkdir(QStringLiteral("folder.pbf")));
        QList<QByteArray> names;
        for (int i = 0; i < 200; ++i)
            names << "Name " + QByteArray::number(i);
        s.workOn(QStringLiteral("cur.pbf"), names);
        const QString before = s.state();

        rlimit old{};
        if (sizeLimit) {
            // Writing past the limit then fails with EFBIG instead of a signal.
            std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
            rlimit small = old;
            small.rlim_cur = 1024;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        test::command(*s.w, "file.saveAs")->trigger();
        if (sizeLimit)
            setrlimit(RLIMIT_FSIZE, &old);

        QCOMPARE(s.answers.asked.size(), 2);
        QCOMPARE(
            s.questions().at(1),
            s.ioError(target, sizeLimit ? "File too large" : "Filename refers to a directory"));
        QCOMPARE(s.state(), before);
        QCOMPARE(s.dir.read(QStringLiteral("big.pbf")), QByteArray("the earlier book"));
    }

    void closeQuestionSavesTheBook_data() {
        QTest::addColumn<QString>("file");   // the book's file name, or none
        QTest::addColumn<QString>("answer"); // what the save dialog gets
        QTest::addColumn<bool>("closes");
        QTest::newRow("named book") << "cur.pbf" << QString() << true;
        QTest::newRow("no name, name given") << QString() << "new" << true;
        QTest::newRow("no name, dialog cancelled") << QString() << QString() << false;
        QTest::newRow("write fails") << "folder.pbf" << QString() << false;
    }

    void closeQuestionSavesTheBook() {
        QFETCH(QString, file);
        QFETCH(QString, answer);
        QFETCH(bool, closes);
        Session s({QMessageBox::Yes}, {answer});
        QVERIFY(QDir(s.dir.path()).mkdir(QStringLiteral("folder.pbf")));
        s.workOn(file, {"Anna"});
        QCOMPARE(s.w->close(), closes);
        QVERIFY(s.questions().first().startsWith(QStringLiteral("Book changed!")));
        QCOMPARE(s.asked.size(), file.isEmpty() ? 1 : 0);
        QCOMPARE(s.w->isVisible(), !closes);
        QCOMPARE(s.w->phonebook().bookChanged, !closes);
        if (closes)
            QCOMPARE(s.dir.read(files::pbfPath(file.isEmpty() ? answer : file)), pbf({"Anna"}));
    }

    // --- CSV import -------------------------------------------------------------

    void csvDialogAsItOpens_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QList<int>>("counters");
        QTest::addColumn<QString>("sep");
        QTest::addColumn<bool>("quotes");
        QTest::addColumn<QString>("sample");
        QTest::newRow("defaults") << QByteArray() << QList<int>{1, 2, 7, 1} << ";" << false
                                  << "Alex Example; +491230; +491230; +491230; +491230; "
                                     "+491230; +491230; ; ; ; ";
        QTest::newRow("from quorix7.ini")
            << QByteArray("[CONFIG]\nCSV_NAME=3\nCSV_START=4\nCSV_STOP=9\nCSV_LINE=2\n"
                          "CSV_SEP=9\nCSV_QUOTES=YES\n")
            << QList<int>{3, 4, 9, 2} << "\t" << true
            << "\"\"\t \"\"\t \"Alex Example\"\t \"+491230\"\t \"+491230\"\t \"+491230\"\t "
               "\"+491230\"\t \"+491230\"\t \"+491230\"\t \"\"\t ";
    }

    void csvDialogAsItOpens() {
        QFETCH(QByteArray, ini);
        QFETCH(QList<int>, counters);
        QFETCH(QString, sep);
        QFETCH(bool, quotes);
        QFETCH(QString, sample);
        Session s({}, {}, ini); // the file dialog is cancelled
        CsvImportDialog* d = test::child<CsvImportDialog>(*s.w);
        QVERIFY(!d->isVisible());
        test::command(*s.w, "file.importCsv")->trigger();

        QVERIFY(d->isVisible());
        QCOMPARE(d->windowModality(), Qt::ApplicationModal);
        QCOMPARE(d->windowTitle(), QStringLiteral("CSV - Import"));
        const QSize size(414 * s.w->scale() / 100, 274 * s.w->scale() / 100);
        QCOMPARE(d->minimumSize(), size);
        QCOMPARE(d->maximumSize(), size);
        QCOMPARE(s.asked.size(), 1);
        QCOMPARE(s.asked[0].title, QStringLiteral("Import *.csv - file"));
        QCOMPARE(s.asked[0].filter,
                 QStringLiteral("Comma Separated Values (*.csv)|*.csv|All files|*.*"));
        QCOMPARE(d->quotesBox->text(), QStringLiteral("Data in Quotes (\")"));

        QVERIFY(!d->csvLoaded());
        QCOMPARE(d->importButton->text(), QStringLiteral("Load file"));
        QCOMPARE(d->probe->toPlainText(), QStringLiteral("Not available!"));
        QCOMPARE((QList<int>{d->nameColumnBox->value(), d->firstColumnBox->value(),
                             d->lastColumnBox->value(), d->firstLineBox->value()}),
                 counters);
        QCOMPARE(d->separatorEdit->text(), sep);
        QCOMPARE(d->quotesBox->isChecked(), quotes);
        QCOMPARE(d->sample->toPlainText(), sample);
        d->cancelButton->click();
        QVERIFY(!d->isVisible());
    }

    void csvDialogFollowsItsSettings() {
        Session s({}, {"people.csv", "gone.csv"});
        s.dir.write(QStringLiteral("people.csv"), "Name;Tel\r\nAnna;+491230\r\nBob;112\r\n");
        CsvImportDialog* d = test::child<CsvImportDialog>(*s.w);
        test::command(*s.w, "file.importCsv")->trigger();
        QVERIFY(d->csvLoaded());
        QCOMPARE(d->importButton->text(), QStringLiteral("Import"));
        QCOMPARE(d->probe->toPlainText(), QStringLiteral("Name;Tel"));
        // The probe shows the first line to import.
        d->firstLineBox->setValue(3);
        QCOMPARE(d->probe->toPlainText(), QStringLiteral("Bob;112"));
        d->firstLineBox->setValue(7);
        QCOMPARE(d->probe->toPlainText(), QString());

        d->nameColumnBox->setValue(2);
        d->lastColumnBox->setValue(3);
        d->quotesBox->setChecked(true);
        QCOMPARE(d->sample->toPlainText(),
                 QStringLiteral("\"\"; \"Alex Example\"; \"+491230\"; \"\"; \"\"; \"\"; \"\"; "
                                "\"\"; \"\"; \"\"; "));
        d->quotesBox->setChecked(false);
        d->separatorEdit->clear();
        QTest::keyClicks(d->separatorEdit, QStringLiteral(","));
        QVERIFY(d->sample->toPlainText().startsWith(QStringLiteral(", Alex Example, +491230, , ")));
        // An emptied separator falls back to ";" when the user leaves it.
        d->separatorEdit->clear();
        Q_EMIT d->separatorEdit->editingFinished();
        QCOMPARE(d->separatorEdit->text(), QStringLiteral(";"));

        // Closing forgets the file; a file that cannot be read is said so.
        d->cancelButton->click();
        test::command(*s.w, "file.importCsv")->trigger();
        QVERIFY(!d->csvLoaded());
        QCOMPARE(s.questions(),
                 QStringList{s.ioError(QStringLiteral("gone.csv"), "No such file or directory")});
        QCOMPARE(d->probe->toPlainText(), QStringLiteral("Not available!"));
        d->close();

        // The settings are the configuration's, written back with it.
        QVERIFY(s.w->close());
        const QByteArray ini = s.dir.readConfig();
        for (const char* key : {"CSV_NAME=2\n", "CSV_START=2\n", "CSV_STOP=3\n", "CSV_LINE=7\n",
                                "CSV_SEP=59\n", "CSV_QUOTES=NO\n"})
            QVERIFY2(ini.contains(key), key);
    }

    // --- Characters a .pbf cannot hold, vCard, drops ------------------------------

    void saveAsksBeforeCharactersAreLost_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("pbf");
        QTest::addColumn<QByteArray>("vcf");
        QTest::addColumn<QString>("state");
        QTest::newRow("save anyway")
            << int(QMessageBox::Save)
            << crlf({"[QUORIX7-File]", "?ukasz ?",
                     "\x02"
                     "110"})
            << QByteArray() << QStringLiteral("Quorix - b.pbf | b.pbf | saved | Wrote file b.pbf");
        QTest::newRow("save as vCard")
            << int(QMessageBox::SaveAll) << QByteArray("older") << QByteArray("FN:Łukasz 😀")
            << QStringLiteral("Quorix - b.pbf | b.pbf | saved | Wrote file b.vcf");
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << QByteArray("older") << QByteArray()
                                << QStringLiteral("Quorix - b.pbf | b.pbf | changed | before");
    }
    void saveAsksBeforeCharactersAreLost() {
        QFETCH(int, answer);
        QFETCH(QByteArray, pbf);
        QFETCH(QByteArray, vcf);
        QFETCH(QString, state);
        Session s({QMessageBox::StandardButton(answer)}, {"b"});
        s.dir.write(QStringLiteral("b.pbf"), "older");
        s.workOn(QStringLiteral("b.pbf"), {"Łukasz 😀"});
        test::command(*s.w, "file.save")->trigger();
        QCOMPARE(s.questions(), QStringList{QStringLiteral(
                                    "Confirm: 2 characters in 1 name cannot be stored in a .pbf "
                                    "file and will be saved as \"?\".")});
        QCOMPARE(s.answers.asked[0].buttons,
                 QMessageBox::Save | QMessageBox::SaveAll | QMessageBox::Cancel);
        QCOMPARE(s.answers.asked[0].defaultButton, QMessageBox::SaveAll); // loses nothing
        QVERIFY(s.dir.read(QStringLiteral("b.pbf")).startsWith(pbf));
        if (!vcf.isEmpty())
            QVERIFY(s.dir.read(QStringLiteral("b.vcf")).contains(vcf));
        QCOMPARE(s.state(), state);
    }

    void vCardImportAndExport() {
        // Replace book, then do not save the old one.
        Session s({QMessageBox::No, QMessageBox::No}, {"in.vcf", "out"});
        s.dir.write(QStringLiteral("in.vcf"),
                    "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:"
                    "Gro=C3=9F;J=C3=BCrgen;;;\r\nTEL;CELL:0170 1\r\nBDAY:1970-01-01\r\n"
                    "END:VCARD\r\n");
        s.workOn(QStringLiteral("cur.pbf"));
        test::command(*s.w, "file.importVCard")->trigger();
        QCOMPARE(s.book(), QByteArray("J\xfcrgen Gro\xdf\n 3:01701\n"));
        // An imported book is no file's: Save will ask where it goes.
        QCOMPARE(s.state(), QStringLiteral("Quorix |  | changed | 1 contact, 1 birthday skipped"));
        QCOMPARE(test::command(*s.w, "edit.undo")->text(),
                 QStringLiteral("&Undo Import vCard file"));
        test::command(*s.w, "file.exportVCard")->trigger();
        QVERIFY(s.dir.read(QStringLiteral("out.vcf")).contains("FN:Jürgen Groß\r\n"));
        QCOMPARE(s.state(), QStringLiteral("Quorix |  | changed | Wrote file out.vcf"));
    }

    void droppedFilesAreOpenedOrImported() {
        Session s({QMessageBox::No, QMessageBox::No});
        s.dir.write(QStringLiteral("a.pbf"), pbf({"Anna"}));
        s.dir.write(QStringLiteral("z.vcf"), "BEGIN:VCARD\r\nFN:Zo\xc3\xab\r\nEND:VCARD\r\n");
        s.workOn(QStringLiteral("cur.pbf"));

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(s.dir.file(QStringLiteral("a.pbf")))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(s.w.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(s.w.get(), &drop);
        QTRY_COMPARE(s.book(), QByteArray("Anna\n 2:110\n"));
        QCOMPARE(s.state(), QStringLiteral("Quorix - a.pbf | a.pbf | saved | Opened file a.pbf"));

        QVERIFY(s.w->openDroppedFile(s.dir.file(QStringLiteral("z.vcf"))));
        QCOMPARE(s.w->phonebook().name(0).text, QStringLiteral("Zoë"));
        QVERIFY(!s.w->openDroppedFile(s.dir.file(QStringLiteral("notes.txt"))));

        data.setUrls({QUrl::fromLocalFile(s.dir.file(QStringLiteral("notes.txt")))});
        QDragEnterEvent other(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(s.w.get(), &other);
        QVERIFY(!other.isAccepted());
    }

    // The question an import into a book with names asks, through the menu and
    // through a drop, and what each answer leaves.
    void importAddsReplacesOrCancels_data() {
        QTest::addColumn<bool>("drop");
        QTest::addColumn<QList<Reply>>("replies");
        QTest::addColumn<QByteArray>("book");
        QTest::addColumn<QString>("state");
        const QByteArray added = "Anna Berg\n 2:0301111\n 3:+491712222\nBob\n 2:0303333\n";
        QTest::newRow("add") << false << QList<Reply>{QMessageBox::Yes} << added
                             << QStringLiteral(
                                    "Quorix - cur.pbf | cur.pbf | changed | 1 added, 1 "
                                    "merged, 0 skipped (already in the book); 2 contacts");
        QTest::newRow("add, dropped") << true << QList<Reply>{QMessageBox::Yes} << added
                                      << QStringLiteral("Quorix - cur.pbf | cur.pbf | changed | 1 "
                                                        "added, 1 merged, 0 skipped (already in "
                                                        "the book); 2 contacts");
        const QByteArray imported = "Berg, Anna\n 2:0301111\n 3:+491712222\nBob\n 2:0303333\n";
        QTest::newRow("replace, old book not saved")
            << false << QList<Reply>{QMessageBox::No, QMessageBox::No} << imported
            << QStringLiteral("Quorix |  | changed | 2 contacts");
        // A dropped vCard that replaces the book is opened as the book's file.
        QTest::newRow("replace, dropped")
            << true << QList<Reply>{QMessageBox::No, QMessageBox::No} << imported
            << QStringLiteral("Quorix - in.vcf | in.vcf | saved | Opened file in.vcf; 2 contacts");
        QTest::newRow("replace, then cancel the save question")
            << false << QList<Reply>{QMessageBox::No, QMessageBox::Cancel} << OldAnna
            << QStringLiteral("Quorix - cur.pbf | cur.pbf | changed | before");
        QTest::newRow("cancel") << true << QList<Reply>{QMessageBox::Cancel} << OldAnna
                                << QStringLiteral("Quorix - cur.pbf | cur.pbf | changed | before");
    }
    void importAddsReplacesOrCancels() {
        QFETCH(bool, drop);
        QFETCH(QList<Reply>, replies);
        QFETCH(QByteArray, book);
        QFETCH(QString, state);
        Session s(replies, {"in.vcf"});
        s.dir.write(QStringLiteral("in.vcf"),
                    "BEGIN:VCARD\r\nFN:Berg, Anna\r\nTEL:0301111\r\nTEL;TYPE=CELL:+491712222\r\n"
                    "END:VCARD\r\nBEGIN:VCARD\r\nFN:Bob\r\nTEL:0303333\r\nEND:VCARD\r\n");
        s.w->model().addSubentry(s.w->model().insertName(0, "Anna Berg"), "0301111", KindGeneral);
        s.workOn(QStringLiteral("cur.pbf"), {});
        if (drop)
            s.w->openDroppedFile(s.dir.file(QStringLiteral("in.vcf")));
        else
            test::command(*s.w, "file.importVCard")->trigger();
        const Question& q = s.answers.asked.at(0);
        QCOMPARE(q.caption + QStringLiteral(": ") + q.text,
                 QStringLiteral("Confirm: The book holds 1 entry. Add the names of \"in.vcf\" to "
                                "the book, or replace the book with them?\rNames that are in the "
                                "book already are merged with them."));
        QCOMPARE(q.defaultButton, QMessageBox::Yes);
        QCOMPARE(q.labels.at(0).second, QStringLiteral("Add to book"));
        QCOMPARE(q.labels.at(1).second, QStringLiteral("Replace book"));
        QCOMPARE(s.answers.asked.size(), replies.size());
        QCOMPARE(s.book(), book);
        // The vCard reader's own report follows what the question led to.
        QCOMPARE(s.state(), state);
        // Whatever changed the book is one step back.
        if (book != OldAnna && !drop) {
            test::command(*s.w, "edit.undo")->trigger();
            QCOMPARE(s.book(), OldAnna);
        }
    }

    void vCardOpensAndSavesAsVCard() {
        // Open takes a vCard as the book; Save asks once whether to keep it one.
        Session s({QMessageBox::Yes}, {"b.vcf"});
        s.dir.write(QStringLiteral("b.vcf"), "BEGIN:VCARD\r\nFN:Łukasz\r\nEND:VCARD\r\n");
        test::command(*s.w, "file.open")->trigger();
        QCOMPARE(s.state(),
                 QStringLiteral("Quorix - b.vcf | b.vcf | saved | Opened file b.vcf; 1 contact"));
        s.w->model().setNameText(s.w->phonebook().name(0), QStringLiteral("Łukasz Nowak"));
        s.w->phonebook().bookChanged = true;
        test::command(*s.w, "file.save")->trigger();
        s.w->phonebook().bookChanged = true;
        test::command(*s.w, "file.save")->trigger();
        QCOMPARE(s.questions(), QStringList{QStringLiteral(
                                    "Confirm: \"b.vcf\" is a vCard file. Keep it as vCard?\rvCard "
                                    "keeps every character; a phonebook file (.pbf) is the "
                                    "program's own format.")});
        QCOMPARE(s.answers.asked[0].defaultButton, QMessageBox::Yes);
        QVERIFY(s.dir.read(QStringLiteral("b.vcf")).contains("FN:Łukasz Nowak\r\n"));
        QCOMPARE(s.state(), QStringLiteral("Quorix - b.vcf | b.vcf | saved | Wrote file b.vcf"));
    }

    void csvDialogReadsTheChosenEncoding() {
        Session s({QMessageBox::No}, {"u.csv"}, "[CONFIG]\nCSV_ENCODING=windows-1252\n");
        s.dir.write(QStringLiteral("u.csv"), "M\xc3\xbcller;+491\r\n");
        test::command(*s.w, "file.importCsv")->trigger();
        CsvImportDialog& d = *test::child<CsvImportDialog>(*s.w);
        QCOMPARE(d.encodingBox->currentText(), QStringLiteral("Windows-1252"));
        QCOMPARE(d.probe->toPlainText(), QStringLiteral("MÃ¼ller;+491"));
        d.encodingBox->setCurrentIndex(0); // Automatic
        QCOMPARE(d.probe->toPlainText(), QStringLiteral("Müller;+491"));
        d.importButton->click();
        QCOMPARE(s.w->phonebook().name(0).text, QStringLiteral("Müller"));
        QVERIFY(s.w->close());
        QVERIFY(s.dir.read(QStringLiteral("quorix7.ini")).contains("\nCSV_ENCODING=auto\n"));
    }

    void csvImportReplacesTheBook() {
        Session s({QMessageBox::No, QMessageBox::No}, {"people.csv"},
                  "[CONFIG]\nCSV_STOP=3\nCSV_LINE=2\nCSV_SEP=44\nCSV_QUOTES=YES\n");
        s.dir.write(QStringLiteral("people.csv"),
                    "Name,Phone,Mail\r\n\"Berg, Anna\",+491230,\"anna@example.org\"\r\n"
                    "Tom,\"+49 30 1\",112\r\n");
        s.workOn(QStringLiteral("cur.pbf"));
        test::command(*s.w, "file.importCsv")->trigger();
        QCOMPARE(test::child<CsvImportDialog>(*s.w)->probe->toPlainText(),
                 QStringLiteral("\"Berg, Anna\",+491230,\"anna@example.org\""));
        test::child<CsvImportDialog>(*s.w)->importButton->click();
        QCOMPARE(s.answers.asked.size(), 2); // replace the book, do not save the old one

        QVERIFY(!test::child<CsvImportDialog>(*s.w)->isVisible());
        QCOMPARE(s.book(), QByteArray("Berg, Anna\n 2:+491230\n 9:anna@example.org\n"
                                      "Tom\n 2:112\n 9:+49 30 1\n"));
        // The imported book is no file's: Save must ask, not replace cur.pbf.
        QCOMPARE(s.state(), QStringLiteral("Quorix |  | changed | OK."));
        QVERIFY(s.w->treeView()->isExpanded(s.w->model().rootIndex()));
        QCOMPARE(s.w->focusWidget(), s.w->treeView());
        // The whole import is one step back.
        QCOMPARE(test::command(*s.w, "edit.undo")->text(), QStringLiteral("&Undo Import CSV file"));
        test::command(*s.w, "edit.undo")->trigger();
        QCOMPARE(s.book(), OldBook);
        test::command(*s.w, "edit.redo")->trigger();
        QCOMPARE(s.book(), QByteArray("Berg, Anna\n 2:+491230\n 9:anna@example.org\n"
                                      "Tom\n 2:112\n 9:+49 30 1\n"));
    }

    void csvDialogReadsAKnownHeaderByItsTitles() {
        // Replace book, then do not save the old one.
        Session s({QMessageBox::No, QMessageBox::No}, {"tb.csv"});
        s.dir.write(QStringLiteral("tb.csv"),
                    "First Name,Last Name,Display Name,Primary Email,Work Phone,Mobile Number\n"
                    "Hans,Berg,Hans Berg,hans@example.org,+49 30 1234,0170 5550\n");
        s.workOn(QStringLiteral("cur.pbf"));
        test::command(*s.w, "file.importCsv")->trigger();
        CsvImportDialog& d = *test::child<CsvImportDialog>(*s.w);
        QVERIFY(d.byHeaderBox->isVisible() && d.byHeaderBox->isChecked());
        QCOMPARE(d.byHeaderBox->text(),
                 QStringLiteral("Read the columns by their titles (Thunderbird)"));
        QVERIFY(!d.columnGroup->isEnabled());
        QCOMPARE(d.columnTable->rowCount(), 6);
        const auto meaning = [&](int row) {
            return qobject_cast<QComboBox*>(d.columnTable->cellWidget(row, 1));
        };
        QCOMPARE(meaning(2)->currentText(), QStringLiteral("Name"));
        QCOMPARE(meaning(4)->currentText(), QStringLiteral("Office"));
        // The user says the work phone is a mobile one.
        meaning(4)->setCurrentText(QStringLiteral("Mobile"));
        d.importButton->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(s.book(),
                 QByteArray("Hans Berg\n 3:+49301234\n 3:01705550\n 7:hans@example.org\n"));
    }

    void csvDialogAsksWhenColumnsStayUnread() {
        // Columns unread: No, then Yes; then Replace book, and do not save the old one.
        Session s({QMessageBox::No, QMessageBox::Yes, QMessageBox::No, QMessageBox::No},
                  {"wide.csv"}, "[CONFIG]\nCSV_STOP=2\n");
        s.dir.write(QStringLiteral("wide.csv"), "Anna;1;2;3\nBob;4\n");
        s.workOn(QStringLiteral("cur.pbf"));
        test::command(*s.w, "file.importCsv")->trigger();
        CsvImportDialog& d = *test::child<CsvImportDialog>(*s.w);
        QVERIFY(!d.byHeaderBox->isVisible());
        d.importButton->click(); // No: back in the dialog, the book as it was
        QVERIFY(d.isVisible());
        QCOMPARE(s.book(), QByteArray("Old\n 2:110\n"));
        d.importButton->click(); // Yes: imported without the columns
        QVERIFY(!d.isVisible());
        QCOMPARE(s.book(), QByteArray("Anna\n 2:1\nBob\n 2:4\n"));
        const QString asked = QStringLiteral("Confirm: Columns 3 to 4 hold data that the settings "
                                             "do not import.\rImport anyway?");
        QCOMPARE(s.questions().mid(0, 2), (QStringList{asked, asked}));
    }

    void exportsCsvForGoogleWithAByteOrderMark() {
        Session s({}, {});
        FileDialogs::setHook([&](const FileRequest& r) {
            s.asked.append(r);
            if (r.option)
                *r.option = true; // the user ticks the box
            return s.dir.file(QStringLiteral("g.csv"));
        });
        s.workOn(QString(), {"Anna Berg"});
        test::command(*s.w, "file.exportGoogleCsv")->trigger();
        QCOMPARE(s.asked.size(), 1);
        QCOMPARE(s.asked[0].title, QStringLiteral("Export CSV for Google Contacts"));
        QCOMPARE(s.asked[0].optionText, QStringLiteral("UTF-8 with byte-order mark (for Excel)"));
        QVERIFY(s.dir.read(QStringLiteral("g.csv"))
                    .startsWith("\xef\xbb\xbfName,Given Name,Family Name,Notes,Group Membership,"));
        QVERIFY(s.dir.read(QStringLiteral("g.csv")).contains("\r\nAnna Berg,Anna,Berg,,,"));
    }

    // Export starts beside the book, named after it; a book without a file
    // starts where the last export went, in this run and the next.
    void exportsStartBesideTheBook() {
        Session s({}, {"", "", "", "out/first.vcf", ""});
        QVERIFY(QDir(s.dir.path()).mkpath(QStringLiteral("sub")));
        QVERIFY(QDir(s.dir.path()).mkpath(QStringLiteral("out")));
        s.workOn(QStringLiteral("sub/cur.pbf"), {"Anna"});
        test::command(*s.w, "file.exportVCard")->trigger();
        test::command(*s.w, "file.exportCsv")->trigger();
        test::command(*s.w, "file.exportGoogleCsv")->trigger();
        s.w->phonebook().bookFileName.clear();
        test::command(*s.w, "file.exportVCard")->trigger(); // written into out/
        test::command(*s.w, "file.exportCsv")->trigger();
        QStringList got;
        for (const FileRequest& r : s.asked)
            got << QDir(s.dir.path()).relativeFilePath(r.directory) + u'|' + r.fileName;
        const QString documents = QDir(s.dir.path())
                                      .relativeFilePath(QStandardPaths::writableLocation(
                                          QStandardPaths::DocumentsLocation));
        QCOMPARE(got, (QStringList{"sub|cur.vcf", "sub|cur.csv", "sub|cur.csv",
                                   documents + "|Phonebook.vcf", "out|Phonebook.csv"}));
        QVERIFY(QFile::exists(s.dir.file(QStringLiteral("out/first.vcf"))));

        s.w->phonebook().bookChanged = false;
        s.w->close();
        auto again = test::startWindow();
        s.asked.clear();
        test::command(*again, "file.exportVCard")->trigger();
        QCOMPARE(s.asked.size(), 1);
        QCOMPARE(s.asked[0].directory, s.dir.file(QStringLiteral("out")));
    }

    // --- Communicator 9110 import -------------------------------------------------

    void import9110_data() {
        QTest::addColumn<QByteArray>("before"); // what comes before "[RECORD]"
        QTest::newRow("valid") << QByteArray();
        QTest::newRow("leading blank") << QByteArray(" ");
    }

    void import9110() {
        QFETCH(QByteArray, before);
        Session s({QMessageBox::No}, {"contacts.txt"}); // Replace book
        s.dir.write(
            QStringLiteral("contacts.txt"),
            before + crlf({"[RECORD]", "[FIELD]", "Name", "[FIELD-NAME]", "Name", "[FIELD-DATA]",
                           "Chris Sample", "[FIELD-END]", "[FIELD]", "Tel", "[FIELD-NAME]",
                           "GSM/PCN", "[FIELD-DATA]", "+49 123 0", "[FIELD-END]", "[RECORD-END]"}));
        s.workOn(QStringLiteral("cur.pbf"));
        s.w->phonebook().bookChanged = false;
        const QString unchanged = s.state();
        test::command(*s.w, "file.import9110")->trigger();

        QCOMPARE(s.asked[0].title, QStringLiteral("Import Nokia 9110 - file"));
        QCOMPARE(s.asked[0].filter, QStringLiteral("Textfiles|*.txt|All files|*.*"));
        if (!before.isEmpty()) {
            // The format's message, then the file and what in it is wrong.
            QCOMPARE(
                s.questions(),
                QStringList{QStringLiteral("Error: Invalid format!\r") +
                            QDir::toNativeSeparators(s.dir.file(QStringLiteral("contacts.txt"))) +
                            QStringLiteral("\rThe first line is not \"[RECORD]\".")});
            QCOMPARE(s.book(), OldBook);
            QCOMPARE(s.state(), unchanged);
            return;
        }
        QCOMPARE(s.answers.asked.size(), 1);
        QCOMPARE(s.answers.asked[0].caption, QStringLiteral("Confirm"));
        QCOMPARE(s.book(), QByteArray("Chris Sample\n 3:+491230\n"));
        QCOMPARE(s.state(), QStringLiteral("Quorix |  | changed | Import finished."));
        QCOMPARE(s.w->focusWidget(), s.w->treeView());
    }
};

QTEST_MAIN(TestFilesGui)
#include "tst_files_gui.moc"
