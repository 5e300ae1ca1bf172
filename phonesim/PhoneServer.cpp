#include "phonesim/PhoneServer.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace quorix::phonesim {

namespace {

// Beyond this the terminal is not being read; further output is lost as on a line
// with nothing at its end.
constexpr qsizetype MaxBacklog = 256 * 1024;

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

PhoneServer::PhoneServer(PhoneMemory memory, PhoneSettings settings, QObject* parent)
    : QObject(parent), phone_(std::move(memory), std::move(settings)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PhoneServer::service);
    // The program reads its port every 50 ms; a second without reading means no one
    // is there.
    readerCheck_.setInterval(1000);
    connect(&readerCheck_, &QTimer::timeout, this, &PhoneServer::dropUnread);
}

PhoneServer::~PhoneServer() {
    close();
}

void PhoneServer::connectNotify(const QMetaMethod& signal) {
    if (signal != QMetaMethod::fromSignal(&PhoneServer::logLine))
        return;
    phone_.setLogger([this](qint64 t, const QString& line) { log(t, line); });
}

void PhoneServer::log(qint64 t, const QString& line) {
    Q_EMIT logLine(QStringLiteral("%1 %2").arg(double(t) / 1e9, 10, 'f', 4).arg(line));
}

bool PhoneServer::fail(const QString& what) {
    error_ = what;
    close();
    return false;
}

bool PhoneServer::open(const QString& linkPath) {
    close();
    error_.clear();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0)
        return fail(QStringLiteral("cannot create a pseudo-terminal: %1").arg(systemError()));
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0)
        return fail(QStringLiteral("cannot set up the pseudo-terminal: %1").arg(systemError()));
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    device_ = QString::fromLocal8Bit(name);

    // Held open for the whole run: without it the line hangs up whenever the last
    // client closes. Raw, so the line discipline passes every byte unchanged and
    // echoes nothing back to the phone.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0)
        return fail(QStringLiteral("cannot open %1: %2").arg(device_, systemError()));
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave_, TCSANOW, &tio);
    }

    if (!linkPath.isEmpty()) {
        const QFileInfo info(linkPath);
        if (info.isSymLink())
            QFile::remove(linkPath);
        else if (info.exists())
            return fail(
                QStringLiteral("cannot link %1: a file of that name is in the way").arg(linkPath));
        if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0)
            return fail(QStringLiteral("cannot link %1: %2").arg(linkPath, systemError()));
        link_ = linkPath;
    }

    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PhoneServer::readAvailable);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PhoneServer::writePending);
    clock_.start();
    readerCheck_.start();
    return true;
}

void PhoneServer::close() {
    timer_.stop();
    readerCheck_.stop();
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    // Only our own link goes; someone may have put another one in its place.
    if (!link_.isEmpty() && QFileInfo(link_).symLinkTarget() == QFileInfo(device_).filePath())
        QFile::remove(link_);
    link_.clear();
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = master_ = -1;
    backlog_.clear();
}

void PhoneServer::readAvailable() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            phone_.receive(QByteArray(buffer, n), now());
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read
    }
    service();
}

void PhoneServer::writePending() {
    while (!backlog_.isEmpty()) {
        const ssize_t n = ::write(master_, backlog_.constData(), size_t(backlog_.size()));
        if (n > 0) {
            backlog_.remove(0, n);
            written_ += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            backlog_.clear(); // nothing to write to; the bytes are lost as on a cut line
        break;
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(!backlog_.isEmpty());
}

void PhoneServer::dropUnread() {
    int unread = 0;
    if (::ioctl(slave_, FIONREAD, &unread) != 0)
        return;
    const qint64 taken = unreadAtCheck_ + (written_ - writtenAtCheck_) - unread;
    if (unreadAtCheck_ > 0 && taken <= 0) {
        ::tcflush(slave_, TCIFLUSH);
        backlog_.clear();
        log(now(), QStringLiteral("nobody reads the line: %1 bytes dropped").arg(unread));
        unread = 0;
    }
    unreadAtCheck_ = unread;
    writtenAtCheck_ = written_;
}

void PhoneServer::service() {
    if (master_ < 0)
        return;
    const qint64 t = now();
    const QByteArray out = phone_.poll(t);
    if (!out.isEmpty()) {
        backlog_.append(out.left(std::max<qsizetype>(0, MaxBacklog - backlog_.size())));
        writePending();
    }
    const qint64 due = phone_.nextDue();
    if (due < 0) {
        timer_.stop();
        return;
    }
    // Paced output goes out in slices of about a millisecond, as from a UART's FIFO.
    const qint64 ms = std::max<qint64>(1, (due - t + 999'999) / 1'000'000);
    timer_.start(int(std::min<qint64>(ms, 60'000)));
}

} // namespace quorix::phonesim
