#include "link/SerialPort.h"
#include "link/SerialPortList.h"

#include "LinkTestMain.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorix::link;

class TestDriver : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void defaults() {
        SerialPort d;
        QCOMPARE(d.port(), SerialPort::PortCom2);
        QCOMPARE(d.portName(), QByteArray("/dev/ttyS1"));
        QCOMPARE(d.baudRate(), SerialPort::Baud9600);
        QCOMPARE(d.baudRateValue(), 9600u);
        QCOMPARE(d.dataBits(), SerialPort::DataBits8);
        QCOMPARE(d.stopBits(), SerialPort::StopBits1);
        QCOMPARE(d.parity(), SerialPort::ParityNone);
        QCOMPARE(d.hwFlow(), SerialPort::HwFlowRtsOn);
        QCOMPARE(d.swFlow(), SerialPort::SwFlowNone);
        QCOMPARE(d.inBufSize(), 2048u);
        QCOMPARE(d.outBufSize(), 2048u);
        QCOMPARE(d.pollingDelay(), quint16(50));
        QVERIFY(d.enableDtrOnOpen());
        QCOMPARE(d.outputTimeout(), quint16(500));
        QCOMPARE(d.inputTimeout(), 200);
        QVERIFY(!d.checkLineStatus());
        QVERIFY(!d.isOpen());
    }

    void clamps() {
        SerialPort d;
        for (quint16 ms : {0, 1, 4}) {
            d.setPollingDelay(ms);
            QCOMPARE(d.pollingDelay(), quint16(5));
        }
        d.setPollingDelay(120);
        QCOMPARE(d.pollingDelay(), quint16(120));
        d.setInBufSize(100);
        QCOMPARE(d.inBufSize(), 128u);
        d.setInBufSize(10000);
        QCOMPARE(d.inBufSize(), 8192u);
        d.setOutBufSize(0);
        QCOMPARE(d.outBufSize(), 128u);
        d.setOutBufSize(9000);
        QCOMPARE(d.outBufSize(), 8192u);
    }

    void portAndSpeedChoices() {
        SerialPort d;
        d.setPort(SerialPort::PortCom3);
        QCOMPARE(d.portName(), QByteArray("/dev/ttyS2"));
        d.setPortName("/dev/ttyUSB0");
        QCOMPARE(d.port(), SerialPort::PortCustom);
        d.setPort(SerialPort::PortCustom);
        QCOMPARE(d.portName(), QByteArray("/dev/ttyUSB0"));
        d.setBaudRate(SerialPort::Baud115200);
        QCOMPARE(d.baudRateValue(), 115200u);
        d.setBaudRate(SerialPort::Baud14400);
        QCOMPARE(d.baudRateValue(), 14400u);
        d.setBaudRateValue(115200);
        QCOMPARE(d.baudRate(), SerialPort::BaudCustom);
    }

    void closedPort() {
        SerialPort d;
        d.setPortName("/nonexistent/ttyQ9");
        QVERIFY(!d.open());
        QVERIFY(!d.isOpen());
        QVERIFY(d.errorString().contains("/nonexistent/ttyQ9"));
        QVERIFY(d.errorString().contains("No such file"));
        QCOMPARE(d.outFreeSpace(), quint16(65535));
        QCOMPARE(d.lineStatus(), 0u);
        QCOMPARE(d.sendData("abc", 3, 10), 0u);
        QVERIFY(!d.sendBytes("abc"));
        QVERIFY(!d.purgeBuffers(true, true));
        d.setDtr(true); // nothing happens, nothing breaks
        d.setRts(true);
    }

    void notATerminal() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("plain")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        SerialPort d;
        d.setPortName(QFile::encodeName(file.fileName()));
        QVERIFY(!d.open());
        QVERIFY(!d.isOpen());
        QVERIFY(!d.errorString().isEmpty());
    }

    void serialPortList() {
        QTemporaryDir root;
        const QString dev = root.filePath(QStringLiteral("dev"));
        const QString sys = root.filePath(QStringLiteral("sys"));
        QDir().mkpath(dev + QStringLiteral("/serial/by-id"));
        auto touch = [](const QString& path) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        };
        for (const char* n : {"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS4", "ttyS10", "ttyS11",
                              "ttyUSB10", "ttyUSB2", "ttyACM0", "tty0", "null"})
            touch(dev + QLatin1Char('/') + QLatin1String(n));
        touch(dev + QStringLiteral("/serial/by-id/usb-Prolific-port0"));
        // Of the ports beyond the fourth only those with a UART count.
        QDir().mkpath(sys + QStringLiteral("/ttyS10"));
        QDir().mkpath(sys + QStringLiteral("/ttyS11"));
        QFile t10(sys + QStringLiteral("/ttyS10/type"));
        QVERIFY(t10.open(QIODevice::WriteOnly));
        t10.write("4\n");
        t10.close();
        QFile t11(sys + QStringLiteral("/ttyS11/type"));
        QVERIFY(t11.open(QIODevice::WriteOnly));
        t11.write("0\n");
        t11.close();

        QByteArrayList names;
        for (const QByteArray& p : listSerialPorts(dev, sys))
            names << p.mid(QFile::encodeName(dev).size() + 1);
        QCOMPARE(names.join(' '), QByteArray("ttyACM0 ttyS0 ttyS1 ttyS2 ttyS3 ttyS10 ttyUSB2 "
                                             "ttyUSB10 serial/by-id/usb-Prolific-port0"));
    }
};
LINKTEST(TestDriver)

#include "tst_driver.moc"
