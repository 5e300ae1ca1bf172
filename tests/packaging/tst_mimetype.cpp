// The MIME type that the package installs for phonebook files, as a desktop sees
// it: the XML compiled by update-mime-database into a private data folder, then
// asked about files through QMimeDatabase, which reads the same database.

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString PhonebookType = QStringLiteral("application/x-quorix-phonebook");

} // namespace

class TestMimeType : public QObject {
    Q_OBJECT

    QTemporaryDir data_;  // XDG data folder holding mime/
    QTemporaryDir files_; // the files asked about

    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = files_.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return {};
        return path;
    }

private slots:
    void initTestCase() {
        QVERIFY(data_.isValid());
        QVERIFY(files_.isValid());
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
        QVERIFY2(!tool.isEmpty(), "update-mime-database is missing (package shared-mime-info)");

        const QDir mime(data_.filePath(QStringLiteral("mime")));
        QVERIFY(QDir().mkpath(mime.filePath(QStringLiteral("packages"))));
        QVERIFY(QFile::copy(QStringLiteral(QUORIX_MIME_XML),
                            mime.filePath(QStringLiteral("packages/quorix.xml"))));

        // Our folder first, then the system's, whose types the other files get.
        // update-mime-database warns unless the folder is on this path.
        qputenv("XDG_DATA_HOME", data_.path().toLocal8Bit());
        qputenv("XDG_DATA_DIRS",
                (data_.path() + QStringLiteral(":/usr/local/share:/usr/share")).toLocal8Bit());

        QProcess update;
        update.setProcessChannelMode(QProcess::MergedChannels);
        update.start(tool, {mime.path()});
        QVERIFY(update.waitForFinished(30000));
        const QByteArray output = update.readAll();
        QVERIFY2(update.exitStatus() == QProcess::NormalExit && update.exitCode() == 0,
                 output.constData());
        // It warns about XML it does not understand but still succeeds.
        QVERIFY2(output.trimmed().isEmpty(), output.constData());
        QVERIFY(QFile::exists(mime.filePath(QStringLiteral("application/x-quorix-phonebook.xml"))));
    }

    void typeIsKnownWithItsComment() {
        const QMimeType type = QMimeDatabase().mimeTypeForName(PhonebookType);
        QVERIFY(type.isValid());
        QCOMPARE(type.comment(), QStringLiteral("Quorix phonebook"));
        QCOMPARE(type.globPatterns(), QStringList{QStringLiteral("*.pbf")});
        QCOMPARE(type.genericIconName(), QStringLiteral("x-office-address-book"));
    }

    void fileIsRecognised_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");

        const QByteArray book = QByteArrayLiteral("[QUORIX7-File]\r\nAnna\r\n\x03"
                                                  "0170123\r\n");
        QTest::newRow("book with its extension") << "friends.pbf" << book << PhonebookType;
        QTest::newRow("book renamed, found by its first line")
            << "friends-backup" << book << PhonebookType;
        QTest::newRow("empty book")
            << "empty" << QByteArrayLiteral("[QUORIX7-File]\r\n") << PhonebookType;
        QTest::newRow("extension alone") << "new.pbf" << QByteArray() << PhonebookType;
        QTest::newRow("header not at the start, plain text")
            << "notes.txt" << QByteArrayLiteral("see [QUORIX7-File]\n")
            << QStringLiteral("text/plain");
        QTest::newRow("other header, plain text")
            << "other" << QByteArrayLiteral("[QUORIX6-File]\r\nAnna\r\n")
            << QStringLiteral("text/plain");
    }

    void fileIsRecognised() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        const QString path = writeFile(name, content);
        QVERIFY(!path.isEmpty());
        QCOMPARE(QMimeDatabase().mimeTypeForFile(path).name(), expected);
    }

    void sampleBookIsAPhonebook() {
        QCOMPARE(QMimeDatabase().mimeTypeForFile(QStringLiteral(QUORIX_SAMPLE_BOOK)).name(),
                 PhonebookType);
        // Read by content alone, without the name.
        QFile sample(QStringLiteral(QUORIX_SAMPLE_BOOK));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QCOMPARE(QMimeDatabase().mimeTypeForData(&sample).name(), PhonebookType);
    }
};

QTEST_GUILESS_MAIN(TestMimeType)
#include "tst_mimetype.moc"
