// The window side of the phone link: the connection dialog, the trace window
// and the Debug box, the link start-up as the window reports it, and the demo
// with the real virtual phone on a pseudo-terminal.
#include "AppTestSupport.h"
#include "app/BookTree.h"

#include "app/ConnectionDialog.h"
#include "app/FileDialogs.h"
#include "app/Placement.h"
#include "app/ProfileFile.h"
#include "app/StatusPanel.h"
#include "app/TraceWindow.h"
#include "link/Clock.h"
#include "link/Frame.h"
#include "link/LineRecording.h"
#include "link/SerialPortList.h"
#include "link/Trace.h"
#include "phonesim/PhoneSimProcess.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QWindow>
#include <functional>

using namespace quorix;
using namespace quorix::test;

namespace {

// The keys after PORT and CABLE as a first run writes them.
const QByteArray CsvDefaults =
    "CSV_NAME=1\nCSV_START=2\nCSV_STOP=7\nCSV_LINE=1\nCSV_SEP=59\nCSV_QUOTES=NO\n"
    "CSV_ENCODING=auto\n";

const QByteArray LinkOpeningFrame = QByteArray::fromHex("1E002A0400060001000101413543");
const QByteArray StatusRequestData = QByteArray::fromHex("00010001");

// A trace entry as the log shows it.
QString shown(const QByteArray& entry) {
    return QString::fromLatin1(entry).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// The tick count of the first record in the log that starts with this header.
std::optional<quint32> tickOf(const QString& log, const QString& header) {
    const QRegularExpression re(QStringLiteral("time           : (\\d+) / start of header: 1E / ") +
                                QRegularExpression::escape(header));
    const QRegularExpressionMatch m = re.match(log);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toUInt();
}

const QString ToPhone = QStringLiteral("target/source  : TE    > PHONE (00 > 2A)");
const QString FromPhone = QStringLiteral("target/source  : PHONE > TE    (2A > 00)");

// Frame size as the window system places it.
QSize frameSize(QWidget* w) {
    return w->size().grownBy(w->windowHandle() ? w->windowHandle()->frameMargins() : QMargins());
}

// Types a device into the dialog's field, as the user does.
void chooseDeviceText(ConnectionDialog& c, const QString& device) {
    c.deviceBox->lineEdit()->selectAll();
    QTest::keyClicks(c.deviceBox->lineEdit(), device);
    if (device.isEmpty())
        QTest::keyClick(c.deviceBox->lineEdit(), Qt::Key_Delete);
}

// The device path of the dialog set by typing, then OK: the way a user does it.
void chooseDevice(MainWindow& w, const QString& device) {
    test::command(w, "connection.setup")->trigger();
    QVERIFY(test::child<ConnectionDialog>(w)->isVisible());
    test::child<ConnectionDialog>(w)->deviceBox->lineEdit()->selectAll();
    if (device.isEmpty())
        QTest::keyClick(test::child<ConnectionDialog>(w)->deviceBox->lineEdit(), Qt::Key_Delete);
    else
        QTest::keyClicks(test::child<ConnectionDialog>(w)->deviceBox->lineEdit(), device);
    test::child<ConnectionDialog>(w)->okButton->click();
    QVERIFY(!test::child<ConnectionDialog>(w)->isVisible());
}

// Runs the built virtual phone with the sample book.
class VirtualPhone {
public:
    VirtualPhone() {
        QSignalSpy ready(&sim, &phonesim::PhoneSimProcess::ready);
        if (!sim.start(
                {QStringLiteral("--book"), phonesim::PhoneSimProcess::sampleBook(sim.program())}))
            return;
        ready.wait(10000);
    }
    QByteArray device() const { return QFile::encodeName(sim.devicePath()); }
    phonesim::PhoneSimProcess sim;
};

} // namespace

class TestLinkGui : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { MessageBoxes::clearHook(); }

    // --- Connection dialog ------------------------------------------------

    void connectionDialogShape() {
        WorkDir dir;
        auto w = startWindow();
        ConnectionDialog* c = test::child<ConnectionDialog>(*w);
        QVERIFY(c && !c->isVisible());
        QCOMPARE(c->windowTitle(), QStringLiteral("Connection"));
        QCOMPARE(c->portGroup->title(), QStringLiteral("Port"));
        QCOMPARE(c->cableGroup->title(), QStringLiteral("Cable"));
        QStringList items;
        for (QRadioButton* b : c->portItems)
            items << b->text();
        for (QRadioButton* b : c->cableItems)
            items << b->text();
        QCOMPARE(items, QStringList({"COM 1", "COM 2", "COM 3", "COM 4", "DAU-9P", "DLR-3"}));
        // Test connection, OK and Cancel.
        const auto buttons = c->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 3);
        QCOMPARE(c->testButton->text().remove(QLatin1Char('&')), QStringLiteral("Test connection"));
        QVERIFY(!c->testButton->isDefault());
        QCOMPARE(c->numberPrefix(), QStringLiteral("+49"));
        QCOMPARE(c->okButton->text().remove(QLatin1Char('&')), QStringLiteral("OK"));
        QCOMPARE(c->cancelButton->text().remove(QLatin1Char('&')), QStringLiteral("Cancel"));
        QVERIFY(c->okButton->isDefault());
        // First run: COM 1 and DLR-3, no device.
        QVERIFY(c->portItems[0]->isChecked());
        QVERIFY(c->cableItems[1]->isChecked());
        QCOMPARE(c->device(), QByteArray());

        // F10 shows it modally, centred on the main window, with a fixed size.
        test::command(*w, "connection.setup")->trigger();
        QVERIFY(c->isVisible());
        QCOMPARE(c->windowModality(), Qt::ApplicationModal);
        QCOMPARE(c->minimumSize(), c->maximumSize());
        QCOMPARE(c->frameGeometry().topLeft(),
                 centreOn(w->frameGeometry(), frameSize(c), w->screen()->geometry()));
        // The device list offers the system's serial ports.
        QCOMPARE(c->devices(), link::listSerialPorts());
        c->okButton->click();
        QVERIFY(!c->isVisible());
    }

    void connectionFromSettingsAndBack() {
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=4\nCABLE=0\n");
        auto w = startWindow();
        ConnectionDialog* c = test::child<ConnectionDialog>(*w);
        QVERIFY(c->portItems[3]->isChecked());
        QVERIFY(c->cableItems[0]->isChecked());
        QCOMPARE(w->linkSettings().port, 3);
        QCOMPARE(w->linkSettings().cable, int(link::CableDAU9P));

        // OK keeps the selection.
        test::command(*w, "connection.setup")->trigger();
        c->portItems[2]->click();
        c->okButton->click();
        QCOMPARE(w->linkSettings().port, 2);
        // Cancel, Escape and the close box leave the connection as it was, and
        // the dialog shows it so the next time.
        const std::function<void()> dismissals[] = {
            [c] { c->cancelButton->click(); },
            [c] { QTest::keyClick(c, Qt::Key_Escape); },
            [c] { QVERIFY(c->close()); },
        };
        for (const auto& dismiss : dismissals) {
            test::command(*w, "connection.setup")->trigger();
            c->cableItems[1]->click();
            c->portItems[0]->click();
            chooseDeviceText(*c, QStringLiteral("/dev/ttyUSB9"));
            dismiss();
            QVERIFY(!c->isVisible());
            QCOMPARE(w->linkSettings().cable, int(link::CableDAU9P));
            QCOMPARE(w->linkSettings().portDevice(), QByteArray("/dev/ttyS2"));
            test::command(*w, "connection.setup")->trigger();
            QVERIFY(c->cableItems[0]->isChecked());
            QVERIFY(c->portItems[2]->isChecked());
            QCOMPARE(c->device(), QByteArray());
            c->cancelButton->click();
        }
        test::command(*w, "connection.setup")->trigger();
        c->cableItems[1]->click();
        c->okButton->click();
        QCOMPARE(w->linkSettings().cable, int(link::CableDLR3));

        QVERIFY(w->close());
        QCOMPARE(dir.readConfig(), "[CONFIG]\nPORT=3\nCABLE=1\n" + CsvDefaults);
    }

    void portChoiceOffWhileADeviceIsGiven() {
        WorkDir dir;
        auto w = startWindow();
        ConnectionDialog* c = test::child<ConnectionDialog>(*w);
        test::command(*w, "connection.setup")->trigger();
        QVERIFY(c->portGroup->isEnabled());
        chooseDeviceText(*c, QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(!c->portGroup->isEnabled());
        QVERIFY(c->cableGroup->isEnabled());
        chooseDeviceText(*c, QStringLiteral("  "));
        QVERIFY(c->portGroup->isEnabled());
        c->okButton->click();
        // A device from the settings file shows the choice off when the dialog opens.
        w->settings().device = "/dev/ttyACM0";
        test::command(*w, "connection.setup")->trigger();
        QVERIFY(!c->portGroup->isEnabled());
        c->cancelButton->click();
    }

    void devicePathRoundTrip() {
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=2\nDEVICE=/dev/ttyUSB0\n");
        auto w = startWindow();
        QCOMPARE(test::child<ConnectionDialog>(*w)->device(), QByteArray("/dev/ttyUSB0"));
        QCOMPARE(w->linkSettings().portDevice(), QByteArray("/dev/ttyUSB0"));

        chooseDevice(*w, QStringLiteral("/dev/serial/by-id/usb-Nokia_DLR-3 cable"));
        QCOMPARE(w->linkSettings().device, QByteArray("/dev/serial/by-id/usb-Nokia_DLR-3 cable"));
        QVERIFY(w->close());
        // A key the file has is updated where it stands.
        QCOMPARE(dir.readConfig(),
                 "[CONFIG]\nPORT=2\nDEVICE=/dev/serial/by-id/usb-Nokia_DLR-3 cable\nCABLE=1\n" +
                     CsvDefaults);

        // Read back, then emptied: the COM port is used and the key is cleared.
        auto again = startWindow();
        QCOMPARE(again->linkSettings().device,
                 QByteArray("/dev/serial/by-id/usb-Nokia_DLR-3 cable"));
        chooseDevice(*again, QString());
        QCOMPARE(again->linkSettings().portDevice(), QByteArray("/dev/ttyS1"));
        QVERIFY(again->close());
        ProfileFile file(dir.file(QStringLiteral("quorix7.ini")));
        QVERIFY(file.load());
        QCOMPARE(file.value("CONFIG", "DEVICE"), std::optional<QByteArray>(""));
        QCOMPARE(file.value("CONFIG", "PORT"), std::optional<QByteArray>("2"));
    }

    void numberPrefixFromSetupKeptAfterTheOtherKeys() {
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=2\nDEVICE=/dev/ttyUSB0\n");
        auto w = startWindow();
        QCOMPARE(test::child<ConnectionDialog>(*w)->numberPrefix(), QStringLiteral("+49"));
        test::command(*w, "connection.setup")->trigger();
        ConnectionDialog* c = test::child<ConnectionDialog>(*w);
        c->prefixEdit->selectAll();
        QTest::keyClicks(c->prefixEdit, QStringLiteral("+44 x")); // only what a number keeps
        QCOMPARE(c->prefixEdit->text(), QStringLiteral("+44"));
        c->okButton->click();
        // New entry and an emptied number use it.
        const QModelIndex anna = w->model().indexOf(w->model().insertName(0, "Anna"));
        w->treeView()->setCurrentIndex(anna);
        test::command(*w, "tree.newEntry")->trigger();
        QCOMPARE(describeBook(w->phonebook()), QStringLiteral("Anna\n  General: +44\n"));
        QVERIFY(w->model().setData(w->model().index(0, 0, anna), QStringLiteral("0171")));
        QVERIFY(w->model().setData(w->model().index(0, 0, anna), QString()));
        QCOMPARE(describeBook(w->phonebook()), QStringLiteral("Anna\n  General: +44\n"));
        w->phonebook().bookChanged = false;
        QVERIFY(w->close());
        QCOMPARE(dir.readConfig(), "[CONFIG]\nPORT=2\nDEVICE=/dev/ttyUSB0\nCABLE=1\n" +
                                       CsvDefaults + "NUMBER_PREFIX=+44\n");
        auto again = startWindow();
        QCOMPARE(again->settings().numberPrefix, QStringLiteral("+44"));
        QCOMPARE(test::child<ConnectionDialog>(*again)->numberPrefix(), QStringLiteral("+44"));
    }

    void setupFlagsAndTestsTheDevice_data() {
        QTest::addColumn<QString>("device"); // "phone": the virtual phone; "link": a link to it
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("result");
        QTest::newRow("missing device")
            << QStringLiteral("/nonexistent/ttyQuorix")
            << QStringLiteral("Cannot be used: /nonexistent/ttyQuorix: No such file or directory")
            << QStringLiteral("Could not open serial port /nonexistent/ttyQuorix: No such file "
                              "or directory");
        QTest::newRow("not a serial device")
            << QStringLiteral("file") << QStringLiteral("Cannot be used: FILE: Not a serial device")
            << QStringLiteral("Could not open serial port FILE: Inappropriate ioctl for device");
        QTest::newRow("virtual phone") << QStringLiteral("phone") << QString()
                                       << QStringLiteral("Phone status: REGISTERED - BATTERY");
        QTest::newRow("link to the virtual phone")
            << QStringLiteral("link") << QStringLiteral("The device PHONE.")
            << QStringLiteral("Phone status: REGISTERED - BATTERY");
    }

    void setupFlagsAndTestsTheDevice() {
        QFETCH(QString, device);
        QFETCH(QString, note);
        QFETCH(QString, result);
        WorkDir dir;
        VirtualPhone phone;
        const QString phoneDevice = QString::fromLocal8Bit(phone.device());
        QVERIFY(!phoneDevice.isEmpty());
        const QString link = dir.file(QStringLiteral("usb-Nokia_DLR-3"));
        QVERIFY(QFile::link(phoneDevice, link));
        const QString file = dir.file(QStringLiteral("plain"));
        dir.write(QStringLiteral("plain"), "x");
        device = device == QLatin1String("phone")  ? phoneDevice
                 : device == QLatin1String("link") ? link
                 : device == QLatin1String("file") ? file
                                                   : device;
        note.replace(QLatin1String("FILE"), file).replace(QLatin1String("PHONE"), phoneDevice);
        result.replace(QLatin1String("FILE"), file);

        auto w = startWindow();
        ConnectionDialog* c = test::child<ConnectionDialog>(*w);
        test::command(*w, "connection.setup")->trigger();
        // The list names the device behind a link.
        c->setDevices({link.toLocal8Bit()});
        QCOMPARE(c->devices(), QByteArrayList{link.toLocal8Bit()});
        QCOMPARE(c->deviceBox->model()->index(1, 1).data().toString(),
                 QStringLiteral("→ ") + phoneDevice);
        chooseDeviceText(*c, device);
        QCOMPARE(c->deviceNote->text(), note);
        QCOMPARE(c->deviceNote->isVisibleTo(c), !note.isEmpty());

        // The test runs while the window goes on, and can be stopped.
        QSignalSpy finished(c, &ConnectionDialog::testFinished);
        c->testButton->click();
        QVERIFY(c->testing());
        QCOMPARE(c->testButton->text().remove(u'&'), QStringLiteral("Stop test"));
        QVERIFY(
            finished.wait(link::FbusLink::StartDelayMs + ConnectionDialog::TestTimeoutMs + 2000));
        QCOMPARE(finished.first().first().toString(), result);
        QCOMPARE(c->testLabel->text(), result);
        QCOMPARE(c->testButton->text().remove(u'&'), QStringLiteral("Test connection"));
        c->testButton->click();
        c->testButton->click();
        QCOMPARE(finished.last().first().toString(),
                 QStringLiteral("The test of %1 was stopped.").arg(device));
        // The window's own link was not touched, and the dialog's test port is closed.
        QVERIFY(!w->serial().isOpen());
        c->cancelButton->click();
        QCOMPARE(w->linkSettings().device, QByteArray());
    }

    void setupRefusedDuringTransfer() {
        WorkDir dir;
        auto w = startWindow();
        {
            TransferRunning running(*w);
            test::command(*w, "connection.setup")->trigger();
            QVERIFY(!test::child<ConnectionDialog>(*w)->isVisible());
        }
        test::command(*w, "connection.setup")->trigger();
        QVERIFY(test::child<ConnectionDialog>(*w)->isVisible());
        test::child<ConnectionDialog>(*w)->okButton->click();
    }

    // --- Trace window and the Debug box -------------------------------------

    void traceWindowShape() {
        WorkDir dir;
        auto w = startWindow();
        TraceWindow* t = test::child<TraceWindow>(*w);
        QVERIFY(t && !t->isVisible());
        QCOMPARE(t->windowTitle(), QStringLiteral("FBUS trace"));
        QVERIFY(t->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(t->onTopBox->isChecked());
        QCOMPARE(t->onTopBox->text(), QStringLiteral("stay on top"));
        QCOMPARE(t->pauseButton->text(), QStringLiteral("Pause"));
        QCOMPARE(t->clearButton->text(), QStringLiteral("Clear"));
        QCOMPARE(t->closeButton->text(), QStringLiteral("Close"));
        QVERIFY(t->log->isReadOnly());
        QCOMPARE(t->log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(t->borders->title(), QStringLiteral("Custom borders"));
        QStringList labels;
        for (QLabel* l : t->borders->findChildren<QLabel*>())
            labels << l->text();
        QCOMPARE(labels, QStringList({"Start:", "Stop:",
                                      "You can specify the first/last location for "
                                      "reading/writing.\n"
                                      "Writing starts with the first entry in book (\"Write\") "
                                      "or with \n"
                                      "the selected entry (\"Rewrite [Ctrl-R]\")."}));
        QVERIFY(t->note->font().pointSizeF() < t->startBorderEdit->font().pointSizeF());

        // Unticking "stay on top" makes it a normal window, and back.
        test::child<QCheckBox>(*w, "debugBox")->setChecked(true);
        const QPoint place = t->pos();
        t->onTopBox->click();
        QVERIFY(!(t->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(t->isVisible());
        QCOMPARE(t->pos(), place);
        t->onTopBox->click();
        QVERIFY(t->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void traceWindowPlacement() {
        const QRect screen(0, 0, 1024, 768);
        // Level with the owner's middle, 10 pixels from the right edge.
        QCOMPARE(TraceWindow::placement(QRect(30, 30, 505, 708), QSize(400, 301), screen),
                 QPoint(1024 - 400 - 10, 30 + (708 - 301) / 2));
        // Raised to keep 30 pixels above the bottom edge.
        QCOMPARE(TraceWindow::placement(QRect(30, 500, 505, 260), QSize(400, 300), screen),
                 QPoint(614, 768 - 300 - 30));
        // A window taller than its owner: the half is rounded toward zero.
        QCOMPARE(TraceWindow::placement(QRect(30, 100, 505, 101), QSize(400, 300), screen).y(),
                 100 + (101 - 300) / 2);

        WorkDir dir;
        auto w = startWindow();
        test::child<QCheckBox>(*w, "debugBox")->setChecked(true);
        QCOMPARE(test::child<TraceWindow>(*w)->frameGeometry().topLeft(),
                 TraceWindow::placement(w->frameGeometry(), frameSize(test::child<TraceWindow>(*w)),
                                        w->screen()->geometry()));
    }

    void debugBoxShowsHidesAndTraces() {
        WorkDir dir;
        auto w = startWindow();
        TraceWindow* t = test::child<TraceWindow>(*w);
        QVERIFY(!test::child<QCheckBox>(*w, "debugBox")->isChecked());
        QVERIFY(!w->fbus().tracing());

        test::child<QCheckBox>(*w, "debugBox")->click();
        QVERIFY(t->isVisible());
        QVERIFY(w->fbus().tracing());
        QCOMPARE(t->logText(), QString());

        // The link-opening frame, as it is built, with its tick count.
        const quint32 before = link::systemClock().now();
        QVERIFY(w->fbus().sendFrame(link::TypeStatus, StatusRequestData, 1, false));
        const quint32 after = link::systemClock().now();
        const QString log = t->logText();
        const auto tick = tickOf(log, ToPhone);
        QVERIFY2(tick, qPrintable(log));
        QVERIFY(*tick >= before && *tick <= after);
        QCOMPARE(log, shown(link::traceFrame(LinkOpeningFrame, *tick)));
        QVERIFY(log.contains(QLatin1String("message type   : 04 GET PHONE STATUS\n")));

        // Acknowledgements are never traced.
        w->fbus().sendAck(QByteArray::fromHex("1E2A000400060001000101413543"));
        QCOMPARE(t->logText(), log);

        // Unticking hides the window and stops tracing; the log is kept.
        test::child<QCheckBox>(*w, "debugBox")->click();
        QVERIFY(!t->isVisible());
        QVERIFY(!w->fbus().tracing());
        w->fbus().sendFrame(link::TypeStatus, StatusRequestData, 1, false);
        QCOMPARE(t->logText(), log);

        // Closing the window, by "Close" or its close box, unticks Debug.
        test::child<QCheckBox>(*w, "debugBox")->click();
        t->closeButton->click();
        QVERIFY(!t->isVisible());
        QVERIFY(!test::child<QCheckBox>(*w, "debugBox")->isChecked());
        QVERIFY(!w->fbus().tracing());
        test::child<QCheckBox>(*w, "debugBox")->click();
        QVERIFY(t->close());
        QVERIFY(!test::child<QCheckBox>(*w, "debugBox")->isChecked());

        // Clear empties the log, entries waiting for their batch included.
        test::child<QCheckBox>(*w, "debugBox")->click();
        w->fbus().sendFrame(link::TypeStatus, StatusRequestData, 1, false);
        t->clearButton->click();
        QCOMPARE(t->logText(), QString());
        QTest::qWait(TraceWindow::BatchMs * 2);
        QCOMPARE(t->log->toPlainText(), QString());
    }

    void pauseAndResume() {
        WorkDir dir;
        auto w = startWindow();
        TraceWindow* t = test::child<TraceWindow>(*w);
        test::child<QCheckBox>(*w, "debugBox")->click();

        // Pause: tracing stops, the window stays open.
        t->pauseButton->click();
        QCOMPARE(t->pauseButton->text(), QStringLiteral("Resume"));
        QVERIFY(!test::child<QCheckBox>(*w, "debugBox")->isChecked());
        QVERIFY(t->isVisible());
        w->fbus().sendFrame(link::TypeStatus, StatusRequestData, 1, false);
        QCOMPARE(t->logText(), QString());

        // Resume: tracing goes on.
        t->pauseButton->click();
        QCOMPARE(t->pauseButton->text(), QStringLiteral("Pause"));
        QVERIFY(test::child<QCheckBox>(*w, "debugBox")->isChecked());
        QVERIFY(t->isVisible());
        w->fbus().sendFrame(link::TypeStatus, StatusRequestData, 1, false);
        QVERIFY(t->logText().contains(QLatin1String("GET PHONE STATUS")));

        // Paused, closed, and ticked again from the main window: tracing runs,
        // and the button says so.
        t->pauseButton->click();
        t->closeButton->click();
        test::child<QCheckBox>(*w, "debugBox")->click();
        QVERIFY(t->isVisible());
        QCOMPARE(t->pauseButton->text(), QStringLiteral("Pause"));
    }

    void customBorders() {
        WorkDir dir;
        auto w = startWindow();
        TraceWindow* t = test::child<TraceWindow>(*w);
        QCOMPARE(t->startBorderText(), QString());
        QCOMPARE(t->stopBorderText(), QString());
        QTest::keyClicks(t->startBorderEdit, QStringLiteral("5"));
        QTest::keyClicks(t->stopBorderEdit, QStringLiteral("20"));
        QCOMPARE(t->startBorderText(), QStringLiteral("5"));
        QCOMPARE(t->stopBorderText(), QStringLiteral("20"));
        t->setStartBorderText(QStringLiteral("1"));
        t->setStopBorderText(QString());
        QCOMPARE(t->startBorderEdit->text(), QStringLiteral("1"));
        QCOMPARE(t->stopBorderEdit->text(), QString());
        // They live for the run only, not in the settings file.
        QVERIFY(w->close());
        QCOMPARE(dir.readConfig(), "[CONFIG]\nPORT=1\nCABLE=1\n" + CsvDefaults);
    }

    void manyRecordsInBatches() {
        WorkDir dir;
        auto w = startWindow();
        TraceWindow* t = test::child<TraceWindow>(*w);
        test::child<QCheckBox>(*w, "debugBox")->click();
        int changes = 0;
        connect(t->log->document(), &QTextDocument::contentsChange, this, [&] { ++changes; });
        // A burst of frames reaches the log as one change, and none is lost:
        // the log is never trimmed.
        constexpr int Frames = 5000;
        for (int i = 0; i < Frames; ++i)
            w->fbus().sendFrame(link::TypeMemory, QByteArray(40, char('A' + i % 26)), 1, false);
        QCOMPARE(changes, 0);
        QTRY_COMPARE(changes, 1);
        const int linesPerRecord = 6; // an empty line, then five
        QCOMPARE(t->log->document()->blockCount(), Frames * linesPerRecord + 1);
        // The view follows the end of the log.
        QTRY_COMPARE(t->log->verticalScrollBar()->value(), t->log->verticalScrollBar()->maximum());
    }

    // --- Link start-up as the window shows it --------------------------------

    void linkStartFailsOnMissingDevice() {
        WorkDir dir;
        auto w = startWindow();
        Answers answers;
        chooseDevice(*w, QStringLiteral("/nonexistent/ttyQuorix"));
        QSignalSpy finished(w.get(), &MainWindow::linkStartFinished);
        w->startLink();
        QCOMPARE(w->panelText(0), QStringLiteral("Opening serial port..."));
        QVERIFY(answers.asked.isEmpty()); // the wait comes before the message
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(answers.asked[0].caption, QStringLiteral("Error"));
        QCOMPARE(answers.asked[0].text,
                 QStringLiteral("Could not open serial port!\r/nonexistent/ttyQuorix: No such "
                                "file or directory\rPlease check configuration!"));
        QCOMPARE(answers.asked[0].icon, QMessageBox::Critical);
        QCOMPARE(answers.asked[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(w->panelText(0), QStringLiteral("Error opening serial port!"));
        // The system's reason is at hand.
        QVERIFY2(w->panelLabel(0)->toolTip().contains(QLatin1String("/nonexistent/ttyQuorix: ")),
                 qPrintable(w->panelLabel(0)->toolTip()));
        QVERIFY(!w->fbus().transmitter());

        // A window closed during the start-up wait says nothing afterwards.
        w->startLink();
        QVERIFY(w->close());
        QVERIFY(!finished.wait(link::FbusLink::StartDelayMs + 300));
        QCOMPARE(answers.asked.size(), 1);
    }

    void linkToVirtualPhoneIsTracedAndClosedWithTheWindow() {
        WorkDir dir;
        VirtualPhone phone;
        QVERIFY2(!phone.device().isEmpty(), qPrintable(phone.sim.errorString()));
        auto w = startWindow();
        Answers answers;
        chooseDevice(*w, QString::fromLocal8Bit(phone.device()));
        test::child<QCheckBox>(*w, "debugBox")->click();
        QSignalSpy finished(w.get(), &MainWindow::linkStartFinished);
        const quint32 before = link::systemClock().now();
        w->startLink();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY(answers.asked.isEmpty());
        QVERIFY(w->fbus().transmitter());
        QVERIFY(w->serial().isOpen());

        // The link-opening frame, then the phone's status answer.
        QTRY_VERIFY_WITH_TIMEOUT(test::child<TraceWindow>(*w)->logText().contains(FromPhone), 5000);
        const QString log = test::child<TraceWindow>(*w)->logText();
        const auto sent = tickOf(log, ToPhone);
        QVERIFY2(sent, qPrintable(log));
        QVERIFY2(*sent - before >= 1000, qPrintable(QString::number(*sent - before)));
        QVERIFY(log.startsWith(shown(link::traceFrame(LinkOpeningFrame, *sent))));
        QVERIFY(log.contains(QLatin1String("FBUS Data received / ")));
        QVERIFY2(log.contains(QStringLiteral("message type   : 04 PHONE STATUS\n"
                                             "subtype        : REGISTERED - ")),
                 qPrintable(log));
        // The phone's acknowledgement came, and is not in the log.
        QVERIFY(!log.contains(QLatin1String("message type   : 7F")));

        // Closing the window ends the transmit thread and closes the port.
        QVERIFY(w->close());
        QVERIFY(!w->fbus().transmitter());
        QVERIFY(!w->serial().isOpen());
    }

    // Extras > Record the line...: checked, it records the links that follow into
    // the file chosen, both ways; unchecked, it stops. A cancelled dialog or a
    // file that cannot be made leaves it unchecked.
    void recordTheLine() {
        WorkDir dir;
        VirtualPhone phone;
        QVERIFY2(!phone.device().isEmpty(), qPrintable(phone.sim.errorString()));
        auto w = startWindow();
        Answers answers;
        QString chosen;
        FileDialogs::setHook([&](const FileRequest&) { return chosen; });
        test::command(*w, "extras.record")->trigger(); // cancelled
        QVERIFY(!test::command(*w, "extras.record")->isChecked());
        chosen = dir.file(QStringLiteral("no/such/dir/line.qlr"));
        test::command(*w, "extras.record")->trigger();
        QVERIFY(!test::command(*w, "extras.record")->isChecked());
        QCOMPARE(answers.asked.size(), 1);
        QVERIFY(answers.asked.first().text.startsWith(
            QStringLiteral("Could not record the line:\r") + chosen + QStringLiteral(": ")));
        QVERIFY(!w->serial().recorder());

        chosen = dir.file(QStringLiteral("line.qlr"));
        test::command(*w, "extras.record")->trigger();
        FileDialogs::clearHook();
        QVERIFY(test::command(*w, "extras.record")->isChecked());
        chooseDevice(*w, QString::fromLocal8Bit(phone.device()));
        QSignalSpy finished(w.get(), &MainWindow::linkStartFinished);
        w->startLink();
        QVERIFY(finished.wait(5000));
        QTRY_VERIFY_WITH_TIMEOUT(w->fbus().lastValidFrameTime() != 0, 5000);
        w->fbus().stopLink();
        test::command(*w, "extras.record")->trigger();
        QVERIFY(!test::command(*w, "extras.record")->isChecked());
        QVERIFY(!w->serial().recorder());
        QCOMPARE(w->panelText(0),
                 QStringLiteral("The line was recorded into ") + chosen + QLatin1Char('.'));

        QList<link::LineEvent> events;
        QString error;
        QVERIFY2(link::readLineRecording(chosen, events, &error), qPrintable(error));
        QVERIFY(events.size() >= 4);
        QCOMPARE(events.first().kind, link::LineEvent::Opened);
        QCOMPARE(events.first().bytes, phone.device());
        QCOMPARE(events[1].bytes, QByteArray(link::FbusLink::WakeBytes, 0x55).left(32));
        QCOMPARE(events.last().kind, link::LineEvent::Closed);
        QByteArray written, read;
        for (const link::LineEvent& e : events) {
            if (e.kind == link::LineEvent::Written)
                written += e.bytes;
            else if (e.kind == link::LineEvent::Read)
                read += e.bytes;
        }
        QVERIFY(written.contains(LinkOpeningFrame));
        QVERIFY(read.contains(link::buildAck(LinkOpeningFrame, link::FromPhone)));
    }

    // --- The demo --------------------------------------------------------------

    void demoConnectsToTheVirtualPhoneForThisRunOnly() {
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=3\n");
        auto w = startWindow();
        Answers answers;
        QVERIFY(!w->demoActive());
        QSignalSpy ready(w.get(), &MainWindow::demoReady);
        w->startDemo();
        QCOMPARE(w->panelText(0), QStringLiteral("Starting the virtual phone..."));
        // The dialog, open while the phone comes up, gets its device and keeps
        // the user's other choices.
        test::command(*w, "connection.setup")->trigger();
        test::child<ConnectionDialog>(*w)->portItems[1]->click();
        QVERIFY(ready.wait(10000));
        const QString device = ready.first().first().toString();
        QVERIFY2(device.startsWith(QLatin1String("/dev/")), qPrintable(device));
        QCOMPARE(w->panelText(0), QStringLiteral("Virtual phone ready on %1.").arg(device));
        QVERIFY(w->demoActive());
        QCOMPARE(test::child<ConnectionDialog>(*w)->device(), QFile::encodeName(device));
        QVERIFY(test::child<ConnectionDialog>(*w)->portItems[1]->isChecked());
        test::child<ConnectionDialog>(*w)->okButton->click();
        QCOMPARE(w->linkSettings().device, QFile::encodeName(device));
        QCOMPARE(w->linkSettings().port, 1);
        QVERIFY(w->settings().device.isEmpty());

        // The link opens on it.
        QSignalSpy finished(w.get(), &MainWindow::linkStartFinished);
        w->startLink();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), true);
        w->fbus().stopLink();

        phonesim::PhoneSimProcess& phone = w->demoPhone();
        QVERIFY(phone.isRunning());
        QVERIFY(w->close());
        QVERIFY(answers.asked.isEmpty());
        // Setup changes of a demo run are for that run: the file keeps the user's.
        const QByteArray ini = dir.readConfig();
        QVERIFY2(!ini.contains("DEVICE") && ini.contains("PORT=3\n"), ini.constData());
        // The virtual phone is stopped with the window.
        QTRY_VERIFY_WITH_TIMEOUT(!phone.isRunning(), 5000);
    }

    void demoLeftForAnotherDevice() {
        WorkDir dir;
        auto w = startWindow();
        QSignalSpy ready(w.get(), &MainWindow::demoReady);
        w->startDemo();
        QVERIFY(ready.wait(10000));
        // Choosing another device (or prefix) holds for the run, even after the
        // virtual phone is left, but a demo run does not save its Setup.
        test::command(*w, "connection.setup")->trigger();
        test::child<ConnectionDialog>(*w)->prefixEdit->setText(QStringLiteral("+44"));
        chooseDeviceText(*test::child<ConnectionDialog>(*w), QStringLiteral("/dev/ttyUSB3"));
        test::child<ConnectionDialog>(*w)->okButton->click();
        QVERIFY(!w->demoActive());
        QCOMPARE(w->linkSettings().device, QByteArray("/dev/ttyUSB3"));
        QCOMPARE(w->settings().numberPrefix, QStringLiteral("+44"));
        QVERIFY(w->close());
        QCOMPARE(dir.readConfig(), "[CONFIG]\nPORT=1\nCABLE=1\n" + CsvDefaults);
    }

    void demoFailures() {
        WorkDir dir;
        auto w = startWindow();
        Answers answers;
        // No program at all.
        w->demoPhone().setProgram(QString());
        w->startDemo();
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(answers.asked[0].caption, QStringLiteral("Error"));
        QCOMPARE(answers.asked[0].text,
                 QStringLiteral("Could not start the virtual phone:\rquorix-phonesim was not "
                                "found"));
        QCOMPARE(w->panelText(0), QStringLiteral("The virtual phone did not start."));

        // A program that cannot run: the reason comes with the failure.
        w->demoPhone().setProgram(dir.file(QStringLiteral("quorix-phonesim")));
        QSignalSpy failed(&w->demoPhone(), &phonesim::PhoneSimProcess::failed);
        w->startDemo();
        QVERIFY(failed.wait(5000));
        QCOMPARE(answers.asked.size(), 2);
        QVERIFY2(answers.asked[1].text.startsWith(
                     QStringLiteral("Could not start the virtual phone:\rcannot start ")),
                 qPrintable(answers.asked[1].text));
        QVERIFY(!w->demoActive());
        QCOMPARE(w->linkSettings().device, QByteArray());
    }
};

QTEST_MAIN(TestLinkGui)
#include "tst_link_gui.moc"
