// Holds a link open against a silent pseudo-terminal and reports the processor
// time it took: "idle" with nothing awaited, "pending" with two frames awaiting
// an acknowledgement and a third held back by the window.
//
//   link_cpu idle|pending [seconds]     (run under /usr/bin/time for a second opinion)
#include "link/FbusLink.h"
#include "link/FbusTransmitter.h"
#include "link/Frame.h"
#include "link/SerialPort.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace quorix::link;

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Starter : LinkListener {
    std::function<void(bool)> started;
    void showStatus(const QByteArray&) override {}
    void showError(const QByteArray&, const QByteArray& text) override {
        std::fprintf(stderr, "%s\n", text.constData());
    }
    void linkStarted(bool ok) override { started(ok); }
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const bool pending = argc > 1 && std::strcmp(argv[1], "pending") == 0;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("posix_openpt");
        return 1;
    }
    SerialPort serial;
    FbusLink link(serial);
    Starter starter;
    double atStart = 0;
    starter.started = [&](bool ok) {
        if (!ok) {
            app.exit(1);
            return;
        }
        if (pending) {
            link.sendFrame(TypeMemory, QByteArray::fromHex("00010003"), 1, false);
            link.sendFrame(TypeMemory, QByteArray::fromHex("00010007"), 1, false);
        }
        atStart = cpuSeconds();
        QTimer::singleShot(seconds * 1000, &app, [&] {
            const int awaited = link.transmitter()->awaitingAck();
            const int queued = link.transmitter()->queued();
            link.stopLink();
            const double used = cpuSeconds() - atStart;
            // What reached the line after the wake-up bytes, repetitions included.
            QByteArray line(65536, '\0');
            const ssize_t n = ::read(master, line.data(), size_t(line.size()));
            line.truncate(std::max<ssize_t>(n, 0));
            line.remove(0, FbusLink::WakeBytes);
            int frames = 0;
            while (cutFrame(line))
                ++frames;
            std::printf("%s: %d s open, %d frames awaited, %d queued, %d frames written: "
                        "%.3f s CPU (%.2f %%)\n",
                        pending ? "pending" : "idle", seconds, awaited, queued, frames, used,
                        100.0 * used / seconds);
            app.quit();
        });
    };
    LinkSettings s;
    s.device = ptsname(master);
    link.startLink(s, &starter);
    const int rc = app.exec();
    ::close(master);
    return rc;
}
