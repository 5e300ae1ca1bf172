// The virtual phone in-process: the FBUS machine on a clock of the test's own, its
// memory and book files, the options, and the server over a real pseudo-terminal.
#include "PtyClient.h"

#include "link/Frame.h"
#include "phonesim/BookFile.h"
#include "phonesim/Generator.h"
#include "phonesim/PhoneOptions.h"
#include "phonesim/PhoneServer.h"
#include "transfer/PhonebookMessages.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace quorix;
using namespace quorix::link;
using namespace quorix::phonesim;
using namespace quorix::transfer;

namespace {

constexpr qint64 Ms = 1'000'000;

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

Name person(const QByteArray& text, std::initializer_list<Subentry> subs) {
    Name n(text);
    n.subs = subs;
    return n;
}

PhoneMemory memoryWith(std::initializer_list<std::pair<int, Name>> entries, int size = 500) {
    PhoneMemory m(size);
    for (const auto& [location, name] : entries)
        m.store(location, *PhoneMemory::fromWriteRequest(writeRequest(name, location)));
    return m;
}

PhoneSettings quick() {
    PhoneSettings s;
    s.baud = 0;
    s.latencyMs = 0;
    return s;
}

// The program's side against a VirtualPhone, on the test's clock.
struct Line {
    explicit Line(PhoneSettings s = quick(), PhoneMemory m = PhoneMemory(500))
        : phone(std::move(m), std::move(s)) {}

    VirtualPhone phone;
    qint64 t = 0;
    int seq = 1;
    QByteArray rx;
    QList<QByteArray> frames; // every frame from the phone, good or not
    bool autoAck = true;
    QList<LineEvent>* recording = nullptr; // the line both ways, when set

    void send(const QByteArray& bytes) {
        if (recording)
            recording->append({LineEvent::Written, double(t) / Ms, bytes});
        phone.receive(bytes, t);
        collect();
    }
    QByteArray frame(const QByteArray& data, quint8 fragment = 1, bool followOn = false,
                     quint8 type = TypeMemory) {
        const QByteArray f = buildFrame(type, data, fragment, makeSequenceByte(seq, followOn));
        seq = (seq + 1) & 7;
        return f;
    }
    void request(const QByteArray& payload, quint8 type = TypeMemory) {
        for (const Chunk& c : splitPayload(payload))
            send(frame(c.data, c.fragment, c.followOn, type));
    }
    void collect() {
        const QByteArray got = phone.poll(t);
        if (recording && !got.isEmpty())
            recording->append({LineEvent::Read, double(t) / Ms, got});
        rx += got;
        while (auto f = cutFrame(rx)) {
            frames << *f;
            if (autoAck && checkFrame(*f) && !isAck(*f)) {
                if (recording)
                    recording->append({LineEvent::Written, double(t) / Ms, buildAck(*f)});
                phone.receive(buildAck(*f), t);
            }
        }
    }
    void run(int ms, int stepMs = 1) {
        for (const qint64 end = t + ms * Ms; t < end;) {
            t += stepMs * Ms;
            collect();
        }
    }
    QList<QByteArray> answers() const { // good frames other than acknowledgements
        QList<QByteArray> out;
        for (const QByteArray& f : frames)
            if (checkFrame(f) && !isAck(f))
                out << f;
        return out;
    }
    QList<QByteArray> acks() const {
        QList<QByteArray> out;
        for (const QByteArray& f : frames)
            if (isAck(f))
                out << f;
        return out;
    }
    QByteArray payload(int first = 0) const { // one message's payload, from a frame on
        QByteArray p;
        const QList<QByteArray> a = answers();
        for (int i = first; i < a.size(); ++i) {
            p += frameData(a[i]);
            if (fragmentByte(a[i]) <= 1)
                break;
        }
        return p;
    }
};

QByteArray describe(const Book& book) {
    return describeBook(book).toUtf8();
}

} // namespace

class TestVirtualPhone : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void acknowledgesWhatIsForThePhone() {
        Line line;
        line.autoAck = false;
        // Wake-up bytes, then the link-opening frame split over two deliveries.
        const QByteArray status = line.frame(hex("00010001"), 1, false, TypeStatus);
        line.send(QByteArray(130, 'U') + status.left(5));
        QVERIFY(line.frames.isEmpty());
        line.send(status.mid(5));
        QCOMPARE(line.acks(), QList<QByteArray>{hex("1e2a007f00020401 1a56")});
        QCOMPARE(line.answers().size(), 1);
        const QByteArray answer = line.answers().front();
        QCOMPARE(answer.left(6), hex("1e2a0004000c"));
        QCOMPARE(frameData(answer), VirtualPhone::statusAnswer());
        QCOMPARE(sequenceByte(answer), quint8(0x40));

        // The ack of a type 0x03 frame with sequence number 2, byte for byte.
        line.frames.clear();
        line.send(line.frame(memoryInfoRequest()));
        QCOMPARE(line.acks(), QList<QByteArray>{hex("1e2a007f00020302 1d55")});

        // Bad checksum, other addresses and the program's acknowledgements get nothing.
        line.frames.clear();
        QByteArray bad = line.frame(readRequest(1));
        bad[8] = char(bad[8] ^ 1);
        line.send(bad);
        line.send(buildFrame(TypeMemory, readRequest(1), 1, 0x43, FromPhone));
        line.send(buildFrame(TypeMemory, readRequest(1), 1, 0x43, Route{0x10, AddrTE}));
        line.send(buildAck(answer));
        line.run(50);
        QVERIFY(line.frames.isEmpty());
        QCOMPARE(line.phone.stats().requests, 2);
    }

    void memoryInformation() {
        Line line(quick(), memoryWith({{3, Name("A")}, {9, Name("B")}}, 300));
        line.request(memoryInfoRequest());
        const QByteArray f = line.answers().value(0);
        QCOMPARE(frameLength(f), quint8(24));
        QCOMPARE(frameData(f), hex("011b0004 0205 0000000000000000 012c 0002 00000000"));
        QCOMPARE(fragmentByte(f), quint8(1));
    }

    void readsEntriesAndEmptyLocations() {
        const Name anna = person("Anna", {{"+49301234567", KindMobile}, {"VIP", KindCallerGroup}});
        Line line(quick(), memoryWith({{300, anna}, {301, Name("Next")}}));
        line.request(readRequest(300));
        const QByteArray p = line.payload();
        QCOMPARE(p.left(18), hex("011b0008000101 0000 0c0205 012c 000000 03"));
        QCOMPARE(p.size(), 18 + 34 + 36 + 8);
        const auto e = decodeEntry(p);
        QVERIFY(e);
        QCOMPARE(e->location, 300);
        QCOMPARE(e->name.text, QByteArray("Anna"));
        QCOMPARE(e->name.subs, anna.subs);

        // Empty, zero and beyond the memory: the 14-byte empty-location answer.
        for (const int location : {299, 0, 501, 65535}) {
            line.frames.clear();
            line.request(readRequest(location));
            const QByteArray empty = line.answers().value(0);
            QCOMPARE(frameLength(empty), quint8(16));
            QVERIFY(isEmptyLocation(frameData(empty)));
        }
    }

    void longAnswersAreSplit() {
        Name full("Paul Becker");
        for (int i = 0; i < 5; ++i)
            full.subs.push_back({QByteArray(43, char('1' + i)), KindHome});
        PhoneSettings s = quick();
        s.frameSize = 100;
        Line line(s, memoryWith({{1, full}}));
        line.request(readRequest(1));
        const QList<QByteArray> frames = line.answers();
        const QByteArray whole = line.phone.memory().readAnswer(1);
        QCOMPARE(frames.size(), int(whole.size() + 99) / 100);
        for (int i = 0; i < frames.size(); ++i) {
            QCOMPARE(fragmentByte(frames[i]), quint8(frames.size() - i));
            QCOMPARE(sequenceByte(frames[i]), makeSequenceByte(i + 0, i > 0));
        }
        QCOMPARE(line.payload(), whole);
    }

    void writesAreReassembledAndConfirmed() {
        Line line;
        // 122 bytes: two frames, 120 + 2.
        const Name al = person("Al", {{"1", KindGeneral}, {QByteArray(12, '2'), KindHome}});
        const QByteArray request = writeRequest(al, 300);
        QCOMPARE(request.size(), 122);
        line.request(request);
        QCOMPARE(line.acks().size(), 2);
        const QByteArray f = line.answers().value(0);
        QCOMPARE(frameLength(f), quint8(20));
        QCOMPARE(frameData(f), hex("011b000c000101 0000 0c0205 012c 00000000"));
        QCOMPARE(recogniseAnswer(f).location, 300);
        QCOMPARE(describe(line.phone.memory().toBook()), QByteArray("Al\n  General: 1\n  Home: "
                                                                    "222222222222\n"));
        QCOMPARE(line.phone.memory().used(), 1);

        // A follow-on frame that does not continue anything is dropped unanswered.
        line.frames.clear();
        const QList<Chunk> chunks = splitPayload(writeRequest(al, 5));
        line.send(line.frame(chunks[1].data, 1, true));
        line.send(line.frame(chunks[0].data, 2, false));
        line.send(line.frame(chunks[1].data, 3, true));
        line.run(20);
        QVERIFY(line.answers().isEmpty());
        QVERIFY(!line.phone.memory().at(5));
    }

    void refusedWrites() {
        PhoneSettings s = quick();
        s.faults.refuseWrite = {7};
        Line line(s, memoryWith({{7, Name("Old")}}, 10));
        QByteArray malformed = writeRequest(Name("M"), 8);
        malformed[EntryHeaderSize + 3] = 2; // the name block's length
        for (const QByteArray& request :
             {writeRequest(Name("New"), 7), writeRequest(Name("New"), 11), malformed}) {
            line.frames.clear();
            line.request(request);
            const QByteArray f = line.answers().value(0);
            QCOMPARE(frameLength(f), quint8(16));
            QCOMPARE(frameData(f).left(7), hex("011b000c00010f"));
            QCOMPARE(recogniseAnswer(f).kind, AnswerKind::WriteRefused);
        }
        QCOMPARE(line.phone.memory().at(7)->name, QByteArray("Old"));
        QCOMPARE(line.phone.memory().used(), 1);
    }

    void repeatsUnacknowledgedFrames() {
        Line line;
        line.autoAck = false;
        line.request(memoryInfoRequest());
        QCOMPARE(line.answers().size(), 1);
        line.run(1000);
        QCOMPARE(line.answers().size(), 1); // not before the timeout is over
        line.run(2);
        QCOMPARE(line.answers().size(), 2);
        QCOMPARE(line.answers()[1], line.answers()[0]); // the same frame, same number
        line.run(5000);
        QCOMPARE(line.answers().size(), 4); // three repeats, then given up
        QCOMPARE(line.phone.stats().givenUp, 1);
        QCOMPARE(line.phone.nextDue(), -1);

        // Acknowledged in time, or left behind by a new link: never repeated.
        Line good;
        good.request(memoryInfoRequest());
        good.run(5000);
        QCOMPARE(good.answers().size(), 1);
        Line restarted;
        restarted.autoAck = false;
        restarted.request(memoryInfoRequest());
        restarted.send(QByteArray(130, 'U'));
        restarted.run(5000);
        QCOMPARE(restarted.answers().size(), 1);
    }

    void repeatedRequestIsNotHandledTwice() {
        Line line;
        const QByteArray read = line.frame(readRequest(1));
        line.send(read);
        line.send(read); // our acknowledgement was lost, so the program writes it again
        QCOMPARE(line.acks().size(), 2);
        QCOMPARE(line.answers().size(), 1);
        // A new link starts with a status request; then the same bytes are a new request.
        line.send(line.frame(hex("00010001"), 1, false, TypeStatus));
        line.send(read);
        QCOMPARE(line.answers().size(), 3);
        // So do the wake-up bytes that come before it.
        line.send(QByteArray(130, 'U') + read);
        QCOMPARE(line.answers().size(), 4);
    }

    // A replay answers each request as the recorded phone did, frame by frame,
    // whatever the sequence numbers; a repeat in the recording is no request of
    // its own; what the recording does not hold is acknowledged, said, and not
    // answered.
    void replayAnswersAsTheRecordedPhoneDid() {
        PhoneSettings s = quick();
        s.frameSize = 40; // entry answers of several frames
        s.faults.dropAck = {3};
        const Name anna = person("Anna", {{"+49301234567", KindMobile}, {"VIP", KindCallerGroup}});
        QList<LineEvent> recording{{LineEvent::Opened, 0, "/dev/ttyUSB0"}};
        Line live(s, memoryWith({{1, anna}, {3, Name("Ben")}}));
        live.recording = &recording;
        const QList<QByteArray> requests = {memoryInfoRequest(), readRequest(1), readRequest(2),
                                            readRequest(3), readRequest(2)};
        QList<QByteArray> answered;
        live.send(QByteArray(130, 'U') + live.frame(hex("00010001"), 1, false, TypeStatus));
        for (const QByteArray& r : requests) {
            const qsizetype before = live.answers().size();
            const QByteArray first = live.frame(r);
            live.send(first);
            if (r == readRequest(1))
                live.send(first); // its acknowledgement was dropped: written again
            live.run(5);
            QByteArray frames;
            for (const QByteArray& f : live.answers().mid(before))
                frames += frameData(f) + char(fragmentByte(f)) + char(sequenceByte(f) & 0x40);
            answered << frames;
        }
        const LineReplay replay(recording);
        QCOMPARE(replay.exchanges().size(), 1 + requests.size());
        QCOMPARE(replay.exchanges().first().type, TypeStatus);

        Line replayed(quick(), PhoneMemory(10));
        replayed.seq = 5;
        replayed.phone.setReplay(replay);
        QStringList notices;
        replayed.phone.setNoticeHandler([&](const QString& n) { notices << n; });
        replayed.send(replayed.frame(hex("00010001"), 1, false, TypeStatus));
        replayed.run(5);
        QCOMPARE(frameData(replayed.answers().value(0)), VirtualPhone::statusAnswer());
        for (qsizetype i = 0; i < requests.size(); ++i) {
            const qsizetype before = replayed.answers().size();
            replayed.send(replayed.frame(requests[i]));
            replayed.run(5);
            QByteArray frames;
            for (const QByteArray& f : replayed.answers().mid(before))
                frames += frameData(f) + char(fragmentByte(f)) + char(sequenceByte(f) & 0x40);
            QCOMPARE(frames, answered[i]);
        }
        QVERIFY(answered[1].size() > 80); // Anna came in several frames
        QVERIFY(notices.isEmpty());

        const qsizetype acks = replayed.acks().size(), before = replayed.answers().size();
        replayed.send(replayed.frame(readRequest(4)));
        replayed.run(2000);
        QCOMPARE(replayed.answers().size(), before);
        QCOMPARE(replayed.acks().size(), acks + 1);
        QCOMPARE(notices, QStringList{"request 7 (read location 4) is not in the recording; not "
                                      "answered"});
    }

    void pacingAndLatency() {
        PhoneSettings s;
        s.latencyMs = 20;
        s.frameSize = 200;
        Line line(s, memoryWith({{1, person("X", {{QByteArray(43, '1'), KindFax}})}}));
        line.request(readRequest(1));
        QCOMPARE(line.frames.size(), 0); // even the ack takes its time on the line
        line.run(1);
        QCOMPARE(line.acks().size(), 1);
        line.run(19);
        QCOMPARE(line.answers().size(), 0);
        // 18 + 34 + 98 + 10 bytes of frame at 11 520 bytes/s take 13.9 ms.
        QCOMPARE(frameSize(quint8(18 + 34 + 98 + 2)), 160);
        line.run(13);
        QCOMPARE(line.answers().size(), 0);
        line.run(1);
        QCOMPARE(line.answers().size(), 1);
        QCOMPARE(int(line.phone.stats().bytesSent), 10 + 160);
    }

    void silence() {
        PhoneSettings s = quick();
        s.faults.silentAfter = 2;
        s.faults.silentForMs = 3000;
        Line line(s);
        line.request(memoryInfoRequest());
        line.request(readRequest(1));
        QCOMPARE(line.answers().size(), 2);
        line.frames.clear();
        line.request(readRequest(2));
        line.run(2999);
        line.request(readRequest(3));
        line.run(10);
        QVERIFY(line.frames.isEmpty()); // no ack, no answer
        line.t += Ms;
        line.request(readRequest(4));
        QCOMPARE(line.acks().size(), 1);
        QVERIFY(isEmptyLocation(line.payload()));
        QCOMPARE(word(line.payload(), 12), 4);
    }

    void faultsOnFrames() {
        PhoneSettings s = quick();
        s.faults.corruptFrame = {2}; // the answer to the first request (1 is its ack)
        s.faults.dropAck = {2};
        Line line(s);
        line.request(memoryInfoRequest());
        QCOMPARE(line.frames.size(), 2);
        QVERIFY(!checkFrame(line.frames[1]));
        line.request(readRequest(1)); // its ack is dropped, its answer comes
        QCOMPARE(line.frames.size(), 3);
        QVERIFY(!isAck(line.frames[2]));
        line.run(1100); // the damaged frame comes again, whole
        QCOMPARE(line.frames.size(), 4);
        QVERIFY(checkFrame(line.frames[3]));
        QCOMPARE(recogniseAnswer(line.frames[3]).kind, AnswerKind::MemoryInfo);
    }

    void faultsOnAnswers() {
        PhoneSettings s = quick();
        s.frameSize = 30;
        s.faults.duplicateAnswer = {1};
        s.faults.wrongLocation = {2, 3};
        s.faults.shuffleFragments = {4};
        Line line(s, memoryWith({{1, Name("One")},
                                 {2, person("Two", {{"1", KindHome}, {"2", KindMobile}})}}));
        line.request(memoryInfoRequest());
        QCOMPARE(line.answers().size(), 2);
        QCOMPARE(line.answers()[1], buildFrame(TypeMemory, frameData(line.answers()[0]), 1,
                                               makeSequenceByte(1, false), FromPhone));

        line.frames.clear();
        line.request(readRequest(1));
        QCOMPARE(decodeEntry(line.payload())->location, 2);
        QCOMPARE(decodeEntry(line.payload())->name.text, QByteArray("Two"));
        line.frames.clear();
        line.request(writeRequest(Name("Uno"), 1));
        QCOMPARE(recogniseAnswer(line.answers().value(0)).location, 2);
        QCOMPARE(line.phone.memory().at(1)->name, QByteArray("Uno"));
        QCOMPARE(line.phone.memory().at(2)->name, QByteArray("Two"));

        line.frames.clear();
        line.request(readRequest(2));
        QList<int> fragments;
        for (const QByteArray& f : line.answers())
            fragments << fragmentByte(f);
        QCOMPARE(fragments, (QList<int>{3, 4, 2, 1}));
        QCOMPARE(sequenceByte(line.answers()[0]) & 0x40, 0);
        QCOMPARE(sequenceByte(line.answers()[1]) & 0x40, 0x40);
    }

    void garbageBetweenFrames() {
        PhoneSettings s = quick();
        s.faults.garbage = true;
        Line line(s);
        line.phone.receive(line.frame(memoryInfoRequest()), 0);
        const QByteArray wire = line.phone.poll(0);
        QByteArray cut = wire;
        const auto ack = cutFrame(cut), answer = cutFrame(cut);
        QVERIFY(ack && answer && cut.isEmpty());
        QVERIFY(checkFrame(*ack) && checkFrame(*answer));
        QByteArray noise = wire;
        noise.replace(*ack, "").replace(*answer, "");
        QVERIFY(noise.size() >= 2);
        QVERIFY(!noise.contains(FrameStart));
    }

    void memoryAndBooks() {
        QTemporaryDir dir;
        Book sample;
        QString error;
        QVERIFY2(readBookFile(QStringLiteral(QUORIX_SAMPLE_BOOK), sample, &error),
                 qPrintable(error));
        QVERIFY(sample.entryCount() >= 30);

        // What goes in comes out, sorted by class as the phone gives it.
        PhoneMemory memory;
        QVERIFY(memory.load(sample, false, &error));
        QCOMPARE(memory.used(), sample.entryCount());
        QVERIFY(memory.at(sample.entryCount()));
        for (int i = 0; i < sample.entryCount(); ++i)
            Book::sortByClass(sample.name(i));
        QCOMPARE(describe(memory.toBook()), describe(sample));

        QVERIFY(memory.load(sample, true, &error));
        QCOMPARE(memory.used(), sample.entryCount());
        QVERIFY(memory.at(1) && !memory.at(2) && memory.at(1 + 500 / sample.entryCount()));

        PhoneMemory small(10);
        QVERIFY(!small.load(sample, false, &error));
        QVERIFY(error.contains(QLatin1String("--memory")));
        QCOMPARE(small.used(), 0);

        // Saved and read back byte for byte.
        const QString path = dir.filePath(QStringLiteral("saved.pbf"));
        QVERIFY(writeBookFile(path, memory.toBook(), &error));
        Book again;
        QVERIFY(readBookFile(path, again, &error));
        QCOMPARE(describe(again), describe(sample));
    }

    void bookFileRules() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("b.pbf"));
        auto load = [&](const QByteArray& bytes, Book& book, QString& error) {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            f.close();
            return readBookFile(path, book, &error);
        };
        Book book;
        QString error;
        QVERIFY(load("[QUORIX7-File]\r\n\x03orphan\r\nAnna\r\n\x09Neighbour\r\n\n"
                     "Family\r\n\r\nBob\r\x02"
                     "112\r\x1a"
                     "Lost\r\n",
                     book, error));
        QCOMPARE(describe(book), QByteArray("Anna\n  Note: Neighbour\n  Caller group: Family\n"
                                            "<No Name>\nBob\n  General: 112\n"));
        for (const QByteArray& bad : {QByteArray("[QUORIX7-File]\nAnna\n"), QByteArray(),
                                      QByteArray(" [QUORIX7-File]\r\n")}) {
            QVERIFY(!load(bad, book, error));
            QVERIFY(error.endsWith(QLatin1String("This is not a valid phonebook!")));
            QCOMPARE(book.entryCount(), 3); // untouched
        }
        QVERIFY(!readBookFile(dir.filePath(QStringLiteral("none.pbf")), book, &error));

        // The 16-bit texts the phone keeps go to and come from .vcf whole.
        PhoneMemory memory(5);
        Book unicode;
        Book::addSubentry(unicode.insertName(0, QStringLiteral("Łódź € Σ")),
                          QStringLiteral("Grüße"), KindNote);
        QVERIFY(memory.load(unicode, false, &error));
        const QString vcf = dir.filePath(QStringLiteral("m.vcf"));
        QVERIFY(writeBookFile(vcf, memory.toBook(), &error));
        Book back;
        QVERIFY2(readBookFile(vcf, back, &error), qPrintable(error));
        QCOMPARE(describe(back), QByteArray("Łódź € Σ\n  Note: Grüße\n"));
    }

    void generatedBooks() {
        const Book a = generateBook(300, 5), b = generateBook(300, 5), c = generateBook(300, 6);
        QCOMPARE(a.entryCount(), 300);
        QCOMPARE(describe(a), describe(b));
        QVERIFY(describe(a) != describe(c));
        QSet<QString> names;
        int texts = 0, groups = 0;
        for (const auto& n : a) {
            names.insert(n->text);
            QVERIFY(Book::subentryCount(*n, ClassNumber) >= 1);
            QVERIFY(Book::subentryCount(*n, ClassNumber) <= MaxNumbers);
            QVERIFY(Book::subentryCount(*n, ClassText) <= MaxTexts);
            QVERIFY(Book::subentryCount(*n, ClassGroup) <= MaxGroups);
            texts += Book::subentryCount(*n, ClassText);
            groups += Book::subentryCount(*n, ClassGroup);
        }
        QCOMPARE(names.size(), 300);
        QVERIFY(texts > 50 && groups > 50);
    }

    void options() {
        QSet<int> list;
        QVERIFY(parseNumberList(QStringLiteral("3,7,10-12"), list));
        QCOMPARE(list, (QSet<int>{3, 7, 10, 11, 12}));
        for (const char* bad : {"", "x", "3-", "5-2", "1,,2", "-4"})
            QVERIFY2(!parseNumberList(QString::fromLatin1(bad), list), bad);

        auto parse = [](QStringList args, PhoneOptions& o, QString& message) {
            args.prepend(QStringLiteral("quorix-phonesim"));
            return parseOptions(args, o, message);
        };
        PhoneOptions o;
        QString message;
        QCOMPARE(parse({}, o, message), ParseResult::Run);
        QCOMPARE(o.settings.baud, 115200);
        QCOMPARE(o.memorySize, 500);
        QCOMPARE(parse({"--memory", "200", "--baud", "0", "--frame-size", "40", "--drop-ack", "2,4",
                        "--silent-after", "5", "--silent-for", "100", "--garbage"},
                       o, message),
                 ParseResult::Run);
        QCOMPARE(o.memorySize, 200);
        QCOMPARE(o.settings.faults.dropAck, (QSet<int>{2, 4}));
        QCOMPARE(o.settings.faults.silentForMs, 100);
        QVERIFY(o.settings.faults.garbage);
        const QList<QStringList> bads = {{"--memory", "0"},
                                         {"--frame-size", "252"},
                                         {"--latency", "soon"},
                                         {"--book", "a.pbf", "--generate", "3"},
                                         {"--silent-for", "10"},
                                         {"--refuse-write", "x"},
                                         {"--replay", "r.qlr", "--book", "a.pbf"},
                                         {"--replay", "r.qlr", "--wrong-location", "2"},
                                         {"--bogus"},
                                         {"stray"}};
        for (const QStringList& bad : bads) {
            PhoneOptions fresh;
            QCOMPARE(parse(bad, fresh, message), ParseResult::Error);
            QVERIFY(!message.isEmpty());
        }
        QCOMPARE(parse({"--help"}, o, message), ParseResult::Help);
        for (const char* name :
             {"--silent-after", "--refuse-write", "--corrupt-frame", "--drop-ack",
              "--duplicate-answer", "--wrong-location", "--garbage", "--shuffle-fragments",
              "--verbose", "--link", "--replay"})
            QVERIFY2(message.contains(QLatin1String(name)), name);
    }

    void serverOnAPseudoTerminal() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("phone"));
        PhoneSettings settings = quick();
        settings.retries = 0;
        PhoneServer server(memoryWith({{2, Name("Bob")}}), settings);
        QVERIFY2(server.open(link), qPrintable(server.errorString()));
        QVERIFY(server.devicePath().startsWith(QLatin1String("/dev/pts/")));
        QCOMPARE(QFileInfo(link).symLinkTarget(), server.devicePath());

        // A client asks and goes without reading: what nobody read is gone before
        // the next client comes.
        PtyClient gone;
        QVERIFY(gone.open(link));
        gone.request(readRequest(1));
        gone.close();
        QTest::qWait(2500);

        // A client comes, goes, and the next one is served as well.
        for (int round = 0; round < 2; ++round) {
            PtyClient client;
            QVERIFY(client.open(link));
            client.write(QByteArray(130, 'U')); // as every link start does
            client.request(readRequest(2));
            const auto e = decodeEntry(client.answer());
            QVERIFY(e);
            QCOMPARE(e->name.text, QByteArray("Bob"));
            QCOMPARE(client.frames.size(), 2); // its acknowledgement and its answer
        }
        server.close();
        QVERIFY(!QFileInfo::exists(link));
        QVERIFY(!QFileInfo(link).isSymLink());

        // Something else in the link's place is not overwritten.
        QFile(link).open(QIODevice::WriteOnly);
        QVERIFY(!server.open(link));
        QVERIFY(server.errorString().contains(link));
    }
};

QTEST_GUILESS_MAIN(TestVirtualPhone)
#include "tst_virtualphone.moc"
