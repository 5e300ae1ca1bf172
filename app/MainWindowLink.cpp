// The phone link: connection set-up, trace window, the demo phone.
#include "app/CommandActions.h"
#include "app/ConnectionDialog.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/StatusPanel.h"
#include "app/TraceWindow.h"
#include "link/SerialPortList.h"
#include "phonesim/PhoneSimProcess.h"

#include "app/FileDialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QStandardPaths>

namespace quorix {

void MainWindow::createLink() {
    serial_ = std::make_unique<link::SerialPort>();
    fbus_ = std::make_unique<link::FbusLink>(*serial_);
    // The connection dialog shows the settings once they are read.
    connect(this, &MainWindow::startupFinished, this, &MainWindow::syncConnectionDialog);
}

void MainWindow::createLinkWindows() {
    if (!traceWindow) {
        traceWindow = new TraceWindow(this);
        connect(traceWindow, &TraceWindow::pauseClicked, this, &MainWindow::togglePause);
        // Closing the trace window ends tracing.
        connect(traceWindow, &TraceWindow::closed, this, [this] { debugBox->setChecked(false); });
        fbus_->setTraceLog([this](const QByteArray& entry) { traceWindow->appendRecord(entry); });
    }
    if (!connectionDialog) {
        connectionDialog = new ConnectionDialog(this);
        // Only OK changes the connection; Cancel, Escape and the close box do not.
        connect(connectionDialog, &QDialog::accepted, this, &MainWindow::connectionClosed);
    }
}

link::LinkSettings MainWindow::linkSettings() const {
    link::LinkSettings s;
    s.port = config.port;
    s.cable = config.cable;
    s.device = demoActive() ? demoDevice_ : config.device;
    return s;
}

void MainWindow::syncConnectionDialog() {
    if (!connectionDialog)
        return;
    connectionDialog->setSelection(config.port, config.cable, linkSettings().device);
    connectionDialog->setNumberPrefix(config.numberPrefix);
}

void MainWindow::setupConnection() {
    if (!connectionDialog)
        return;
    // Adapters come and go; offer the devices there are now.
    connectionDialog->setDevices(link::listSerialPorts());
    syncConnectionDialog();
    connectionDialog->setWindowModality(Qt::ApplicationModal);
    connectionDialog->show();
}

void MainWindow::connectionClosed() {
    // What the dialog shows when OK is pressed is the connection.
    config.port = connectionDialog->port();
    config.cable = connectionDialog->cable();
    config.numberPrefix = connectionDialog->numberPrefix();
    editor_->setNumberPrefix(config.numberPrefix);
    const QByteArray device = connectionDialog->device();
    // The demo's device is for this run only: it stays out of the settings
    // unless the user picks another device, which then ends the demo's hold.
    if (demoActive() && device == demoDevice_)
        return;
    demoDevice_.clear();
    config.device = device;
}

void MainWindow::startLink() {
    fbus_->startLink(linkSettings(), this);
}

void MainWindow::showStatus(const QByteArray& text) {
    setPanel(0, QString::fromLatin1(text));
}

void MainWindow::showError(const QByteArray& caption, const QByteArray& text) {
    MessageBoxes::ask(this, QString::fromLatin1(caption), QString::fromLatin1(text),
                      QMessageBox::Critical, QMessageBox::Ok);
}

void MainWindow::linkStarted(bool ok) {
    if (!ok)
        showLinkFailure(linkSettings().portDevice(), serial_->errorString());
    Q_EMIT linkStartFinished(ok);
}

void MainWindow::showLinkFailure(const QByteArray& device, const QByteArray& reason) {
    // The box asks to check the configuration; the system's reason is at hand
    // in the status panel's tool tip.
    if (!reason.isEmpty())
        panelLabel(0)->setToolTip(panelText(0) + QLatin1Char('\n') +
                                  QString::fromLocal8Bit(device) + QStringLiteral(": ") +
                                  QString::fromLocal8Bit(reason));
}

void MainWindow::addRecordAction(QMenu* menu) {
    menu->addSeparator();
    // A recording may begin or end while a transfer runs.
    recordAction = commands_->add(QStringLiteral("extras.record"),
                                  menu->addAction(QStringLiteral("&Record the line...")),
                                  CommandActions::During::Allowed);
    recordAction->setCheckable(true);
    recordAction->setStatusTip(
        QStringLiteral("Keeps every byte to and from the phone, with its time, in a file you "
                       "can send in with a problem report."));
    connect(recordAction, &QAction::toggled, this, &MainWindow::toggleRecording);
}

void MainWindow::toggleRecording(bool on) {
    // The item shows whether a recording runs, whatever came of the request.
    const auto showChecked = [this](bool checked) {
        const QSignalBlocker block(recordAction);
        recordAction->setChecked(checked);
    };
    if (!on) {
        if (const auto recorder = serial_->recorder()) {
            serial_->setRecorder(nullptr);
            recorder->close();
            setPanel(0, QStringLiteral("The line was recorded into %1.")
                            .arg(QDir::toNativeSeparators(recorder->path())));
        }
        return;
    }
    const QString name =
        QStringLiteral("quorix-line-%1.qlr")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = FileDialogs::save(
        this, QStringLiteral("Record the line"),
        QStringLiteral("Line recordings|*.qlr|All files|*"),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), name);
    if (path.isEmpty()) {
        showChecked(false);
        return;
    }
    auto recorder = std::make_shared<link::LineRecorder>();
    if (QString error; !recorder->open(path, &error)) {
        showChecked(false);
        MessageBoxes::error(this, QStringLiteral("Could not record the line:\r") + error);
        return;
    }
    // A full disk stops the recording on whichever thread wrote; the window
    // hears of it on its own.
    recorder->setFailureHandler([this](const QString& error) {
        QMetaObject::invokeMethod(
            this,
            [this, error] {
                serial_->setRecorder(nullptr);
                const QSignalBlocker block(recordAction);
                recordAction->setChecked(false);
                MessageBoxes::error(this, QStringLiteral("The line recording stopped:\r") + error);
            },
            Qt::QueuedConnection);
    });
    serial_->setRecorder(std::move(recorder));
    setPanel(0, QStringLiteral("Recording the line into %1.").arg(QDir::toNativeSeparators(path)));
}

void MainWindow::toggleTrace(bool on) {
    // Tracing runs exactly while the box is ticked.
    fbus_->setTracing(on);
    if (!traceWindow)
        return;
    if (on)
        traceWindow->setPaused(false);
    // Pause leaves the window where it is.
    if (pausing_)
        return;
    traceWindow->setVisible(on);
}

void MainWindow::togglePause() {
    if (debugBox->isChecked()) {
        pausing_ = true;
        debugBox->setChecked(false);
        pausing_ = false;
        traceWindow->setPaused(true);
    } else {
        debugBox->setChecked(true);
    }
}

phonesim::PhoneSimProcess& MainWindow::demoPhone() {
    if (!demoPhone_) {
        demoPhone_ = new phonesim::PhoneSimProcess(this);
        connect(demoPhone_, &phonesim::PhoneSimProcess::ready, this, [this](const QString& dev) {
            demoDevice_ = QFile::encodeName(dev);
            // Only the device: a dialog open meanwhile keeps the user's choices.
            if (connectionDialog)
                connectionDialog->setDevice(demoDevice_);
            setPanel(0, QStringLiteral("Virtual phone ready on %1.").arg(dev));
            Q_EMIT demoReady(dev);
        });
        connect(demoPhone_, &phonesim::PhoneSimProcess::failed, this, [this](const QString& why) {
            setPanel(0, QStringLiteral("The virtual phone did not start."));
            MessageBoxes::error(this, QStringLiteral("Could not start the virtual phone:\r") + why);
        });
        connect(demoPhone_, &phonesim::PhoneSimProcess::stopped, this, [this] {
            // Its device is gone; the connection falls back to the user's own.
            const bool held = demoActive();
            demoDevice_.clear();
            if (held && connectionDialog)
                connectionDialog->setDevice(config.device);
            if (held)
                setPanel(0, QStringLiteral("The virtual phone has stopped."));
        });
    }
    return *demoPhone_;
}

void MainWindow::startDemo() {
    phonesim::PhoneSimProcess& phone = demoPhone();
    if (phone.isRunning())
        return;
    // From here on Setup is for this run only: a demo leaves the user's
    // settings as they were.
    demoRun_ = true;
    QStringList arguments;
    const QString book = phonesim::PhoneSimProcess::sampleBook(phone.program());
    if (!book.isEmpty())
        arguments << QStringLiteral("--book") << book;
    setPanel(0, QStringLiteral("Starting the virtual phone..."));
    if (!phone.start(arguments)) {
        setPanel(0, QStringLiteral("The virtual phone did not start."));
        MessageBoxes::error(this, QStringLiteral("Could not start the virtual phone:\r") +
                                      phone.errorString());
    }
}

void MainWindow::closeLink() {
    // The transmit thread ends first: it writes to the port that goes next.
    fbus_->stopLink();
    if (demoPhone_) {
        demoDevice_.clear();
        demoPhone_->stop();
    }
}

} // namespace quorix
