#pragma once

#include <QByteArray>

namespace quorix::link {

// Where the transmitter writes its frames: the serial port, or a test's recorder.
class ByteWriter {
public:
    virtual ~ByteWriter() = default;
    // True when every byte was taken.
    virtual bool sendBytes(const QByteArray& bytes) = 0;
};

} // namespace quorix::link
