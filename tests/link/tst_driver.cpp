#include "link/CommPortDriver.h"
#include "link/SerialPorts.h"

#include "LinkTestMain.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorix::link;

class TestDriver : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void defaults() {
        TCommPortDriver d;
        QCOMPARE(d.Port(), TCommPortDriver::pnCOM2);
        QCOMPARE(d.PortName(), QByteArray("/dev/ttyS1"));
        QCOMPARE(d.BaudRate(), TCommPortDriver::br9600);
        QCOMPARE(d.BaudRateValue(), 9600u);
        QCOMPARE(d.DataBits(), TCommPortDriver::db8BITS);
        QCOMPARE(d.StopBits(), TCommPortDriver::sb1BITS);
        QCOMPARE(d.Parity(), TCommPortDriver::ptNONE);
        QCOMPARE(d.HwFlow(), TCommPortDriver::hfNONERTSON);
        QCOMPARE(d.SwFlow(), TCommPortDriver::sfNONE);
        QCOMPARE(d.InBufSize(), 2048u);
        QCOMPARE(d.OutBufSize(), 2048u);
        QCOMPARE(d.PollingDelay(), quint16(50));
        QVERIFY(d.EnableDTROnOpen());
        QCOMPARE(d.OutputTimeout(), quint16(500));
        QCOMPARE(d.InputTimeout(), 200);
        QVERIFY(!d.CheckLineStatus());
        QVERIFY(!d.Connected());
    }

    void clamps() {
        TCommPortDriver d;
        for (quint16 ms : {0, 1, 4}) {
            d.setPollingDelay(ms);
            QCOMPARE(d.PollingDelay(), quint16(5));
        }
        d.setPollingDelay(120);
        QCOMPARE(d.PollingDelay(), quint16(120));
        d.setInBufSize(100);
        QCOMPARE(d.InBufSize(), 128u);
        d.setInBufSize(10000);
        QCOMPARE(d.InBufSize(), 8192u);
        d.setOutBufSize(0);
        QCOMPARE(d.OutBufSize(), 128u);
        d.setOutBufSize(9000);
        QCOMPARE(d.OutBufSize(), 8192u);
    }

    void portAndSpeedChoices() {
        TCommPortDriver d;
        d.setPort(TCommPortDriver::pnCOM3);
        QCOMPARE(d.PortName(), QByteArray("/dev/ttyS2"));
        d.setPortName("/dev/ttyUSB0");
        QCOMPARE(d.Port(), TCommPortDriver::pnCustom);
        d.setPort(TCommPortDriver::pnCustom);
        QCOMPARE(d.PortName(), QByteArray("/dev/ttyUSB0"));
        d.setBaudRate(TCommPortDriver::br115200);
        QCOMPARE(d.BaudRateValue(), 115200u);
        d.setBaudRate(TCommPortDriver::br14400);
        QCOMPARE(d.BaudRateValue(), 14400u);
        d.setBaudRateValue(115200);
        QCOMPARE(d.BaudRate(), TCommPortDriver::brCustom);
    }

    void closedPort() {
        TCommPortDriver d;
        d.setPortName("/nonexistent/ttyQ9");
        QVERIFY(!d.Connect());
        QVERIFY(!d.Connected());
        QVERIFY(d.errorString().contains("/nonexistent/ttyQ9"));
        QVERIFY(d.errorString().contains("No such file"));
        QCOMPARE(d.OutFreeSpace(), quint16(65535));
        QCOMPARE(d.LineStatus(), 0u);
        QCOMPARE(d.SendData("abc", 3, 10), 0u);
        QVERIFY(!d.SendString("abc"));
        QVERIFY(!d.PurgeBuffers(true, true));
        d.SetDTR(true); // nothing happens, nothing breaks
        d.SetRTS(true);
    }

    void notATerminal() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("plain")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        TCommPortDriver d;
        d.setPortName(QFile::encodeName(file.fileName()));
        QVERIFY(!d.Connect());
        QVERIFY(!d.Connected());
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
        for (const QByteArray& p : serialports(dev, sys))
            names << p.mid(QFile::encodeName(dev).size() + 1);
        QCOMPARE(names.join(' '), QByteArray("ttyACM0 ttyS0 ttyS1 ttyS2 ttyS3 ttyS10 ttyUSB2 "
                                             "ttyUSB10 serial/by-id/usb-Prolific-port0"));
    }
};
LINKTEST(TestDriver)

#include "tst_driver.moc"
