// The FBUS receiver: bytes in any pieces are cut into frames, checked, traced,
// acknowledged and dispatched without reading out of bounds; the receive buffer
// never holds more than one frame's worth; only a valid frame from the phone
// to us counts as a sign of life.
#include "FuzzSupport.h"

#include "link/Clock.h"
#include "link/FbusLink.h"
#include "link/Frame.h"
#include "link/SerialPort.h"
#include "transfer/PhonebookMessages.h"

using namespace quorix;

namespace {

class Answers : public link::PhonebookAnswer {
public:
    int count = 0;
    void handlePhonebookAnswer(const QByteArray& frame) override {
        ++count;
        FUZZ_CHECK(link::checkFrame(frame));
        FUZZ_CHECK(link::frameType(frame) == link::TypeMemory);
        transfer::recogniseAnswer(frame);
        transfer::decodeEntry(link::frameData(frame));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ensureApplication();
    fuzz::Input in(fuzz::bytes(data, size));
    link::SerialPort serial;
    link::ManualClock clock(1000);
    link::FbusLink fbus(serial, clock);
    Answers answers;
    fbus.setPhonebookAnswer(&answers);
    qsizetype traced = 0;
    fbus.setTracing(true);
    fbus.setTraceLog([&](const QByteArray& entry) { traced += entry.size(); });
    int frames = 0;
    fbus.setFrameObserver([&](const QByteArray& frame) {
        ++frames;
        FUZZ_CHECK(link::frameSource(frame) == link::AddrPhone);
        FUZZ_CHECK(link::frameDestination(frame) == link::AddrTE);
    });
    while (!in.empty()) {
        const int piece = 1 + in.byte() % 96;
        clock.advance(in.byte());
        fbus.collectFrames(in.take(piece));
        // The longest frame is 264 bytes; more waiting would be noise kept.
        FUZZ_CHECK(fbus.rxBuffer().size() < 264);
    }
    FUZZ_CHECK(answers.count <= frames);
    FUZZ_CHECK((frames == 0) == (fbus.lastValidFrameTime() == 0));
    return 0;
}
