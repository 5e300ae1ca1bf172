#include "Commands.h"

#include "link/FbusLink.h"
#include "link/Frame.h"
#include "link/SerialPort.h"
#include "link/Trace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace quorix::cli {

namespace {

using namespace quorix::link;

// Starts the link, waits for the phone's status answer and reports it; the
// terminal stands in for the status bar and the message boxes.
class StatusQuery : public LinkListener {
public:
    StatusQuery(FbusLink& link, int timeoutMs) : link_(link), timeoutMs_(timeoutMs) {
        link_.setFrameObserver([this](const QByteArray& frame) {
            if (frameType(frame) == TypeStatus && answer_.isEmpty()) {
                answer_ = phoneStatus(frame);
                loop_.quit();
            }
        });
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, &loop_, &QEventLoop::quit);
    }

    void showStatus(const QByteArray&) override {}
    void showError(const QByteArray&, const QByteArray& text) override { error_ = text; }
    void linkStarted(bool ok) override {
        if (!ok) {
            loop_.quit();
            return;
        }
        started_ = true;
        timer_.start(timeoutMs_);
    }

    int run(const LinkSettings& settings) {
        link_.startLink(settings, this);
        loop_.exec();
        link_.stopLink();
        if (!started_) // the message names the device and the system's reason
            return fail(messageText(error_));
        if (answer_.isEmpty())
            return fail(QStringLiteral("No valid answer was received from phone."));
        QTextStream(stdout) << "Phone status: " << messageText(answer_) << Qt::endl;
        return 0;
    }

private:
    FbusLink& link_;
    const int timeoutMs_;
    QEventLoop loop_;
    QTimer timer_;
    QByteArray error_;
    QByteArray answer_;
    bool started_ = false;
};

int status(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Opens the link to the phone, asks for its status and prints it."));
    const LinkOptions linkOpts;
    const QCommandLineOption timeoutOpt(
        QStringLiteral("timeout"),
        QStringLiteral("Seconds to wait for the phone's answer, more than 0 and at most "
                       "3600 (default 5)."),
        QStringLiteral("SECONDS"), QStringLiteral("5"));
    linkOpts.addTo(p);
    p.addOption(timeoutOpt);
    if (const int status = parseCommandLine(p, args); status >= 0)
        return status;
    if (!p.positionalArguments().isEmpty())
        return usageError(
            args, QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first()));
    if (!p.isSet(linkOpts.port) || p.value(linkOpts.port).isEmpty())
        return usageError(
            args, QStringLiteral("--port DEVICE is required (a device path or COM1..COM4)"));
    LinkSettings settings;
    if (QString error; !linkOpts.settings(p, settings, error))
        return usageError(args, error);
    bool ok = false;
    const double seconds = p.value(timeoutOpt).toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 3600)
        return usageError(
            args, QStringLiteral("--timeout wants a number of seconds above 0 and at most 3600"));

    SerialPort serial;
    if (QString error; !linkOpts.setUpRecording(p, serial, error))
        return fail(error);
    FbusLink link(serial);
    linkOpts.setUpTrace(p, link);
    StatusQuery query(link, int(seconds * 1000));
    return query.run(settings);
}

} // namespace

QString messageText(const QByteArray& text) {
    return QString::fromLatin1(text).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

LinkOptions::LinkOptions(const QString& portHelp)
    : port(QStringLiteral("port"), portHelp, QStringLiteral("DEVICE")),
      cable(QStringLiteral("cable"), QStringLiteral("Cable: dau-9p or dlr-3 (default)."),
            QStringLiteral("CABLE"), QStringLiteral("dlr-3")),
      trace(QStringLiteral("trace"), QStringLiteral("Write the FBUS trace to stderr.")),
      record(QStringLiteral("record"),
             QStringLiteral("Record every byte on the line both ways, with its time, into FILE "
                            "(replaced); quorix-phonesim --replay FILE plays the phone's side "
                            "back."),
             QStringLiteral("FILE")) {}

bool LinkOptions::settings(const QCommandLineParser& parser, LinkSettings& s,
                           QString& error) const {
    s = LinkSettings{};
    // "COM1".."COM4" (also "COM 1") name the first four ports; anything else is a path.
    static const QRegularExpression com(QStringLiteral("^COM ?([1-4])$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QString name = parser.value(port);
    const QRegularExpressionMatch m = com.match(name);
    if (m.hasMatch())
        s.port = m.captured(1).toInt() - 1;
    else
        s.device = QFile::encodeName(name);
    const QString c = parser.value(cable).toLower();
    if (c == QLatin1String("dau-9p")) {
        s.cable = CableDAU9P;
    } else if (c == QLatin1String("dlr-3")) {
        s.cable = CableDLR3;
    } else {
        error = QStringLiteral("unknown cable '%1'; use dau-9p or dlr-3").arg(c);
        return false;
    }
    return true;
}

void LinkOptions::setUpTrace(const QCommandLineParser& parser, FbusLink& link) const {
    if (!parser.isSet(trace))
        return;
    link.setTracing(true);
    link.setTraceLog([](const QByteArray& entry) {
        std::fwrite(entry.constData(), 1, size_t(entry.size()), stderr);
        std::fflush(stderr);
    });
}

bool LinkOptions::setUpRecording(const QCommandLineParser& parser, SerialPort& serial,
                                 QString& error) const {
    if (!parser.isSet(record))
        return true;
    auto recorder = std::make_shared<LineRecorder>();
    if (!recorder->open(parser.value(record), &error)) {
        error = QStringLiteral("cannot record the line: %1").arg(error);
        return false;
    }
    recorder->setFailureHandler([](const QString& why) {
        QTextStream(stderr) << "quorix-cli: warning: the line recording stopped: " << why
                            << Qt::endl;
    });
    serial.setRecorder(std::move(recorder));
    return true;
}

QList<Command> linkCommands() {
    return {{"status", "open the link, ask the phone for its status and print it", status}};
}

} // namespace quorix::cli
