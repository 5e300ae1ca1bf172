// The phonebook messages on their own: any frame is recognised as one kind of
// answer, any payload decodes without reading out of bounds, and a decoded
// entry keeps its subentries sorted by class; the phone's side takes any
// request the same way.
#include "FuzzSupport.h"

#include "link/Frame.h"
#include "phonesim/PhoneMemory.h"
#include "transfer/PhonebookMessages.h"

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray payload = fuzz::bytes(data, size);

    if (const QByteArray frame =
            link::buildFrame(link::TypeMemory, payload, 1, 0x40, link::FromPhone);
        !frame.isEmpty()) {
        const transfer::Answer a = transfer::recogniseAnswer(frame);
        if (a.kind == transfer::AnswerKind::MemoryInfo)
            FUZZ_CHECK(a.memorySize >= 0 && a.memoryUsed >= 0);
    }

    bool complete = true;
    const QList<transfer::Block> blocks =
        transfer::splitBlocks(payload.mid(transfer::EntryHeaderSize), &complete);
    qsizetype total = 0;
    for (const transfer::Block& b : blocks)
        total += b.bytes.size();
    FUZZ_CHECK(total <= payload.size());

    if (const std::optional<transfer::Entry> e = transfer::decodeEntry(payload)) {
        FUZZ_CHECK(payload.size() >= transfer::MinEntryAnswerSize);
        FUZZ_CHECK(e->location == transfer::word(payload, transfer::EntryLocationOffset));
        const std::vector<Subentry>& subs = e->name.subs;
        for (size_t i = 1; i < subs.size(); ++i)
            FUZZ_CHECK(Book::compareClass(subs[i - 1], subs[i]) <= 0);
    }
    transfer::isEmptyLocation(payload);

    // The phone's side: a request of any shape is recognised or not, and a write
    // it takes reads back as an entry of that location.
    const transfer::Request r = transfer::recogniseRequest(payload);
    if (r.kind == transfer::RequestKind::Write && r.location >= 1 && r.location <= 300) {
        if (const std::optional<phonesim::PhoneEntry> e =
                phonesim::PhoneMemory::fromWriteRequest(payload)) {
            phonesim::PhoneMemory memory(300);
            memory.store(r.location, *e);
            const std::optional<transfer::Entry> back =
                transfer::decodeEntry(memory.readAnswer(r.location));
            FUZZ_CHECK(back && back->location == r.location);
        }
    }
    return 0;
}
