// How close whole reads and writes come to what the line and the phone allow.
// For every book size and answer time: quorix-phonesim holding N made-up names in
// N locations at 115200 baud, read into a book and that book written back through
// the real link, each job repeated. Prints per job the time, the floor and their
// ratio, and the CPU time the job cost this process.
//
// The floor is what a perfect program would still wait for:
//  - the 1000 ms after opening the port and the 100 ms between the frames of one
//    write request;
//  - the phone's answer time, once per request (link opening, memory information,
//    one per location);
//  - the bytes the phone sent, at 11520 bytes a second (10 bits a byte). The
//    simulator paces its own output to the line rate; the pseudo-terminal carries
//    the program's bytes at once, so those are not part of the floor here (on a
//    cable they would add their own line time). The phone's acknowledgement of a
//    request goes out while it thinks, so it only counts where it outlasts the
//    answer time.
//
//   transfer_speed [--sizes 50,200,500] [--latencies 0,20,40] [--repeat 2]
//                  [--receiver notified|polled] [extra quorix-phonesim options...]
#include "link/FbusLink.h"
#include "link/Frame.h"
#include "link/SerialPort.h"
#include "model/BookModel.h"
#include "phonesim/PhoneSimProcess.h"
#include "transfer/PhonebookMessages.h"
#include "transfer/Transfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace quorix;
using namespace quorix::transfer;

namespace {

constexpr double LineBytesPerMs = 11.52; // 115200 baud, 10 bits a byte
constexpr double StartMs = link::FbusLink::StartDelayMs;
constexpr double PauseMs = 100.0;
constexpr double AckBytes = 10; // an acknowledgement frame

struct BenchUi : TransferUi {
    void showStatus(const QByteArray&) override {}
    void showError(const QByteArray&, const QByteArray& text) override {
        std::fprintf(stderr, "%s\n", text.constData());
    }
    void askTimeout(const QByteArray&, const QByteArray&) override {
        std::fprintf(stderr, "the phone went silent\n");
    }
};

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QList<int> numbers(const QString& list) {
    QList<int> out;
    for (const QString& s : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out.push_back(s.toInt());
    return out;
}

struct Run {
    double ms = 0;
    double floorMs = 0;
    double cpu = 0;
};

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QList<int> sizes{50, 200, 500};
    QList<int> latencies{0, 20, 40};
    int repeat = 2;
    QByteArray receiver;
    QStringList extra;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--sizes") && !args.isEmpty())
            sizes = numbers(args.takeFirst());
        else if (a == QLatin1String("--latencies") && !args.isEmpty())
            latencies = numbers(args.takeFirst());
        else if (a == QLatin1String("--repeat") && !args.isEmpty())
            repeat = std::max(1, args.takeFirst().toInt());
        else if (a == QLatin1String("--receiver") && !args.isEmpty())
            receiver = args.takeFirst().toLatin1();
        else
            extra << a;
    }

    std::printf("%-5s %5s %7s %10s %10s %6s %8s  %s\n", "job", "names", "answer", "time", "floor",
                "ratio", "cpu", "each run (s)");
    for (const int latency : latencies) {
        for (const int names : sizes) {
            phonesim::PhoneSimProcess sim;
            QEventLoop wait;
            QObject::connect(&sim, &phonesim::PhoneSimProcess::ready, &wait, &QEventLoop::quit);
            QObject::connect(&sim, &phonesim::PhoneSimProcess::failed, &wait,
                             [&](const QString& m) {
                                 std::fprintf(stderr, "%s\n", qPrintable(m));
                                 wait.exit(1);
                             });
            const QStringList simArgs =
                QStringList{QStringLiteral("--generate"), QString::number(names),
                            QStringLiteral("--memory"),   QString::number(names),
                            QStringLiteral("--latency"),  QString::number(latency)} +
                extra;
            if (!sim.start(simArgs) || wait.exec() != 0)
                return 1;

            link::SerialPort serial;
            link::FbusLink fbus(serial);
            if (receiver == "polled")
                serial.setReceiveMode(link::SerialPort::ReceivePolled);
            // Count what crossed from the phone: every byte, and the bytes of its
            // acknowledgements.
            qint64 received = 0, ackBytes = 0;
            const auto inner = serial.receiveHandler;
            serial.receiveHandler = [&](link::SerialPort* s, const char* d, quint32 n) {
                received += n;
                inner(s, d, n);
            };
            fbus.setFrameObserver([&](const QByteArray& f) {
                if (link::isAck(f))
                    ackBytes += f.size();
            });
            link::LinkSettings settings;
            settings.device = QFile::encodeName(sim.devicePath());
            FbusTransferLink transferLink(fbus, [&] { return settings; });
            BookModel model;
            BenchUi ui;
            Transfer transfer(transferLink, model, ui);

            QList<Run> reads, writes;
            for (int r = 0; r < repeat; ++r) {
                for (const bool write : {false, true}) {
                    // The write's pauses depend on how many frames each name takes.
                    double pauses = 0;
                    if (write) {
                        for (int i = 0; i < model.book().entryCount(); ++i)
                            pauses +=
                                PauseMs *
                                double(
                                    splitPayload(writeRequest(model.book().name(i), i + 1)).size() -
                                    1);
                    }
                    received = ackBytes = 0;
                    QEventLoop loop;
                    int result = -1;
                    const auto c = QObject::connect(&transfer, &Transfer::finished, &loop,
                                                    [&](const TransferReport& report) {
                                                        result = int(report.ending);
                                                        loop.quit();
                                                    });
                    const double cpu0 = cpuSeconds();
                    QElapsedTimer clock;
                    clock.start();
                    write ? transfer.startWrite() : transfer.startRead();
                    loop.exec();
                    const double ms = double(clock.nsecsElapsed()) / 1e6;
                    QObject::disconnect(c);
                    if (result != int(TransferEnding::Completed) ||
                        model.book().entryCount() != names) {
                        std::fprintf(stderr, "%s of %d failed: result %d\n",
                                     write ? "write" : "read", names, result);
                        return 1;
                    }
                    const int requests = names + 2;
                    const double ackMs = AckBytes / LineBytesPerMs;
                    const double floorMs = StartMs + pauses +
                                           requests * std::max(double(latency), ackMs) +
                                           double(received - ackBytes) / LineBytesPerMs;
                    (write ? writes : reads).push_back({ms, floorMs, cpuSeconds() - cpu0});
                }
            }
            for (const bool write : {false, true}) {
                const QList<Run>& runs = write ? writes : reads;
                QList<double> t, f, cpu;
                QByteArray each;
                for (const Run& run : runs) {
                    t << run.ms;
                    f << run.floorMs;
                    cpu << run.cpu;
                    each += QByteArray::number(run.ms / 1000, 'f', 2) + ' ';
                }
                const double time = median(t), floor = median(f);
                std::printf("%-5s %5d %5d ms %8.2f s %8.2f s %6.3f %6.3f s  %s\n",
                            write ? "write" : "read", names, latency, time / 1000, floor / 1000,
                            time / floor, median(cpu), each.constData());
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
