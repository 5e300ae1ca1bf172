#pragma once

#include <QByteArrayList>
#include <QString>

namespace quorix::link {

// The serial devices of this system a connection dialog offers: the first four
// ports ("COM 1".."COM 4"), further on-board ports that have a UART, USB adapters
// and their stable names under /dev/serial/by-id. The roots are for tests.
QByteArrayList listSerialPorts(const QString& dev = QStringLiteral("/dev"),
                               const QString& sysTty = QStringLiteral("/sys/class/tty"));

} // namespace quorix::link
