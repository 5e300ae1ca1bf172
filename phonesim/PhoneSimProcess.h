#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace quorix::phonesim {

// Runs quorix-phonesim as a child process for the demo: starts it, reads the device
// path from the first line it prints, and stops it again (SIGTERM, so it saves and
// cleans up; killed if it has not ended within two seconds). Everything is driven
// by signals; nothing here waits.
class PhoneSimProcess : public QObject {
    Q_OBJECT
public:
    explicit PhoneSimProcess(QObject* parent = nullptr);
    ~PhoneSimProcess() override;

    // quorix-phonesim beside the running program, in the build tree's phonesim
    // folder seen from app/, cli/ or tests/*, or on PATH; empty when none is found.
    static QString findProgram();
    // The demo book shipped beside a quorix-phonesim program; empty when missing.
    static QString sampleBook(const QString& program);

    void setProgram(const QString& program) { program_ = program; }
    QString program() const { return program_; }

    // Starts the program with these arguments. False (with errorString) when one is
    // already running or no program is set; otherwise ready() or failed() follows.
    bool start(const QStringList& arguments);
    // Asks the program to end; stopped() follows. Does nothing when none runs.
    void stop();

    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    // The device the phone serves on, once ready() was emitted.
    QString devicePath() const { return device_; }
    QString errorString() const { return error_; }

Q_SIGNALS:
    void ready(const QString& devicePath);
    // The program could not start, or ended before it printed its device.
    void failed(const QString& message);
    // The program has ended (after ready()).
    void stopped();

private:
    void readOutput();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onError(QProcess::ProcessError error);
    void fail(const QString& message);

    QProcess process_;
    QString program_;
    QString device_;
    QString error_;
    QByteArray output_;
    QByteArray errors_;
    QTimer killTimer_;
    bool failed_ = false;
};

} // namespace quorix::phonesim
