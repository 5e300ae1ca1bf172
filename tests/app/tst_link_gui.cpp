// The window side of the phone link: the connection dialog, the trace window
// and the Debug box, the link start-up as the window reports it, and the demo
// with the real virtual phone on a pseudo-terminal.
#include "AppTestSupport.h"

#include "app/Placement.h"
#include "app/ProfileFile.h"
#include "app/Tconnection.h"
#include "app/Tdebug.h"
#include "link/Clock.h"
#include "link/Frame.h"
#include "link/SerialPorts.h"
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

using namespace quorix;
using namespace quorix::test;

namespace {

// The keys after PORT and CABLE as a first run writes them.
const QByteArray CsvDefaults =
    "CSV_NAME=1\nCSV_START=2\nCSV_STOP=7\nCSV_LINE=1\nCSV_SEP=59\nCSV_QUOTES=NO\n";

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

// The device path of the dialog set by typing, then OK: the way a user does it.
void chooseDevice(TMain& w, const QString& device) {
    w.setupClick();
    QVERIFY(w.connection->isVisible());
    w.connection->deviceBox->lineEdit()->selectAll();
    if (device.isEmpty())
        QTest::keyClick(w.connection->deviceBox->lineEdit(), Qt::Key_Delete);
    else
        QTest::keyClicks(w.connection->deviceBox->lineEdit(), device);
    w.connection->conok->click();
    QVERIFY(!w.connection->isVisible());
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
        Tconnection* c = w->connection;
        QVERIFY(c && !c->isVisible());
        QCOMPARE(c->windowTitle(), QStringLiteral("Connection"));
        QCOMPARE(c->Port->title(), QStringLiteral("Port"));
        QCOMPARE(c->Cable->title(), QStringLiteral("Cable"));
        QStringList items;
        for (QRadioButton* b : c->portItems)
            items << b->text();
        for (QRadioButton* b : c->cableItems)
            items << b->text();
        QCOMPARE(items, QStringList({"COM 1", "COM 2", "COM 3", "COM 4", "DAU-9P", "DLR-3"}));
        // One button, OK; there is no Cancel.
        const auto buttons = c->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(c->conok->text(), QStringLiteral("OK"));
        // First run: COM 1 and DLR-3, no device.
        QVERIFY(c->portItems[0]->isChecked());
        QVERIFY(c->cableItems[1]->isChecked());
        QCOMPARE(c->device(), QByteArray());

        // F10 shows it modally, centred on the main window, with a fixed size.
        w->msetup->trigger();
        QVERIFY(c->isVisible());
        QCOMPARE(c->windowModality(), Qt::ApplicationModal);
        QCOMPARE(c->minimumSize(), c->maximumSize());
        QCOMPARE(c->frameGeometry().topLeft(),
                 centreOn(w->frameGeometry(), frameSize(c), w->screen()->geometry()));
        // The device list offers the system's serial ports.
        QCOMPARE(c->devices(), link::serialports());
        c->conok->click();
        QVERIFY(!c->isVisible());
    }

    void connectionFromSettingsAndBack() {
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=4\nCABLE=0\n");
        auto w = startWindow();
        Tconnection* c = w->connection;
        QVERIFY(c->portItems[3]->isChecked());
        QVERIFY(c->cableItems[0]->isChecked());
        QCOMPARE(w->linkSettings().port, 3);
        QCOMPARE(w->linkSettings().cable, int(link::CableDAU9P));

        // Whatever is selected when the dialog closes is kept, OK or close box.
        w->setupClick();
        c->portItems[2]->click();
        c->conok->click();
        QCOMPARE(w->linkSettings().port, 2);
        w->setupClick();
        c->cableItems[1]->click();
        QVERIFY(c->close());
        QCOMPARE(w->linkSettings().cable, int(link::CableDLR3));
        QCOMPARE(w->linkSettings().portDevice(), QByteArray("/dev/ttyS2"));

        QVERIFY(w->close());
        QCOMPARE(dir.read(QStringLiteral("quorix7.ini")),
                 "[CONFIG]\nPORT=3\nCABLE=1\n" + CsvDefaults);
    }

    void devicePathRoundTrip() {
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=2\nDEVICE=/dev/ttyUSB0\n");
        auto w = startWindow();
        QCOMPARE(w->connection->device(), QByteArray("/dev/ttyUSB0"));
        QCOMPARE(w->linkSettings().portDevice(), QByteArray("/dev/ttyUSB0"));

        chooseDevice(*w, QStringLiteral("/dev/serial/by-id/usb-Nokia_DLR-3 cable"));
        QCOMPARE(w->linkSettings().device, QByteArray("/dev/serial/by-id/usb-Nokia_DLR-3 cable"));
        QVERIFY(w->close());
        // A key the file has is updated where it stands.
        QCOMPARE(dir.read(QStringLiteral("quorix7.ini")),
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

    void setupRefusedDuringTransfer() {
        WorkDir dir;
        auto w = startWindow();
        w->phonebook().transferactive = true;
        w->msetup->trigger();
        QVERIFY(!w->connection->isVisible());
        w->phonebook().transferactive = false;
        w->msetup->trigger();
        QVERIFY(w->connection->isVisible());
        w->connection->conok->click();
    }

    // --- Trace window and the Debug box -------------------------------------

    void traceWindowShape() {
        WorkDir dir;
        auto w = startWindow();
        Tdebug* t = w->debugwnd;
        QVERIFY(t && !t->isVisible());
        QCOMPARE(t->windowTitle(), QStringLiteral("FBUS trace"));
        QVERIFY(t->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(t->ontop->isChecked());
        QCOMPARE(t->ontop->text(), QStringLiteral("stay on top"));
        QCOMPARE(t->paus->text(), QStringLiteral("Pause"));
        QCOMPARE(t->clrlog->text(), QStringLiteral("Clear"));
        QCOMPARE(t->cls->text(), QStringLiteral("Close"));
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
        QVERIFY(t->note->font().pointSizeF() < t->von->font().pointSizeF());

        // Unticking "stay on top" makes it a normal window, and back.
        w->dodebug->setChecked(true);
        const QPoint place = t->pos();
        t->ontop->click();
        QVERIFY(!(t->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(t->isVisible());
        QCOMPARE(t->pos(), place);
        t->ontop->click();
        QVERIFY(t->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void traceWindowPlacement() {
        const QRect screen(0, 0, 1024, 768);
        // Level with the owner's middle, 10 pixels from the right edge.
        QCOMPARE(Tdebug::placement(QRect(30, 30, 505, 708), QSize(400, 301), screen),
                 QPoint(1024 - 400 - 10, 30 + (708 - 301) / 2));
        // Raised to keep 30 pixels above the bottom edge.
        QCOMPARE(Tdebug::placement(QRect(30, 500, 505, 260), QSize(400, 300), screen),
                 QPoint(614, 768 - 300 - 30));
        // A window taller than its owner: the half is rounded toward zero.
        QCOMPARE(Tdebug::placement(QRect(30, 100, 505, 101), QSize(400, 300), screen).y(),
                 100 + (101 - 300) / 2);

        WorkDir dir;
        auto w = startWindow();
        w->dodebug->setChecked(true);
        QCOMPARE(
            w->debugwnd->frameGeometry().topLeft(),
            Tdebug::placement(w->frameGeometry(), frameSize(w->debugwnd), w->screen()->geometry()));
    }

    void debugBoxShowsHidesAndTraces() {
        WorkDir dir;
        auto w = startWindow();
        Tdebug* t = w->debugwnd;
        QVERIFY(!w->dodebug->isChecked());
        QVERIFY(!w->fbus().tracing());

        w->dodebug->click();
        QVERIFY(t->isVisible());
        QVERIFY(w->fbus().tracing());
        QCOMPARE(t->logText(), QString());

        // The link-opening frame, as it is built, with its tick count.
        const quint32 before = link::systemClock().now();
        QVERIFY(w->fbus().sendframe(link::TypeStatus, StatusRequestData, 1, false));
        const quint32 after = link::systemClock().now();
        const QString log = t->logText();
        const auto tick = tickOf(log, ToPhone);
        QVERIFY2(tick, qPrintable(log));
        QVERIFY(*tick >= before && *tick <= after);
        QCOMPARE(log, shown(link::traceframe(LinkOpeningFrame, *tick)));
        QVERIFY(log.contains(QLatin1String("message type   : 04 GET PHONE STATUS\n")));

        // Acknowledgements are never traced.
        w->fbus().sendack(QByteArray::fromHex("1E2A000400060001000101413543"));
        QCOMPARE(t->logText(), log);

        // Unticking hides the window and stops tracing; the log is kept.
        w->dodebug->click();
        QVERIFY(!t->isVisible());
        QVERIFY(!w->fbus().tracing());
        w->fbus().sendframe(link::TypeStatus, StatusRequestData, 1, false);
        QCOMPARE(t->logText(), log);

        // Closing the window, by "Close" or its close box, unticks Debug.
        w->dodebug->click();
        t->cls->click();
        QVERIFY(!t->isVisible());
        QVERIFY(!w->dodebug->isChecked());
        QVERIFY(!w->fbus().tracing());
        w->dodebug->click();
        QVERIFY(t->close());
        QVERIFY(!w->dodebug->isChecked());

        // Clear empties the log, entries waiting for their batch included.
        w->dodebug->click();
        w->fbus().sendframe(link::TypeStatus, StatusRequestData, 1, false);
        t->clrlog->click();
        QCOMPARE(t->logText(), QString());
        QTest::qWait(Tdebug::BatchMs * 2);
        QCOMPARE(t->log->toPlainText(), QString());
    }

    void pauseAndResume() {
        WorkDir dir;
        auto w = startWindow();
        Tdebug* t = w->debugwnd;
        w->dodebug->click();

        // Pause: tracing stops, the window stays open.
        t->paus->click();
        QCOMPARE(t->paus->text(), QStringLiteral("Resume"));
        QVERIFY(!w->dodebug->isChecked());
        QVERIFY(t->isVisible());
        w->fbus().sendframe(link::TypeStatus, StatusRequestData, 1, false);
        QCOMPARE(t->logText(), QString());

        // Resume: tracing goes on.
        t->paus->click();
        QCOMPARE(t->paus->text(), QStringLiteral("Pause"));
        QVERIFY(w->dodebug->isChecked());
        QVERIFY(t->isVisible());
        w->fbus().sendframe(link::TypeStatus, StatusRequestData, 1, false);
        QVERIFY(t->logText().contains(QLatin1String("GET PHONE STATUS")));

        // Paused, closed, and ticked again from the main window: tracing runs,
        // and the button says so.
        t->paus->click();
        t->cls->click();
        w->dodebug->click();
        QVERIFY(t->isVisible());
        QCOMPARE(t->paus->text(), QStringLiteral("Pause"));
    }

    void customBorders() {
        WorkDir dir;
        auto w = startWindow();
        Tdebug* t = w->debugwnd;
        QCOMPARE(t->vonText(), QString());
        QCOMPARE(t->bisText(), QString());
        QTest::keyClicks(t->von, QStringLiteral("5"));
        QTest::keyClicks(t->bis, QStringLiteral("20"));
        QCOMPARE(t->vonText(), QStringLiteral("5"));
        QCOMPARE(t->bisText(), QStringLiteral("20"));
        t->setVonText(QStringLiteral("1"));
        t->setBisText(QString());
        QCOMPARE(t->von->text(), QStringLiteral("1"));
        QCOMPARE(t->bis->text(), QString());
        // They live for the run only, not in the settings file.
        QVERIFY(w->close());
        QCOMPARE(dir.read(QStringLiteral("quorix7.ini")),
                 "[CONFIG]\nPORT=1\nCABLE=1\n" + CsvDefaults);
    }

    void manyRecordsInBatches() {
        WorkDir dir;
        auto w = startWindow();
        Tdebug* t = w->debugwnd;
        w->dodebug->click();
        int changes = 0;
        connect(t->log->document(), &QTextDocument::contentsChange, this, [&] { ++changes; });
        // A burst of frames reaches the log as one change, and none is lost:
        // the log is never trimmed.
        constexpr int Frames = 5000;
        for (int i = 0; i < Frames; ++i)
            w->fbus().sendframe(link::TypeMemory, QByteArray(40, char('A' + i % 26)), 1, false);
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
        QSignalSpy finished(w.get(), &TMain::linkStartFinished);
        w->fbusinit();
        QCOMPARE(w->panelText(0), QStringLiteral("Opening serial port..."));
        QVERIFY(answers.asked.isEmpty()); // the wait comes before the message
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(answers.asked[0].caption, QStringLiteral("Error"));
        QCOMPARE(answers.asked[0].text,
                 QStringLiteral("Could not open serial port!\rPlease check configuration!"));
        QCOMPARE(answers.asked[0].icon, QMessageBox::Critical);
        QCOMPARE(answers.asked[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(w->panelText(0), QStringLiteral("Error opening serial port!"));
        // The system's reason is at hand.
        QVERIFY2(w->panelLabel(0)->toolTip().contains(QLatin1String("/nonexistent/ttyQuorix: ")),
                 qPrintable(w->panelLabel(0)->toolTip()));
        QVERIFY(!w->fbus().transmitter());

        // A window closed during the start-up wait says nothing afterwards.
        w->fbusinit();
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
        w->dodebug->click();
        QSignalSpy finished(w.get(), &TMain::linkStartFinished);
        const quint32 before = link::systemClock().now();
        w->fbusinit();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY(answers.asked.isEmpty());
        QVERIFY(w->fbus().transmitter());
        QVERIFY(w->serial().Connected());

        // The link-opening frame, then the phone's status answer.
        QTRY_VERIFY_WITH_TIMEOUT(w->debugwnd->logText().contains(FromPhone), 5000);
        const QString log = w->debugwnd->logText();
        const auto sent = tickOf(log, ToPhone);
        QVERIFY2(sent, qPrintable(log));
        QVERIFY2(*sent - before >= 1000, qPrintable(QString::number(*sent - before)));
        QVERIFY(log.startsWith(shown(link::traceframe(LinkOpeningFrame, *sent))));
        QVERIFY(log.contains(QLatin1String("FBUS Data received / ")));
        QVERIFY2(log.contains(QStringLiteral("message type   : 04 PHONE STATUS\n"
                                             "subtype        : REGISTERED - ")),
                 qPrintable(log));
        // The phone's acknowledgement came, and is not in the log.
        QVERIFY(!log.contains(QLatin1String("message type   : 7F")));

        // Closing the window ends the transmit thread and closes the port.
        QVERIFY(w->close());
        QVERIFY(!w->fbus().transmitter());
        QVERIFY(!w->serial().Connected());
    }

    // --- The demo --------------------------------------------------------------

    void demoConnectsToTheVirtualPhoneForThisRunOnly() {
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=3\n");
        auto w = startWindow();
        Answers answers;
        QVERIFY(!w->demoActive());
        QSignalSpy ready(w.get(), &TMain::demoReady);
        w->startDemo();
        QCOMPARE(w->panelText(0), QStringLiteral("Starting the virtual phone..."));
        // The dialog, open while the phone comes up, gets its device and keeps
        // the user's other choices.
        w->setupClick();
        w->connection->portItems[1]->click();
        QVERIFY(ready.wait(10000));
        const QString device = ready.first().first().toString();
        QVERIFY2(device.startsWith(QLatin1String("/dev/")), qPrintable(device));
        QCOMPARE(w->panelText(0), QStringLiteral("Virtual phone ready on %1.").arg(device));
        QVERIFY(w->demoActive());
        QCOMPARE(w->connection->device(), QFile::encodeName(device));
        QVERIFY(w->connection->portItems[1]->isChecked());
        w->connection->conok->click();
        QCOMPARE(w->linkSettings().device, QFile::encodeName(device));
        QCOMPARE(w->linkSettings().port, 1);
        QVERIFY(w->config.device.isEmpty());

        // The link opens on it.
        QSignalSpy finished(w.get(), &TMain::linkStartFinished);
        w->fbusinit();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), true);
        w->fbus().closelink();

        phonesim::PhoneSimProcess& phone = w->demoPhone();
        QVERIFY(phone.isRunning());
        QVERIFY(w->close());
        QVERIFY(answers.asked.isEmpty());
        const QByteArray ini = dir.read(QStringLiteral("quorix7.ini"));
        QVERIFY2(!ini.contains("DEVICE") && ini.contains("PORT=2\n"), ini.constData());
        // The virtual phone is stopped with the window.
        QTRY_VERIFY_WITH_TIMEOUT(!phone.isRunning(), 5000);
    }

    void demoLeftForAnotherDevice() {
        WorkDir dir;
        auto w = startWindow();
        QSignalSpy ready(w.get(), &TMain::demoReady);
        w->startDemo();
        QVERIFY(ready.wait(10000));
        // Choosing another device is the user's own setting, kept as usual.
        chooseDevice(*w, QStringLiteral("/dev/ttyUSB3"));
        QVERIFY(!w->demoActive());
        QCOMPARE(w->linkSettings().device, QByteArray("/dev/ttyUSB3"));
        QVERIFY(w->close());
        QVERIFY(dir.read(QStringLiteral("quorix7.ini")).endsWith("DEVICE=/dev/ttyUSB3\n"));
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
