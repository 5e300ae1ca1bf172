// The transfer's read loop fed arbitrary frames, time-outs, answers to the
// timeout question, failed re-setups and Stop: it always ends, and the book is
// then either the one it had (the read never cleared it) or the names read, in
// location order, each once.
#include "FuzzSupport.h"

#include "link/Clock.h"
#include "link/Frame.h"
#include "model/BookModel.h"
#include "transfer/Transfer.h"

using namespace quorix;
using namespace quorix::transfer;

namespace {

class FuzzLink : public TransferLink {
public:
    link::ManualClock clock{100000};
    quint32 lastFrame = 0;
    link::LinkListener* starting = nullptr;
    link::PhonebookAnswer* handler = nullptr;

    void startLink(link::LinkListener* listener) override { starting = listener; }
    void stopLink() override { starting = nullptr; }
    int asked = 0; // the location read last
    bool sendFrame(quint8, const QByteArray& data, quint8, bool) override {
        if (const Request r = recogniseRequest(data); r.kind == RequestKind::Read)
            asked = r.location;
        return true;
    }
    quint32 lastValidFrameTime() const override { return lastFrame; }
    quint32 now() const override { return const_cast<link::ManualClock&>(clock).now(); }
    void setPhonebookAnswer(link::PhonebookAnswer* h) override { handler = h; }

    void finishStart(bool ok) {
        if (link::LinkListener* l = std::exchange(starting, nullptr))
            l->linkStarted(ok);
    }
    void deliver(const QByteArray& data, quint8 fragment) {
        lastFrame = clock.now();
        handler->handlePhonebookAnswer(
            link::buildFrame(link::TypeMemory, data, fragment, 0x40, link::FromPhone));
    }
};

class FuzzUi : public TransferUi {
public:
    bool asked = false;
    void showStatus(const QByteArray&) override {}
    void showError(const QByteArray&, const QByteArray&) override {}
    void askTimeout(const QByteArray&, const QByteArray&) override { asked = true; }
};

// The location a read note names, or -1.
int noteLocation(const QString& note) {
    static const QString prefix = QStringLiteral("Read from location ");
    if (!note.startsWith(prefix))
        return -1;
    bool ok = false;
    const int n = note.mid(prefix.size()).toInt(&ok);
    return ok ? n : -1;
}

// Memory size, then locations used, taken from the input in that order (the
// order of a call's arguments is the compiler's choice).
void deliverMemoryInfo(FuzzLink& link, fuzz::Input& in) {
    const int size = in.byte() % 16;
    const int used = in.byte() % 16;
    link.deliver(memoryInfoAnswer(size, used), 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ensureApplication();
    fuzz::Input in(fuzz::bytes(data, size));
    FuzzLink link;
    FuzzUi ui;
    BookModel model;
    model.addNameAtTop("Second");
    model.addNameAtTop("First");
    Transfer transfer(link, model, ui);
    LocationRange borders;
    if (in.byte() & 1)
        borders.last = in.byte() % 16;
    FUZZ_CHECK(transfer.startRead(borders));
    link.finishStart(true);
    deliverMemoryInfo(link, in);

    while (transfer.busy() && !in.empty()) {
        const quint8 op = in.byte();
        switch (op % 10) {
        case 0:
        case 1:
        case 2:
        case 3: { // a frame of anything
            const QByteArray data = in.take(in.byte());
            link.deliver(data, in.byte() % 4);
            break;
        }
        case 4:
        case 5: { // a well-made answer for the location asked for, or near it
            const int location = link.asked + (op >> 6) - 1;
            const QByteArray answer =
                op & 0x10 ? emptyLocationAnswer(location)
                          : entryAnswer(location, nameBlock(in.text(in.byte() % 12)), 1);
            const QList<Chunk> chunks = splitPayload(answer, 8 + in.byte() % 120);
            for (const Chunk& c : chunks)
                link.deliver(c.data, c.fragment);
            break;
        }
        case 6:
            deliverMemoryInfo(link, in);
            break;
        case 7: // silence until the question, then its answer
            link.clock.advance(6000);
            transfer.onWatchdogTick();
            if (std::exchange(ui.asked, false)) {
                transfer.timeoutAnswer(op & 0x10);
                link.finishStart(!(op & 0x20));
            }
            break;
        case 8:
            transfer.requestStop();
            break;
        case 9:
            if (op & 0x80)
                transfer.abandon("given up");
            break;
        }
    }
    if (transfer.busy())
        transfer.abandon();
    FUZZ_CHECK(!transfer.busy());

    const Book& book = model.book();
    const bool untouched = book.entryCount() == 2 && book.name(0).text == "First" &&
                           book.name(1).text == "Second" && book.entryNote(book.name(0)).isEmpty();
    if (!untouched) {
        int last = 0;
        for (const auto& name : book) {
            const int location = noteLocation(book.entryNote(*name));
            FUZZ_CHECK(location > last);
            last = location;
        }
        FUZZ_CHECK(book.entryCount() == transfer.readCount());
    }
    return 0;
}
