// The virtual phone fed any bytes at any pace: it never crashes or hangs, its
// memory keeps its size, and what it puts on the line stays bounded.
#include "FuzzSupport.h"

#include "phonesim/PhoneMemory.h"
#include "phonesim/VirtualPhone.h"

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(fuzz::bytes(data, size));
    phonesim::PhoneSettings settings;
    settings.baud = in.byte() & 1 ? 0 : 115200;
    settings.frameSize = 1 + in.byte() % 251;
    settings.faults.garbage = in.byte() & 1;
    phonesim::PhoneMemory memory(20);
    phonesim::VirtualPhone phone(memory, settings);
    qint64 now = 0;
    qsizetype out = 0;
    while (!in.empty()) {
        const int piece = 1 + in.byte() % 128;
        phone.receive(in.take(piece), now);
        now += qint64(in.byte()) * 1000000; // up to 255 ms between pieces
        out += phone.poll(now).size();
    }
    // Everything still queued goes out; repeats end after the retries.
    for (int i = 0; i < 20; ++i) {
        now += 1000000000;
        out += phone.poll(now).size();
    }
    FUZZ_CHECK(phone.memory().size() == 20);
    FUZZ_CHECK(out < 64 * 1024 * 1024);
    return 0;
}
