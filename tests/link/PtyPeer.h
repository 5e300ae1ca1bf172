#pragma once

#include <QByteArray>

// The far end of a real pseudo-terminal, played by a test: the program under test
// opens device(), the test reads and writes the other side. Waits keep the Qt
// event loop running, so the port's polling timer and the link's timers fire.
class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0; }
    QByteArray device() const { return device_; }
    int fd() const { return master_; }

    void write(const QByteArray& bytes);
    // Exactly n bytes, or fewer when timeoutMs passes first.
    QByteArray read(int n, int timeoutMs = 3000);
    // Whatever arrives within ms.
    QByteArray readFor(int ms);

private:
    int master_ = -1;
    QByteArray device_;
};
