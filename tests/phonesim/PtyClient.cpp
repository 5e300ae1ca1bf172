#include "PtyClient.h"

#include "link/Frame.h"
#include "transfer/PhonebookMessages.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace quorix;

PtyClient::~PtyClient() {
    close();
}

bool PtyClient::open(const QString& device) {
    close();
    fd_ = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
    return true;
}

void PtyClient::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void PtyClient::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            readSome(5); // the terminal is full: let the other side catch up
    }
}

void PtyClient::request(const QByteArray& payload, quint8 type) {
    for (const transfer::Chunk& c : transfer::splitPayload(payload)) {
        write(link::buildFrame(type, c.data, c.fragment, link::makeSequenceByte(seq_, c.followOn)));
        seq_ = (seq_ + 1) & 7;
    }
}

void PtyClient::readSome(int ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0)
        return;
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0)
        return;
    bytesReceived += n;
    buffer_.append(buf, n);
    while (auto f = link::cutFrame(buffer_)) {
        if (!link::checkFrame(*f))
            continue;
        frames.append(*f);
        if (ack && !link::isAck(*f))
            write(link::buildAck(*f));
    }
}

bool PtyClient::waitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        readSome(2);
    }
    return true;
}

QByteArray PtyClient::answer(int ms) {
    QByteArray payload;
    bool complete = false;
    waitFor(
        [&] {
            for (; !complete && answered_ < frames.size(); ++answered_) {
                const QByteArray& f = frames[answered_];
                if (link::frameType(f) != link::TypeMemory)
                    continue;
                payload += link::frameData(f);
                complete = link::fragmentByte(f) <= 1;
            }
            return complete;
        },
        ms);
    return complete ? payload : QByteArray();
}
