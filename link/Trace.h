#pragma once

#include <QByteArray>

// The text of the FBUS trace: one readable record per frame, as the trace window
// shows it and `quorix-cli status --trace` prints it. Line breaks are CR LF; the
// log is the plain concatenation of the entries made here.
namespace quorix::link {

// Each byte as two upper-case hexadecimal digits, no separators.
QByteArray hexBytes(const QByteArray& bytes);

// Each byte as the character of its code, 0x00 as "_".
QByteArray showBytes(const QByteArray& bytes);

// The record of a frame built or received at the given tick count; empty for an
// acknowledgement, which is never traced. Starts with a line break, so records
// stand apart by an empty line.
QByteArray traceFrame(const QByteArray& frame, quint32 tick);

// The line logged for every delivery of received bytes.
QByteArray receivedLine(quint32 tick);

// The phone's status answer (type 0x04 from the phone) in words, for example
// "REGISTERED - CHARGER CONN.".
QByteArray phoneStatus(const QByteArray& frame);

} // namespace quorix::link
