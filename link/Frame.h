#pragma once

#include <QByteArray>

#include <optional>

// The FBUS frame as it travels on the wire, as pure functions: building frames and
// acknowledgements, the checksum, and cutting frames out of a byte stream. The
// transmitter, the receiver and the virtual phone all build on these.
//
//   0 start 0x1E | 1 destination | 2 source | 3 type | 4 0x00 | 5 L
//   6 .. L+3 data (L-2 bytes) | L+4 fragment | L+5 sequence | [pad 0x00 when L is odd]
//   last two: XOR of the even offsets, XOR of the odd offsets
namespace quorix::link {

inline constexpr char FrameStart = 0x1E;
inline constexpr quint8 AddrPhone = 0x00; // the phone
inline constexpr quint8 AddrTE = 0x2A;    // this program

inline constexpr quint8 TypeMemory = 0x03; // phonebook requests and answers
inline constexpr quint8 TypeStatus = 0x04; // phone status; opens the link
inline constexpr quint8 TypeAck = 0x7F;

// The low length byte is all a sender fills in, so a frame carries at most this
// many data bytes.
inline constexpr int MaxFrameData = 253;

// Offset of the first data byte, and bytes a frame adds to its length byte L.
inline constexpr int FrameHeaderSize = 6;

// The byte at offset i, or 0 when the frame is shorter: every reader of frame
// fields goes through this so that a short frame can never be read past its end.
inline quint8 frameByte(const QByteArray& frame, qsizetype i) {
    return i >= 0 && i < frame.size() ? quint8(frame[i]) : 0;
}

inline quint8 frameDestination(const QByteArray& f) {
    return frameByte(f, 1);
}
inline quint8 frameSource(const QByteArray& f) {
    return frameByte(f, 2);
}
inline quint8 frameType(const QByteArray& f) {
    return frameByte(f, 3);
}
inline quint8 frameLength(const QByteArray& f) {
    return frameByte(f, 5);
}
inline quint8 fragmentByte(const QByteArray& f) {
    return frameByte(f, frameLength(f) + 4);
}
inline quint8 sequenceByte(const QByteArray& f) {
    return frameByte(f, frameLength(f) + 5);
}
inline int sequenceNumber(const QByteArray& f) {
    return sequenceByte(f) & 7;
}
inline bool isAck(const QByteArray& f) {
    return frameType(f) == TypeAck;
}

// Whole size of a frame whose length byte is L: always even, so the checksum
// pair sits at an even and the following odd offset.
constexpr int frameSize(quint8 lengthByte) {
    return lengthByte + 8 + (lengthByte & 1);
}

// The frame's data bytes (without fragment and sequence bytes), cut at its end.
QByteArray frameData(const QByteArray& frame);

// The sequence byte of a frame: 0x40 marks the first frame of a message.
constexpr quint8 makeSequenceByte(int seq, bool followOn) {
    return quint8((followOn ? 0x00 : 0x40) | (seq & 7));
}

// Checksum of all bytes but the last two: XOR of the even, then of the odd offsets.
QByteArray fbusChecksum(const QByteArray& frame);

// True when the frame's last two bytes are its checksum.
bool checkFrame(const QByteArray& frame);

struct Route {
    quint8 destination = AddrPhone;
    quint8 source = AddrTE;
};
inline constexpr Route ToPhone{AddrPhone, AddrTE};
inline constexpr Route FromPhone{AddrTE, AddrPhone};

// A complete frame with checksum. Empty when data is longer than MaxFrameData,
// which the length byte could not express.
QByteArray buildFrame(quint8 type, const QByteArray& data, quint8 fragment, quint8 seqByte,
                      Route route = ToPhone);

// The acknowledgement of a received frame: type and sequence number of that frame
// in place of fragment and sequence bytes; always 10 bytes.
QByteArray buildAck(const QByteArray& received, Route route = ToPhone);

// Takes the first complete frame out of a receive buffer, together with every byte
// before it, or gives nothing when no complete frame is there yet. The checksum is
// not looked at. Bytes that can never start a frame are dropped on the way, so
// line noise does not pile up.
std::optional<QByteArray> cutFrame(QByteArray& buffer);

} // namespace quorix::link
