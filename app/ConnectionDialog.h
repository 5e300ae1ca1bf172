#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDialog>
#include <array>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace quorix {

// The connection dialog: the port ("COM 1".."COM 4"), the cable, and a device
// path that stands in for the COM choice when it is set (a USB adapter, the
// virtual phone's pseudo-terminal). OK takes the selection; Cancel, Escape
// and the close box leave the connection as it was.
class ConnectionDialog : public QDialog {
    Q_OBJECT
public:
    explicit ConnectionDialog(QWidget* parent = nullptr);

    // The selection: port 0..3, cable 0 (DAU-9P) or 1 (DLR-3), the device path
    // (empty: the COM port).
    int port() const;
    int cable() const;
    QByteArray device() const;
    void setSelection(int port, int cable, const QByteArray& device);
    void setDevice(const QByteArray& device);

    // The devices offered in the device list, besides an empty entry.
    void setDevices(const QByteArrayList& devices);
    QByteArrayList devices() const;

    // Controls.
    QGroupBox* portGroup;
    QGroupBox* cableGroup;
    std::array<QRadioButton*, 4> portItems{};
    std::array<QRadioButton*, 2> cableItems{};
    QComboBox* deviceBox;
    QPushButton* okButton;
    QPushButton* cancelButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The COM choice counts only while no device is given.
    void updatePortGroup();

    QButtonGroup* ports_;
    QButtonGroup* cables_;
};

} // namespace quorix
