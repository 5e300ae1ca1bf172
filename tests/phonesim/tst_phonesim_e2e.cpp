// quorix-phonesim as a program: started as a process, talked to over its
// pseudo-terminal, stopped with a signal.
#include "PtyClient.h"

#include "link/Frame.h"
#include "phonesim/BookFile.h"
#include "phonesim/PhoneSimProcess.h"
#include "transfer/PhonebookMessages.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quorix;
using namespace quorix::transfer;

namespace {

const QString Program = QStringLiteral(QUORIX_PHONESIM);
const QString Sample = QFileInfo(Program).absoluteDir().filePath(QStringLiteral("sample.pbf"));

// Starts the program and gives the device it prints first.
QString start(QProcess& process, const QStringList& arguments) {
    process.start(Program, arguments);
    if (!process.waitForStarted(5000))
        return {};
    QByteArray line;
    while (!line.contains('\n') && process.waitForReadyRead(5000))
        line += process.readAllStandardOutput();
    return QString::fromLocal8Bit(line.left(line.indexOf('\n')));
}

} // namespace

class TestPhonesimProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void servesReadsAndWritesAndSavesOnExit() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("phone"));
        const QString saved = dir.filePath(QStringLiteral("saved.pbf"));
        QProcess process;
        const QString device = start(process, {"--book", Sample, "--baud", "0", "--link", link,
                                               "--save", saved, "--memory", "100", "--verbose"});
        QVERIFY2(device.startsWith(QLatin1String("/dev/pts/")), qPrintable(device));
        QCOMPARE(QFileInfo(link).symLinkTarget(), device);

        PtyClient client;
        QVERIFY(client.open(device));
        client.write(QByteArray(130, 'U'));
        client.request(QByteArray::fromHex("00010001"), link::TypeStatus);
        QVERIFY(client.waitFor([&] { return client.frames.size() >= 2; }, 3000));
        client.request(memoryInfoRequest());
        const QByteArray info = client.answer();
        QCOMPARE(info.size(), MemoryInfoAnswerSize);
        QCOMPARE(word(info, 14), 100);
        QCOMPARE(word(info, 16), 31);

        client.request(readRequest(1));
        const auto first = decodeEntry(client.answer());
        QVERIFY(first);
        QCOMPARE(first->name.text, QByteArray("Anna Schmidt"));

        Name longer("Written by the test");
        for (int i = 0; i < 4; ++i)
            longer.subs.push_back({QByteArray(20, char('1' + i)), KindOffice});
        QVERIFY(writeRequest(longer, 60).size() > ChunkSize);
        client.request(writeRequest(longer, 60));
        QCOMPARE(word(client.answer(), EntryLocationOffset), 60);

        process.terminate();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        // Every frame both ways, in hex with what it is.
        const QByteArray log = process.readAllStandardError();
        QVERIFY(log.contains("recv 1E 00 2A 03 00 11 00 01 00 07 01 01 00 01 01 05 00 01"));
        QVERIFY(log.contains("| request 3: read location 1\n"));
        QVERIFY(log.contains("send 1E 2A 00 7F 00 02 03 03 1D 54 | acknowledges 03/3\n"));
        QVERIFY(log.contains("| request 4: location 60 written\n"));

        Book book;
        QString error;
        QVERIFY2(phonesim::readBookFile(saved, book, &error), qPrintable(error));
        QCOMPARE(book.entryCount(), 32);
        QCOMPARE(book.name(31).text, longer.text);
        QCOMPARE(book.name(31).subs, longer.subs);
    }

    void refusesBadCommandLines() {
        QProcess process;
        process.start(Program, {"--help"});
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput().contains("--shuffle-fragments"));

        const QList<QStringList> bad = {{"--memory", "0"},
                                        {"--book", "/nonexistent/book.pbf"},
                                        {"--generate", "20", "--memory", "10"}};
        for (const QStringList& arguments : bad) {
            process.start(Program, arguments);
            QVERIFY(process.waitForFinished(5000));
            QCOMPARE(process.exitCode(), 2);
            QVERIFY(process.readAllStandardOutput().isEmpty());
            QVERIFY(process.readAllStandardError().startsWith("quorix-phonesim: "));
        }
    }

    void demoProcess() {
        QCOMPARE(phonesim::PhoneSimProcess::findProgram(), QFileInfo(Program).canonicalFilePath());
        QCOMPARE(phonesim::PhoneSimProcess::sampleBook(Program),
                 QFileInfo(Sample).canonicalFilePath());

        phonesim::PhoneSimProcess sim;
        sim.setProgram(Program);
        QSignalSpy ready(&sim, &phonesim::PhoneSimProcess::ready);
        QSignalSpy stopped(&sim, &phonesim::PhoneSimProcess::stopped);
        QVERIFY(sim.start({"--book", Sample}));
        QVERIFY(!sim.start({})); // one at a time
        QVERIFY(ready.wait(5000));
        QCOMPARE(ready.front().front().toString(), sim.devicePath());

        PtyClient client;
        QVERIFY(client.open(sim.devicePath()));
        client.request(readRequest(2));
        QCOMPARE(decodeEntry(client.answer())->name.text, QStringLiteral("Bäckerei Kraus"));

        sim.stop();
        QVERIFY(stopped.wait(5000));
        QVERIFY(!sim.isRunning());

        // A program that cannot start serving says why.
        QSignalSpy failed(&sim, &phonesim::PhoneSimProcess::failed);
        QVERIFY(sim.start({"--memory", "none"}));
        QVERIFY(failed.wait(5000));
        QVERIFY(failed.front().front().toString().contains(QLatin1String("--memory")));
        QCOMPARE(ready.size(), 1);

        sim.setProgram(QStringLiteral("/nonexistent/quorix-phonesim"));
        QVERIFY(sim.start({}));
        QVERIFY(failed.wait(5000));
        QVERIFY(failed.back().front().toString().startsWith(QLatin1String("cannot start")));
    }

    void throughputAtTheLineRate() {
        // Many entries asked for at once keep the line busy; the phone must send at
        // its line rate, 115 200 baud at 10 bits a byte, no faster and not much slower.
        QProcess process;
        const QString device =
            start(process, {"--generate", "150", "--seed", "3", "--latency", "0"});
        QVERIFY(!device.isEmpty());
        PtyClient client;
        QVERIFY(client.open(device));
        for (int location = 1; location <= 150; ++location)
            client.request(readRequest(location));
        QVERIFY(client.waitFor([&] { return client.bytesReceived > 0; }, 3000));
        QElapsedTimer clock;
        clock.start();
        const qint64 startBytes = client.bytesReceived;
        int answers = 0;
        const bool done = client.waitFor(
            [&] {
                answers = 0;
                for (const QByteArray& f : client.frames)
                    answers += link::frameType(f) == link::TypeMemory && link::fragmentByte(f) == 1;
                return answers == 150;
            },
            20000);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        const double rate = double(client.bytesReceived - startBytes) / seconds;
        qInfo("%lld bytes in %.3f s: %.0f bytes/s (line rate 11520)",
              client.bytesReceived - startBytes, seconds, rate);
        QVERIFY2(done, qPrintable(QString::number(answers)));
        QVERIFY(rate < 11520 * 1.03);
        QVERIFY(rate > 11520 * 0.85);
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestPhonesimProgram)
#include "tst_phonesim_e2e.moc"
