// The transfer state machine against a phone played at message level: answers come
// from a phone memory when the test lets them, time is a clock the test moves.
#include "transfer/Transfer.h"

#include "link/Clock.h"
#include "link/Frame.h"
#include "phonesim/PhoneMemory.h"

#include <QSignalSpy>
#include <QTest>
#include <functional>

using namespace quorix;
using namespace quorix::transfer;
using phonesim::PhoneMemory;

namespace {

Name makeName(const QByteArray& text, std::initializer_list<Subentry> subs = {}) {
    Name n(text);
    n.subs = subs;
    return n;
}

void put(PhoneMemory& memory, int location, const Name& name) {
    memory.store(location, *PhoneMemory::fromWriteRequest(writeRequest(name, location)));
}

// "Name N" at each of the locations, with a number.
PhoneMemory memoryWith(int size, const QList<int>& locations) {
    PhoneMemory memory(size);
    for (int loc : locations)
        put(memory, loc,
            makeName("Name " + QByteArray::number(loc),
                     {{"+49" + QByteArray::number(loc), KindMobile}}));
    return memory;
}

QList<int> range(int from, int to) {
    QList<int> out;
    for (int i = from; i <= to; ++i)
        out << i;
    return out;
}

// The phone: takes the transfer's frames, answers whole requests from its memory
// into an outbox that deliver() empties, and can keep quiet or refuse writes.
class ScriptPhone : public TransferLink {
public:
    mutable link::ManualClock clock{100000};
    quint32 lastrx = 0;
    PhoneMemory memory{10};
    bool startOk = true;
    bool open = false;
    bool silent = false;
    QSet<int> refuse;
    int frameSize = ChunkSize;
    int starts = 0;
    link::LinkListener* starting = nullptr;
    link::PhonebookAnswer* handler = nullptr;
    QList<Chunk> frames;        // every frame the transfer sent
    QList<QByteArray> requests; // the same, as whole requests
    QList<QList<QByteArray>> outbox;

    void startLink(link::LinkListener* listener) override {
        ++starts;
        starting = listener;
        listener->showStatus("Opening serial port...");
    }
    // The end of the link's start-up wait.
    void finishStart() {
        link::LinkListener* l = std::exchange(starting, nullptr);
        open = startOk;
        if (!startOk) {
            l->showError("Error", "Could not open serial port!\rPlease check configuration!");
            l->showStatus("Error opening serial port!");
        }
        l->linkStarted(startOk);
    }
    void stopLink() override {
        open = false;
        starting = nullptr;
        outbox.clear();
        partial_.clear();
    }
    bool sendFrame(quint8, const QByteArray& data, quint8 fragment, bool followOn) override {
        if (!open)
            return true;
        frames.append({data, fragment, followOn});
        partial_ += data;
        if (fragment == 1) {
            requests.append(std::exchange(partial_, {}));
            if (!silent)
                respond(requests.back());
        }
        return true;
    }
    // With holdAcks the phone's acknowledgement of a request waits for acknowledge().
    bool holdAcks = false;
    std::function<void()> heldAck;
    void whenLastFrameAcknowledged(std::function<void()> done) override {
        if (holdAcks)
            heldAck = std::move(done);
        else
            done();
    }
    void acknowledge() {
        if (const auto done = std::exchange(heldAck, nullptr))
            done();
    }
    quint32 lastValidFrameTime() const override { return lastrx; }
    quint32 now() const override { return clock.now(); }
    void setPhonebookAnswer(link::PhonebookAnswer* h) override { handler = h; }

    void respond(const QByteArray& request) {
        const Request r = recogniseRequest(request);
        switch (r.kind) {
        case RequestKind::MemoryInfo:
            queue(memoryInfoAnswer(memory.size(), memory.used()), ChunkSize);
            break;
        case RequestKind::Read:
            queue(memory.readAnswer(r.location));
            break;
        case RequestKind::Write:
            if (refuse.contains(r.location)) {
                queue(writeRefusedAnswer(r.location), ChunkSize);
            } else {
                memory.store(r.location, *PhoneMemory::fromWriteRequest(request));
                queue(writeConfirmedAnswer(r.location), ChunkSize);
            }
            break;
        case RequestKind::Unknown:
            break;
        }
    }
    // Entry answers go in frames of frameSize bytes, the fixed answers in one.
    QList<QByteArray> framesOf(const QByteArray& payload, int size = 0) {
        QList<QByteArray> out;
        for (const Chunk& c : splitPayload(payload, size > 0 ? size : frameSize))
            out << link::buildFrame(link::TypeMemory, c.data, c.fragment,
                                    link::makeSequenceByte(seq_++, c.followOn), link::FromPhone);
        return out;
    }
    void queue(const QByteArray& payload, int size = 0) { outbox.append(framesOf(payload, size)); }
    void receive(const QByteArray& frame) {
        lastrx = clock.now();
        handler->handlePhonebookAnswer(frame);
    }
    // Hands over the waiting answers, and those they lead to, up to limit answers.
    void deliver(int limit = 1 << 20) {
        for (; limit > 0 && !outbox.isEmpty(); --limit)
            for (const QByteArray& f : outbox.takeFirst())
                receive(f);
    }
    // Delivers until nothing more comes, also after the pauses of a write request.
    void settle() {
        do
            deliver();
        while (QTest::qWaitFor([this] { return !outbox.isEmpty(); }, 100));
    }
    // The locations of the read or write requests sent.
    QList<int> asked(RequestKind kind) const {
        QList<int> out;
        for (const QByteArray& r : requests)
            if (recogniseRequest(r).kind == kind)
                out << recogniseRequest(r).location;
        return out;
    }
    QList<int> readLocations() const { return asked(RequestKind::Read); }
    QList<int> writeLocations() const { return asked(RequestKind::Write); }

private:
    QByteArray partial_;
    int seq_ = 0;
};

struct Ui : TransferUi {
    QByteArrayList statuses;
    QByteArrayList questions;
    QByteArray error;
    QByteArray typedStart, typedStop;
    int focus = 0;
    void showStatus(const QByteArray& t) override { statuses << t; }
    void showError(const QByteArray& caption, const QByteArray& t) override {
        error = caption + ": " + t;
    }
    void askTimeout(const QByteArray& caption, const QByteArray& t) override {
        questions << caption + ": " + t;
    }
    void focusBook() override { ++focus; }
};

struct Rig {
    ScriptPhone phone;
    BookModel model;
    Ui ui;
    Transfer transfer{phone, model, ui};
    QSignalSpy finished{&transfer, &Transfer::finished};

    // The watchdog ticks only when a test calls it, on the test's clock.
    Rig() { transfer.setTiming({3600 * 1000, 5000, 1, 20}); }
    Book& book() { return model.book(); }
    void fillBook(int count) {
        for (int i = 1; i <= count; ++i)
            model.addSubentry(
                model.insertName(book().entryCount(), "Person " + QByteArray::number(i)),
                "+4930" + QByteArray::number(i), KindGeneral);
    }
    QByteArray names() const {
        QByteArrayList out;
        for (const auto& n : model.book())
            out << n->text.toUtf8();
        return out.join('|');
    }
    QByteArray notes() const {
        QByteArrayList out;
        for (const auto& n : model.book())
            out << model.book().entryNote(*n).toUtf8();
        return out.join('|');
    }
    // Runs the transfer up and lets the phone answer everything.
    LocationRange borders() const {
        return {Transfer::border(ui.typedStart), Transfer::border(ui.typedStop)};
    }
    void run(bool (Transfer::*command)(const LocationRange&)) {
        QVERIFY((transfer.*command)(borders()));
        phone.finishStart();
        phone.settle();
    }
    // Lets the watchdog find the phone silent and ask.
    void timeOut() {
        phone.clock.advance(5001);
        transfer.onWatchdogTick();
        QVERIFY(transfer.asking());
    }
    // How the last transfer ended.
    enum Result { Ready, Errors, Aborted, NoLink, Lost };
    int result() const {
        if (finished.isEmpty())
            return -1;
        const TransferReport& rep = transfer.report();
        switch (rep.ending) {
        case TransferEnding::Completed:
            return rep.refusals() ? Errors : Ready;
        case TransferEnding::StoppedByUser:
        case TransferEnding::GivenUp:
            return Aborted;
        case TransferEnding::LinkNotStarted:
            return NoLink;
        case TransferEnding::PortLost:
            return Lost;
        }
        return -1;
    }
};

const QByteArray TimeoutQuestion =
    "connection timeout: No valid answer was received from phone.\rDo you want to re-setup "
    "connection and\rtry to continue at the point of failure?";

} // namespace

class TestTransferControl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readFillsTheBookInLocationOrder() {
        Rig r;
        r.phone.memory = PhoneMemory(10);
        put(r.phone.memory, 1,
            makeName("Anna", {{"anna@example.org", KindEMail}, {"+49171", KindMobile}}));
        put(r.phone.memory, 2,
            makeName("Ben", {{"Friends", KindCallerGroup}, {"+4930", KindHome}}));
        put(r.phone.memory, 4, makeName("Cafe"));
        r.model.insertName(0, "Old");
        QSignalSpy active(&r.transfer, &Transfer::transferActiveChanged);

        QVERIFY(r.transfer.startRead());
        QVERIFY(!r.transfer.startRead()); // one at a time
        QVERIFY(!r.transfer.transferActive());
        r.phone.finishStart();
        QVERIFY(r.transfer.transferActive());
        r.phone.settle();

        // The read stops after the third of three used locations.
        QCOMPARE(r.phone.readLocations(), (QList<int>{1, 2, 3, 4}));
        QCOMPARE(r.ui.statuses,
                 (QByteArrayList{"Opening serial port...", "Retrieving memory information...",
                                 "Read entry 1 / 3 from loc. 1.", "Read entry 2 / 3 from loc. 2.",
                                 "Empty location 3...", "Read entry 3 / 3 from loc. 4.",
                                 "Flipping book...", "OK.", "Ready."}));
        QCOMPARE(describeBook(r.book()),
                 QByteArray("Anna\n  Mobile: +49171\n  E-Mail: anna@example.org\n"
                            "Ben\n  Home: +4930\n  Caller group: Friends\n"
                            "Cafe\n"));
        QCOMPARE(r.notes(),
                 QByteArray("Read from location 1|Read from location 2|Read from location 4"));
        QVERIFY(r.book().bookChanged);
        QVERIFY(r.book().rootExpanded);
        QCOMPARE(r.ui.focus, 1);
        QCOMPARE(r.result(), int(Rig::Ready));
        QCOMPARE(active.size(), 2);
        QVERIFY(!r.transfer.transferActive() && !r.transfer.busy() && !r.phone.open);
        QVERIFY(!r.transfer.watchdogActive());
    }

    void readRange_data() {
        QTest::addColumn<QByteArray>("startBorder");
        QTest::addColumn<QByteArray>("stopBorder");
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<QList<int>>("requested");

        const QList<int> full = range(1, 50);
        QTest::newRow("no borders") << QByteArray() << QByteArray() << full << full;
        QTest::newRow("10 to 20") << QByteArray("10") << QByteArray("20") << full << range(10, 20);
        QTest::newRow("only stop") << QByteArray() << QByteArray("5") << full << range(1, 5);
        QTest::newRow("only start") << QByteArray("45") << QByteArray() << full << range(45, 50);
        QTest::newRow("start after stop")
            << QByteArray("30") << QByteArray("20") << full << QList<int>{20};
        QTest::newRow("not numbers")
            << QByteArray("abc") << QByteArray("0") << range(1, 3) << range(1, 3);
        QTest::newRow("blanks, negative")
            << QByteArray(" 7 ") << QByteArray("-3") << range(1, 50) << range(7, 50);
        QList<int> sparse;
        for (int i = 1; i <= 57; ++i)
            sparse << 2 * i;
        QTest::newRow("57 used of 200") << QByteArray() << QByteArray() << sparse << range(1, 114);
    }
    void readRange() {
        QFETCH(QByteArray, startBorder);
        QFETCH(QByteArray, stopBorder);
        QFETCH(QList<int>, used);
        QFETCH(QList<int>, requested);
        Rig r;
        r.phone.memory = memoryWith(used.size() == 57 ? 200 : 50, used);
        r.ui.typedStart = startBorder;
        r.ui.typedStop = stopBorder;
        r.run(&Transfer::startRead);
        QCOMPARE(r.phone.readLocations(), requested);
        QCOMPARE(r.ui.statuses.last(), QByteArray("Ready."));
    }

    void readWithNothingToReadLeavesTheBook() {
        for (const bool stopFirst : {false, true}) {
            Rig r;
            r.phone.memory = stopFirst ? memoryWith(10, {1, 2}) : PhoneMemory(10);
            r.model.insertName(0, "Kept");
            QVERIFY(r.transfer.startRead());
            if (stopFirst)
                r.transfer.requestStop();
            r.phone.finishStart();
            r.phone.settle();
            QVERIFY(r.phone.readLocations().isEmpty());
            QCOMPARE(r.names(), QByteArray("Kept"));
            QVERIFY(!r.book().bookChanged);
            QCOMPARE(r.ui.statuses.last(),
                     stopFirst ? QByteArray("Transfer aborted by user.") : QByteArray("Ready."));
        }
    }

    void answersSpanningFramesAndBrokenAssembly() {
        Rig r;
        r.phone.memory = memoryWith(10, {1, 2, 3});
        put(r.phone.memory, 2,
            makeName("A name long enough for several frames",
                     {{"x@example.org", KindEMail}, {"+4912345", KindFax}}));
        r.phone.frameSize = 16;
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(2); // memory information, location 1
        QVERIFY(!r.phone.outbox.isEmpty() && r.phone.outbox.front().size() > 3);
        // Location 2 arrives with its first two frames swapped: the message is lost
        // and so is everything after it until the link is set up again.
        r.phone.outbox.front().swapItemsAt(0, 1);
        r.phone.deliver();
        r.phone.queue(r.phone.memory.readAnswer(2));
        r.phone.deliver();
        QCOMPARE(r.phone.readLocations(), (QList<int>{1, 2}));
        QCOMPARE(r.book().entryCount(), 1);

        r.timeOut();
        QCOMPARE(r.ui.questions, QByteArrayList{TimeoutQuestion});
        QVERIFY(!r.transfer.watchdogActive());
        r.transfer.timeoutAnswer(true);
        QVERIFY(!r.phone.open && r.transfer.transferActive());
        r.phone.finishStart();
        QVERIFY(r.transfer.watchdogActive());
        r.phone.settle();
        // Location 2 is asked for again; the book is not cleared a second time.
        QCOMPARE(r.phone.readLocations(), (QList<int>{1, 2, 2, 3}));
        QCOMPARE(r.names(), QByteArray("Name 1|A name long enough for several frames|Name 3"));
        QCOMPARE(r.book().name(1).subs.size(), size_t(2));
        QCOMPARE(r.result(), int(Rig::Ready));
    }

    // An answer that names no location (an empty location, a refused write)
    // counts only after the phone acknowledged the request: one before it
    // answers an earlier request. When the acknowledgement is lost, the request
    // goes out again.
    void answersWithoutLocationWaitForTheAcknowledgement_data() {
        QTest::addColumn<bool>("write");
        QTest::addColumn<bool>("ackLost");
        QTest::newRow("empty location, acknowledged late") << false << false;
        QTest::newRow("empty location, acknowledgement lost") << false << true;
        QTest::newRow("refused write, acknowledged late") << true << false;
        QTest::newRow("refused write, acknowledgement lost") << true << true;
    }
    void answersWithoutLocationWaitForTheAcknowledgement() {
        QFETCH(bool, write);
        QFETCH(bool, ackLost);
        Rig r;
        r.phone.memory = memoryWith(10, {1, 3});
        r.phone.refuse = {2};
        r.fillBook(3);
        QVERIFY(write ? r.transfer.startWrite() : r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(1); // the memory information; location 1 is asked
        r.phone.holdAcks = true;
        r.phone.deliver(1); // location 1 answered; location 2 asked, not yet acknowledged
        const auto sent = [&] {
            return write ? r.phone.writeLocations() : r.phone.readLocations();
        };
        const auto taken = [&] {
            return write ? r.transfer.report().names[1].fate == NameFate::Refused
                         : r.ui.statuses.contains("Empty location 2...");
        };
        QCOMPARE(sent(), (QList<int>{1, 2}));
        r.phone.deliver(1); // the answer for 2 comes before the acknowledgement
        QVERIFY(!taken());
        QCOMPARE(sent(), (QList<int>{1, 2}));
        if (ackLost) {
            r.phone.holdAcks = false;
            r.phone.heldAck = nullptr;
            QTRY_COMPARE(sent(), (QList<int>{1, 2, 2})); // asked again
        } else {
            r.phone.acknowledge();
            r.phone.respond(r.phone.requests.back());
            r.phone.holdAcks = false;
        }
        r.phone.settle();
        QVERIFY(taken());
        QCOMPARE(sent(), ackLost ? (QList<int>{1, 2, 2, 3}) : (QList<int>{1, 2, 3}));
        QCOMPARE(r.result(), int(write ? Rig::Errors : Rig::Ready));
    }

    // Yes resumes with the name that had no answer, however often it is given,
    // and never before the range (a rewrite's one location).
    void yesResumesWithTheFirstUnansweredName_data() {
        QTest::addColumn<bool>("rewrite");
        QTest::addColumn<int>("yes");
        QTest::newRow("write, one Yes") << false << 1;
        QTest::newRow("write, three Yes") << false << 3;
        QTest::newRow("rewrite, three Yes") << true << 3;
    }
    void yesResumesWithTheFirstUnansweredName() {
        QFETCH(bool, rewrite);
        QFETCH(int, yes);
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 10));
        r.fillBook(5);
        r.book().name(3).location = 4;
        r.ui.typedStart = rewrite ? "" : "2";
        r.ui.typedStop = rewrite ? "" : "4";
        QVERIFY(rewrite ? r.transfer.rewrite(r.model.indexOf(r.book().name(3)), r.borders())
                        : r.transfer.startWrite(r.borders()));
        r.phone.finishStart();
        r.phone.deliver(rewrite ? 1 : 2); // the memory information (and location 2)
        r.phone.outbox.clear();           // no answer for the name in flight
        for (int i = 0; i < yes; ++i) {
            r.timeOut();
            r.transfer.timeoutAnswer(true);
            r.phone.finishStart();
            if (i + 1 < yes)
                r.phone.outbox.clear(); // nor for the memory information
        }
        r.phone.settle();
        QCOMPARE(r.phone.writeLocations(), rewrite ? (QList<int>{4, 4}) : (QList<int>{2, 3, 3, 4}));
        QCOMPARE(r.phone.memory.at(1)->name, QByteArray("Name 1"));
        QCOMPARE(r.phone.memory.at(rewrite ? 3 : 5)->name,
                 QByteArray(rewrite ? "Name 3" : "Name 5"));
        QCOMPARE(r.result(), int(Rig::Ready));
    }

    void watchdogTiming() {
        Rig r;
        r.phone.silent = true;
        r.phone.lastrx = r.phone.clock.now() - 2001;
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        QVERIFY(r.transfer.watchdogActive());
        // Nothing received since 2000 ms before the start: the first tick asks.
        r.phone.clock.advance(2999);
        r.transfer.onWatchdogTick();
        QVERIFY(r.ui.questions.isEmpty());
        r.phone.clock.advance(1);
        r.transfer.onWatchdogTick();
        QCOMPARE(r.ui.questions.size(), 1);

        // No: the transfer ends, the untouched book stays as it was.
        r.transfer.timeoutAnswer(false);
        r.transfer.timeoutAnswer(false);
        QCOMPARE(r.ui.statuses.last(), QByteArray("Transfer aborted by user."));
        QCOMPARE(r.finished.size(), 1);
        QCOMPARE(r.result(), int(Rig::Aborted));
        QVERIFY(!r.book().bookChanged);

        // Bytes 5000 ms ago are recent enough; 5001 ms are not.
        r.phone.silent = false;
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.silent = true;
        r.phone.lastrx = r.phone.clock.now();
        r.phone.clock.advance(5000);
        r.transfer.onWatchdogTick();
        QCOMPARE(r.ui.questions.size(), 1);
        r.phone.clock.advance(1);
        r.transfer.onWatchdogTick();
        QCOMPARE(r.ui.questions.size(), 2);
    }

    void lateAnswersDuplicatesAndStrayFrames() {
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 5));
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(3); // memory information, locations 1 and 2
        // Frames that do not belong to the read step: a write answer, a second
        // memory information, an answer for the wrong location, an earlier answer.
        r.phone.queue(writeConfirmedAnswer(3));
        r.phone.queue(memoryInfoAnswer(10, 5));
        r.phone.queue(r.phone.memory.readAnswer(4));
        r.phone.queue(r.phone.memory.readAnswer(1));
        r.phone.outbox.move(0, 4); // the real answer for 3 stays back
        r.phone.deliver(4);
        QCOMPARE(r.phone.readLocations(), (QList<int>{1, 2, 3}));
        QCOMPARE(r.book().entryCount(), 2);

        // The answer for 3 comes while the time-out question is open: it is still
        // handled, and Yes resumes after it.
        r.timeOut();
        r.phone.deliver(1);
        QCOMPARE(r.phone.readLocations(), (QList<int>{1, 2, 3, 4}));
        r.transfer.timeoutAnswer(true);
        QCOMPARE(r.phone.starts, 2);
        r.phone.finishStart();
        // Before the memory information, a second answer for 3 answers nothing
        // that was asked: it is dropped.
        put(r.phone.memory, 3, makeName("Name 3, again"));
        r.phone.outbox.prepend(r.phone.framesOf(r.phone.memory.readAnswer(3)));
        r.phone.deliver(1);
        QCOMPARE(r.ui.statuses.last(), QByteArray("Retrieving memory information..."));
        r.phone.settle();
        QCOMPARE(r.phone.readLocations(), (QList<int>{1, 2, 3, 4, 4, 5}));
        QCOMPARE(r.names(), QByteArray("Name 1|Name 2|Name 3|Name 4|Name 5"));
        QCOMPARE(r.transfer.readCount(), 5);
    }

    // Yes twice before the memory information of the first re-setup came: the
    // loop still resumes after the last location answered, each name read once.
    void secondYesBeforeTheMemoryInformation() {
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 4));
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(3);     // memory information, locations 1 and 2
        r.phone.outbox.clear(); // the answer for 3 is lost
        for (int round = 0; round < 2; ++round) {
            r.timeOut();
            r.transfer.timeoutAnswer(true);
            r.phone.finishStart();
            r.phone.outbox.clear(); // and the memory information too
        }
        r.timeOut();
        r.transfer.timeoutAnswer(true);
        r.phone.finishStart();
        r.phone.settle();
        QCOMPARE(r.names(), QByteArray("Name 1|Name 2|Name 3|Name 4"));
        QCOMPARE(r.notes(), QByteArray("Read from location 1|Read from location 2|"
                                       "Read from location 3|Read from location 4"));
        QCOMPARE(r.phone.readLocations(), (QList<int>{1, 2, 3, 3, 4}));
    }

    // After Yes a late answer for a location handled before (empty then) is
    // no answer to anything asked: the book keeps what the phone said first.
    void lateAnswerForAnEmptyLocationKeepsTheNameBefore() {
        Rig r;
        r.phone.memory = memoryWith(10, {1, 3});
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(3); // memory information, location 1, location 2 empty
        QCOMPARE(r.phone.readLocations(), (QList<int>{1, 2, 3}));
        r.phone.outbox.clear(); // the answer for 3 is lost
        r.timeOut();
        r.transfer.timeoutAnswer(true);
        put(r.phone.memory, 2, makeName("Name 2, late"));
        r.phone.finishStart();
        r.phone.outbox.prepend(r.phone.framesOf(r.phone.memory.readAnswer(2)));
        r.phone.deliver(1);
        QCOMPARE(r.transfer.readCount(), r.book().entryCount());
        r.phone.settle();
        QCOMPARE(r.names(), QByteArray("Name 1|Name 3"));
        QCOMPARE(r.transfer.readCount(), 2);
    }

    void stopTakesEffectAtTheNextAnswer() {
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 6));
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(2);
        r.transfer.requestStop();
        r.phone.settle();
        QCOMPARE(r.names(), QByteArray("Name 1|Name 2"));
        QCOMPARE(r.ui.statuses.last(), QByteArray("Transfer aborted by user."));

        Rig w;
        w.fillBook(4);
        QVERIFY(w.transfer.startWrite());
        w.phone.finishStart();
        w.phone.deliver(2);
        w.transfer.requestStop();
        w.phone.settle();
        QCOMPARE(w.phone.writeLocations(), (QList<int>{1, 2}));
        QCOMPARE(w.notes(), QByteArray("Written to location 1|Written to location 2||"));
        QCOMPARE(w.ui.statuses.last(), QByteArray("Transfer aborted by user."));
        QCOMPARE(w.result(), int(Rig::Aborted));
    }

    void writeStoresTheBookFromLocationOne() {
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 5));
        r.fillBook(3);
        // Written in class order, which the book keeps.
        r.model.insertSubentry(r.book().name(0), 0, "VIP", KindCallerGroup);
        QSignalSpy active(&r.transfer, &Transfer::transferActiveChanged);
        r.run(&Transfer::startWrite);

        QCOMPARE(r.phone.writeLocations(), (QList<int>{1, 2, 3}));
        QCOMPARE(r.ui.statuses.mid(1),
                 (QByteArrayList{
                     "Retrieving memory information...", "Writing entry 1 / 3 to location 1.",
                     "Writing entry 2 / 3 to location 2.", "Writing entry 3 / 3 to location 3.",
                     "Ready. The phone still holds 2 entries after location 3."}));
        QCOMPARE(r.notes(),
                 QByteArray("Written to location 1|Written to location 2|Written to location 3"));
        QCOMPARE(r.book().name(0).subs.back().kind, int(KindCallerGroup));
        QCOMPARE(r.phone.requests[1], writeRequest(r.book().name(0), 1));
        QCOMPARE(r.phone.memory.at(1)->group, 2);
        QCOMPARE(r.phone.memory.at(3)->name, QByteArray("Person 3"));
        QCOMPARE(r.phone.memory.at(4)->name, QByteArray("Name 4")); // left as it was
        QCOMPARE(active.size(), 2);
        QVERIFY(!r.book().bookChanged);
        QCOMPARE(r.result(), int(Rig::Ready));
    }

    void writeSaysWhatThePhoneDoesNotTake() {
        // Texts longer than the phone stores are written cut, and the note says so.
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 7));
        r.fillBook(2);
        r.model.addSubentry(r.book().name(0), QByteArray(105, 'n'), KindNote);
        r.model.addSubentry(r.book().name(1), QByteArray(61, 'e'), KindEMail);
        r.model.addSubentry(r.book().name(1), QByteArray(70, 'p'), KindPostalAddress);
        // 31 emoji are 31 characters (62 UTF-16 units): written whole, as "?".
        r.model.addSubentry(r.model.insertName(2, QStringLiteral("Emo")),
                            QString(31, u'x').replace(u'x', QStringLiteral("😀")), KindEMail);
        r.run(&Transfer::startWrite);
        QCOMPARE(r.notes(), QByteArray("Written to location 1, Note cut to 60 characters|"
                                       "Written to location 2, E-Mail cut to 60 characters, "
                                       "Postal Address cut to 60 characters|"
                                       "Written to location 3, 31 characters replaced"));
        // The book keeps the whole text.
        QCOMPARE(r.book().name(0).subs.back().text.size(), 105);
        // Four of the seven old entries lie beyond what the book filled.
        QCOMPARE(r.ui.statuses.last(),
                 QByteArray("Ready. The phone still holds 4 entries after location 3."));
        QCOMPARE(r.transfer.report().leftoverText(),
                 QByteArray("The phone still holds 4 entries after location 3."));
        QCOMPARE(r.result(), int(Rig::Ready));

        // A phone that holds no more than the book filled says nothing more.
        Rig w;
        w.phone.memory = memoryWith(10, range(1, 2));
        w.fillBook(3);
        w.run(&Transfer::startWrite);
        QCOMPARE(w.ui.statuses.last(), QByteArray("Ready."));
        QVERIFY(w.transfer.report().leftoverText().isEmpty());

        // The count is the phone's own after the write, however its entries were
        // spread before: here 1 of the 2 locations written was empty.
        Rig s;
        s.phone.memory = memoryWith(10, {2, 9});
        s.fillBook(2);
        s.run(&Transfer::startWrite);
        QCOMPARE(s.ui.statuses.last(),
                 QByteArray("Ready. The phone still holds 1 entry after location 2."));
        QCOMPARE(
            joinNoteParts("Written to location 1",
                          {"Note cut to 60 characters", "1 character replaced"}),
            QByteArray("Written to location 1, Note cut to 60 characters, 1 character replaced"));
    }

    void writeRangeAndRefusals() {
        Rig r;
        r.fillBook(10);
        r.ui.typedStart = "5";
        r.ui.typedStop = "7";
        r.phone.refuse = {6};
        r.run(&Transfer::startWrite);
        QCOMPARE(r.phone.writeLocations(), (QList<int>{5, 6, 7}));
        QCOMPARE(r.ui.statuses[2], QByteArray("Writing entry 1 / 3 to location 5."));
        QCOMPARE(r.notes(), QByteArray("Written to location 5|Error while writing to loc. "
                                       "6|Written to location 7|||||||"));
        QCOMPARE(r.ui.statuses.last(), QByteArray("Ready, but errors occured."));
        QCOMPARE(r.result(), int(Rig::Errors));
    }

    void writeRequestInSeveralFrames() {
        Rig r;
        r.transfer.setTiming({3600 * 1000, 5000, 50});
        Name& big = r.model.insertName(0, "Big");
        for (int i = 0; i < 3; ++i)
            r.model.addSubentry(big, QByteArray(40, char('0' + i)), KindOffice);
        const int size = int(writeRequest(big, 1).size());
        QVERIFY(size > 2 * ChunkSize);
        QVERIFY(r.transfer.startWrite());
        r.phone.finishStart();
        r.phone.deliver(1);
        QCOMPARE(r.phone.frames.size(), 2); // memory information request and the first frame
        // An answer before the last frame cannot be this request's.
        r.phone.receive(r.phone.framesOf(writeConfirmedAnswer(1)).first());
        QCOMPARE(r.book().entryNote(big), QByteArray("Tried to write to loc. 1"));
        QTRY_COMPARE(r.phone.frames.size(), 4);
        QCOMPARE(r.phone.frames[1].fragment, quint8(3));
        QVERIFY(!r.phone.frames[1].followOn && r.phone.frames[2].followOn &&
                r.phone.frames[3].followOn);
        QCOMPARE(r.phone.frames[3].fragment, quint8(1));
        QCOMPARE(r.phone.requests.last().size(), size);
        r.phone.settle();
        QCOMPARE(r.book().entryNote(big), QByteArray("Written to location 1"));
        QCOMPARE(r.phone.memory.at(1)->fields.size(), size_t(3));
    }

    void writeWaitsAfterAWrongConfirmationAndResumes() {
        Rig r;
        r.fillBook(3);
        QVERIFY(r.transfer.startWrite());
        r.phone.finishStart();
        r.phone.deliver(2);
        // Location 2 is confirmed as 3; then an entry answer arrives. Neither moves
        // the write nor touches the book.
        r.phone.outbox = {r.phone.framesOf(writeConfirmedAnswer(3)),
                          r.phone.framesOf(r.phone.memory.readAnswer(1))};
        r.phone.deliver();
        QCOMPARE(r.phone.writeLocations(), (QList<int>{1, 2}));
        QCOMPARE(r.names(), QByteArray("Person 1|Person 2|Person 3"));

        r.timeOut();
        r.transfer.timeoutAnswer(true);
        r.phone.finishStart();
        r.phone.settle();
        // The second name goes to location 2 again.
        QCOMPARE(r.phone.writeLocations(), (QList<int>{1, 2, 2, 3}));
        QCOMPARE(r.phone.memory.at(2)->name, QByteArray("Person 2"));
        QCOMPARE(r.notes(),
                 QByteArray("Written to location 1|Written to location 2|Written to location 3"));
        QCOMPARE(r.result(), int(Rig::Ready));
    }

    void writeNamesTheCharactersItReplaced() {
        Rig r;
        r.phone.memory = PhoneMemory(10);
        r.model.addSubentry(r.model.insertName(0, QStringLiteral("Zoë 😀")),
                            QStringLiteral("🎉 Party 🎉"), KindNote);
        r.model.insertName(1, QStringLiteral("Łódź €"));
        r.model.insertName(2, QStringLiteral("😀"));
        r.run(&Transfer::startWrite);
        QCOMPARE(r.notes(), QByteArray("Written to location 1, 3 characters replaced|"
                                       "Written to location 2|"
                                       "Written to location 3, 1 character replaced"));
        QCOMPARE(r.phone.memory.at(1)->name, QStringLiteral("Zoë ?"));
        QCOMPARE(r.phone.memory.at(1)->fields.at(0).text, QStringLiteral("? Party ?"));
        QCOMPARE(r.phone.memory.at(2)->name, QStringLiteral("Łódź €"));
        // The book keeps its characters; only the phone has the "?".
        QCOMPARE(r.book().name(0).text, QStringLiteral("Zoë 😀"));

        // A rewrite goes back to the location the name was written to.
        r.ui.typedStart.clear();
        r.ui.typedStop.clear();
        r.phone.requests.clear();
        QCOMPARE(r.book().name(2).location, std::optional<int>(3));
        QVERIFY(r.transfer.rewrite(r.model.indexOf(r.book().name(2)), r.borders()));
        r.phone.finishStart();
        r.phone.settle();
        QCOMPARE(r.phone.writeLocations(), QList<int>{3});
        QCOMPARE(Transfer::joinNote(
                     QStringLiteral("Written to location 1"),
                     {QStringLiteral("Note cut to 60 characters"), Transfer::replacedDetail(1)}),
                 QStringLiteral("Written to location 1, Note cut to 60 characters, "
                                "1 character replaced"));
    }

    void rewriteEntry() {
        Rig r;
        r.fillBook(10);
        r.book().name(1).location = 17;
        // A note is no location: only reads and confirmed writes give one.
        r.model.setEntryNote(r.book().name(2), "Read from location 4");
        const QModelIndex second = r.model.indexOf(r.book().name(1));
        r.phone.memory = PhoneMemory(50);

        // No borders: the one name, to its location (a number selected stands
        // for its name).
        QVERIFY(r.transfer.rewrite(r.model.indexOf(r.book().name(1), 0), r.borders()));
        r.phone.finishStart();
        r.phone.settle();
        QCOMPARE(r.phone.writeLocations(), QList<int>{17});
        QCOMPARE(r.book().entryNote(r.book().name(1)), QByteArray("Written to location 17"));

        // A name the phone has not seen, with a border missing: nothing happens.
        QVERIFY(!r.transfer.rewrite(r.model.indexOf(r.book().name(0)), r.borders()));
        r.ui.typedStart = "4";
        QVERIFY(!r.transfer.rewrite(r.model.indexOf(r.book().name(2)), r.borders()));
        QCOMPARE(r.phone.starts, 1);

        // Both borders: from the selected name on, and the borders stay.
        r.ui.typedStart = "5";
        r.ui.typedStop = "9";
        QVERIFY(r.transfer.rewrite(second, r.borders()));
        r.phone.finishStart();
        r.phone.settle();
        QCOMPARE(r.phone.writeLocations(), (QList<int>{17, 5, 6, 7, 8, 9}));
        QCOMPARE(r.phone.memory.at(5)->name, QByteArray("Person 2"));
        QCOMPARE(r.phone.memory.at(9)->name, QByteArray("Person 6"));
    }

    void deletedNamesAreNotWritten() {
        Rig r;
        r.fillBook(4);
        QVERIFY(r.transfer.startWrite());
        r.phone.finishStart();
        r.phone.deliver(2);
        // The second name is deleted while its answer is awaited: the next name
        // goes on at the next location.
        r.model.removeName(1);
        r.phone.settle();
        QCOMPARE(r.phone.writeLocations(), (QList<int>{1, 2, 3, 4}));
        QCOMPARE(r.phone.memory.at(3)->name, QByteArray("Person 3"));
        QCOMPARE(r.notes(),
                 QByteArray("Written to location 1|Written to location 3|Written to location 4"));

        // A rewrite whose name is deleted before the link is up writes nothing.
        r.book().name(0).location = 30;
        QVERIFY(r.transfer.rewrite(r.model.indexOf(r.book().name(0)), r.borders()));
        r.model.removeName(0);
        r.phone.finishStart();
        r.phone.settle();
        QCOMPARE(r.phone.writeLocations().size(), 4);
    }

    void linkThatCannotStart() {
        Rig r;
        r.phone.startOk = false;
        QVERIFY(r.transfer.startWrite());
        r.phone.finishStart();
        QCOMPARE(r.ui.error,
                 QByteArray("Error: Could not open serial port!\rPlease check configuration!"));
        QCOMPARE(r.ui.statuses.last(), QByteArray("Error opening serial port!"));
        QCOMPARE(r.result(), int(Rig::NoLink));
        QVERIFY(!r.transfer.busy() && !r.transfer.transferActive());
        // A rewrite that cannot start says so in its report, with the device.
        r.fillBook(1);
        r.book().name(0).location = 7;
        QVERIFY(r.transfer.rewrite(r.model.indexOf(r.book().name(0)), r.borders()));
        r.phone.finishStart();
        QCOMPARE(r.transfer.report().kind, TransferKind::Rewrite);
        QCOMPARE(r.result(), int(Rig::NoLink));

        // When setting up again fails, a read keeps its names in location order.
        r.phone.startOk = true;
        r.phone.memory = memoryWith(10, range(1, 4));
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(3);
        r.timeOut();
        r.transfer.timeoutAnswer(true);
        r.phone.startOk = false;
        r.phone.finishStart();
        QCOMPARE(r.names(), QByteArray("Name 1|Name 2"));
        QCOMPARE(r.ui.statuses.last(), QByteArray("Error opening serial port!"));
        QVERIFY(!r.transfer.busy() && !r.transfer.transferActive());
    }

    // A second read that fails before its first answer leaves the book of the
    // first read as it was, in location order, whether the user answers No or
    // the port cannot be opened again.
    void failedReadAfterAReadKeepsTheBookInOrder_data() {
        QTest::addColumn<bool>("reopen");
        QTest::newRow("No") << false;
        QTest::newRow("Yes, port gone") << true;
    }
    void failedReadAfterAReadKeepsTheBookInOrder() {
        QFETCH(bool, reopen);
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 3));
        r.run(&Transfer::startRead);
        QCOMPARE(r.names(), QByteArray("Name 1|Name 2|Name 3"));
        r.phone.silent = true; // the phone is off
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.timeOut();
        r.transfer.timeoutAnswer(reopen);
        if (reopen) {
            r.phone.startOk = false;
            r.phone.finishStart();
        }
        QVERIFY(!r.transfer.busy());
        QCOMPARE(r.names(), QByteArray("Name 1|Name 2|Name 3"));
    }

    // The port going away ends the transfer at once: a read keeps what it has in
    // location order and says how far it came; a write says how many it wrote.
    void lostPortEndsTheTransfer() {
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 6));
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(4); // memory information and three names
        r.transfer.portLost("/dev/ttyUSB0", "Input/output error");
        QCOMPARE(r.result(), int(Rig::Lost));
        QCOMPARE(r.ui.statuses.last(),
                 QByteArray("Read interrupted after 3 names: /dev/ttyUSB0 disappeared "
                            "(Input/output error)"));
        QCOMPARE(r.names(), QByteArray("Name 1|Name 2|Name 3"));
        QVERIFY(!r.transfer.busy() && !r.transfer.transferActive() && !r.phone.open);

        Rig w;
        w.fillBook(4);
        QVERIFY(w.transfer.startWrite());
        w.phone.finishStart();
        w.phone.deliver(3); // memory information, two confirmations; the third is sent
        w.transfer.portLost("/dev/ttyUSB0", "Input/output error");
        QCOMPARE(w.ui.statuses.last(),
                 QByteArray("Write interrupted after 2 names: /dev/ttyUSB0 disappeared "
                            "(Input/output error)"));
        QCOMPARE(w.notes(), QByteArray("Written to location 1|Written to location 2|"
                                       "Tried to write to loc. 3|"));
        QCOMPARE(w.transfer.report().count(NameFate::Written), 2);
        // After the end, a lost port is nobody's business.
        w.transfer.portLost("/dev/ttyUSB0", "Input/output error");
        QCOMPARE(w.finished.size(), 1);
    }

    // Giving up without the user: the closing text is the caller's, the result
    // Aborted, the names read kept in order. Setting the link up again is not the
    // end of the transfer, so no closing text comes in between.
    void abandonAndReSetupTexts() {
        Rig r;
        r.phone.memory = memoryWith(10, range(1, 6));
        QVERIFY(r.transfer.startRead());
        r.phone.finishStart();
        r.phone.deliver(3);
        r.timeOut();
        r.ui.statuses.clear();
        r.transfer.timeoutAnswer(true);
        QVERIFY(!r.ui.statuses.contains("Ready."));
        QCOMPARE(r.ui.statuses.last(), QByteArray("Opening serial port..."));
        r.phone.silent = true;
        r.phone.finishStart();
        r.transfer.abandon("Given up after 1 retry.");
        QCOMPARE(r.ui.statuses.last(), QByteArray("Given up after 1 retry."));
        QCOMPARE(r.transfer.report().closingText(), QByteArray("Given up after 1 retry."));
        QVERIFY(!r.ui.statuses.contains("Transfer aborted by user."));
        QCOMPARE(r.result(), int(Rig::Aborted));
        QCOMPARE(r.names(), QByteArray("Name 1|Name 2"));
        r.transfer.abandon("twice");
        QCOMPARE(r.finished.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTransferControl)
#include "tst_transfercontrol.moc"
