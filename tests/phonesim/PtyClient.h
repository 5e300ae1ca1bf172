#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The program's end of the line, as small as a test needs: opens the device raw,
// sends frames with its own sequence numbers and collects the phone's frames,
// acknowledging them. Waiting keeps the thread's event loop turning, so a server in
// the same process goes on serving.
class PtyClient {
public:
    ~PtyClient();
    bool open(const QString& device);
    void close();

    void write(const QByteArray& bytes);
    // Sends one request of type 0x03 (or another type), cut into frames as the
    // program cuts write requests.
    void request(const QByteArray& payload, quint8 type = 0x03);

    // Collects frames until done() says so or ms have passed; true when done.
    // Every good non-acknowledgement frame is acknowledged.
    bool waitFor(const std::function<bool()>& done, int ms);
    // Waits for the next complete phonebook answer (type 0x03) and gives its payload.
    QByteArray answer(int ms = 3000);

    QList<QByteArray> frames; // every good frame from the phone, in order
    qint64 bytesReceived = 0;
    bool ack = true;

private:
    void readSome(int ms);

    int fd_ = -1;
    int seq_ = 1;
    QByteArray buffer_;
    qsizetype answered_ = 0; // frames already taken by answer()
};
