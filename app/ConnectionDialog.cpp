#include "app/ConnectionDialog.h"

#include "app/Placement.h"
#include "link/SerialPort.h"
#include "link/SerialPortList.h"
#include "link/StatusProbe.h"
#include "model/Book.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace quorix {

namespace {

const char* const CableNames[] = {"DAU-9P", "DLR-3"};

QString shownDevice(const QByteArray& device) {
    return QFile::decodeName(device);
}

} // namespace

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
    for (int i = 0; i < static_cast<int>(cableItems.size()); ++i) {
        auto* item = new QRadioButton(QString::fromLatin1(CableNames[i]), cableGroup);
        cables_->addButton(item, i);
        cableColumn->addWidget(item);
        cableItems[static_cast<size_t>(i)] = item;
    }
    cableColumn->addStretch();

    auto* deviceLabel = new QLabel(QStringLiteral("&Device:"), this);
    deviceBox = new QComboBox(this);
    // Two columns in the list: the path, and the device a link names.
    deviceList_ = new QStandardItemModel(0, 2, this);
    auto* deviceView = new QTreeView(deviceBox);
    deviceView->setHeaderHidden(true);
    deviceView->setRootIsDecorated(false);
    deviceView->setItemsExpandable(false);
    deviceView->setAllColumnsShowFocus(true);
    deviceView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    deviceView->header()->setStretchLastSection(false);
    deviceBox->setModel(deviceList_);
    deviceBox->setView(deviceView);
    deviceBox->setModelColumn(0);
    deviceBox->setEditable(true);
    deviceBox->setInsertPolicy(QComboBox::NoInsert);
    deviceBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    deviceBox->setMinimumContentsLength(32);
    deviceBox->lineEdit()->setPlaceholderText(QStringLiteral("none: the COM port above"));
    deviceBox->lineEdit()->setClearButtonEnabled(true);
    deviceBox->setToolTip(QStringLiteral("A serial device to use instead of the COM port, such "
                                         "as a USB adapter; leave it empty for the COM port."));
    deviceLabel->setBuddy(deviceBox);
    deviceNote = new QLabel(this);
    deviceNote->setWordWrap(true);
    deviceNote->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* prefixLabel = new QLabel(QStringLiteral("New numbers start &with:"), this);
    prefixEdit = new QLineEdit(this);
    // What a number keeps; a country prefix is short.
    prefixEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9+*#pw]{0,12}")), prefixEdit));
    prefixEdit->setPlaceholderText(DefaultNumberPrefix.toString());
    prefixEdit->setMaximumWidth(prefixEdit->fontMetrics().horizontalAdvance(u'0') * 16);
    prefixEdit->setToolTip(QStringLiteral("What New entry puts into a new number, and what a "
                                          "number becomes when it is emptied: your country's "
                                          "prefix, such as +49 or +44."));
    prefixLabel->setBuddy(prefixEdit);

    testButton = new QPushButton(QStringLiteral("&Test connection"), this);
    testButton->setAutoDefault(false);
    testButton->setToolTip(QStringLiteral("Opens the chosen port with the chosen cable and asks "
                                          "the phone for its status."));
    testLabel = new QLabel(this);
    testLabel->setWordWrap(true);
    testLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(testButton, &QPushButton::clicked, this, &ConnectionDialog::toggleTest);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    cancelButton = buttons->button(QDialogButtonBox::Cancel);
    okButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(deviceBox, &QComboBox::editTextChanged, this, &ConnectionDialog::updatePortGroup);
    connect(ports_, &QButtonGroup::idToggled, this, &ConnectionDialog::updateDeviceNote);

    auto* layout = new QGridLayout(this);
    layout->addWidget(portGroup, 0, 0);
    layout->addWidget(cableGroup, 0, 1);
    auto* deviceRow = new QHBoxLayout;
    deviceRow->addWidget(deviceLabel);
    deviceRow->addWidget(deviceBox, 1);
    layout->addLayout(deviceRow, 1, 0, 1, 2);
    layout->addWidget(deviceNote, 2, 0, 1, 2);
    auto* prefixRow = new QHBoxLayout;
    prefixRow->addWidget(prefixLabel);
    prefixRow->addWidget(prefixEdit);
    prefixRow->addStretch();
    layout->addLayout(prefixRow, 3, 0, 1, 2);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(testButton, 0, Qt::AlignTop);
    testRow->addWidget(testLabel, 1);
    layout->addLayout(testRow, 4, 0, 1, 2);
    layout->addWidget(buttons, 5, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setSelection(0, 1, {});
    setNumberPrefix(DefaultNumberPrefix.toString());
}

ConnectionDialog::~ConnectionDialog() {
    // The probe goes before the link it uses, the link before its port.
    delete probe_;
    probe_ = nullptr;
    testLink_.reset();
    testPort_.reset();
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

link::LinkSettings ConnectionDialog::linkSettings() const {
    link::LinkSettings s;
    s.port = port();
    s.cable = cable();
    s.device = device();
    return s;
}

void ConnectionDialog::setSelection(int port, int cable, const QByteArray& device) {
    ports_->button(std::clamp(port, 0, static_cast<int>(portItems.size()) - 1))->setChecked(true);
    cables_->button(std::clamp(cable, 0, static_cast<int>(cableItems.size()) - 1))
        ->setChecked(true);
    setDevice(device);
}

void ConnectionDialog::setDevice(const QByteArray& device) {
    deviceBox->setCurrentText(shownDevice(device));
    updatePortGroup();
}

QString ConnectionDialog::numberPrefix() const {
    return cleanNumber(prefixEdit->text());
}

void ConnectionDialog::setNumberPrefix(const QString& prefix) {
    prefixEdit->setText(cleanNumber(prefix));
}

void ConnectionDialog::updatePortGroup() {
    const bool device = !deviceBox->currentText().trimmed().isEmpty();
    portGroup->setEnabled(!device);
    portGroup->setToolTip(device ? QStringLiteral("Not used while a device is given below.")
                                 : QString());
    updateDeviceNote();
}

void ConnectionDialog::updateDeviceNote() {
    const QByteArray device = linkSettings().portDevice();
    bool denied = false;
    const QByteArray problem = link::deviceProblem(device, &denied);
    QString note;
    if (!problem.isEmpty()) {
        note = QStringLiteral("Cannot be used: %1: %2")
                   .arg(shownDevice(device), QString::fromLocal8Bit(problem));
        if (denied)
            note += QStringLiteral("\nYour user must be in the group \"dialout\".");
    } else if (const QByteArray target = link::deviceTarget(device); !target.isEmpty()) {
        note = QStringLiteral("The device %1.").arg(shownDevice(target));
    }
    deviceNote->setText(note);
    deviceNote->setVisible(!note.isEmpty());
}

void ConnectionDialog::setDevices(const QByteArrayList& devices) {
    // Refilling the list must not change what is typed in the field.
    const QString text = deviceBox->currentText();
    deviceList_->removeRows(0, deviceList_->rowCount());
    deviceList_->appendRow({new QStandardItem, new QStandardItem});
    for (const QByteArray& d : devices) {
        const QByteArray target = link::deviceTarget(d);
        auto* path = new QStandardItem(shownDevice(d));
        auto* named = new QStandardItem(
            target.isEmpty() ? QString() : QStringLiteral("→ ") + shownDevice(target));
        path->setToolTip(target.isEmpty() ? path->text()
                                          : path->text() + QLatin1Char('\n') + named->text());
        named->setToolTip(path->toolTip());
        deviceList_->appendRow({path, named});
    }
    // The list opens wide enough for both columns.
    auto* view = static_cast<QTreeView*>(deviceBox->view());
    view->resizeColumnToContents(0);
    view->resizeColumnToContents(1);
    view->setMinimumWidth(view->columnWidth(0) + view->columnWidth(1) + view->frameWidth() * 2 +
                          24);
    deviceBox->setCurrentText(text);
    updateDeviceNote();
}

QByteArrayList ConnectionDialog::devices() const {
    QByteArrayList out;
    for (int i = 0; i < deviceList_->rowCount(); ++i)
        if (const QString path = deviceList_->item(i, 0)->text(); !path.isEmpty())
            out << QFile::encodeName(path);
    return out;
}

bool ConnectionDialog::testing() const {
    return probe_ && probe_->running();
}

QString ConnectionDialog::testResult() const {
    return testing() ? QString() : testLabel->text();
}

void ConnectionDialog::toggleTest() {
    if (testing()) {
        probe_->cancel();
        return;
    }
    if (!probe_) {
        testPort_ = std::make_unique<link::SerialPort>();
        testLink_ = std::make_unique<link::FbusLink>(*testPort_);
        probe_ = new link::StatusProbe(*testLink_);
        connect(probe_, &link::StatusProbe::finished, this, &ConnectionDialog::showTestReport);
    }
    const link::LinkSettings settings = linkSettings();
    testLabel->setText(QStringLiteral("Asking the phone on %1 (%2)...")
                           .arg(shownDevice(settings.portDevice()),
                                QString::fromLatin1(CableNames[settings.cable])));
    testButton->setText(QStringLiteral("Stop &test"));
    probe_->start(settings, TestTimeoutMs);
}

void ConnectionDialog::showTestReport(const link::StatusReport& report) {
    testButton->setText(QStringLiteral("&Test connection"));
    testLabel->setText(report.text());
    Q_EMIT testFinished(report.text());
}

void ConnectionDialog::done(int result) {
    // A test does not outlive the dialog: its port is closed with it.
    if (testing())
        probe_->cancel();
    QDialog::done(result);
}

void ConnectionDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        placeOnOwner(this, centreOn);
        updateDeviceNote();
        // A result belongs to the visit that asked for it.
        if (!testing())
            testLabel->clear();
    }
}

} // namespace quorix
