// Line recordings, as quorix-phonesim --replay reads them: any text is either
// refused with a reason or read into events, which make a replay whose every
// request finds an answer that fits in frames.
#include "FuzzSupport.h"

#include "link/Frame.h"
#include "link/LineRecording.h"
#include "phonesim/LineReplay.h"

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ensureApplication();
    QList<link::LineEvent> events;
    QString error;
    if (!link::parseLineRecording(fuzz::bytes(data, size), events, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        FUZZ_CHECK(events.isEmpty());
        return 0;
    }
    phonesim::LineReplay replay(events);
    const auto exchanges = replay.exchanges();
    for (const auto& e : exchanges) {
        const auto answer = replay.answer(e.type, e.payload);
        FUZZ_CHECK(answer.has_value());
        for (const auto& f : *answer)
            FUZZ_CHECK(f.chunk.data.size() <= link::MaxFrameData);
    }
    return 0;
}
