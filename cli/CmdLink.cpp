#include "Commands.h"

#include "link/CommPortDriver.h"
#include "link/FbusLink.h"
#include "link/Frame.h"
#include "link/Trace.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace quorix::cli {

namespace {

using namespace quorix::link;

// Message texts use single CRs as line breaks; a terminal wants newlines.
QString terminalText(const QByteArray& text) {
    return QString::fromLatin1(text).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// Starts the link, waits for the phone's status answer and reports it; the
// terminal stands in for the status bar and the message boxes.
class StatusQuery : public LinkListener {
public:
    StatusQuery(FbusLink& link, int timeoutMs) : link_(link), timeoutMs_(timeoutMs) {
        link_.setFrameObserver([this](const QByteArray& frame) {
            if (frameType(frame) == TypeStatus && answer_.isEmpty()) {
                answer_ = phonestatus(frame);
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
        link_.fbusinit(settings, this);
        loop_.exec();
        link_.closelink();
        if (!started_) {
            const QByteArray reason = link_.serial().errorString();
            return fail(terminalText(error_) +
                        (reason.isEmpty() ? QString() : QLatin1Char('\n') + terminalText(reason)));
        }
        if (answer_.isEmpty())
            return fail(QStringLiteral("No valid answer was received from phone."));
        QTextStream(stdout) << "Phone status: " << terminalText(answer_) << Qt::endl;
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

// "COM1".."COM4" (also "COM 1") name the first four ports; anything else is a path.
LinkSettings portSettings(const QString& port) {
    LinkSettings s;
    static const QRegularExpression com(QStringLiteral("^COM ?([1-4])$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(port);
    if (m.hasMatch())
        s.port = m.captured(1).toInt() - 1;
    else
        s.device = QFile::encodeName(port);
    return s;
}

int status(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Opens the link to the phone, asks for its status and prints it."));
    p.addHelpOption();
    const QCommandLineOption portOpt(QStringLiteral("port"),
                                     QStringLiteral("Serial device, or COM1..COM4."),
                                     QStringLiteral("DEVICE"));
    const QCommandLineOption cableOpt(QStringLiteral("cable"),
                                      QStringLiteral("Cable: dau-9p or dlr-3 (default)."),
                                      QStringLiteral("CABLE"), QStringLiteral("dlr-3"));
    const QCommandLineOption traceOpt(QStringLiteral("trace"),
                                      QStringLiteral("Write the FBUS trace to stderr."));
    const QCommandLineOption timeoutOpt(
        QStringLiteral("timeout"),
        QStringLiteral("Seconds to wait for the phone's answer (default 5)."),
        QStringLiteral("SECONDS"), QStringLiteral("5"));
    p.addOptions({portOpt, cableOpt, traceOpt, timeoutOpt});
    p.process(args);
    if (!p.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first()));
    if (!p.isSet(portOpt) || p.value(portOpt).isEmpty())
        return fail(QStringLiteral("--port DEVICE is required (a device path or COM1..COM4)"));

    LinkSettings settings = portSettings(p.value(portOpt));
    const QString cable = p.value(cableOpt).toLower();
    if (cable == QLatin1String("dau-9p"))
        settings.cable = CableDAU9P;
    else if (cable == QLatin1String("dlr-3"))
        settings.cable = CableDLR3;
    else
        return fail(QStringLiteral("unknown cable '%1'; use dau-9p or dlr-3").arg(cable));
    bool ok = false;
    const double seconds = p.value(timeoutOpt).toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 3600)
        return fail(QStringLiteral("--timeout wants a number of seconds between 0 and 3600"));

    TCommPortDriver serial;
    FbusLink link(serial);
    if (p.isSet(traceOpt)) {
        link.setTracing(true);
        link.setTraceLog([](const QByteArray& entry) {
            std::fwrite(entry.constData(), 1, size_t(entry.size()), stderr);
            std::fflush(stderr);
        });
    }
    StatusQuery query(link, int(seconds * 1000));
    return query.run(settings);
}

} // namespace

QList<Command> linkCommands() {
    return {{"status", "open the link, ask the phone for its status and print it", status}};
}

} // namespace quorix::cli
