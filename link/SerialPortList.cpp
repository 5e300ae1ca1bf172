#include "link/SerialPortList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <utility>

namespace quorix::link {

namespace {

// /dev/ttyS0..31 exist whether or not a UART sits behind them; the kernel tells
// which do by a non-zero port type.
bool hasUart(const QString& sysTty, const QString& name) {
    QFile type(sysTty + QLatin1Char('/') + name + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    return type.readAll().trimmed().toInt() != 0;
}

} // namespace

QByteArrayList listSerialPorts(const QString& dev, const QString& sysTty) {
    QDir d(dev);
    QStringList names;
    for (const QString& n : d.entryList({QStringLiteral("ttyS*")}, QDir::System | QDir::Files)) {
        bool ok = false;
        const int index = n.mid(4).toInt(&ok);
        if (ok && (index < 4 || hasUart(sysTty, n)))
            names << n;
    }
    names += d.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                         QDir::System | QDir::Files);
    // By kind, then by number: ttyS2 before ttyS10.
    auto key = [](const QString& n) {
        qsizetype digits = n.size();
        while (digits > 0 && n[digits - 1].isDigit())
            --digits;
        return std::make_pair(n.left(digits), n.mid(digits).toLongLong());
    };
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return key(a) < key(b); });

    QByteArrayList out;
    for (const QString& n : names)
        out << QFile::encodeName(d.filePath(n));
    QDir byId(dev + QStringLiteral("/serial/by-id"));
    for (const QString& n :
         byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        out << QFile::encodeName(byId.filePath(n));
    return out;
}

QByteArray deviceProblem(const QByteArray& path, bool* accessDenied) {
    if (accessDenied)
        *accessDenied = false;
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return {};
#else
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    if (!S_ISCHR(st.st_mode))
        return "Not a serial device";
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        const int error = errno;
        if (accessDenied)
            *accessDenied = error == EACCES || error == EPERM;
        return std::strerror(error);
    }
    return {};
#endif
}

QByteArray deviceTarget(const QByteArray& path) {
    const QFileInfo info(QFile::decodeName(path));
    if (!info.isSymLink())
        return {};
    return QFile::encodeName(info.canonicalFilePath());
}

} // namespace quorix::link
