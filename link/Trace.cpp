#include "link/Trace.h"

#include "link/Frame.h"

namespace quorix::link {

namespace {

const QByteArray Eol = "\r\n";

QByteArray hex2(quint8 b) {
    return hexBytes(QByteArray(1, char(b)));
}

QByteArray decimal(quint8 b) {
    return QByteArray::number(b);
}

// Bytes from an offset, stopping at the frame's end.
QByteArray run(const QByteArray& f, qsizetype from, qsizetype count) {
    if (from >= f.size())
        return {};
    return f.mid(from, count);
}

QByteArray callSubtype(const QByteArray& f) {
    switch (frameByte(f, 9)) {
    case 3:
        return "CALL ACTIVE - SEQ# " + decimal(frameByte(f, 10));
    case 4:
        return "REMOTE HANGUP";
    case 5:
        return "INCOMING CALL FROM <" + run(f, 13, frameByte(f, 12)) + ">";
    case 7:
        return "CALL ACCEPTED - SEQ# " + decimal(frameByte(f, 10));
    case 9:
        return "LOCAL HANGUP";
    case 10:
        return "CALL CLEARED - SEQ# " + decimal(frameByte(f, 10));
    default:
        return "UNKNOWN SUBTYPE " + decimal(frameByte(f, 9));
    }
}

QByteArray networkSubtype(const QByteArray& f) {
    QByteArray s;
    switch (frameByte(f, 14)) {
    case 1:
        s = "HOME NETWORK";
        break;
    case 2:
        s = "ROAMING";
        break;
    case 3:
        s = "REQUESTING ACCESS";
        break;
    case 4:
        s = "NOT REGISTERED";
        break;
    default:
        s = "UNKNOWN";
    }
    return s + " - NW SELECTION " + (frameByte(f, 15) == 1 ? "AUTOMATIC" : "MANUAL");
}

const QByteArray Subtype = "subtype        : ";

QByteArray description(const QByteArray& f, bool toPhone) {
    switch (frameType(f)) {
    case 0x01:
        return "DIALLING/CALL HANDLING" + Eol + Subtype + callSubtype(f);
    case 0x02:
        return "SMS/SMS-CB";
    case 0x03:
        return "MEMORY HANDLING";
    case 0x04:
        if (toPhone)
            return "GET PHONE STATUS";
        return "PHONE STATUS" + Eol + Subtype + phoneStatus(f);
    case 0x05:
        return "BITMAP HANDLING";
    case 0x08:
        return "PIN HANDLING";
    case 0x0A:
        return "NETWORK INFORMATION" + Eol + Subtype + networkSubtype(f);
    case 0x0D:
        return "DISPLAY HANDLING";
    case 0x11:
        return "DATE, TIME AND ALARM";
    case 0x13:
        return "CALENDER HANDLING";
    case 0x14:
        return "MESSAGE DELETION";
    case 0x40:
        return (toPhone ? "GET NETMONITOR DISPLAY " : "NETMONITOR DISPLAY ") +
               decimal(frameByte(f, 9));
    case 0x64:
        return "ACCESSORY/AUTH";
    default:
        return "UNKNOWN";
    }
}

} // namespace

QByteArray hexBytes(const QByteArray& bytes) {
    return bytes.toHex().toUpper();
}

QByteArray showBytes(const QByteArray& bytes) {
    QByteArray s = bytes;
    s.replace('\0', '_');
    return s;
}

QByteArray phoneStatus(const QByteArray& f) {
    QByteArray s;
    switch (frameByte(f, 10)) {
    case 1:
        s = "REGISTERED";
        break;
    case 2:
        s = "CALL IN PROGRESS";
        break;
    case 3:
        s = "WAITING FOR SEC.CODE";
        break;
    case 4:
        s = "POWER OFF";
        break;
    default:
        s = "UNKNOWN";
    }
    switch (frameByte(f, 13)) {
    case 1:
        return s + " - CHARGER CONN.";
    case 2:
        return s + " - BATTERY";
    default:
        return s + " - UNKNOWN";
    }
}

QByteArray traceFrame(const QByteArray& f, quint32 tick) {
    if (isAck(f))
        return {};
    const bool toPhone = frameDestination(f) == AddrPhone;
    const quint8 length = frameLength(f);
    const QByteArray data = frameData(f);
    QByteArray r;
    r += Eol + "time           : " + QByteArray::number(tick) + " / ";
    r += "start of header: " + hex2(frameByte(f, 0)) + " / ";
    r += toPhone ? "target/source  : TE    > PHONE (" : "target/source  : PHONE > TE    (";
    r += hex2(frameByte(f, 1)) + " > " + hex2(frameByte(f, 2)) + ")" + Eol;
    r += "message type   : " + hex2(frameType(f)) + " " + description(f, toPhone) + Eol;
    r += "length of data : " + QByteArray::number(length, 16).toUpper().rightJustified(4, '0');
    r += " / fragment nr.   : " + hex2(fragmentByte(f));
    r += " / packet seqnr   : " + hex2(sequenceByte(f));
    r += " / checksum       : " + hexBytes(f.size() >= 2 ? f.right(2) : f) + Eol;
    r += "data           : " + hexBytes(data) + Eol;
    r += "data           : " + showBytes(data) + Eol;
    return r;
}

QByteArray receivedLine(quint32 tick) {
    return "FBUS Data received / " + QByteArray::number(tick) + Eol;
}

} // namespace quorix::link
