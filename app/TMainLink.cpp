// The phone link: connection set-up, trace window, the demo phone.
#include "app/MessageBoxes.h"
#include "app/TMain.h"
#include "app/Tconnection.h"
#include "app/Tdebug.h"
#include "link/SerialPorts.h"
#include "phonesim/PhoneSimProcess.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>

namespace quorix {

void TMain::createLink() {
    serial_ = std::make_unique<link::TCommPortDriver>();
    fbus_ = std::make_unique<link::FbusLink>(*serial_);
    // The connection dialog shows the settings once they are read.
    connect(this, &TMain::startupFinished, this, &TMain::syncConnectionDialog);
}

void TMain::createLinkWindows() {
    if (!debugwnd) {
        debugwnd = new Tdebug(this);
        connect(debugwnd, &Tdebug::pauseClicked, this, &TMain::pausClick);
        // Closing the trace window ends tracing.
        connect(debugwnd, &Tdebug::closed, this, [this] { dodebug->setChecked(false); });
        fbus_->setTraceLog([this](const QByteArray& entry) { debugwnd->appendRecord(entry); });
    }
    if (!connection) {
        connection = new Tconnection(this);
        connect(connection, &QDialog::finished, this, &TMain::connectionClosed);
    }
}

link::LinkSettings TMain::linkSettings() const {
    link::LinkSettings s;
    s.port = config.port;
    s.cable = config.cable;
    s.device = demoActive() ? demoDevice_ : config.device;
    return s;
}

void TMain::syncConnectionDialog() {
    if (connection)
        connection->setSelection(config.port, config.cable, linkSettings().device);
}

void TMain::setupClick() {
    if (phonebook().transferactive || !connection)
        return;
    // Adapters come and go; offer the devices there are now.
    connection->setDevices(link::serialports());
    syncConnectionDialog();
    connection->setWindowModality(Qt::ApplicationModal);
    connection->show();
}

void TMain::connectionClosed() {
    // Whatever the dialog shows when it closes is the connection.
    config.port = connection->port();
    config.cable = connection->cable();
    const QByteArray device = connection->device();
    // The demo's device is for this run only: it stays out of the settings
    // unless the user picks another device, which then ends the demo's hold.
    if (demoActive() && device == demoDevice_)
        return;
    demoDevice_.clear();
    config.device = device;
}

void TMain::fbusinit() {
    fbus_->fbusinit(linkSettings(), this);
}

void TMain::showStatus(const QByteArray& text) {
    setPanel(0, QString::fromLatin1(text));
}

void TMain::showError(const QByteArray& caption, const QByteArray& text) {
    MessageBoxes::ask(this, QString::fromLatin1(caption), QString::fromLatin1(text),
                      QMessageBox::Critical, QMessageBox::Ok);
}

void TMain::linkStarted(bool ok) {
    if (!ok) {
        // The box asks to check the configuration; the system's reason is at
        // hand in the status panel's tool tip.
        const QByteArray reason = serial_->errorString();
        if (!reason.isEmpty())
            panelLabel(0)->setToolTip(panelText(0) + QLatin1Char('\n') +
                                      QString::fromLocal8Bit(linkSettings().portDevice()) +
                                      QStringLiteral(": ") + QString::fromLocal8Bit(reason));
    }
    Q_EMIT linkStartFinished(ok);
}

void TMain::dodebugClick(bool on) {
    // Tracing runs exactly while the box is ticked.
    fbus_->setTracing(on);
    if (!debugwnd)
        return;
    if (on)
        debugwnd->setPaused(false);
    // Pause leaves the window where it is.
    if (pausing_)
        return;
    debugwnd->setVisible(on);
}

void TMain::pausClick() {
    if (dodebug->isChecked()) {
        pausing_ = true;
        dodebug->setChecked(false);
        pausing_ = false;
        debugwnd->setPaused(true);
    } else {
        dodebug->setChecked(true);
    }
}

phonesim::PhoneSimProcess& TMain::demoPhone() {
    if (!demoPhone_) {
        demoPhone_ = new phonesim::PhoneSimProcess(this);
        connect(demoPhone_, &phonesim::PhoneSimProcess::ready, this, [this](const QString& dev) {
            demoDevice_ = QFile::encodeName(dev);
            // Only the device: a dialog open meanwhile keeps the user's choices.
            if (connection)
                connection->setDevice(demoDevice_);
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
            if (held && connection)
                connection->setDevice(config.device);
            if (held)
                setPanel(0, QStringLiteral("The virtual phone has stopped."));
        });
    }
    return *demoPhone_;
}

void TMain::startDemo() {
    phonesim::PhoneSimProcess& phone = demoPhone();
    if (phone.isRunning())
        return;
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

void TMain::closeLink() {
    // The transmit thread ends first: it writes to the port that goes next.
    fbus_->closelink();
    if (demoPhone_) {
        demoDevice_.clear();
        demoPhone_->stop();
    }
}

} // namespace quorix
