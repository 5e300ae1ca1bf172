// The serial port on POSIX systems: termios in raw mode, non-blocking I/O.
#include "link/SerialBackend.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace quorix::link::serial {

namespace {

bool speedOf(std::uint32_t baud, speed_t& speed) {
    struct Entry {
        std::uint32_t baud;
        speed_t speed;
    };
    static const Entry table[] = {
        {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
        {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
        {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const Entry& e : table) {
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

class PosixPort : public Port {
public:
    explicit PosixPort(int fd) : fd_(fd) {}
    ~PosixPort() override { ::close(fd_); }

    bool applySettings(const LineSettings& s, std::string& error) override {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0) {
            error = errorText(errno);
            return false;
        }
        speed_t speed{};
        if (!speedOf(s.baud, speed)) {
            error = "Unsupported baud rate " + std::to_string(s.baud);
            return false;
        }
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
        static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
        t.c_cflag |= sizes[(s.dataBits < 5 ? 5 : s.dataBits > 8 ? 8 : s.dataBits) - 5];
        t.c_cflag |= CLOCAL | CREAD;
        // POSIX has no 1.5 stop bits; two is the nearest a UART here can do.
        if (s.stopBits != StopBits::One)
            t.c_cflag |= CSTOPB;
        switch (s.parity) {
        case Parity::None:
            break;
        case Parity::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case Parity::Even:
            t.c_cflag |= PARENB;
            break;
        case Parity::Mark:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case Parity::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        }
        if (s.rts == Rts::Handshake)
            t.c_cflag |= CRTSCTS;
        t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
        if (s.xonxoff)
            t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
            error = errorText(errno);
            return false;
        }
        setDTR(s.dtrOn);
        if (s.rts != Rts::Handshake)
            setRTS(s.rts == Rts::On);
        if (!purge(true, true)) {
            error = errorText(errno);
            return false;
        }
        return true;
    }

    bool purge(bool rx, bool tx) override {
        if (rx && tx)
            return ::tcflush(fd_, TCIOFLUSH) == 0;
        if (rx)
            return ::tcflush(fd_, TCIFLUSH) == 0;
        if (tx)
            return ::tcflush(fd_, TCOFLUSH) == 0;
        return true;
    }

    std::int64_t write(const char* data, std::size_t count) override {
        const ssize_t n = ::write(fd_, data, count);
        if (n >= 0)
            return n;
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    }

    std::int64_t read(char* data, std::size_t count) override {
        const ssize_t n = ::read(fd_, data, count);
        if (n >= 0)
            return n;
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    }

    int readNotifyDescriptor() const override { return fd_; }

    std::int64_t inQueue() override { return queued(FIONREAD); }
    std::int64_t outQueue() override { return queued(TIOCOUTQ); }

    void setDTR(bool on) override { modemLine(TIOCM_DTR, on); }
    void setRTS(bool on) override { modemLine(TIOCM_RTS, on); }

    bool gone(std::string& reason) override {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return false;
        // Only called with nothing waiting, so this read takes no data. A failing
        // read gives the system's reason; an end of file (a closed
        // pseudo-terminal) is a hang-up.
        char c;
        const ssize_t n = ::read(fd_, &c, 0);
        reason = n < 0 ? std::strerror(errno) : "hung up";
        return true;
    }

    unsigned modemStatus() override {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0)
            return 0;
        return (bits & TIOCM_CTS ? LineCTS : 0) | (bits & TIOCM_DSR ? LineDSR : 0) |
               (bits & TIOCM_RNG ? LineRING : 0) | (bits & TIOCM_CAR ? LineRLSD : 0);
    }

private:
    std::int64_t queued(unsigned long request) {
        int n = 0;
        return ::ioctl(fd_, request, &n) == 0 ? n : -1;
    }

    // A pseudo-terminal has no modem lines and refuses these; that is fine.
    void modemLine(int bit, bool on) { ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit); }

    const int fd_;
};

} // namespace

std::unique_ptr<Port> openPort(const std::string& device, std::string& error, bool* denied) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (denied)
        *denied = fd < 0 && errno == EACCES;
    if (fd < 0) {
        error = device + ": " + errorText(errno);
        return nullptr;
    }
    // TIOCEXCL keeps others from opening the device; the lock also tells a second
    // copy of this program (or one running as root, which TIOCEXCL lets through)
    // that the port is taken.
    if (::isatty(fd) && ::ioctl(fd, TIOCEXCL) != 0) {
        error = device + ": " + errorText(errno);
        ::close(fd);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        error = device + ": " + (e == EWOULDBLOCK ? std::string("Port in use") : errorText(e));
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixPort>(fd);
}

std::string errorText(long code) {
    return std::strerror(int(code));
}

std::string comPortName(int n) {
    return "/dev/ttyS" + std::to_string(n - 1);
}

} // namespace quorix::link::serial
