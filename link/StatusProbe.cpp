#include "link/StatusProbe.h"

#include "link/Frame.h"
#include "link/SerialPort.h"
#include "link/Trace.h"

namespace quorix::link {

QString StatusReport::text() const {
    const QString where = QString::fromLocal8Bit(device);
    const QString why = QString::fromLocal8Bit(reason);
    switch (outcome) {
    case Outcome::Answered:
        return QStringLiteral("Phone status: ") +
               QString::fromLatin1(answer).replace(QLatin1Char('\r'), QLatin1Char(' '));
    case Outcome::NotOpened:
        return QStringLiteral("Could not open serial port %1: %2%3")
            .arg(where, why,
                 accessDenied ? QStringLiteral(" (your user must be in the group \"dialout\")")
                              : QString());
    case Outcome::NoAnswer:
        return QStringLiteral("No valid answer was received from phone. %1 opened, but the phone "
                              "did not answer within %2 s: is it on, and is the cable a %3?")
            .arg(where)
            .arg(timeoutMs / 1000.0)
            .arg(QLatin1String(cable == CableDAU9P ? "DAU-9P" : "DLR-3"));
    case Outcome::PortLost:
        return QStringLiteral("The serial port %1 went away: %2").arg(where, why);
    case Outcome::Cancelled:
        break;
    }
    return QStringLiteral("The test of %1 was stopped.").arg(where);
}

StatusProbe::StatusProbe(FbusLink& link, QObject* parent) : QObject(parent), link_(link) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        // Before the request went out the link never started: say so as well.
        finish(requested_ ? StatusReport::Outcome::NoAnswer : StatusReport::Outcome::NotOpened);
    });
}

StatusProbe::~StatusProbe() {
    if (running_) {
        link_.setFrameObserver(nullptr);
        link_.setPhonebookAnswer(nullptr);
        link_.stopLink();
    }
}

void StatusProbe::start(const LinkSettings& settings, int timeoutMs) {
    if (running_)
        cancel();
    report_ = StatusReport{};
    report_.device = settings.portDevice();
    report_.cable = settings.cable;
    report_.timeoutMs = timeoutMs;
    running_ = true;
    requested_ = false;
    link_.setPhonebookAnswer(this);
    link_.setFrameObserver([this](const QByteArray& frame) {
        if (requested_ && frameType(frame) == TypeStatus && report_.answer.isEmpty()) {
            report_.answer = phoneStatus(frame);
            finish(StatusReport::Outcome::Answered);
        }
    });
    // The whole check is bounded, the link's start-up wait included.
    timer_.start(FbusLink::StartDelayMs + timeoutMs);
    remaining_ = timeoutMs;
    link_.startLink(settings, this);
}

void StatusProbe::cancel() {
    if (running_)
        finish(StatusReport::Outcome::Cancelled);
}

void StatusProbe::showStatus(const QByteArray& text) {
    Q_EMIT progress(QString::fromLatin1(text));
}

void StatusProbe::showError(const QByteArray&, const QByteArray&) {
    // The report carries the device and the reason as fields instead.
}

void StatusProbe::linkStarted(bool ok) {
    if (!running_)
        return;
    if (!ok) {
        // The port's text names the device already; the report keeps it apart.
        report_.reason = link_.serial().errorString();
        if (const QByteArray named = report_.device + ": "; report_.reason.startsWith(named))
            report_.reason.remove(0, named.size());
        report_.accessDenied = link_.serial().accessDenied();
        finish(StatusReport::Outcome::NotOpened);
        return;
    }
    // The link's opening frame is the status request; the wait starts now.
    requested_ = true;
    timer_.start(remaining_);
}

void StatusProbe::portLost(const QByteArray&, const QByteArray& reason) {
    if (!running_)
        return;
    report_.reason = reason;
    finish(StatusReport::Outcome::PortLost);
}

void StatusProbe::finish(StatusReport::Outcome outcome) {
    if (!running_)
        return;
    running_ = false;
    timer_.stop();
    link_.setFrameObserver(nullptr);
    link_.setPhonebookAnswer(nullptr);
    link_.stopLink();
    report_.outcome = outcome;
    if (outcome == StatusReport::Outcome::NotOpened && report_.reason.isEmpty())
        report_.reason = "the link did not start";
    Q_EMIT finished(report_);
}

} // namespace quorix::link
