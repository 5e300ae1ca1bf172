#include "PtyPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
        return;
    }
    device_ = ptsname(master_);
}

PtyPeer::~PtyPeer() {
    if (master_ >= 0)
        ::close(master_);
}

void PtyPeer::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

QByteArray PtyPeer::read(int n, int timeoutMs) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < n && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, 5);
        char buf[512];
        // EIO only means nobody has the other side open right now.
        const ssize_t r =
            ::read(master_, buf, std::min<size_t>(sizeof buf, size_t(n - got.size())));
        if (r > 0)
            got.append(buf, r);
    }
    return got;
}

QByteArray PtyPeer::readFor(int ms) {
    return read(1 << 20, ms);
}
