#include "link/LineRecording.h"

#include "LinkTestMain.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorix::link;

class TestRecording : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // What the recorder writes, the reader gives back: every byte value, chunks
    // longer than a line, the port's opening and closing, times that never go back.
    void readerGivesBackWhatTheRecorderWrote() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("line.qlr"));
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all += char(i);
        {
            LineRecorder rec;
            QVERIFY(rec.open(path));
            rec.opened("/dev/ttyUSB0");
            const qint64 n = rec.written(all.constData(), [] { return qint64(70); });
            QCOMPARE(n, 70);
            QCOMPARE(rec.written("xy", [] { return qint64(-1); }), -1); // a failed write
            rec.read(all.constData() + 70, 186);
            rec.closed();
        }
        QList<LineEvent> events;
        QString error;
        QVERIFY2(readLineRecording(path, events, &error), qPrintable(error));
        // A long chunk comes back as lines of the same time.
        QString kinds;
        QByteArray written, read;
        for (const LineEvent& e : events) {
            kinds += QLatin1Char("ocwr"[e.kind]);
            (e.kind == LineEvent::Read ? read : written) += e.bytes;
        }
        QCOMPARE(kinds, QStringLiteral("owwwrrrrrrc")); // 32 bytes a line
        QCOMPARE(written, "/dev/ttyUSB0" + all.left(70));
        QCOMPARE(read, all.mid(70));
        QCOMPARE(events[2].ms, events[1].ms);
        for (qsizetype i = 1; i < events.size(); ++i)
            QVERIFY(events[i].ms >= events[i - 1].ms);

        // A file that cannot be made is named with the system's reason.
        LineRecorder rec;
        QVERIFY(!rec.open(dir.filePath(QStringLiteral("no/such/dir/x.qlr")), &error));
        QVERIFY2(error.contains(QLatin1String("no/such/dir/x.qlr: ")), qPrintable(error));
    }

    void damagedRecordings_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("events"); // -1: refused
        QTest::addColumn<QString>("error");
        const QByteArray head = "quorix-line-recording 1\n";
        QTest::newRow("empty") << QByteArray() << -1 << "not a line recording";
        QTest::newRow("another file")
            << QByteArray("[QUORIX7-File]\r\n") << -1 << "not a line recording";
        QTest::newRow("newer format") << QByteArray("quorix-line-recording 2\n+1 > 1E\n") << -1
                                      << "line 1: made in format 2 by a newer Quorix";
        QTest::newRow("header only, no line end")
            << QByteArray("quorix-line-recording 1") << 0 << "";
        QTest::newRow("comments, blank lines, CR LF")
            << QByteArray("quorix-line-recording 1\r\n# hi\r\n\r\n+0.5 open\r\n+1 > 1e 00\r\n") << 2
            << "";
        QTest::newRow("not hex") << head + "+1 > 1E 0G\n" << -1 << "line 2: \"0G\" is not a byte";
        QTest::newRow("three digits") << head + "+1 < 1E0\n" << -1 << "line 2: \"1E0\"";
        QTest::newRow("no bytes") << head + "+1 >\n" << -1 << "line 2:";
        QTest::newRow("no time") << head + "> 1E\n" << -1 << "line 2: a time";
        QTest::newRow("time not a number") << head + "+nan > 1E\n"
                                           << -1 << "\"+nan\" is not a time";
        QTest::newRow("negative time") << head + "+-5 > 1E\n" << -1 << "is not a time";
        QTest::newRow("unknown direction") << head + "+1 = 1E\n" << -1 << "line 2: \"=\"";
        QTest::newRow("close with bytes") << head + "+1 close 1E\n" << -1 << "line 2:";
        QTest::newRow("cut short in a byte") << head + "+1 > 1E\n+2 < 1E 2" << 1 << "";
        QTest::newRow("cut short between bytes") << head + "+1 > 1E\n+2 < 1E" << 2 << "";
        QTest::newRow("binary") << head + QByteArray("+1 > \0\xff\n", 8) << -1 << "line 2:";
        QTest::newRow("too large")
            << head + QByteArray(MaxRecordingSize, '#') << -1 << "larger than any recording";
    }
    void damagedRecordings() {
        QFETCH(QByteArray, text);
        QFETCH(int, events);
        QFETCH(QString, error);
        QList<LineEvent> got{LineEvent{}};
        QString message;
        QCOMPARE(parseLineRecording(text, got, &message), events >= 0);
        QCOMPARE(got.size(), qMax(events, 0));
        QVERIFY2(message.contains(error), qPrintable(message));
    }
};
LINKTEST(TestRecording)

#include "tst_recording.moc"
