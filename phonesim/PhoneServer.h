#pragma once

#include "phonesim/VirtualPhone.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace quorix::phonesim {

// Serves a VirtualPhone on a new pseudo-terminal. A client opens devicePath() as it
// would a serial port; the server keeps the terminal's device side open itself, so
// the line does not hang up when a client closes it, and the next client that opens
// the device finds the phone still there. As on a serial port, what nobody reads is
// lost: bytes left unread for a whole second are dropped, so the next client does not
// find a former client's answers. Everything runs on the thread's event loop.
class PhoneServer : public QObject {
    Q_OBJECT
public:
    PhoneServer(PhoneMemory memory, PhoneSettings settings, QObject* parent = nullptr);
    ~PhoneServer() override;

    // Creates the pseudo-terminal (raw, 115200 baud) and starts serving. With a link
    // path, a symbolic link to the device is made there; a stale link is replaced,
    // anything else in the way is an error.
    bool open(const QString& linkPath = {});
    // Stops serving, closes the terminal and removes the link.
    void close();
    bool isOpen() const { return master_ >= 0; }
    QString errorString() const { return error_; }

    // The device a client opens, e.g. /dev/pts/5.
    QString devicePath() const { return device_; }
    VirtualPhone& phone() { return phone_; }

Q_SIGNALS:
    // One line per frame and event, with the time since open in seconds. Only
    // emitted while something is connected to it.
    void logLine(const QString& line);

protected:
    void connectNotify(const QMetaMethod& signal) override;

private:
    void readAvailable();
    void writePending();
    void service();
    void dropUnread();
    void log(qint64 t, const QString& line);
    qint64 now() const { return clock_.nsecsElapsed(); }
    bool fail(const QString& what);

    VirtualPhone phone_;
    int master_ = -1;
    int slave_ = -1;
    QString device_;
    QString link_;
    QString error_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray backlog_; // bytes the terminal could not take yet
    QTimer timer_;
    QElapsedTimer clock_;
    // Watching whether anyone reads the line: bytes written into the terminal, and
    // how many of them were still unread at the last look.
    QTimer readerCheck_;
    qint64 written_ = 0;
    qint64 writtenAtCheck_ = 0;
    int unreadAtCheck_ = 0;
};

} // namespace quorix::phonesim
