// Read, Rewrite entry and Write from the window against the real quorix-phonesim.
#include "AppTestSupport.h"
#include "app/BookUndo.h"

#include "app/BookTree.h"
#include "app/CommandActions.h"
#include "app/ConnectionDialog.h"
#include "app/StatusPanel.h"
#include "app/SyncDialogs.h"
#include "app/TraceWindow.h"
#include "files/Backups.h"
#include "files/BookFile.h"
#include "files/BookFormats.h"
#include "phonesim/PhoneSimProcess.h"
#include "transfer/Transfer.h"

#include <QAction>
#include <QFileInfo>
#include <QProgressBar>
#include <QTableView>
#include <QToolButton>

using namespace quorix;
using namespace quorix::test;

namespace {

const QString Phonesim = QStringLiteral(QUORIX_PHONESIM);
const QString Sample = QFileInfo(Phonesim).absoluteDir().filePath(QStringLiteral("sample.pbf"));

QByteArray described(const QString& pbf) {
    const files::BookResult r = files::loadBookFile(pbf);
    return r.ok ? describeBook(r.book).toUtf8() : QByteArray("cannot read ") + pbf.toLocal8Bit();
}

// quorix-phonesim started for one test; stop() lets it save.
struct Phone {
    phonesim::PhoneSimProcess sim;
    explicit Phone(const QStringList& arguments) {
        sim.setProgram(Phonesim);
        QSignalSpy ready(&sim, &phonesim::PhoneSimProcess::ready);
        if (!sim.start(arguments) || !ready.wait(5000))
            qWarning("quorix-phonesim did not start");
    }
    void stop() {
        QSignalSpy stopped(&sim, &phonesim::PhoneSimProcess::stopped);
        sim.stop();
        stopped.wait(5000);
    }
};

// Runs one transfer started by f and waits for its end: true when it ended with
// the given result.
bool transferDone(MainWindow& w, const std::function<void()>& f, int ms = 30000,
                  transfer::TransferEnding ending = transfer::TransferEnding::Completed) {
    QSignalSpy finished(&w.phoneTransfer(), &transfer::Transfer::finished);
    f();
    // f may run the event loop itself (waiting for a condition, stopping the
    // phone), so the transfer may already be over when it returns.
    if (finished.isEmpty() && !finished.wait(ms))
        return false;
    const transfer::TransferEnding got = w.phoneTransfer().report().ending;
    if (got != ending)
        qWarning("transfer ended with %d, expected %d", int(got), int(ending));
    return got == ending;
}

} // namespace

class TestTransferGui : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readRewriteAndWriteBack() {
        WorkDir dir;
        Phone phone({"--book", Sample, "--memory", "60", "--save", dir.file("phone.pbf")});
        auto w = startWindow();
        w->settings().device = QFile::encodeName(phone.sim.devicePath());

        // An unsaved book is asked about first; Cancel reads nothing.
        {
            const BookStepScope step(w->model(), QStringLiteral("New name"));
            w->model().insertName(0, "Unsaved");
        }
        w->phonebook().bookChanged = true;
        w->phonebook().bookFileName = dir.file(QStringLiteral("my.pbf"));
        w->updateCaption();
        QVERIFY(test::command(*w, "edit.undo")->isEnabled());
        {
            Answers cancel({QMessageBox::Cancel});
            test::child<QToolButton>(*w, "readButton")->click();
            QCOMPARE(cancel.asked.size(), 1);
            QCOMPARE(cancel.asked[0].caption, QStringLiteral("Book changed!"));
            QVERIFY(!w->phoneTransfer().busy());
        }
        Answers answers({QMessageBox::No, QMessageBox::No});
        // Stop before the phone has said anything: the book stays as it was.
        QVERIFY(transferDone(
            *w,
            [&] {
                test::child<QToolButton>(*w, "readButton")->click();
                test::child<QToolButton>(*w, "stopButton")->click();
            },
            30000, transfer::TransferEnding::StoppedByUser));
        QCOMPARE(w->panelText(0), QStringLiteral("Transfer aborted by user."));
        QCOMPARE(w->phonebook().name(0).text, QByteArray("Unsaved"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Quorix - my.pbf"));
        QVERIFY(transferDone(*w, [&] {
            test::child<QToolButton>(*w, "readButton")->click();
            QTRY_VERIFY(w->phonebook().transferActive);
            QVERIFY(!test::child<QToolButton>(*w, "readButton")->isEnabled() &&
                    !test::child<QToolButton>(*w, "writeButton")->isEnabled());
            test::command(*w, "transfer.read")->trigger(); // F5 does nothing now
            QCOMPARE(answers.asked.size(), 2);
        }));
        QCOMPARE(describeBook(w->phonebook()), described(Sample));
        QCOMPARE(w->phonebook().entryNote(w->phonebook().name(30)),
                 QByteArray("Read from location 31"));
        // The phone's book is no file's, and what came before it is not undone.
        QCOMPARE(w->windowTitle(), QStringLiteral("Quorix"));
        QVERIFY(w->phonebook().bookFileName.isEmpty());
        QVERIFY(!test::command(*w, "edit.undo")->isEnabled());
        // Every read keeps the phone's book in the backups folder, and says where.
        const auto backups = files::BackupFolder(dir.backups()).newest();
        QCOMPARE(int(backups.size()), 1);
        QCOMPARE(backups.front().names, 31);
        QCOMPARE(w->panelText(0), QStringLiteral("Ready. Backup: ") + backups.front().path);
        QVERIFY(test::child<QToolButton>(*w, "readButton")->isEnabled() &&
                test::child<QToolButton>(*w, "writeButton")->isEnabled());

        // Ctrl+R on a changed name writes it back to its location alone.
        Name& second = w->phonebook().name(1);
        w->model().setSubentryText(second, 0, "+4989000000");
        w->treeView()->setCurrentIndex(w->model().indexOf(second));
        QVERIFY(transferDone(*w, [&] { test::command(*w, "tree.rewrite")->trigger(); }));
        QCOMPARE(w->phonebook().entryNote(second), QByteArray("Written to location 2"));
        QCOMPARE(w->phonebook().entryNote(w->phonebook().name(2)),
                 QByteArray("Read from location 3"));
        QCOMPARE(test::child<TraceWindow>(*w)->startBorderText() + '/' +
                     test::child<TraceWindow>(*w)->stopBorderText(),
                 QStringLiteral("/"));
        // What it overwrote is kept first, as the phone held it, and the status says where.
        const auto kept = files::BackupFolder(dir.backups()).newest();
        QCOMPARE(int(kept.size()), 2);
        QCOMPARE(kept.front().kind, files::BackupKind::Write);
        QCOMPARE(kept.front().names, 1);
        const files::BookResult old = files::openBook(kept.front().path);
        QVERIFY2(old.ok, qPrintable(old.error));
        QCOMPARE(old.book.name(0).location, std::optional<int>(2));
        QCOMPARE(old.book.name(0).text, second.text);
        QVERIFY(!describeBook(old.book).contains(QStringLiteral("+4989000000")));
        QCOMPARE(w->panelText(0), QStringLiteral("Ready. Backup: ") + kept.front().path);

        QVERIFY(transferDone(*w, [&] { test::child<QToolButton>(*w, "writeButton")->click(); }));
        QCOMPARE(w->phonebook().entryNote(w->phonebook().name(30)),
                 QByteArray("Written to location 31"));
        phone.stop();
        QCOMPARE(described(dir.file("phone.pbf")), describeBook(w->phonebook()));
        QVERIFY(described(dir.file("phone.pbf")).contains("\n  Office: +4989000000\n"));
    }

    // An old .pbf onto a phone holding other entries: Write asks first; Compare
    // shows the differences; Write changes writes only those, keeping what it
    // overwrites.
    void writeAsksBeforeItOverwrites() {
        WorkDir dir;
        Phone phone({"--book", Sample, "--memory", "60", "--save", dir.file("phone.pbf")});
        auto w = startWindow();
        w->settings().device = QFile::encodeName(phone.sim.devicePath());
        files::BookResult book = files::loadBookFile(Sample);
        QVERIFY(book.ok);
        book.book.name(2).subs.front().text = QStringLiteral("+4930999");
        book.book.insertName(0, QStringLiteral("Aaron New")); // shifts every name by one
        files::adoptLoadedBook(w->model(), book);

        {
            Answers cancel({QMessageBox::Cancel});
            // The locations it would fill are read first; nothing is written.
            QVERIFY(
                transferDone(*w, [&] { test::child<QToolButton>(*w, "writeButton")->click(); }));
            QTRY_COMPARE(cancel.asked.size(), 1);
            QCOMPARE(cancel.asked[0].caption, QStringLiteral("Confirm"));
            QCOMPARE(cancel.asked[0].buttons,
                     QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::Cancel);
            QVERIFY(cancel.asked[0].text.startsWith(
                QStringLiteral("The phone holds other entries at 31 of the locations")));
            QVERIFY(!w->phoneTransfer().busy());
        }

        QVERIFY(transferDone(*w, [&] { test::command(*w, "transfer.compare")->trigger(); }));
        CompareDialog* compare = nullptr;
        QTRY_VERIFY((compare = w->findChild<CompareDialog*>()));
        QVERIFY(compare->countText().startsWith(
            QStringLiteral("1 changed, 1 new, 30 the same, 0 only on the phone")));
        QCOMPARE(compare->table()->model()->rowCount(), 32);
        compare->close();

        QVERIFY(transferDone(*w, [&] { test::command(*w, "transfer.writeChanges")->trigger(); }));
        const auto backups = files::BackupFolder(dir.backups()).newest();
        QCOMPARE(int(backups.size()), 1);
        QCOMPARE(backups.front().names, 1); // the one entry overwritten
        QCOMPARE(w->panelText(0),
                 QStringLiteral("Ready. 1 changed, 1 new, 30 the same, 0 only on the phone. "
                                "Backup: ") +
                     backups.front().path);
        phone.stop();
        // The phone: the sample with the one change, and the new name after it.
        files::BookResult expected = files::loadBookFile(Sample);
        expected.book.name(2).subs.front().text = QStringLiteral("+4930999");
        expected.book.insertName(31, QStringLiteral("Aaron New"));
        QCOMPARE(described(dir.file("phone.pbf")), describeBook(expected.book).toUtf8());
    }

    void progressBarDuringReadAndWrite() {
        WorkDir dir;
        Phone phone({"--book", Sample, "--memory", "60"});
        auto w = startWindow();
        w->settings().device = QFile::encodeName(phone.sim.devicePath());
        QProgressBar* bar = test::child<QProgressBar>(*w, "progress");
        QVERIFY(bar->isHidden());
        // What the status bar shows at each step: "value/maximum" of a visible
        // bar standing in the third panel's place.
        QStringList seen;
        connect(&w->phoneTransfer(), &transfer::Transfer::progress, w.get(), [&](int, int) {
            seen << QStringLiteral("%1/%2%3")
                        .arg(bar->value())
                        .arg(bar->maximum())
                        .arg(bar->isVisible() && w->panelLabel(2)->isHidden() ? "" : " hidden");
        });
        QVERIFY(transferDone(*w, [&] { test::child<QToolButton>(*w, "readButton")->click(); }));
        const int names = w->phonebook().entryCount();
        QVERIFY(names > 10);
        // From none to all the names the phone holds, one step per name read.
        QCOMPARE(seen.size(), names + 1);
        for (int i = 0; i < seen.size(); ++i)
            QCOMPARE(seen[i], QStringLiteral("%1/%2").arg(i).arg(names));
        QVERIFY(bar->isHidden());
        QVERIFY(w->panelLabel(2)->isVisible());

        // A write counts the names it writes.
        seen.clear();
        QVERIFY(transferDone(*w, [&] { test::child<QToolButton>(*w, "writeButton")->click(); }));
        QCOMPARE(seen.size(), names);
        QCOMPARE(seen.first(), QStringLiteral("1/%1").arg(names));
        QCOMPARE(seen.last(), QStringLiteral("%1/%1").arg(names));
        QVERIFY(bar->isHidden());
    }

    // Every command that would disturb a transfer is disabled while one runs,
    // in the menus, on the buttons and by its keys, and comes back after it.
    void commandsWaitWhileTransferRuns() {
        WorkDir dir;
        Phone phone({"--book", Sample, "--memory", "60", "--latency", "10"});
        auto w = startWindow();
        w->settings().device = QFile::encodeName(phone.sim.devicePath());
        const CommandActions& commands = w->commands();
        const QStringList refused = {"file.new",
                                     "file.open",
                                     "file.save",
                                     "file.saveAs",
                                     "file.importCsv",
                                     "file.import9110",
                                     "file.importVCard",
                                     "file.exportVCard",
                                     "file.exportCsv",
                                     "connection.setup",
                                     "transfer.read",
                                     "transfer.write",
                                     "extras.sort",
                                     "extras.flip",
                                     "extras.findDuplicates",
                                     "help.releaseNotes",
                                     "help.about",
                                     "book.clear",
                                     "tree.rewrite",
                                     "file.exportGoogleCsv",
                                     "file.restoreBackup",
                                     "transfer.writeChanges",
                                     "transfer.compare",
                                     "file.print",
                                     "file.printPreview"};
        QStringList wrong;
        for (const QString& id : commands.ids())
            if (!commands.action(id) ||
                commands.refusedDuringTransfer(commands.action(id)) != refused.contains(id))
                wrong << id;
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u' ')));
        QVERIFY(commands.ids().size() > refused.size() + 20); // the popup's and the rest
        // A recording of the line may start while the transfer runs.
        QVERIFY(commands.action(QStringLiteral("extras.record")));

        QHash<QString, bool> enabled;
        for (const QString& id : commands.ids())
            enabled[id] = commands.action(id)->isEnabled();
        const QList<QToolButton*> buttons = {
            test::child<QToolButton>(*w, "saveButton"), test::child<QToolButton>(*w, "loadButton"),
            test::child<QToolButton>(*w, "sortButton"), test::child<QToolButton>(*w, "clearButton"),
            test::child<QToolButton>(*w, "readButton"), test::child<QToolButton>(*w, "writeButton"),
            test::child<QToolButton>(*w, "stopButton"), test::child<QToolButton>(*w, "exitButton")};
        const auto check = [&](bool running) {
            for (const QString& id : commands.ids())
                if (commands.action(id)->isEnabled() !=
                    (running && refused.contains(id) ? false : enabled[id]))
                    wrong << id + (running ? " during" : " after");
            for (QToolButton* b : buttons)
                if (b->isEnabled() !=
                    (!running || b == test::child<QToolButton>(*w, "stopButton") ||
                     b == test::child<QToolButton>(*w, "exitButton")))
                    wrong << b->text() + (running ? " during" : " after");
        };
        QVERIFY(transferDone(*w, [&] {
            test::command(*w, "transfer.read")->trigger();
            QTRY_VERIFY(w->phonebook().transferActive);
            check(true);
            // Their keys do nothing either: F4 would sort, F10 open the setup.
            QTest::keyClick(w.get(), Qt::Key_F4);
            QTest::keyClick(w.get(), Qt::Key_F10);
            QVERIFY(!test::child<ConnectionDialog>(*w)->isVisible());
        }));
        check(false);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u' ')));
        QCOMPARE(describeBook(w->phonebook()), described(Sample)); // read in phone order
    }

    void readFromTheDemoPhone() {
        WorkDir dir;
        auto w = startWindow();
        QSignalSpy ready(w.get(), &MainWindow::demoReady);
        w->startDemo();
        QVERIFY(ready.wait(5000));
        QVERIFY(transferDone(*w, [&] { test::child<QToolButton>(*w, "readButton")->click(); }));
        QCOMPARE(describeBook(w->phonebook()), described(Sample));
    }

    void silentPhoneAsksWhetherToSetUpAgain() {
        WorkDir dir;
        Phone phone({"--book", Sample, "--silent-after", "6", "--silent-for", "300"});
        auto w = startWindow();
        w->settings().device = QFile::encodeName(phone.sim.devicePath());
        Answers answers({QMessageBox::Yes});
        QVERIFY(transferDone(
            *w, [&] { test::child<QToolButton>(*w, "readButton")->click(); }, 40000));
        QCOMPARE(answers.asked.size(), 1);
        const Question& q = answers.asked[0];
        QCOMPARE(q.caption, QStringLiteral("connection timeout"));
        QCOMPARE(q.text, QStringLiteral("No valid answer was received from phone.\rDo you want to "
                                        "re-setup connection and\rtry to continue at the point of "
                                        "failure?"));
        QCOMPARE(q.icon, QMessageBox::Critical);
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(describeBook(w->phonebook()), described(Sample));
    }

    // A read that fails keeps the book it found: a phone that does not answer
    // (No at the question) leaves the earlier read's book in its order, and a
    // port that disappears mid-read leaves the names read so far, in location
    // order, and says so.
    void failedReadsKeepTheBookInOrder() {
        WorkDir dir;
        const QString three = dir.file("three.pbf");
        {
            QFile f(three);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[QUORIX7-File]\r\nAnna\r\n\x03+4912\r\nBen\r\nCarl\r\n");
        }
        auto w = startWindow();
        {
            Phone phone({"--book", three});
            w->settings().device = QFile::encodeName(phone.sim.devicePath());
            QVERIFY(transferDone(*w, [&] { test::child<QToolButton>(*w, "readButton")->click(); }));
        }
        const QString first = describeBook(w->phonebook());
        QVERIFY2(first.startsWith(QLatin1String("Anna\n")), qPrintable(first));

        Phone off({"--book", three, "--silent-after", "0"});
        w->settings().device = QFile::encodeName(off.sim.devicePath());
        Answers no({QMessageBox::No, QMessageBox::No}); // keep the unsaved book; give up
        QVERIFY(transferDone(
            *w, [&] { test::child<QToolButton>(*w, "readButton")->click(); }, 30000,
            transfer::TransferEnding::StoppedByUser));
        QCOMPARE(no.asked.size(), 2);
        QCOMPARE(no.asked[1].caption, QStringLiteral("connection timeout"));
        QCOMPARE(describeBook(w->phonebook()), first);
        QCOMPARE(w->panelText(0), QStringLiteral("Transfer aborted by user."));

        Phone slow({"--book", Sample, "--latency", "150"});
        const QString device = slow.sim.devicePath();
        w->settings().device = QFile::encodeName(device);
        Answers again({QMessageBox::No});
        QVERIFY(transferDone(
            *w,
            [&] {
                test::child<QToolButton>(*w, "readButton")->click();
                QTRY_VERIFY_WITH_TIMEOUT(w->phoneTransfer().readCount() >= 3, 20000);
                slow.stop(); // the adapter is pulled
            },
            30000, transfer::TransferEnding::PortLost));
        const int read = w->phonebook().entryCount();
        QVERIFY(read >= 3);
        QCOMPARE(w->panelText(0), QStringLiteral("Read interrupted after %1 names: %2 disappeared "
                                                 "(hung up)")
                                      .arg(read)
                                      .arg(device));
        const QByteArray now = describeBook(w->phonebook()).toUtf8();
        QCOMPARE(now, described(Sample).left(now.size()));
        QVERIFY(test::child<QToolButton>(*w, "readButton")->isEnabled());
    }
};

QTEST_MAIN(TestTransferGui)
#include "tst_transfer_gui.moc"
