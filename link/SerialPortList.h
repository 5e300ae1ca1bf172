#pragma once

#include <QByteArrayList>
#include <QString>

namespace quorix::link {

// The serial devices of this system a connection dialog offers: the first four
// ports ("COM 1".."COM 4"), further on-board ports that have a UART, USB adapters
// and their stable names under /dev/serial/by-id. The roots are for tests.
QByteArrayList listSerialPorts(const QString& dev = QStringLiteral("/dev"),
                               const QString& sysTty = QStringLiteral("/sys/class/tty"));

// Why a device path cannot serve as the port, in the system's words ("No such
// file or directory", "Permission denied", ...), or empty when it looks usable.
// Only looks: opening a port raises its modem lines, which is the link's to do.
// accessDenied tells that the user may not use it (not in the group "dialout").
QByteArray deviceProblem(const QByteArray& path, bool* accessDenied = nullptr);

// The device a symbolic link such as /dev/serial/by-id/usb-... names
// (/dev/ttyUSB0), or empty when path is no link.
QByteArray deviceTarget(const QByteArray& path);

} // namespace quorix::link
