#pragma once

#include "link/LineRecording.h"
#include "transfer/PhonebookMessages.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace quorix::phonesim {

// The phone's side of a line recording, as answers to the program's requests.
// Each message the program sent (its frames put together, repeats left out)
// becomes a request; the frames the phone sent after it, up to the program's next
// message, are its answer, kept frame by frame as the phone cut them. Sequence
// numbers and acknowledgements are not kept: whoever plays the answers back
// numbers and acknowledges afresh.
class LineReplay {
public:
    struct Frame {
        quint8 type = 0;
        transfer::Chunk chunk;
        friend bool operator==(const Frame&, const Frame&) = default;
    };
    struct Exchange {
        quint8 type = 0;
        QByteArray payload;
        QList<Frame> answer;
    };

    LineReplay() = default;
    explicit LineReplay(const QList<link::LineEvent>& events);

    const QList<Exchange>& exchanges() const { return exchanges_; }

    // The answer the phone gave to a request of this type and payload: that of
    // the first such request from where the last one played left off (wrapping
    // round to the beginning, for a request the program makes again). Nothing
    // when the recording has no such request.
    std::optional<QList<Frame>> answer(quint8 type, const QByteArray& payload);

private:
    QList<Exchange> exchanges_;
    qsizetype next_ = 0;
};

} // namespace quorix::phonesim
