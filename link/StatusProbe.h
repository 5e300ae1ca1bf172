#pragma once

#include "link/FbusLink.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

namespace quorix::link {

// How a check of the cable ended.
struct StatusReport {
    enum class Outcome {
        Answered,  // the phone gave its status
        NotOpened, // the port did not open
        NoAnswer,  // the port opened, the phone said nothing in time
        PortLost,  // the device went away during the check
        Cancelled, // the check was given up before it ended
    };
    Outcome outcome = Outcome::Cancelled;
    QByteArray device; // the device that was opened
    QByteArray answer; // the phone's status, lines ended by CR
    QByteArray reason; // the system's text for a port that did not open or was lost
    bool accessDenied = false;
    int cable = CableDLR3;
    int timeoutMs = 0; // how long the phone had to answer

    // What a person is told, on one line: the status, or what failed on which
    // device and why.
    QString text() const;
};

// Opens the link on the given port and cable, sends the phone status request
// that opens every link and waits for the phone's answer. Runs on the event
// loop: start() returns at once and finished() tells the end, so a window
// stays responsive and a command line waits in an event loop of its own.
// Only a status answer that comes after the request was sent counts; a late
// answer from an earlier exchange during the start-up wait does not.
class StatusProbe : public QObject, private LinkListener, private PhonebookAnswer {
    Q_OBJECT
public:
    explicit StatusProbe(FbusLink& link, QObject* parent = nullptr);
    ~StatusProbe() override;

    // Starts a check; one under way is given up first. timeoutMs counts from
    // the request, after the link's start-up wait.
    void start(const LinkSettings& settings, int timeoutMs);
    // Gives up a check under way; finished() reports Cancelled.
    void cancel();
    bool running() const { return running_; }

Q_SIGNALS:
    // The link's status texts while it starts ("Opening serial port...").
    void progress(const QString& text);
    void finished(const quorix::link::StatusReport& report);

private:
    void showStatus(const QByteArray& text) override;
    void showError(const QByteArray& caption, const QByteArray& text) override;
    void linkStarted(bool ok) override;
    void handlePhonebookAnswer(const QByteArray&) override {}
    void portLost(const QByteArray& device, const QByteArray& reason) override;
    void finish(StatusReport::Outcome outcome);

    FbusLink& link_;
    QTimer timer_;
    StatusReport report_;
    int remaining_ = 0; // the wait for the answer, once the request is out
    bool running_ = false;
    bool requested_ = false;
};

} // namespace quorix::link
