#include "app/ConnectionDialog.h"

#include "app/Placement.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace quorix {

ConnectionDialog::ConnectionDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
    setWindowTitle(QStringLiteral("Connection"));

    portGroup = new QGroupBox(QStringLiteral("Port"), this);
    ports_ = new QButtonGroup(this);
    auto* portColumn = new QVBoxLayout(portGroup);
    for (int i = 0; i < static_cast<int>(portItems.size()); ++i) {
        auto* item = new QRadioButton(QStringLiteral("COM %1").arg(i + 1), portGroup);
        ports_->addButton(item, i);
        portColumn->addWidget(item);
        portItems[static_cast<size_t>(i)] = item;
    }

    cableGroup = new QGroupBox(QStringLiteral("Cable"), this);
    cables_ = new QButtonGroup(this);
    auto* cableColumn = new QVBoxLayout(cableGroup);
    const char* const cableNames[] = {"DAU-9P", "DLR-3"};
    for (int i = 0; i < static_cast<int>(cableItems.size()); ++i) {
        auto* item = new QRadioButton(QString::fromLatin1(cableNames[i]), cableGroup);
        cables_->addButton(item, i);
        cableColumn->addWidget(item);
        cableItems[static_cast<size_t>(i)] = item;
    }
    cableColumn->addStretch();

    auto* deviceLabel = new QLabel(QStringLiteral("&Device:"), this);
    deviceBox = new QComboBox(this);
    deviceBox->setEditable(true);
    deviceBox->setInsertPolicy(QComboBox::NoInsert);
    deviceBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    deviceBox->setMinimumContentsLength(24);
    deviceBox->lineEdit()->setPlaceholderText(QStringLiteral("none: the COM port above"));
    deviceBox->lineEdit()->setClearButtonEnabled(true);
    deviceBox->setToolTip(QStringLiteral("A serial device to use instead of the COM port, such "
                                         "as a USB adapter; leave it empty for the COM port."));
    deviceLabel->setBuddy(deviceBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    cancelButton = buttons->button(QDialogButtonBox::Cancel);
    okButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(deviceBox, &QComboBox::editTextChanged, this, &ConnectionDialog::updatePortGroup);

    auto* layout = new QGridLayout(this);
    layout->addWidget(portGroup, 0, 0);
    layout->addWidget(cableGroup, 0, 1);
    auto* deviceRow = new QHBoxLayout;
    deviceRow->addWidget(deviceLabel);
    deviceRow->addWidget(deviceBox, 1);
    layout->addLayout(deviceRow, 1, 0, 1, 2);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setSelection(0, 1, {});
}

int ConnectionDialog::port() const {
    return std::max(ports_->checkedId(), 0);
}

int ConnectionDialog::cable() const {
    return std::max(cables_->checkedId(), 0);
}

QByteArray ConnectionDialog::device() const {
    return QFile::encodeName(deviceBox->currentText().trimmed());
}

void ConnectionDialog::setSelection(int port, int cable, const QByteArray& device) {
    ports_->button(std::clamp(port, 0, static_cast<int>(portItems.size()) - 1))->setChecked(true);
    cables_->button(std::clamp(cable, 0, static_cast<int>(cableItems.size()) - 1))
        ->setChecked(true);
    setDevice(device);
}

void ConnectionDialog::setDevice(const QByteArray& device) {
    deviceBox->setCurrentText(QFile::decodeName(device));
    updatePortGroup();
}

void ConnectionDialog::updatePortGroup() {
    const bool device = !deviceBox->currentText().trimmed().isEmpty();
    portGroup->setEnabled(!device);
    portGroup->setToolTip(device ? QStringLiteral("Not used while a device is given below.")
                                 : QString());
}

void ConnectionDialog::setDevices(const QByteArrayList& devices) {
    // Refilling the list must not change what is typed in the field.
    const QString text = deviceBox->currentText();
    deviceBox->clear();
    deviceBox->addItem(QString());
    for (const QByteArray& d : devices)
        deviceBox->addItem(QFile::decodeName(d));
    deviceBox->setCurrentText(text);
}

QByteArrayList ConnectionDialog::devices() const {
    QByteArrayList out;
    for (int i = 0; i < deviceBox->count(); ++i)
        if (!deviceBox->itemText(i).isEmpty())
            out << QFile::encodeName(deviceBox->itemText(i));
    return out;
}

void ConnectionDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        placeOnOwner(this, centreOn);
}

} // namespace quorix
