// The backups folder: dated vCards of the phone's book, the newest kept, other
// files never touched.
#include "files/Backups.h"
#include "files/BookFormats.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorix;
using namespace quorix::files;

class TestBackups : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keepsTheNewestOfItsOwnFiles() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("deep/backups")); // made on demand
        const BackupFolder backups(folder);
        // Files of the user's that look almost like ours.
        const QStringList foreign = {"2026-12-08T12-03-05 read.vcf.txt", "notes.vcf",
                                     "2026-12-08T12-03-05 copy.vcf",
                                     "2026-13-99T12-03-05 read.vcf"};
        QVERIFY(QDir().mkpath(folder));
        for (const QString& name : foreign) {
            QFile f(QDir(folder).filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }

        const QDateTime start(QDate(2026, 12, 8), QTime(12, 3, 5, 700));
        QStringList written;
        for (int i = 0; i < KeptBackups + 7; ++i) {
            Book book;
            for (int n = 0; n <= i % 3; ++n)
                book.insertName(n, QStringLiteral("Name %1").arg(n)).location = n + 1;
            // Three files a second: the later ones of a second get a serial.
            const auto kind = i % 2 ? BackupKind::Write : BackupKind::Read;
            const FileResult r = backups.save(book, kind, start.addSecs(i / 3));
            QVERIFY2(r.ok, qPrintable(r.error));
            QCOMPARE(r.status, QStringLiteral("Backup: ") + r.path);
            written << QFileInfo(r.path).fileName();
        }
        QCOMPARE(written.first(), QStringLiteral("2026-12-08T12-03-05 read.vcf"));
        QCOMPARE(written[1], QStringLiteral("2026-12-08T12-03-05 write 2.vcf"));
        QCOMPARE(written[2], QStringLiteral("2026-12-08T12-03-05 read 3.vcf"));

        // The newest 50 of ours are there, the 7 oldest gone, the user's files kept.
        QStringList expected = written.mid(7) + foreign;
        expected.sort();
        QStringList present = QDir(folder).entryList(QDir::Files);
        present.sort();
        QCOMPARE(present, expected);

        const std::vector<BackupFile> newest = backups.newest(4);
        QCOMPARE(int(newest.size()), 4);
        for (int i = 0; i < 4; ++i) {
            const int made = KeptBackups + 6 - i;
            QCOMPARE(QFileInfo(newest[size_t(i)].path).fileName(), written[made]);
            QCOMPARE(newest[size_t(i)].names, made % 3 + 1);
            QCOMPARE(newest[size_t(i)].kind, made % 2 ? BackupKind::Write : BackupKind::Read);
            QCOMPARE(newest[size_t(i)].when, start.addSecs(made / 3).addMSecs(-700));
        }
        // A backup opens as a book, the phone's locations with it.
        const BookResult back = openBook(newest.front().path);
        QVERIFY2(back.ok, qPrintable(back.error));
        QCOMPARE(back.book.entryCount(), newest.front().names);
        QCOMPARE(back.book.name(1).location.value_or(0), 2);
    }

    void aFolderThatCannotBeMadeIsNamed() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const BackupFolder backups(dir.filePath(QStringLiteral("file/backups")));
        const FileResult r = backups.save(Book(), BackupKind::Read);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(dir.filePath(QStringLiteral("file/backups"))),
                 qPrintable(r.error));
        QVERIFY(backups.newest().empty());
    }
};

QTEST_GUILESS_MAIN(TestBackups)
#include "tst_backups.moc"
