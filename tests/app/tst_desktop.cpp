// The window as a desktop program: files from the command line and Open
// recent, the release notes viewer, the status bar, kind tool tips and icons
// on a dark palette, and the program itself without a display and with its
// virtual phone.
#include "AppTestSupport.h"
#include "app/BookTree.h"
#include "app/ConnectionDialog.h"
#include "app/CsvImportDialog.h"
#include "app/FileDialogs.h"
#include "app/Icons.h"
#include "app/ProfileFile.h"
#include "app/ReleaseNotesWindow.h"
#include "app/StatusPanel.h"
#include "files/BookFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>

#include <csignal>
#include <sys/wait.h>

using namespace quorix;
using test::Answers;
using test::TransferRunning;
using test::WorkDir;

namespace {

const QString Program = QStringLiteral(QUORIX_PROGRAM);

// A phonebook file with one name.
void writeBook(const QString& path, const QByteArray& name) {
    BookModel model;
    model.insertName(0, name);
    QVERIFY(files::saveBookFile(model, path).ok);
}

QStringList recentItems(const MainWindow& w) {
    QStringList out;
    for (const QAction* a : test::child<QMenu>(w, "recentMenu")->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// Relative luminance and contrast ratio as the accessibility guidelines count them.
double luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How an icon stands out from the background it is drawn on: the contrast of
// the mean colour of its visible pixels against that background.
double iconContrast(const QIcon& icon, const QColor& base) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(base);
    QPainter p(&image);
    icon.paint(&p, QRect(0, 0, 16, 16));
    p.end();
    const QImage alpha = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    double r = 0, g = 0, b = 0;
    int n = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (qAlpha(alpha.pixel(x, y)) >= 128) {
                const QColor c = image.pixelColor(x, y);
                r += c.redF();
                g += c.greenF();
                b += c.blueF();
                ++n;
            }
    if (n == 0)
        return 1.0;
    return contrast(QColor::fromRgbF(float(r / n), float(g / n), float(b / n)), base);
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    p.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    return p;
}

// The pids of the children of a process with the given command name.
QList<qint64> childrenNamed(qint64 parent, const QByteArray& name) {
    QList<qint64> out;
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString dir = it.next();
        bool numeric = false;
        const qint64 pid = QFileInfo(dir).fileName().toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(dir + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        if (open < 0 || close < 0)
            continue;
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.mid(open + 1, close - open - 1) == name && rest.size() > 1 &&
            rest[1].toLongLong() == parent)
            out << pid;
    }
    return out;
}

bool processGone(qint64 pid) {
    // A zombie counts as gone: it has ended, only its parent has not looked yet.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) == "Z";
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() {
        MessageBoxes::clearHook();
        FileDialogs::clearHook();
    }

    // --- Files from outside the window and Open recent ------------------------

    void openPathByKind() {
        WorkDir dir;
        writeBook(dir.file(QStringLiteral("anna.pbf")), "Anna");
        dir.write(QStringLiteral("people.csv"), "Bob;+4930123\r\n");
        dir.write(QStringLiteral("notes.txt"), "just text\r\n");
        auto w = test::startWindow();

        // A phonebook opens as with File > Open.
        QVERIFY(w->openPath(dir.file(QStringLiteral("anna.pbf"))));
        QCOMPARE(w->windowTitle(), QStringLiteral("Quorix - anna.pbf"));
        QCOMPARE(describeBook(w->phonebook()), QByteArray("Anna\n"));

        // A changed book is asked about first; Cancel keeps it.
        w->model().insertName(1, "Bert");
        w->phonebook().bookChanged = true;
        {
            Answers cancel({QMessageBox::Cancel});
            QVERIFY(!w->openPath(dir.file(QStringLiteral("anna.pbf"))));
            QCOMPARE(cancel.asked.size(), 1);
            QCOMPARE(cancel.asked[0].caption, QStringLiteral("Book changed!"));
            QCOMPARE(describeBook(w->phonebook()), QByteArray("Anna\nBert\n"));
        }
        // Anything that is not a phonebook is refused with the phonebook's message.
        {
            Answers answers({QMessageBox::No});
            QVERIFY(!w->openPath(dir.file(QStringLiteral("notes.txt"))));
            QCOMPARE(answers.asked.size(), 2);
            QCOMPARE(answers.asked[1].caption, QStringLiteral("Error"));
            QCOMPARE(answers.asked[1].text, QStringLiteral("This is not a valid phonebook!"));
            QCOMPARE(describeBook(w->phonebook()), QByteArray("Anna\nBert\n"));
        }
        w->phonebook().bookChanged = false;

        // A CSV file goes to the import dialog, already loaded there.
        QVERIFY(w->openPath(dir.file(QStringLiteral("people.csv"))));
        QVERIFY(test::child<CsvImportDialog>(*w)->isVisible());
        QVERIFY(test::child<CsvImportDialog>(*w)->csvLoaded());
        test::child<CsvImportDialog>(*w)->close();

        // Nothing is opened while a transfer runs.
        {
            TransferRunning running(*w);
            QVERIFY(!w->openPath(dir.file(QStringLiteral("anna.pbf"))));
        }
    }

    void openRecentKeepsTheLastEight() {
        WorkDir dir;
        for (int i = 1; i <= 9; ++i)
            writeBook(dir.file(QStringLiteral("b%1.pbf").arg(i)), "Name " + QByteArray::number(i));
        auto w = test::startWindow();
        for (int i = 1; i <= 9; ++i)
            QVERIFY(w->openPath(dir.file(QStringLiteral("b%1.pbf").arg(i))));
        // Newest first, eight of them.
        QStringList expected;
        for (int i = 9; i >= 2; --i)
            expected << dir.file(QStringLiteral("b%1.pbf").arg(i));
        QCOMPARE(w->recentFiles(), expected);
        QVERIFY(test::child<QMenu>(*w, "recentMenu")->menuAction()->isEnabled());
        QCOMPARE(recentItems(*w),
                 (QStringList{"&1 b9.pbf", "&2 b8.pbf", "&3 b7.pbf", "&4 b6.pbf", "&5 b5.pbf",
                              "&6 b4.pbf", "&7 b3.pbf", "&8 b2.pbf", "-", "&Clear list"}));
        QCOMPARE(test::child<QMenu>(*w, "recentMenu")->actions().at(2)->toolTip(),
                 QDir::toNativeSeparators(dir.file(QStringLiteral("b7.pbf"))));

        // Choosing one opens it and puts it on top.
        test::child<QMenu>(*w, "recentMenu")->actions().at(2)->trigger();
        QCOMPARE(describeBook(w->phonebook()), QByteArray("Name 7\n"));
        QCOMPARE(w->recentFiles().first(), dir.file(QStringLiteral("b7.pbf")));
        QCOMPARE(w->recentFiles().size(), 8);

        // Saving under a new name puts that file on top.
        FileDialogs::setHook(
            [&dir](const FileRequest&) { return dir.file(QStringLiteral("saved.pbf")); });
        test::command(*w, "file.saveAs")->trigger();
        FileDialogs::clearHook();
        QCOMPARE(w->recentFiles().first(), dir.file(QStringLiteral("saved.pbf")));
        QCOMPARE(w->recentFiles().at(1), dir.file(QStringLiteral("b7.pbf")));

        // A file that has gone is reported and taken off the list.
        QFile::remove(dir.file(QStringLiteral("b9.pbf")));
        {
            Answers answers;
            const qsizetype at = w->recentFiles().indexOf(dir.file(QStringLiteral("b9.pbf")));
            QVERIFY(at > 0);
            test::child<QMenu>(*w, "recentMenu")->actions().at(int(at))->trigger();
            QCOMPARE(answers.asked.size(), 1);
            QVERIFY2(answers.asked[0].text.contains(QStringLiteral("b9.pbf")),
                     qPrintable(answers.asked[0].text));
            QVERIFY(!w->recentFiles().contains(dir.file(QStringLiteral("b9.pbf"))));
            QCOMPARE(describeBook(w->phonebook()), QByteArray("Name 7\n"));
        }
        const QStringList kept = w->recentFiles();

        // Kept in the settings file's own section, CONFIG untouched, and read
        // back by the next run.
        QVERIFY(w->close());
        ProfileFile file(w->configPath());
        QVERIFY(file.load());
        QCOMPARE(file.value("RECENT", "FILE1"), std::optional(QFile::encodeName(kept.first())));
        QCOMPARE(file.value("CONFIG", "FILE1"), std::nullopt);
        QVERIFY(file.contents().startsWith("[CONFIG]\nPORT=1\nCABLE=1\n"));
        auto again = test::startWindow();
        QCOMPARE(again->recentFiles(), kept);

        // Clear list empties it, for good.
        test::child<QMenu>(*again, "recentMenu")->actions().last()->trigger();
        QVERIFY(again->recentFiles().isEmpty());
        QVERIFY(!test::child<QMenu>(*again, "recentMenu")->menuAction()->isEnabled());
        QVERIFY(again->close());
        ProfileFile cleared(again->configPath());
        QVERIFY(cleared.load());
        QCOMPARE(cleared.value("RECENT", "FILE1"), std::optional(QByteArray()));
        auto third = test::startWindow();
        QVERIFY(third->recentFiles().isEmpty());
    }

    void recentFilesInTheSettingsFile() {
        // Read from the section as written by hand: repeated and empty entries
        // are skipped, and only eight are kept.
        ProfileFile f;
        f.setValue("RECENT", "FILE1", "/a.pbf");
        f.setValue("RECENT", "FILE2", "");
        f.setValue("RECENT", "FILE3", "/a.pbf");
        f.setValue("RECENT", "FILE4", "/b b.pbf");
        QCOMPARE(RecentFiles::read(f), (QStringList{"/a.pbf", "/b b.pbf"}));
        QStringList many;
        for (int i = 0; i < 12; ++i)
            many = RecentFiles::added(many, QStringLiteral("/%1.pbf").arg(i));
        QCOMPARE(many.size(), RecentFiles::Count);
        QCOMPARE(many.first(), QStringLiteral("/11.pbf"));
        // A name with a line break cannot be kept in a line of its own.
        QCOMPARE(RecentFiles::added({"/a.pbf"}, QStringLiteral("/x\ny.pbf")),
                 QStringList{"/a.pbf"});
    }

    // --- Release notes ---------------------------------------------------------

    void releaseNotesInTheirOwnWindow() {
        WorkDir dir;
        dir.write(QStringLiteral("Release_Notes.txt"), "Quorix notes\nSecond line \xc3\xa4\n");
        auto w = test::startWindow();
        Answers answers;
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w->treeView(), Qt::Key_F1);
        QVERIFY(answers.asked.isEmpty());
        ReleaseNotesWindow* notes = test::child<ReleaseNotesWindow>(*w);
        QVERIFY(notes && notes->isVisible());
        QCOMPARE(notes->path(), dir.file(QStringLiteral("Release_Notes.txt")));
        QCOMPARE(notes->view->toPlainText(), QStringLiteral("Quorix notes\nSecond line ä\n"));
        QVERIFY(notes->view->isReadOnly());
        // Not modal: the main window can be used meanwhile; Escape closes it.
        QCOMPARE(notes->windowModality(), Qt::NonModal);
        QTest::keyClick(notes, Qt::Key_Escape);
        QVERIFY(!notes->isVisible());
        // Refused during a transfer.
        {
            TransferRunning running(*w);
            test::command(*w, "help.releaseNotes")->trigger();
            QVERIFY(!notes->isVisible());
        }
    }

    void releaseNotesAreFoundWhereTheyAre() {
        // The start folder first, then beside the program, the installed
        // documentation folder, the source tree.
        const QStringList places = ReleaseNotesWindow::places(QStringLiteral("/some/start"));
        QCOMPARE(places.first(), QStringLiteral("/some/start"));
        QCOMPARE(places.at(1), QCoreApplication::applicationDirPath());
        QVERIFY(places.contains(QStringLiteral(QUORIX_DOCDIR)));
        QCOMPARE(places.last(), QStringLiteral(QUORIX_SOURCE_DIR));
        // From a start folder without them: the source tree's.
        WorkDir dir;
        QCOMPARE(
            QFileInfo(ReleaseNotesWindow::find(dir.path())).canonicalFilePath(),
            QFileInfo(QStringLiteral(QUORIX_SOURCE_DIR "/Release_Notes.txt")).canonicalFilePath());
    }

    // --- Status bar, tool tips, icons ----------------------------------------

    void statusPanelsEndInAnEllipsis() {
        WorkDir dir;
        auto w = test::startWindow();
        const QString longText = QStringLiteral("Error while writing to loc. 123");
        w->setPanel(2, longText);
        StatusPanel* panel = w->panelLabel(2);
        QCOMPARE(w->panelText(2), longText);
        QCOMPARE(panel->toolTip(), longText);
        QVERIFY2(panel->text().endsWith(QChar(0x2026)), qPrintable(panel->text()));
        QVERIFY(panel->fontMetrics().horizontalAdvance(panel->text()) <=
                panel->contentsRect().width());
        QVERIFY(longText.startsWith(panel->text().chopped(1)));
        // A text that fits is shown as it is.
        w->setPanel(2, QStringLiteral("OK."));
        QCOMPARE(panel->text(), QStringLiteral("OK."));
        // The status texts of a transfer fit the first panel whole.
        for (const QString& text : {QStringLiteral("Writing entry 121 / 200 to location 121."),
                                    QStringLiteral("Read entry 121 / 200 from loc. 121."),
                                    QStringLiteral("Retrieving memory information...")}) {
            w->setPanel(0, text);
            QCOMPARE(w->panelLabel(0)->text(), text);
        }
    }

    // Every label, button, check box and choice of the CSV import dialog and
    // of Setup shows its whole text at the default font.
    void dialogsCutNoText() {
        WorkDir dir;
        auto w = test::startWindow();
        QStringList cut;
        for (QDialog* dialog : {static_cast<QDialog*>(test::child<CsvImportDialog>(*w)),
                                static_cast<QDialog*>(test::child<ConnectionDialog>(*w))}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            for (QWidget* c : dialog->findChildren<QWidget*>()) {
                const auto* label = qobject_cast<QLabel*>(c);
                if (!c->isVisible() || (label && (label->wordWrap() || label->text().isEmpty())))
                    continue;
                if (!label && !qobject_cast<QAbstractButton*>(c) && !qobject_cast<QComboBox*>(c))
                    continue;
                if (c->width() < c->sizeHint().width())
                    cut << dialog->windowTitle() + ": " + c->metaObject()->className() + " " +
                               QString::number(c->width()) + " < " +
                               QString::number(c->sizeHint().width());
            }
            dialog->hide();
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
    }

    void subentryToolTipsNameTheKind() {
        WorkDir dir;
        auto w = test::startWindow();
        Name& n = w->model().insertName(0, "Anna");
        const QList<QPair<int, QString>> kinds = {{KindGeneral, "General"},
                                                  {KindMobile, "Mobile"},
                                                  {KindHome, "Home"},
                                                  {KindOffice, "Office"},
                                                  {KindFax, "Fax"},
                                                  {KindEMail, "E-Mail"},
                                                  {KindPostalAddress, "Postal Address"},
                                                  {KindNote, "Note"},
                                                  {KindCallerGroup, "Caller group"}};
        for (const auto& [kind, text] : kinds)
            w->model().addSubentry(n, "x", kind);
        for (int i = 0; i < kinds.size(); ++i)
            QCOMPARE(w->model().indexOf(n, i).data(Qt::ToolTipRole).toString(), kinds[i].second);
        // A name and the root are not subentries.
        QVERIFY(!w->model().indexOf(n).data(Qt::ToolTipRole).isValid());
        QVERIFY(!w->model().rootIndex().data(Qt::ToolTipRole).isValid());
    }

    void kindIconsOnADarkPalette() {
        WorkDir dir;
        auto w = test::startWindow();
        Name& n = w->model().insertName(0, "Anna");
        for (int kind = KindGeneral; kind <= KindUnknown; ++kind)
            w->model().addSubentry(n, "x", kind);
        const QPalette dark = darkPalette();
        const QColor base = dark.color(QPalette::Base);
        QVERIFY(icons::isDark(dark));
        QVERIFY(!icons::isDark(QPalette(Qt::white)));

        // The plain pictures: some nearly vanish on a dark base.
        double weakest = 100;
        for (int kind = 0; kind < KindCount; ++kind)
            weakest = std::min(weakest, iconContrast(icons::kind(kind, QPalette()), base));
        QVERIFY2(weakest < 3.0, qPrintable(QString::number(weakest)));

        // The tree of a window on the dark palette shows every kind at a
        // contrast of at least 3:1, with no plate behind it: the picture covers
        // exactly what it covers on a light palette.
        w->setPalette(dark);
        QModelIndexList indexes = {w->model().rootIndex(), w->model().indexOf(n)};
        for (int i = 0; i < w->model().rowCount(w->model().indexOf(n)); ++i)
            indexes << w->model().indexOf(n, i);
        for (const QModelIndex& index : indexes) {
            const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
            const double c = iconContrast(icon, base);
            QVERIFY2(c >= 3.0,
                     qPrintable(index.data(Qt::ToolTipRole).toString() + " " + QString::number(c)));
            const int kind = index.data(BookModel::KindRole).toInt();
            const QImage shape =
                icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_Alpha8);
            const QImage plain = icons::kind(kind, QPalette(Qt::white))
                                     .pixmap(16, 16)
                                     .toImage()
                                     .convertToFormat(QImage::Format_Alpha8);
            QVERIFY2(shape == plain, qPrintable(QString::number(kind)));
        }
        // Back on a light palette the pictures are the plain ones.
        w->setPalette(QPalette(Qt::white));
        QCOMPARE(w->model().indexOf(n, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                 icons::kind(KindGeneral, QPalette(Qt::white)).cacheKey());
    }

    // --- The program ------------------------------------------------------------

    void withoutADisplayItSaysSo() {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        p.setProcessEnvironment(env);
        p.start(Program, {});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.startsWith("quorix: needs a graphical session") && err.contains("quorix-cli"),
                 err.constData());
        QVERIFY(p.readAllStandardOutput().isEmpty());

        // --help needs no display, and names the file argument.
        p.start(Program, {QStringLiteral("--help")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray help = p.readAllStandardOutput();
        QVERIFY2(help.contains("[options] [file]") && help.contains(".pbf"), help.constData());
    }

    void theVirtualPhoneEndsWithTheProgram() {
        // However the program ends: here it is killed, with no chance to clean up.
        WorkDir dir;
        QProcess p;
        p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        // The picture tool runs the program's window without the info window first.
        p.start(QStringLiteral(QUORIX_SHOTS),
                {QStringLiteral("--demo"), QStringLiteral("--screenshot-trace"),
                 dir.file(QStringLiteral("trace.png"))});
        QVERIFY(p.waitForStarted(5000));
        QList<qint64> phones;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(phones = childrenNamed(p.processId(), "quorix-phonesim")).isEmpty(), 10000);
        QCOMPARE(phones.size(), 1);
        QVERIFY(!processGone(phones.first()));
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QTRY_VERIFY_WITH_TIMEOUT(processGone(phones.first()), 5000);
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
