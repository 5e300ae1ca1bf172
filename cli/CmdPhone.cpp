// read, write and demo: the phonebook transfer on the terminal.
#include "Commands.h"

#include "files/Backups.h"
#include "files/BookFile.h"
#include "files/BookFormats.h"
#include "link/FbusLink.h"
#include "link/SerialPort.h"
#include "model/BookModel.h"
#include "model/PhoneSync.h"
#include "phonesim/PhoneSimProcess.h"
#include "transfer/PhoneView.h"
#include "transfer/Transfer.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

namespace quorix::cli {

namespace {

using namespace quorix::link;
using namespace quorix::transfer;

constexpr int DefaultRetries = 2;

QTextStream& errStream() {
    static QTextStream s(stderr);
    return s;
}

// The terminal stands in for the window: status texts go to stderr, and the
// "connection timeout" question is answered Yes as long as --retries allows,
// then No.
class TerminalUi : public TransferUi {
public:
    Transfer* transfer = nullptr;
    int retries = DefaultRetries;
    bool quiet = false;
    int timeouts = 0;
    QByteArray lastStatus; // what the status bar would show at the end

    void showStatus(const QByteArray& text) override {
        lastStatus = text;
        if (!quiet)
            errStream() << QString::fromLatin1(text) << Qt::endl;
    }
    void showError(const QByteArray&, const QByteArray&) override {} // in the report
    void askTimeout(const QByteArray&, const QByteArray& text) override {
        const bool yes = timeouts < retries;
        ++timeouts;
        errStream() << messageText(text) << ' '
                    << (yes ? QStringLiteral("Yes (%1 of %2)").arg(timeouts).arg(retries)
                            : QStringLiteral("No"))
                    << Qt::endl;
        // Answered from the event loop, as a person would, not inside the watchdog.
        // Giving up is ours, not the user's: the closing text says so.
        const QByteArray reason =
            "No valid answer from the phone after " +
            countOf(retries, QStringLiteral("retry"), QStringLiteral("retries")).toLatin1() +
            "; transfer given up.";
        QMetaObject::invokeMethod(
            transfer,
            [t = transfer, yes, reason] {
                if (yes)
                    t->timeoutAnswer(true);
                else if (t->asking())
                    t->abandon(reason);
            },
            Qt::QueuedConnection);
    }
};

// A link, a book and a transfer between them, for one command.
struct Session {
    SerialPort serial;
    FbusLink link{serial};
    LinkSettings settings;
    FbusTransferLink transferLink{link, [this] { return settings; }};
    BookModel model;
    TerminalUi ui;
    Transfer transfer{transferLink, model, ui};
    LocationRange borders;
    double deadline = 0; // seconds; 0: none

    Session() { ui.transfer = &transfer; }

    // Runs a read or write to its end and gives its report.
    TransferReport run(bool (Transfer::*command)(const LocationRange&)) {
        return runWith([&] { return (transfer.*command)(borders); });
    }
    // A write that keeps what it overwrites in the backups folder first.
    TransferReport runWrite() {
        return runWith([&] { return transfer.startWrite(borders, files::keepReplaced); });
    }
    TransferReport runSync(SyncJob job) {
        job.borders = borders;
        return runWith([&] { return transfer.startSync(std::move(job)); });
    }

    template <typename Start> TransferReport runWith(Start start) {
        QEventLoop loop;
        QObject::connect(&transfer, &Transfer::finished, &loop, &QEventLoop::quit);
        QTimer deadlineTimer;
        deadlineTimer.setSingleShot(true);
        QObject::connect(&deadlineTimer, &QTimer::timeout, &transfer, [this] {
            transfer.abandon("The deadline of " + QByteArray::number(deadline) +
                             " s has passed; transfer given up.");
        });
        if (!start())
            return transfer.report();
        if (deadline > 0)
            deadlineTimer.start(std::chrono::milliseconds(qint64(deadline * 1000)));
        if (transfer.busy())
            loop.exec();
        return transfer.report();
    }
};

// Why the transfer ended as it did, on one line without its full stop: the
// closing text, or for a link that did not start the port, the message and the
// system's reason.
QString endingText(const TransferReport& r) {
    QString line;
    if (r.ending == TransferEnding::LinkNotStarted) {
        const QString port = QFile::decodeName(r.device);
        // The reason goes in brackets at the end, not in the middle of the text.
        QByteArrayList lines = r.linkMessage.split('\r');
        lines.removeAll(r.systemReason);
        line = port + QStringLiteral(": ") + QString::fromLatin1(lines.join(' '));
        QString reason = QString::fromLocal8Bit(r.systemReason);
        if (reason.startsWith(port + QStringLiteral(": ")))
            reason.remove(0, port.size() + 2);
        if (!reason.isEmpty())
            line += QStringLiteral(" (%1)").arg(reason);
    } else {
        line = QString::fromLatin1(r.closingText());
    }
    if (line.endsWith(QLatin1Char('.')))
        line.chop(1);
    return line;
}

// quorix-phonesim with the sample book, for --demo and the demo command. Stopped
// (and waited for) when this goes.
class DemoPhone {
public:
    // The device the phone serves on, or empty with error set.
    QString start(QString& error) {
        const QString book = phonesim::PhoneSimProcess::sampleBook(sim_.program());
        if (sim_.program().isEmpty() || book.isEmpty()) {
            error = QStringLiteral("the virtual phone (quorix-phonesim and its sample.pbf) was not "
                                   "found beside quorix-cli");
            return {};
        }
        QEventLoop loop;
        QString failure;
        QObject::connect(&sim_, &phonesim::PhoneSimProcess::ready, &loop, &QEventLoop::quit);
        QObject::connect(&sim_, &phonesim::PhoneSimProcess::failed, &loop,
                         [&](const QString& message) {
                             failure = message;
                             loop.quit();
                         });
        QTimer::singleShot(10000, &loop, [&] {
            failure = QStringLiteral("the virtual phone did not start within 10 seconds");
            loop.quit();
        });
        if (!sim_.start({QStringLiteral("--book"), book}))
            failure = sim_.errorString();
        else if (sim_.devicePath().isEmpty() && failure.isEmpty())
            loop.exec();
        if (!failure.isEmpty() || sim_.devicePath().isEmpty()) {
            error = QStringLiteral("the virtual phone did not start: %1").arg(failure);
            return {};
        }
        return sim_.devicePath();
    }

private:
    phonesim::PhoneSimProcess sim_;
};

// The options read and write share, and where they lead.
struct TransferOptions {
    LinkOptions link{
        QStringLiteral("Serial device, or COM1..COM4; --port --demo is the same as --demo.")};
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Start a virtual phone holding the sample book and "
                                           "use it instead of a serial port.")};
    QCommandLineOption start{QStringLiteral("start"),
                             QStringLiteral("First location (the Custom border Start)."),
                             QStringLiteral("N")};
    QCommandLineOption stop{QStringLiteral("stop"),
                            QStringLiteral("Last location (the Custom border Stop)."),
                            QStringLiteral("N")};
    QCommandLineOption retries{
        QStringLiteral("retries"),
        QStringLiteral("When the phone stops answering, set the link up again and go on "
                       "where it stopped, at most N times (default %1); 0 gives up at once.")
            .arg(DefaultRetries),
        QStringLiteral("N"), QString::number(DefaultRetries)};
    QCommandLineOption deadline{
        QStringLiteral("deadline"),
        QStringLiteral("Give up after this many seconds in all, as if the timeout question "
                       "had been answered No (default: no deadline)."),
        QStringLiteral("SECONDS")};
    QCommandLineOption quiet{QStringLiteral("quiet"), QStringLiteral("Print no progress.")};

    void addTo(QCommandLineParser& p) const {
        link.addTo(p);
        p.addOptions({demo, start, stop, retries, deadline, quiet});
    }

    bool wantsDemo(const QCommandLineParser& p) const {
        return p.isSet(demo) || p.value(link.port) == QLatin1String("--demo");
    }

    // Fills the session from the options; false with the complaint in error when
    // they are wrong.
    bool apply(const QCommandLineParser& p, Session& s, QString& error) const {
        for (const QCommandLineOption* border : {&start, &stop}) {
            if (!p.isSet(*border))
                continue;
            bool ok = false;
            const int n = p.value(*border).toInt(&ok);
            if (!ok || n < 1 || n > Transfer::MaxLocation) {
                error = QStringLiteral("--%1 wants a location from 1 to %2")
                            .arg(border->names().first())
                            .arg(Transfer::MaxLocation);
                return false;
            }
            (border == &start ? s.borders.first : s.borders.last) = n;
        }
        bool ok = false;
        s.ui.retries = p.value(retries).toInt(&ok);
        if (!ok || s.ui.retries < 0 || s.ui.retries > 1000) {
            error = QStringLiteral("--retries wants a number from 0 to 1000");
            return false;
        }
        if (p.isSet(deadline)) {
            s.deadline = p.value(deadline).toDouble(&ok);
            if (!ok || !(s.deadline > 0) || s.deadline > 1e6) {
                error = QStringLiteral("--deadline wants a number of seconds above 0");
                return false;
            }
        }
        s.ui.quiet = p.isSet(quiet);
        if (!link.settings(p, s.settings, error))
            return false;
        link.setUpTrace(p, s.link);
        if (!wantsDemo(p) && p.value(link.port).isEmpty()) {
            error = QStringLiteral("--port DEVICE (a device path or COM1..COM4) or --demo is "
                                   "required");
            return false;
        }
        return true;
    }

    // Starts the virtual phone when asked to; false with the reason in error when
    // it did not start.
    bool startDemo(const QCommandLineParser& p, Session& s, DemoPhone& phone,
                   QString& error) const {
        if (!wantsDemo(p))
            return true;
        const QString device = phone.start(error);
        if (device.isEmpty())
            return false;
        s.settings.device = QFile::encodeName(device);
        return true;
    }
};

// One name and its note as a line for the terminal.
QString resultLine(const QString& name, const QString& note) {
    return terminalText(name + QStringLiteral(": ") + note);
}

// Saves the book read in the format the file name says; a .pbf that would lose
// characters is warned about, or with strict not written.
files::SaveResult saveRead(BookModel& model, const QString& path, bool strict) {
    const bool pbf = path == QLatin1String("-") || files::formatOf(path) == files::BookFormat::Pbf;
    if (const files::PbfLoss loss = files::pbfLoss(model.book()); pbf && !loss.isEmpty()) {
        if (strict) {
            files::SaveResult refused;
            refused.path = path;
            refused.error = loss.warning() + QStringLiteral(" Nothing was written (--strict).");
            return refused;
        }
        errStream() << "quorix-cli: warning: " << path << ": " << loss.warning() << Qt::endl;
    }
    return saveOutput(model, path);
}

int readPhone(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Reads the phone's phonebook into a file: a vCard file (.vcf, every "
                       "character kept: the backup to keep, e.g. -o backup.vcf), or a phonebook "
                       "(.pbf) or CSV (.csv) file. Progress goes to stderr. The file is written "
                       "only when the whole read succeeded (see --keep-partial); an earlier "
                       "file of that name stays otherwise."));
    const TransferOptions opts;
    const QCommandLineOption out(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                 QStringLiteral("The file to write, exactly as named: "
                                                "backup.vcf (vCard, lossless), book.pbf or "
                                                "book.csv; '-' writes a phonebook file to "
                                                "stdout."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption keep(QStringLiteral("keep-partial"),
                                  QStringLiteral("Save the names read so far also when the read "
                                                 "was broken off."));
    const QCommandLineOption strict(
        QStringLiteral("strict"),
        QStringLiteral("Save no phonebook file that would lose characters (a .pbf holds "
                       "Windows-1252 only); exit with 1 instead of warning."));
    opts.addTo(p);
    p.addOptions({out, keep, strict});
    if (const int status = parseCommandLine(p, args); status >= 0)
        return status;
    if (!p.positionalArguments().isEmpty())
        return usageError(
            args, QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first()));
    if (p.value(out).isEmpty())
        return usageError(args, QStringLiteral("-o FILE is required: where to save the book read"));

    Session s;
    if (QString error; !opts.apply(p, s, error))
        return usageError(args, error);
    if (QString error; !opts.link.setUpRecording(p, s.serial, error))
        return fail(error);
    const QString output = p.value(out);
    if (QString error; !checkOutput(output, {}, error))
        return fail(error);
    DemoPhone phone;
    if (QString error; !opts.startDemo(p, s, phone, error))
        return fail(error);
    const TransferReport r = s.run(&Transfer::startRead);
    const int read = r.count(NameFate::Read);
    // A link that could not be set up again after names came is a broken-off read.
    if (r.ending == TransferEnding::LinkNotStarted && read == 0)
        return fail(endingText(r));
    const bool whole = r.completed();
    const QString why = endingText(r);
    if (!whole && !p.isSet(keep))
        return fail(why + QStringLiteral("; nothing was saved (--keep-partial saves the names "
                                         "read)"));
    const files::SaveResult saved = saveRead(s.model, output, p.isSet(strict));
    if (!saved.ok)
        return fail(QStringLiteral("cannot save %1: %2").arg(saved.path, saved.error));
    const QString names =
        countOf(s.model.book().entryCount(), QStringLiteral("name"), QStringLiteral("names"));
    if (output != QLatin1String("-"))
        QTextStream(stdout) << "Read " << names << " into " << saved.path << '.' << Qt::endl;
    // Every read keeps the phone's book in the backups folder.
    if (s.model.book().isEmpty()) {
        // Nothing to keep.
    } else if (const files::FileResult backup =
                   files::BackupFolder().save(s.model.book(), files::BackupKind::Read);
               !backup.ok) {
        errStream() << "quorix-cli: warning: no backup: " << backup.path << ": " << backup.error
                    << Qt::endl;
    } else if (output == QLatin1String("-")) {
        errStream() << backup.status << Qt::endl;
    } else {
        QTextStream(stdout) << backup.status << Qt::endl;
    }
    if (!whole)
        return fail(why + QStringLiteral("; the file holds the %1 read").arg(names));
    return ExitSuccess;
}

int diffPhone(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Compares a phonebook file with the phone's locations (all, or --start "
                       "to --stop) without changing either: one line per location that differs, "
                       "then the counts. A name the file knows no location of is matched to the "
                       "phone's entry of the same name. Exits with 0 when it could compare."));
    p.addPositionalArgument(QStringLiteral("BOOK"),
                            QStringLiteral("The phonebook file (.pbf) or vCard file (.vcf)."));
    const TransferOptions opts;
    opts.addTo(p);
    if (const int status = parseCommandLine(p, args); status >= 0)
        return status;
    if (p.positionalArguments().size() != 1)
        return usageError(args, QStringLiteral("one phonebook file to compare is required"));
    Session s;
    if (QString error; !opts.apply(p, s, error))
        return usageError(args, error);
    const files::BookResult loaded = files::openBook(p.positionalArguments().first());
    if (!loaded.ok)
        return bookFailure(p.positionalArguments().first(), loaded);
    DemoPhone phone;
    if (QString error; !opts.startDemo(p, s, phone, error))
        return fail(error);
    const TransferReport r = s.runSync(compareJob());
    if (!r.completed())
        return fail(endingText(r));
    const Comparison c = compareRead(loaded.book, s.transfer.syncRead());
    QTextStream out(stdout);
    for (const SlotDiff& row : c.rows)
        if (row.state != SlotState::Same)
            out << terminalText(diffLine(row, loaded.book)) << '\n';
    out << c.countLine() << Qt::endl;
    return ExitSuccess;
}

// The lines of write --changes after its run, and its exit status.
int reportChanges(const TransferReport& r, const ChangesOutcome& o, const Book& book,
                  const QString& snapshotPath) {
    QTextStream out(stdout);
    for (const NameResult& n : r.names) {
        if (n.fate == NameFate::Written || n.fate == NameFate::Refused)
            out << resultLine(n.name, n.note()) << '\n';
        else if (n.fate == NameFate::Sent)
            out << resultLine(n.name, QStringLiteral("Not written (no answer for location %1)")
                                          .arg(n.location.value_or(0)))
                << '\n';
        else if (n.fate == NameFate::NotReached || n.fate == NameFate::Deleted)
            out << resultLine(n.name, QStringLiteral("Not written")) << '\n';
    }
    QStringList changedBehind;
    for (const WritePlan::Send& b : o.blocked) {
        const QString name = book.name(b.bookRow).text;
        changedBehind << QStringLiteral("%1 (location %2)").arg(name).arg(b.location);
        out << resultLine(name, QStringLiteral("Not written: the phone no longer holds at "
                                               "location %1 what %2 says")
                                    .arg(b.location)
                                    .arg(snapshotPath))
            << '\n';
    }
    for (const int row : o.plan.unplaced)
        out << resultLine(book.name(row).text, QStringLiteral("Not written (no free location)"))
            << '\n';
    for (const PhoneSlot& left : o.plan.left)
        out << resultLine(left.content.name,
                          QStringLiteral("Left on the phone at location %1 (not in the book)")
                              .arg(left.location))
            << '\n';
    if (o.keepError.isEmpty() && !o.keptAt.isEmpty())
        out << "Backup: " << o.keptAt << '\n';
    else if (o.keepError.isEmpty() && r.completed())
        out << "Backup: none needed (no entry of the phone is overwritten)\n";
    out << o.comparison.countLine() << Qt::endl;
    if (!o.keepError.isEmpty())
        return fail(
            QStringLiteral("no backup could be kept, so nothing was written: %1").arg(o.keepError));
    if (!r.completed())
        return fail(endingText(r));
    if (!changedBehind.isEmpty())
        return fail(QStringLiteral("the phone changed since %1; not written: %2")
                        .arg(snapshotPath, changedBehind.join(QStringLiteral(", "))));
    if (r.refusals())
        return fail(QStringLiteral("some locations could not be written"));
    if (!o.plan.unplaced.empty())
        return fail(QStringLiteral("%1 found no free location")
                        .arg(countOf(int(o.plan.unplaced.size()), QStringLiteral("name"),
                                     QStringLiteral("names"))));
    if (r.count(NameFate::Written) != int(r.names.size()))
        return fail(QStringLiteral("not every name was confirmed by the phone"));
    return ExitSuccess;
}

int writePhone(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Writes the names of a phonebook file into the phone, one per location "
                       "from the first location (or --start), and prints what became of each. "
                       "What the phone held at those locations is kept in the backups folder "
                       "first. "
                       "Exits with 0 only when every name was written, or the names left over "
                       "lie beyond --stop; with 1 when a location could not be written, names "
                       "did not fit into the phone's memory, or the write was broken off."));
    p.addPositionalArgument(QStringLiteral("BOOK"),
                            QStringLiteral("The phonebook file (.pbf) or vCard file (.vcf)."));
    const TransferOptions opts;
    opts.addTo(p);
    const QCommandLineOption changes(
        QStringLiteral("changes"),
        QStringLiteral("Write only the names whose phone entry differs from what writing them "
                       "would store: changed names to their own locations, new names to the "
                       "first free ones; names the book lacks stay on the phone. Reads the range "
                       "first when BOOK does not record what the phone holds. What is "
                       "overwritten is kept in the backups folder first."));
    const QCommandLineOption against(
        QStringLiteral("against"),
        QStringLiteral("With --changes: the phone still holds SNAPSHOT (a .vcf written by read "
                       "-o); only the locations to write are read, and a name whose location "
                       "holds anything else is not written (exit 1)."),
        QStringLiteral("SNAPSHOT"));
    p.addOptions({changes, against});
    if (const int status = parseCommandLine(p, args); status >= 0)
        return status;
    if (p.positionalArguments().size() != 1)
        return usageError(args, QStringLiteral("one phonebook file to write is required"));
    if (p.isSet(against) && !p.isSet(changes))
        return usageError(args, QStringLiteral("--against SNAPSHOT goes with --changes"));

    Session s;
    if (QString error; !opts.apply(p, s, error))
        return usageError(args, error);
    if (QString error; !opts.link.setUpRecording(p, s.serial, error))
        return fail(error);
    files::BookResult loaded = files::openBook(p.positionalArguments().first());
    if (!loaded.ok)
        return bookFailure(p.positionalArguments().first(), loaded);
    files::adoptLoadedBook(s.model, loaded);
    std::optional<Book> snapshot;
    if (p.isSet(against)) {
        files::BookResult snap = files::openBook(p.value(against));
        if (!snap.ok)
            return bookFailure(p.value(against), snap);
        if (recordedSlots(snap.book).empty())
            return fail(QStringLiteral("%1: no phone locations in it (a snapshot is a .vcf "
                                       "written by quorix-cli read -o)")
                            .arg(snap.path));
        snapshot = std::move(snap.book);
    }
    DemoPhone phone;
    if (QString error; !opts.startDemo(p, s, phone, error))
        return fail(error);
    if (p.isSet(changes)) {
        auto o = std::make_shared<ChangesOutcome>();
        std::optional<std::vector<PhoneSlot>> expected;
        if (snapshot)
            expected = recordedSlots(*snapshot);
        const TransferReport r =
            s.runSync(changesJob(s.model, std::move(expected), files::keepReplaced, o));
        if (r.ending == TransferEnding::LinkNotStarted && !r.linkCameUp())
            return fail(endingText(r));
        return reportChanges(r, *o, s.model.book(), p.value(against));
    }
    const TransferReport r = s.runWrite();
    if (r.ending == TransferEnding::LinkNotStarted && !r.linkCameUp())
        return fail(endingText(r));
    if (!r.keepError.isEmpty())
        return fail(
            QStringLiteral("no backup could be kept, so nothing was written: %1").arg(r.keepError));

    QTextStream out(stdout);
    const int all = s.model.book().entryCount();
    int broken = 0, outside = 0;
    for (const NameResult& n : r.names) {
        switch (n.fate) {
        case NameFate::Written:
        case NameFate::Refused:
            out << resultLine(n.name, n.note()) << '\n';
            break;
        case NameFate::Sent:
            // Sent, but no answer came before the end: the phone may or may not hold it.
            out << resultLine(
                       n.name,
                       QStringLiteral("Not written (no answer for location %1)").arg(*n.location))
                << '\n';
            break;
        case NameFate::NotReached:
        case NameFate::Deleted:
            ++broken;
            break;
        case NameFate::OutsideRange:
            ++outside;
            break;
        case NameFate::Read:
            break;
        }
    }
    if (broken + outside > 0 && !r.completed()) {
        out << broken + outside << " of " << all
            << " names were not written (the write was broken off before them).\n";
    } else if (outside > 0 && p.isSet(opts.stop)) {
        out << outside << " of " << all
            << " names were not written (the range ended before them).\n";
    } else if (outside > 0) {
        out << outside << " of " << all << " names did not fit into the phone's memory (locations "
            << r.firstLocation.value_or(1) << QChar(0x2013) << r.lastLocation.value_or(0) << ").\n";
    }
    if (const QByteArray left = r.leftoverText(); !left.isEmpty())
        out << left << '\n';
    // Only when something was overwritten: otherwise the lines stay as scripts know them.
    if (!r.keptAt.isEmpty())
        out << "Backup: " << r.keptAt << '\n';
    out.flush();
    if (!r.completed())
        return fail(endingText(r));
    if (r.refusals())
        return fail(QStringLiteral("some locations could not be written"));
    if (outside > 0 && !p.isSet(opts.stop))
        return fail(QStringLiteral("%1 of %2 names did not fit into the phone's memory")
                        .arg(outside)
                        .arg(all));
    // Exit 0 says the phone holds every name in range: each one confirmed.
    if (r.count(NameFate::Written) + outside != int(r.names.size()))
        return fail(QStringLiteral("not every name was confirmed by the phone"));
    return ExitSuccess;
}

int demo(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Starts a virtual Nokia 7110 holding the sample book, reads its "
                       "phonebook as the window's Read does, and prints the book."));
    const LinkOptions link;
    p.addOption(link.trace);
    if (const int status = parseCommandLine(p, args); status >= 0)
        return status;
    if (!p.positionalArguments().isEmpty())
        return usageError(
            args, QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first()));

    QTextStream out(stdout);
    out << "Starting the virtual Nokia 7110 (quorix-phonesim) with the sample book..." << Qt::endl;
    Session s;
    link.setUpTrace(p, s.link);
    DemoPhone phone;
    QString error;
    const QString device = phone.start(error);
    if (device.isEmpty())
        return fail(error);
    s.settings.device = QFile::encodeName(device);
    out << "Reading its phonebook over " << device << " at 115200 baud..." << Qt::endl;
    QElapsedTimer clock;
    clock.start();
    const TransferReport r = s.run(&Transfer::startRead);
    if (r.ending == TransferEnding::LinkNotStarted)
        return fail(endingText(r));

    const Book& book = s.model.book();
    out << '\n' << describeBook(book) << '\n';
    out << "Read " << countOf(book.entryCount(), QStringLiteral("name"), QStringLiteral("names"))
        << " (the phone has " << r.memorySize.value_or(0) << " locations, "
        << r.memoryUsed.value_or(0) << " of them used) in "
        << QString::number(double(clock.elapsed()) / 1000.0, 'f', 1)
        << " s; the transfer ended with \"" << QString::fromLatin1(s.ui.lastStatus) << "\"."
        << Qt::endl;
    return r.completed() ? 0 : fail(QStringLiteral("the read was broken off"));
}

} // namespace

QList<Command> phoneCommands() {
    return {{"read", "read the phone's phonebook into a phonebook file", readPhone},
            {"write", "write a phonebook file into the phone", writePhone},
            {"diff", "compare a phonebook file with the phone", diffPhone},
            {"demo", "read the phonebook of a virtual phone and print it", demo}};
}

} // namespace quorix::cli
