#include "transfer/PhonebookMessages.h"

#include "link/Frame.h"

#include <QRandomGenerator>
#include <QTest>

using namespace quorix;
using namespace quorix::transfer;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

Name makeName(const QString& text, std::initializer_list<Subentry> subs) {
    Name n(text);
    for (const Subentry& s : subs)
        n.subs.push_back(s);
    return n;
}

// The blocks of a payload, as id:length pairs, for comparing layouts at a glance.
QByteArray layout(const QByteArray& payload) {
    QByteArrayList parts;
    for (const Block& b : splitBlocks(payload.mid(EntryHeaderSize)))
        parts << QByteArray::number(b.id, 16) + ':' + QByteArray::number(b.bytes.size());
    return parts.join(' ');
}

// A name's subentries as "kind:text" for comparisons.
QByteArray subs(const Name& n) {
    QByteArrayList parts;
    for (const Subentry& s : n.subs)
        parts << QByteArray::number(s.kind) + ':' + s.text.toUtf8();
    return parts.join('|');
}

QByteArray phoneFrame(const QByteArray& payload) {
    return link::buildFrame(link::TypeMemory, payload, 1, 0x40, link::FromPhone);
}

} // namespace

class TestPhonebookMessages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requests() {
        QCOMPARE(memoryInfoRequest(), hex("000100030205014711 4b"));
        QCOMPARE(readRequest(300), hex("00010007010100010105012c000001"));
        QCOMPARE(readRequest(1).mid(10, 2), hex("0001"));

        const Request info = recogniseRequest(memoryInfoRequest());
        QCOMPARE(info.kind, RequestKind::MemoryInfo);
        const Request read = recogniseRequest(readRequest(300));
        QCOMPARE(read.kind, RequestKind::Read);
        QCOMPARE(read.location, 300);
        const Request write = recogniseRequest(writeRequest(Name("A"), 0x1234));
        QCOMPARE(write.kind, RequestKind::Write);
        QCOMPARE(write.location, 0x1234);
        // Answers, truncated requests and strangers are not requests.
        QCOMPARE(recogniseRequest(writeConfirmedAnswer(1)).kind, RequestKind::Unknown);
        QCOMPARE(recogniseRequest(readRequest(5).left(11)).kind, RequestKind::Unknown);
        QCOMPARE(recogniseRequest(hex("000100")).kind, RequestKind::Unknown);
        QCOMPARE(recogniseRequest(hex("00010099")).kind, RequestKind::Unknown);
    }

    void blocks() {
        const QByteArray name = nameBlock("Anna");
        QCOMPARE(name.size(), 34);
        QCOMPARE(name.left(16), hex("0700002200 0a 0041006e006e00610000"));
        QCOMPARE(name.mid(16), QByteArray(18, '\0'));
        // Empty name: only the terminator, padded.
        QCOMPARE(nameBlock({}).left(8), hex("0700002200020000"));
        // 14 characters leave the minimum behind: 8 + 28.
        QCOMPARE(nameBlock("Abcdefghijklmn").size(), 36);
        // The longest name the length bytes can describe; longer ones are cut to it.
        const QByteArray longest = nameBlock(QByteArray(MaxNameChars, 'x'));
        QCOMPARE(longest.size(), 254);
        QCOMPARE(quint8(longest[3]), quint8(254));
        QCOMPARE(quint8(longest[5]), quint8(248));
        QCOMPARE(nameBlock(QByteArray(200, 'x')), longest);

        const QByteArray number = numberBlock(0x03, "+49301234567");
        QCOMPARE(number.size(), 36);
        QCOMPARE(number.left(10), hex("0b00002400030000 0058"));
        QCOMPARE(decodeText(number.mid(10)), QByteArray("+49301234567"));
        const QByteArray longNumber = numberBlock(0x0A, QByteArray(50, '7'));
        QCOMPARE(longNumber.size(), 12 + 2 * 43);
        QCOMPARE(quint8(longNumber[9]), quint8(0x58));
        QCOMPARE(decodeText(longNumber.mid(10)), QByteArray(43, '7'));

        const QByteArray text = textBlock(BlockEMail, QByteArray(70, 'e'));
        QCOMPARE(text.size(), 8 + 2 * 60);
        QCOMPARE(text.left(6), hex("080000800078"));
        QCOMPARE(decodeText(text.mid(6)), QByteArray(60, 'e'));
        QCOMPARE(textBlock(BlockNote, {}).size(), 34);

        QCOMPARE(groupBlock(2), hex("1e00000804020000"));
    }

    void writeRequestLayout() {
        // A 4-character name with one 12-digit Mobile number.
        const QByteArray r = writeRequest(makeName("Anna", {{"+49301234567", KindMobile}}), 7);
        QCOMPARE(r.size(), 88);
        QCOMPARE(r.left(18), hex("0001000b0001010000 0c0205 0007 000000 02"));
        QCOMPARE(quint8(r[18]), BlockName);
        QCOMPARE(quint8(r[52 + 3]), quint8(36));
        QCOMPARE(quint8(r[52 + 5]), quint8(0x03));
        QCOMPARE(splitPayload(r).size(), 1);
        QCOMPARE(splitPayload(r).front().fragment, quint8(1));

        // The group goes right after the name block, wherever the book lists it.
        const Name vip = makeName("Bob", {{"112", KindGeneral}, {"VIP", KindCallerGroup}});
        const QByteArray rv = writeRequest(vip, 1);
        QCOMPARE(rv.mid(52, 8), hex("1e00000804020000"));
        QCOMPARE(layout(rv), QByteArray("7:34 1e:8 b:34"));
        QCOMPARE(quint8(rv[17]), quint8(3));
        // Number kind bytes of every number kind.
        const QByteArray kinds = writeRequest(makeName("K", {{"1", KindGeneral},
                                                             {"2", KindMobile},
                                                             {"3", KindHome},
                                                             {"4", KindOffice},
                                                             {"5", KindFax}}),
                                              1);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(quint8(kinds[18 + 34 + 34 * i + 5]),
                     quint8(QByteArray::fromHex("0a03020604").at(i)));

        // A group text outside the table is written as group 0.
        const QByteArray odd = writeRequest(makeName("C", {{"Neighbours", KindCallerGroup}}), 1);
        QCOMPARE(odd.mid(52, 8), hex("1e00000804000000"));

        // Unknown kind becomes a Note; kinds outside 2..11 are left out and not counted.
        const QByteArray unknown = writeRequest(
            makeName("D", {{"odd", KindUnknown}, {"x", 0}, {"y", 15}, {"z", KindNameExpanded}}), 1);
        QCOMPARE(layout(unknown), QByteArray("7:34 a:34"));
        QCOMPARE(quint8(unknown[17]), quint8(2));

        // Texts sort behind numbers, in their own order.
        const QByteArray mixed = writeRequest(
            makeName("E", {{"a@b.c", KindEMail}, {"1", KindFax}, {"Home 1", KindPostalAddress}}),
            1);
        QCOMPARE(layout(mixed), QByteArray("7:34 b:34 8:34 9:34"));
    }

    void blockCountCappedAtNine() {
        Name full("Full");
        for (int i = 0; i < 5; ++i)
            full.subs.push_back({QByteArray(43, char('0' + i)), KindMobile});
        full.subs.push_back({QByteArray(60, 'a'), KindEMail});
        full.subs.push_back({QByteArray(60, 'b'), KindNote});
        full.subs.push_back({"Family", KindCallerGroup});
        const QByteArray r = writeRequest(full, 1);
        QCOMPARE(quint8(r[17]), quint8(9));
        QCOMPARE(r.size(), 806);
        QCOMPARE(splitPayload(r).size(), 7);

        // More subentries than the phone counts: all are sent, the count says 9.
        full.subs.push_back({"extra", KindNote});
        const QByteArray more = writeRequest(full, 1);
        QCOMPARE(quint8(more[17]), quint8(9));
        QCOMPARE(splitBlocks(more.mid(EntryHeaderSize)).size(), 10);
    }

    void splitting() {
        // 18 + 34 * 3: exactly one frame.
        const Name two = makeName("Al", {{"1", KindGeneral}, {"2", KindHome}});
        const QByteArray r120 = writeRequest(two, 1);
        QCOMPARE(r120.size(), 120);
        const QList<Chunk> one = splitPayload(r120);
        QCOMPARE(one.size(), 1);
        QCOMPARE(one.front(), (Chunk{r120, 1, false}));

        // One character more in a number makes 122 bytes: two frames, 120 + 2.
        const QByteArray r122 =
            writeRequest(makeName("Al", {{"1", KindGeneral}, {QByteArray(12, '2'), KindHome}}), 1);
        QCOMPARE(r122.size(), 122);
        const QList<Chunk> chunks = splitPayload(r122);
        QCOMPARE(chunks.size(), 2);
        QCOMPARE(chunks[0], (Chunk{r122.left(120), 2, false}));
        QCOMPARE(chunks[1], (Chunk{r122.mid(120), 1, true}));

        const QList<Chunk> three = splitPayload(QByteArray(25, 'x'), 10);
        QCOMPARE(three.size(), 3);
        QCOMPARE(three[2].data.size(), 5);
        QCOMPARE(three[0].fragment, quint8(3));

        QCOMPARE(splitPayload({}).size(), 1);
        QVERIFY(splitPayload(QByteArray(256, 'x'), 1).isEmpty());
        QCOMPARE(splitPayload(QByteArray(255, 'x'), 1).size(), 255);
    }

    void answerRecognition() {
        const QByteArray info = phoneFrame(memoryInfoAnswer(500, 123));
        QCOMPARE(link::frameLength(info), quint8(24));
        const Answer a = recogniseAnswer(info);
        QCOMPARE(a.kind, AnswerKind::MemoryInfo);
        QCOMPARE(a.memorySize, 500);
        QCOMPARE(a.memoryUsed, 123);

        const QByteArray ok = phoneFrame(writeConfirmedAnswer(300));
        QCOMPARE(link::frameLength(ok), quint8(20));
        QCOMPARE(recogniseAnswer(ok).kind, AnswerKind::WriteConfirmed);
        QCOMPARE(recogniseAnswer(ok).location, 300);

        const QByteArray refused = phoneFrame(writeRefusedAnswer(300));
        QCOMPARE(link::frameLength(refused), quint8(16));
        QCOMPARE(recogniseAnswer(refused).kind, AnswerKind::WriteRefused);

        // A write answer of another length, and entries, go to the assembly.
        QCOMPARE(recogniseAnswer(phoneFrame(writeConfirmedAnswer(3) + "xx")).kind,
                 AnswerKind::EntryFrame);
        QCOMPARE(recogniseAnswer(phoneFrame(memoryInfoAnswer(1, 1).left(20))).kind,
                 AnswerKind::EntryFrame);
        QCOMPARE(recogniseAnswer(phoneFrame(emptyLocationAnswer(3))).kind, AnswerKind::EntryFrame);
        QCOMPARE(recogniseAnswer(hex("1e2a00")).kind, AnswerKind::EntryFrame);

        QCOMPARE(emptyLocationAnswer(9).size(), EmptyLocationAnswerSize);
        QVERIFY(isEmptyLocation(emptyLocationAnswer(9)));
        QVERIFY(isEmptyLocation(hex("011b00080001 0f 00000000000000")));
        QVERIFY(!isEmptyLocation(emptyLocationAnswer(9) + '\0'));
        QVERIFY(!isEmptyLocation(hex("011b00080001 0e 00000000000000")));
    }

    void decodetextEdges_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << hex("004100620000") << QStringLiteral("Ab");
        QTest::newRow("line break and tab") << hex("0041000a00090042") << QStringLiteral("A  B");
        QTest::newRow("control 30 and 31") << hex("001e001f") << QStringLiteral(" \x1f");
        QTest::newRow("16-bit character") << hex("20ac0041") << QStringLiteral("€A");
        QTest::newRow("no terminator") << hex("00410042") << QStringLiteral("AB");
        QTest::newRow("stops at 00 00") << hex("004100000042") << QStringLiteral("A");
        QTest::newRow("second byte 0 is no end") << hex("0141 0100 0041") << QStringLiteral("ŁĀA");
        QTest::newRow("odd last byte") << hex("004100") << QStringLiteral("A");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("latin-1") << hex("00fc00e9") << QStringLiteral("üé");
        QTest::newRow("polish") << hex("0141 00f3 0064 017a") << QStringLiteral("Łódź");
        QTest::newRow("surrogate pair") << hex("d83d de00") << QStringLiteral("😀");
        QTest::newRow("lone surrogates")
            << hex("d83d 0041 de00") << QStringLiteral("\uFFFDA\uFFFD");
        // Earlier versions stored the code page's bytes: 0x80-0x9F are its characters.
        QTest::newRow("windows-1252 high")
            << hex("0080 008a 0081 009f 00a0") << QStringLiteral("€Š\u0081Ÿ\u00a0");
    }
    void decodetextEdges() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(decodeText(bytes), text);
    }

    void textsTravelAsSixteenBitCodeUnits() {
        int replaced = -1;
        const Name n = makeName(QStringLiteral("Łódź €"), {{QStringLiteral("Grüße 😀!"), KindNote},
                                                           {QStringLiteral("+48 ٣"), KindMobile}});
        const QByteArray r = writeRequest(n, 3, &replaced);
        // The name block: 6 characters, each one code unit, high byte first.
        QCOMPARE(r.mid(EntryHeaderSize, 20),
                 hex("07 0000 22 00 0e 0141 00f3 0064 017a 0020 20ac 0000"));
        // The emoji, which would take two code units, goes as one "?".
        const QByteArray numberBlock = r.mid(EntryHeaderSize + 34, 34);
        QCOMPARE(numberBlock.mid(10, 12), hex("002b 0034 0038 0020 0663 0000"));
        const QByteArray note = r.mid(EntryHeaderSize + 68, 34);
        QCOMPARE(note.mid(6, 20), hex("0047 0072 00fc 00df 0065 0020 003f 0021 0000 0000"));
        QCOMPARE(replaced, 1);
        // Read back, everything in the Basic Multilingual Plane is there.
        const auto entry = decodeEntry(entryAnswer(3, r.mid(EntryHeaderSize), r[17]));
        QVERIFY(entry);
        QCOMPARE(entry->name.text, QStringLiteral("Łódź €"));
        QCOMPARE(subs(entry->name), QByteArray("3:+48 ٣|9:Grüße ?!"));

        // The limits count code units after the replacement; a character cut off
        // with the end of a long text is not counted as replaced.
        QCOMPARE(phoneText(QStringLiteral("a😀b\xd800"), &replaced), QStringLiteral("a?b?"));
        QCOMPARE(replaced, 2);
        writeRequest(
            makeName(QStringLiteral("x"), {{QString(60, u'n') + QStringLiteral("😀"), KindNote}}), 1,
            &replaced);
        QCOMPARE(replaced, 0);
        const QByteArray full = textBlock(BlockNote, QString(59, u'n') + QStringLiteral("😀😀"));
        QCOMPARE(full.mid(6 + 2 * 59, 4), hex("003f 0000"));
    }

    void decodeWhatWasWritten() {
        // The phone echoes blocks as written: the read side gets the name back,
        // subentries sorted by class, the group named again.
        const Name written =
            makeName(QStringLiteral("Hans Müller"), {{"Family", KindCallerGroup},
                                                     {"hans@example.com", KindEMail},
                                                     {"+4930123", KindMobile},
                                                     {"089555", KindOffice}});
        const QByteArray request = writeRequest(written, 42);
        const QByteArray answer = entryAnswer(42, request.mid(EntryHeaderSize), request[17]);
        const auto entry = decodeEntry(answer);
        QVERIFY(entry);
        QCOMPARE(entry->location, 42);
        QCOMPARE(entry->name.text, QStringLiteral("Hans Müller"));
        QCOMPARE(subs(entry->name), QByteArray("3:+4930123|5:089555|7:hans@example.com|10:Family"));
    }

    void decodeKindsAndGroups() {
        QByteArray blocks = nameBlock("X");
        blocks += numberBlock(0x01, "1") + numberBlock(0x0A, "2") + numberBlock(0x05, "5") +
                  numberBlock(0x04, "4") + numberBlock(0x06, "6") + numberBlock(0x02, "22");
        blocks += groupBlock(0) + groupBlock(3) + groupBlock(7);
        blocks += textBlock(BlockNote, "n") + textBlock(BlockPostalAddress, "p") +
                  textBlock(0x33, "mystery");
        const auto e = decodeEntry(entryAnswer(1, blocks, 0));
        QVERIFY(e);
        QCOMPARE(subs(e->name), QByteArray("2:1|2:2|6:4|5:6|4:22|9:n|8:p|10:Friends|"
                                           "10:unknown group|11:5|11:mystery"));
    }

    void decodeWithoutNameFirst() {
        const QByteArray blocks = numberBlock(0x03, "0170") + nameBlock("Late");
        const auto e = decodeEntry(entryAnswer(5, blocks, 2));
        QVERIFY(e);
        QCOMPARE(e->name.text, QByteArray("<No Name>"));
        QCOMPARE(subs(e->name), QByteArray("3:0170|11:Late"));

        // An entry without any block still is an entry, if it is long enough.
        const auto bare = decodeEntry(entryAnswer(6, QByteArray(6, '\0'), 0));
        QVERIFY(bare);
        QCOMPARE(bare->name.text, QByteArray("<No Name>"));
        QVERIFY(bare->name.subs.empty());
        QVERIFY(!decodeEntry(entryAnswer(6, QByteArray(5, '\0'), 0)));
        QVERIFY(!decodeEntry(emptyLocationAnswer(6)));
    }

    void decodeMalformedBlocks_data() {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("length 0") << hex("0b000000000300000058");
        QTest::newRow("number shorter than its text offset") << hex("0b000009000300000058");
        QTest::newRow("text shorter than its text offset") << hex("0800000500");
        QTest::newRow("past the end") << hex("0a0000ff00780041");
        QTest::newRow("too short for a length") << hex("0a00");
    }
    void decodeMalformedBlocks() {
        // The good blocks before the bad one are kept; the bad one and the rest go.
        QFETCH(QByteArray, bad);
        const QByteArray blocks =
            nameBlock("Kept") + numberBlock(0x03, "1") + bad + textBlock(BlockNote, "lost");
        bool complete = true;
        splitBlocks(blocks, &complete);
        QVERIFY(!complete);
        const auto e = decodeEntry(entryAnswer(1, blocks, 4));
        QVERIFY(e);
        QCOMPARE(e->name.text, QByteArray("Kept"));
        QCOMPARE(subs(e->name), QByteArray("3:1"));

        // A malformed name block leaves "<No Name>" and nothing else.
        const auto noName = decodeEntry(entryAnswer(1, hex("07000003") + nameBlock("B"), 1));
        QVERIFY(noName);
        QCOMPARE(noName->name.text, QByteArray("<No Name>"));
        QVERIFY(noName->name.subs.empty());
    }

    void decodeNeverFails() {
        // Random payloads, and random damage to a good one, always end.
        const QByteArray good =
            writeRequest(makeName("Fuzz", {{"123", KindHome}, {"x@y", KindEMail}}), 3);
        QRandomGenerator rng(7);
        for (int round = 0; round < 20000; ++round) {
            QByteArray p = good;
            if (round % 2) {
                p = QByteArray(int(rng.bounded(200)), '\0');
                for (char& c : p)
                    c = char(rng.bounded(256));
            } else {
                for (int k = 0; k < 3; ++k)
                    p[int(rng.bounded(int(p.size())))] = char(rng.bounded(256));
                p.truncate(int(rng.bounded(int(p.size()) + 1)));
            }
            const auto e = decodeEntry(p);
            if (e)
                QVERIFY(e->name.subs.size() <= size_t(p.size()) / 6);
        }
    }
};

QTEST_GUILESS_MAIN(TestPhonebookMessages)
#include "tst_phonebookmessages.moc"
