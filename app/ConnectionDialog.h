#pragma once

#include "link/FbusLink.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDialog>
#include <array>
#include <memory>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStandardItemModel;

namespace quorix {

namespace link {
class SerialPort;
class StatusProbe;
struct StatusReport;
} // namespace link

// The connection dialog: the port ("COM 1".."COM 4"), the cable, and a device
// path that stands in for the COM choice when it is set (a USB adapter, the
// virtual phone's pseudo-terminal); the prefix new numbers start with. A device
// that is missing or may not be used is flagged as it is chosen, and Test
// connection asks the phone on the chosen port for its status while the window
// goes on. OK takes the selection; Cancel, Escape and the close box leave the
// connection as it was.
class ConnectionDialog : public QDialog {
    Q_OBJECT
public:
    // Seconds Test connection waits for the phone's answer.
    static constexpr int TestTimeoutMs = 5000;

    explicit ConnectionDialog(QWidget* parent = nullptr);
    ~ConnectionDialog() override;

    // The selection: port 0..3, cable 0 (DAU-9P) or 1 (DLR-3), the device path
    // (empty: the COM port).
    int port() const;
    int cable() const;
    QByteArray device() const;
    void setSelection(int port, int cable, const QByteArray& device);
    void setDevice(const QByteArray& device);
    // The link the dialog shows: what Test connection opens.
    link::LinkSettings linkSettings() const;

    // What new numbers start with (the country prefix), cleaned as a number.
    QString numberPrefix() const;
    void setNumberPrefix(const QString& prefix);

    // The devices offered in the device list, besides an empty entry; links
    // (/dev/serial/by-id/...) show the device they name beside them.
    void setDevices(const QByteArrayList& devices);
    QByteArrayList devices() const;

    // Whether a test runs; its result when it ended (empty before).
    bool testing() const;
    QString testResult() const;

    // Controls.
    QGroupBox* portGroup;
    QGroupBox* cableGroup;
    std::array<QRadioButton*, 4> portItems{};
    std::array<QRadioButton*, 2> cableItems{};
    QComboBox* deviceBox;
    QLabel* deviceNote; // the device a link names, or what is wrong with the device
    QLineEdit* prefixEdit;
    QPushButton* testButton;
    QLabel* testLabel; // the phone's answer, or why there is none
    QPushButton* okButton;
    QPushButton* cancelButton;

Q_SIGNALS:
    // A test of the connection ended, with what it found.
    void testFinished(const QString& result);

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    // The COM choice counts only while no device is given.
    void updatePortGroup();
    // Says what the chosen device is, or what keeps it from being used.
    void updateDeviceNote();
    void toggleTest();
    void showTestReport(const link::StatusReport& report);

    QButtonGroup* ports_;
    QButtonGroup* cables_;
    QStandardItemModel* deviceList_;
    // Test connection's own port and link: the window's link stays as it is.
    std::unique_ptr<link::SerialPort> testPort_;
    std::unique_ptr<link::FbusLink> testLink_;
    link::StatusProbe* probe_ = nullptr;
};

} // namespace quorix
