// How long a whole read and a whole write take: quorix-phonesim holding N made-up
// names in N locations (115200 baud and its default answer latency unless told
// otherwise), read into a book and that book written back, through the real link.
//
//   transfer_speed [names] [extra quorix-phonesim options...]
#include "link/FbusLink.h"
#include "link/SerialPort.h"
#include "model/BookModel.h"
#include "phonesim/PhoneSimProcess.h"
#include "transfer/Transfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>

using namespace quorix;
using namespace quorix::transfer;

namespace {

// Notes when the link is up, so the one-second start-up wait can be told apart.
struct BenchUi : TransferUi {
    QElapsedTimer* clock = nullptr;
    qint64 linkUp = -1;
    void showStatus(const QByteArray& text) override {
        if (text == "Retrieving memory information...")
            linkUp = clock->elapsed();
    }
    void showError(const QByteArray&, const QByteArray& text) override {
        std::fprintf(stderr, "%s\n", text.constData());
    }
    void askTimeout(const QByteArray&, const QByteArray&) override {
        std::fprintf(stderr, "the phone went silent\n");
    }
    QByteArray startBorder() const override { return {}; }
    QByteArray stopBorder() const override { return {}; }
    void setBorders(const QByteArray&, const QByteArray&) override {}
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const int names = args.isEmpty() ? 500 : args.takeFirst().toInt();
    if (names < 1)
        return 2;

    phonesim::PhoneSimProcess sim;
    QEventLoop wait;
    QObject::connect(&sim, &phonesim::PhoneSimProcess::ready, &wait, &QEventLoop::quit);
    QObject::connect(&sim, &phonesim::PhoneSimProcess::failed, &wait, [&](const QString& m) {
        std::fprintf(stderr, "%s\n", qPrintable(m));
        wait.exit(1);
    });
    const QStringList simArgs = QStringList{QStringLiteral("--generate"), QString::number(names),
                                            QStringLiteral("--memory"), QString::number(names)} +
                                args;
    if (!sim.start(simArgs) || wait.exec() != 0)
        return 1;

    link::SerialPort serial;
    link::FbusLink fbus(serial);
    link::LinkSettings settings;
    settings.device = QFile::encodeName(sim.devicePath());
    FbusTransferLink transferLink(fbus, [&] { return settings; });
    BookModel model;
    BenchUi ui;
    Transfer transfer(transferLink, model, ui);

    std::printf("quorix-phonesim %s\n", qPrintable(simArgs.join(QLatin1Char(' '))));
    for (const auto& [what, command] :
         {std::pair{"read", &Transfer::startRead}, std::pair{"write", &Transfer::startWrite}}) {
        QElapsedTimer clock;
        ui.clock = &clock;
        QEventLoop loop;
        int result = -1;
        const auto c = QObject::connect(&transfer, &Transfer::finished, &loop, [&](int r) {
            result = r;
            loop.quit();
        });
        clock.start();
        (transfer.*command)();
        loop.exec();
        QObject::disconnect(c);
        const double all = double(clock.elapsed()) / 1000.0;
        const double up = double(ui.linkUp) / 1000.0;
        std::printf("%-5s %d names: %.1f s in all, %.1f s after the link was up (%.0f ms a "
                    "location); result %d, %d names in the book\n",
                    what, names, all, all - up, (all - up) * 1000.0 / names, result,
                    model.book().entryCount());
        if (result != Transfer::ResultReady)
            return 1;
    }
    return 0;
}
