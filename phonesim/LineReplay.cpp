#include "phonesim/LineReplay.h"

#include "link/Frame.h"

#include <array>

namespace quorix::phonesim {

using namespace quorix::link;

namespace {

// One direction of the line: its bytes cut into frames, and the frames still
// waiting for the other side's acknowledgement. A frame sent again while its
// first writing is unacknowledged is a repeat, not a new frame; once
// acknowledged, the same bytes are a new frame (the phone's empty-location
// answers are alike to the byte, eight frames apart).
struct Direction {
    Route route;
    QByteArray buffer;
    std::array<QByteArray, 8> unacknowledged;

    void reset() {
        buffer.clear();
        unacknowledged.fill({});
    }
};

} // namespace

LineReplay::LineReplay(const QList<LineEvent>& events) {
    Direction toPhone{ToPhone, {}, {}};
    Direction fromPhone{FromPhone, {}, {}};
    // The program's message being put together.
    QByteArray message;
    quint8 messageType = 0;
    int lastFragment = -1; // -1: none under way

    auto programFrame = [&](const QByteArray& f) {
        const bool first = sequenceByte(f) & 0x40;
        const int fragment = fragmentByte(f);
        if (first) {
            message = frameData(f);
            messageType = frameType(f);
        } else if (lastFragment >= 0 && fragment == lastFragment - 1 &&
                   frameType(f) == messageType) {
            message += frameData(f);
        } else {
            lastFragment = -1; // a follow-on without its beginning
            return;
        }
        lastFragment = fragment;
        if (fragment > 1)
            return;
        lastFragment = -1;
        exchanges_.append(Exchange{messageType, std::exchange(message, {}), {}});
    };
    auto phoneFrame = [&](const QByteArray& f) {
        // What the phone says before the program has asked anything has no place.
        if (exchanges_.isEmpty())
            return;
        const Frame frame{frameType(f), transfer::Chunk{frameData(f), fragmentByte(f),
                                                        !(sequenceByte(f) & 0x40)}};
        exchanges_.last().answer.append(frame);
    };
    auto take = [&](Direction& self, Direction& other, const QByteArray& bytes) {
        self.buffer += bytes;
        while (const auto frame = cutFrame(self.buffer)) {
            const QByteArray& f = *frame;
            if (!checkFrame(f) || frameDestination(f) != self.route.destination ||
                frameSource(f) != self.route.source)
                continue;
            if (isAck(f)) {
                other.unacknowledged[size_t(frameByte(f, 7) & 7)].clear();
                continue;
            }
            QByteArray& waiting = self.unacknowledged[size_t(sequenceNumber(f))];
            if (waiting == f)
                continue;
            waiting = f;
            if (&self == &toPhone)
                programFrame(f);
            else
                phoneFrame(f);
        }
    };

    for (const LineEvent& e : events) {
        switch (e.kind) {
        case LineEvent::Opened:
        case LineEvent::Closed:
            // A new link: nothing half-received belongs to it.
            toPhone.reset();
            fromPhone.reset();
            lastFragment = -1;
            break;
        case LineEvent::Written:
            take(toPhone, fromPhone, e.bytes);
            break;
        case LineEvent::Read:
            take(fromPhone, toPhone, e.bytes);
            break;
        }
    }
}

std::optional<QList<LineReplay::Frame>> LineReplay::answer(quint8 type, const QByteArray& payload) {
    const qsizetype n = exchanges_.size();
    for (qsizetype k = 0; k < n; ++k) {
        const qsizetype i = (next_ + k) % n;
        const Exchange& e = exchanges_[i];
        if (e.type == type && e.payload == payload) {
            next_ = i + 1;
            return e.answer;
        }
    }
    return std::nullopt;
}

} // namespace quorix::phonesim
