#include "link/Frame.h"

namespace quorix::link {

QByteArray frameData(const QByteArray& frame) {
    const int count = frameLength(frame) - 2;
    if (count <= 0)
        return {};
    return frame.mid(FrameHeaderSize, count);
}

QByteArray fbusChecksum(const QByteArray& frame) {
    quint8 sum[2] = {0, 0};
    for (qsizetype i = 0; i + 2 < frame.size(); ++i)
        sum[i & 1] ^= quint8(frame[i]);
    return QByteArray(reinterpret_cast<const char*>(sum), 2);
}

bool checkFrame(const QByteArray& frame) {
    return frame.size() >= 2 && frame.endsWith(fbusChecksum(frame));
}

QByteArray buildFrame(quint8 type, const QByteArray& data, quint8 fragment, quint8 seqByte,
                      Route route) {
    if (data.size() > MaxFrameData)
        return {};
    const auto length = quint8(data.size() + 2);
    QByteArray f;
    f.reserve(frameSize(length));
    f.append(FrameStart).append(char(route.destination)).append(char(route.source));
    f.append(char(type)).append('\0').append(char(length));
    f.append(data).append(char(fragment)).append(char(seqByte));
    if (length & 1)
        f.append('\0');
    f.append("\0\0", 2);
    f.replace(f.size() - 2, 2, fbusChecksum(f));
    return f;
}

QByteArray buildAck(const QByteArray& received, Route route) {
    QByteArray f;
    f.append(FrameStart).append(char(route.destination)).append(char(route.source));
    f.append(char(TypeAck)).append('\0').append('\2');
    f.append(char(frameType(received))).append(char(sequenceNumber(received)));
    f.append("\0\0", 2);
    f.replace(8, 2, fbusChecksum(f));
    return f;
}

std::optional<QByteArray> cutFrame(QByteArray& buffer) {
    const qsizetype p = buffer.indexOf(FrameStart);
    if (p < 0) {
        buffer.clear();
        return std::nullopt;
    }
    buffer.remove(0, p);
    if (buffer.size() < FrameHeaderSize)
        return std::nullopt;
    const int total = frameSize(quint8(buffer[5]));
    if (buffer.size() < total)
        return std::nullopt;
    QByteArray frame = buffer.left(total);
    buffer.remove(0, total);
    return frame;
}

} // namespace quorix::link
