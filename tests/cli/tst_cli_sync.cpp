// Compare and Write changes end to end: quorix-cli against quorix-phonesim, the
// phone's memory and its write requests checked after every mode.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "PhoneProcess.h"
#include "files/Backups.h"
#include "files/BookFormats.h"
#include "transfer/PhoneView.h"

#include <map>

using namespace quorix;
using quorix::test::Phone;
using quorix::test::readFile;

namespace {

const QString Cli = QStringLiteral(QUORIX_CLI);

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

Run cli(const QStringList& args, const QString& dataHome) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    p.setProcessEnvironment(env);
    p.start(Cli, args);
    Run r;
    if (!p.waitForFinished(120000))
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

using Memory = std::map<int, PhoneContent>;

// What a book says the phone holds: each name's location and phone content.
Memory memoryOf(const Book& book) {
    Memory m;
    for (const auto& n : book)
        if (n->location && n->phoneContent)
            m[*n->location] = *n->phoneContent;
    return m;
}

Book open(const QString& path) {
    files::BookResult r = files::openBook(path);
    if (!r.ok)
        qWarning("%s: %s", qPrintable(path), qPrintable(r.error));
    return std::move(r.book);
}

QList<int> written(const QString& statsFile) {
    QList<int> out;
    for (const QByteArray& line : readFile(statsFile).split('\n'))
        if (line.startsWith("written"))
            for (const QByteArray& n : line.mid(7).trimmed().split(' '))
                if (!n.isEmpty())
                    out << n.toInt();
    std::sort(out.begin(), out.end());
    return out;
}

// A count the phone kept: "reads", "writes".
int stat(const QString& statsFile, const QByteArray& what) {
    for (const QByteArray& line : readFile(statsFile).split('\n'))
        if (line.startsWith(what + ' '))
            return line.mid(what.size() + 1).toInt();
    return -1;
}

// Edited names of the snapshot: a number changed, a note added, a number added.
constexpr int EditedRows[] = {1, 7, 12};
constexpr int DeletedRow = 20;
constexpr int Names = 30, MemorySize = 100, Step = 3; // --sparse: locations 1, 4, 7, ...

} // namespace

class TestCliSync : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        // The phone's book as a read keeps it: every name with its location.
        Phone phone({"--generate", QString::number(Names), "--memory", QString::number(MemorySize),
                     "--sparse", "--seed", "4"});
        const Run r = cli({"read", "--port", phone.device, "-o", path("snap.vcf"), "--quiet"},
                          path("data-read"));
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("Backup: " + QFile::encodeName(path("data-read"))));
        const Book snap = open(path("snap.vcf"));
        QCOMPARE(int(memoryOf(snap).size()), Names);
        QCOMPARE(memoryOf(snap).begin()->first, 1);
        QCOMPARE(memoryOf(snap).rbegin()->first, 1 + (Names - 1) * Step);
    }

    void writeChangesKeepsItsPromises_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("addName");
        QTest::addColumn<bool>("against");
        QTest::addColumn<bool>("tamper");
        QTest::newRow("the book knows the phone: no read") << "vcf" << false << false << false;
        QTest::newRow("a new name: the range is read") << "vcf" << true << false << false;
        QTest::newRow("from a .pbf: matched by name") << "pbf" << true << false << false;
        QTest::newRow("against the snapshot") << "vcf" << true << true << false;
        QTest::newRow("phone changed behind the snapshot") << "vcf" << true << true << true;
    }

    void writeChangesKeepsItsPromises() {
        QFETCH(QString, format);
        QFETCH(bool, addName);
        QFETCH(bool, against);
        QFETCH(bool, tamper);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        const QString data = path(tag + QStringLiteral("-data"));

        // The phone as read, or with one edited location changed behind our back.
        Book start = open(path("snap.vcf"));
        const Memory before = memoryOf(start);
        const int tampered = 1 + EditedRows[0] * Step;
        if (tamper) {
            Name& n = start.name(EditedRows[0]);
            n.text = QStringLiteral("Changed On The Phone");
            n.phoneContent = transfer::phoneView(n);
        }
        QVERIFY(files::saveBook(start, path(tag + ".vcf"), files::PathRule::Exact).ok);
        const Memory phoneHeld = memoryOf(open(path(tag + ".vcf")));

        // The user's book: three names edited, one deleted, maybe one added.
        Book edited = open(path("snap.vcf"));
        Memory expected = tamper ? phoneHeld : before;
        QList<int> sends;
        Memory replaced;
        for (const int row : EditedRows) {
            Name& n = edited.name(row);
            if (row == EditedRows[0])
                n.subs.front().text = QStringLiteral("+4900000001");
            else if (row == EditedRows[1])
                Book::addSubentry(n, QStringLiteral("Call back"), KindNote);
            else
                Book::insertSubentry(n, 0, QStringLiteral("+4930123"), KindHome);
            const int location = *n.location;
            if (tamper && location == tampered)
                continue; // must not be overwritten
            expected[location] = transfer::phoneView(n);
            replaced[location] = before.at(location);
            sends << location;
        }
        edited.removeName(DeletedRow);
        if (addName) {
            Name& n = edited.insertName(edited.entryCount(), QStringLiteral("Zoe New"));
            Book::addSubentry(n, QStringLiteral("+49170123"), KindMobile);
            expected[2] = transfer::phoneView(n); // the first free location
            sends << 2;
        }
        std::sort(sends.begin(), sends.end());
        const QString book = path(tag + "-book." + format);
        QVERIFY(files::saveBook(edited, book, files::PathRule::Exact).ok);

        Phone phone({"--book", path(tag + ".vcf"), "--memory", QString::number(MemorySize),
                     "--save", path(tag + "-after.vcf"), "--stats", path(tag + "-stats")});
        QStringList args = {"write", "--changes", book, "--port", phone.device, "--quiet"};
        if (against)
            args << "--against" << path("snap.vcf");
        const Run r = cli(args, data);
        QCOMPARE(r.exitCode, tamper ? 1 : 0);
        // The book remembers the locations the phone held, so without a read of
        // the range the deleted name's location alone is read.
        const bool seesPhone = true;
        const QByteArray counts = QStringLiteral("3 changed, %1 new, %2 the same, %3 only on the "
                                                 "phone\n")
                                      .arg(addName ? 1 : 0)
                                      .arg(Names - 4)
                                      .arg(seesPhone ? 1 : 0)
                                      .toUtf8();
        QVERIFY2(r.out.endsWith(counts), r.out.constData());
        QCOMPARE(r.out.contains("Left on the phone at location " +
                                QByteArray::number(1 + DeletedRow * Step) + " (not in the book)"),
                 seesPhone);
        if (tamper) {
            QVERIFY2(r.err.contains("Changed On The Phone") || r.err.contains("location 4"),
                     r.err.constData());
            QVERIFY(r.out.contains("no longer holds at location 4"));
        }

        // Compared again, nothing is left to write but what the phone changed.
        const Run again = cli({"diff", book, "--port", phone.device, "--quiet"}, data);
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.endsWith(QStringLiteral("%1 changed, 0 new, %2 the same, 1 only on "
                                                   "the phone\n")
                                        .arg(tamper ? 1 : 0)
                                        .arg(Names - 1 + (addName ? 1 : 0) - (tamper ? 1 : 0))
                                        .toUtf8()),
                 again.out.constData());
        phone.stop();

        // The phone holds what was promised; only the locations that changed got a
        // write request; the backup holds exactly what those held before.
        QVERIFY(memoryOf(open(path(tag + "-after.vcf"))) == expected);
        QCOMPARE(written(path(tag + "-stats")), sends);
        // Of the write, one read (the deleted name's location); the diff after
        // it reads up to the last used location.
        if (!addName && !against && format == QLatin1String("vcf"))
            QCOMPARE(stat(path(tag + "-stats"), "reads"), 1 + 1 + (Names - 1) * Step);
        const auto backups = files::BackupFolder(data + "/quorix/backups").newest();
        QCOMPARE(int(backups.size()), 1);
        QCOMPARE(backups.front().kind, files::BackupKind::Write);
        QVERIFY(r.out.contains("Backup: " + QFile::encodeName(backups.front().path) + "\n"));
        QVERIFY(memoryOf(open(backups.front().path)) == replaced);
    }

    // A plain write keeps what it overwrites: read where the book does not
    // record it, taken from the records where it does.
    void plainWriteKeepsWhatItOverwrites_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("reads");
        const int recorded = (Names - 2) / Step + 1; // locations 1, 4, ... up to Names - 1
        QTest::newRow("the book knows the phone") << "vcf" << Names - 1 - recorded;
        QTest::newRow("from a .pbf: every location read") << "pbf" << Names - 1;
    }
    void plainWriteKeepsWhatItOverwrites() {
        QFETCH(QString, format);
        QFETCH(int, reads);
        const QString tag = QStringLiteral("plain-") + format;
        const QString data = path(tag + QStringLiteral("-data"));
        Book edited = open(path("snap.vcf"));
        const Memory before = memoryOf(edited);
        edited.name(EditedRows[0]).subs.front().text = QStringLiteral("+4900000001");
        edited.removeName(DeletedRow);
        const QString book = path(tag + "-book." + format);
        QVERIFY(files::saveBook(edited, book, files::PathRule::Exact).ok);

        Phone phone({"--book", path("snap.vcf"), "--memory", QString::number(MemorySize), "--save",
                     path(tag + "-after.vcf"), "--stats", path(tag + "-stats")});
        const Run r = cli({"write", book, "--port", phone.device, "--quiet"}, data);
        QCOMPARE(r.exitCode, 0);
        phone.stop();

        Memory expected, replaced;
        QList<int> sends;
        for (const auto& [location, content] : before)
            (location < Names ? replaced : expected)[location] = content;
        for (int row = 0; row < edited.entryCount(); ++row) {
            expected[row + 1] = transfer::phoneView(edited.name(row));
            sends << row + 1;
        }
        QVERIFY(memoryOf(open(path(tag + "-after.vcf"))) == expected);
        QCOMPARE(written(path(tag + "-stats")), sends);
        QCOMPARE(stat(path(tag + "-stats"), "reads"), reads);
        const auto backups = files::BackupFolder(data + "/quorix/backups").newest();
        QCOMPARE(int(backups.size()), 1);
        QCOMPARE(backups.front().kind, files::BackupKind::Write);
        QVERIFY2(r.out.contains("Backup: " + QFile::encodeName(backups.front().path) + "\n"),
                 r.out.constData());
        QVERIFY(memoryOf(open(backups.front().path)) == replaced);
    }
};

QTEST_GUILESS_MAIN(TestCliSync)
#include "tst_cli_sync.moc"
