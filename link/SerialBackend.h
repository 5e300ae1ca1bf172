#pragma once

// The operating system's side of a serial port, one file per system
// (SerialBackendPosix.cpp, SerialBackendWin32.cpp). Free of Qt and of platform
// types so that both build everywhere the interface is seen.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quorix::link::serial {

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OneHalf, Two };
enum class Rts { Off, On, Handshake };

struct LineSettings {
    std::uint32_t baud = 9600;
    int dataBits = 8; // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool dtrOn = true;
    Rts rts = Rts::On;
    bool xonxoff = false;
    std::uint32_t inBufSize = 2048;
    std::uint32_t outBufSize = 2048;
};

// Modem status lines, as a bit set.
inline constexpr unsigned LineCTS = 1, LineDSR = 2, LineRING = 4, LineRLSD = 8;

// An open port. Reads and writes never wait; the receive poll and the transmit
// thread may use one port at the same time, one direction each. Destroying it
// closes the device.
class Port {
public:
    virtual ~Port() = default;

    // Line settings, then both queues purged. False with error set on failure.
    virtual bool applySettings(const LineSettings& s, std::string& error) = 0;
    virtual bool purge(bool rx, bool tx) = 0;

    // Bytes taken, 0 when the driver has no room now, -1 on an error.
    virtual std::int64_t write(const char* data, std::size_t count) = 0;
    // Bytes read, 0 when there are none, -1 on an error.
    virtual std::int64_t read(char* data, std::size_t count) = 0;
    // Bytes waiting in the driver's queues, -1 when the driver cannot tell.
    virtual std::int64_t inQueue() = 0;
    virtual std::int64_t outQueue() = 0;

    // Waking the receiver as soon as bytes arrive. Where the system offers a
    // descriptor its event loop can watch (POSIX), the receiver watches it;
    // elsewhere a thread of the receiver blocks in waitForInput until bytes are
    // waiting, the time is up, or cancelWait() is called from another thread.
    virtual int readNotifyDescriptor() const { return -1; }
    virtual bool waitForInput(unsigned ms) {
        (void)ms;
        return false;
    }
    virtual void cancelWait() {}

    // Devices without modem lines (a pseudo-terminal) ignore these.
    virtual void setDTR(bool on) = 0;
    virtual void setRTS(bool on) = 0;
    // Line* bits; 0 when the device cannot tell.
    virtual unsigned modemStatus() = 0;
    // True when the device has gone (unplugged, the other end closed) and will
    // never deliver again; reason then holds the system's text for it.
    virtual bool gone(std::string& reason) = 0;
};

// Opens a device for this program alone. Null with error set when it cannot;
// denied, when given, tells whether the system refused the user access to the
// device (a serial port of a group the user is not in).
std::unique_ptr<Port> openPort(const std::string& device, std::string& error,
                               bool* denied = nullptr);

// The system's own text for an error code (errno, GetLastError).
std::string errorText(long code);

// The device of the n-th serial port, n from 1 ("COM 1").
std::string comPortName(int n);

} // namespace quorix::link::serial
