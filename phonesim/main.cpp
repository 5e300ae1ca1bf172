// quorix-phonesim: a virtual Nokia 7110 on a pseudo-terminal.
#include "phonesim/BookFile.h"
#include "phonesim/LineReplay.h"
#include "phonesim/PhoneOptions.h"
#include "phonesim/PhoneServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace quorix::phonesim;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop instead of the process, so the memory is
// saved and the link removed.
bool catchStopSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

int complain(const QString& message) {
    std::fprintf(stderr, "quorix-phonesim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    PhoneOptions options;
    QString message;
    switch (parseOptions(app.arguments(), options, message)) {
    case ParseResult::Help:
    case ParseResult::Version:
        std::printf("%s\n", qPrintable(message));
        return 0;
    case ParseResult::Error:
        return complain(message + QStringLiteral("\n(see --help)"));
    case ParseResult::Run:
        break;
    }

    PhoneMemory memory;
    if (!buildMemory(options, memory, message))
        return complain(message);
    const int used = memory.used(), size = memory.size();

    QString serving = QStringLiteral("%1 of %2 locations used").arg(used).arg(size);
    PhoneServer server(std::move(memory), options.settings);
    if (!options.replayFile.isEmpty()) {
        QList<quorix::link::LineEvent> events;
        if (!quorix::link::readLineRecording(options.replayFile, events, &message))
            return complain(message);
        LineReplay replay(events);
        if (replay.exchanges().isEmpty())
            return complain(QStringLiteral("%1: the recording holds no message of the program")
                                .arg(options.replayFile));
        serving = QStringLiteral("replaying the %1 messages of %2")
                      .arg(replay.exchanges().size())
                      .arg(options.replayFile);
        server.phone().setReplay(std::move(replay));
        server.phone().setNoticeHandler([](const QString& notice) {
            std::fprintf(stderr, "quorix-phonesim: %s\n", notice.toLocal8Bit().constData());
        });
    }
    if (options.verbose) {
        QObject::connect(&server, &PhoneServer::logLine, [](const QString& line) {
            std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
        });
    }
    if (!catchStopSignals(app))
        return complain(QStringLiteral("cannot catch the stop signals"));
    if (!server.open(options.linkPath))
        return complain(server.errorString());

    std::printf("%s\n", qPrintable(server.devicePath()));
    std::fflush(stdout);
    std::fprintf(stderr, "quorix-phonesim: %s, serving on %s%s\n", qPrintable(serving),
                 qPrintable(server.devicePath()),
                 options.linkPath.isEmpty()
                     ? ""
                     : qPrintable(QStringLiteral(" (%1)").arg(options.linkPath)));

    app.exec();

    server.close();
    int status = 0;
    if (!options.saveFile.isEmpty()) {
        const quorix::Book book = server.phone().memory().toBook();
        if (!writeBookFile(options.saveFile, book, &message))
            status = complain(QStringLiteral("cannot save the memory: %1").arg(message));
        else
            std::fprintf(stderr, "quorix-phonesim: saved %d names to %s\n", book.entryCount(),
                         qPrintable(options.saveFile));
    }
    return status;
}
