#include "app/Config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>
#include <algorithm>
#include <optional>

namespace quorix {

namespace {

// A decimal integer, blanks around it allowed; none for anything else.
std::optional<int> toInt(const std::optional<QByteArray>& text) {
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int v = text->trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(v) : std::nullopt;
}

int readIndex(const ProfileFile& f, const char* key, int offset, int count, int fallback) {
    const auto v = toInt(f.value(Config::Section, key));
    if (!v || *v - offset < 0 || *v - offset >= count)
        return fallback;
    return *v - offset;
}

// The counters are 16-bit controls: what they hold is what the file gets, and
// what they are given is held to their range.
int readCounter(const ProfileFile& f, const char* key, int fallback) {
    const auto v = toInt(f.value(Config::Section, key));
    if (!v)
        return fallback;
    return std::clamp<int>(static_cast<qint16>(*v), Config::CsvMin, Config::CsvMax);
}

QByteArray counterText(int v) {
    return QByteArray::number(static_cast<qint16>(v));
}

} // namespace

QString Config::locate(const QString& startDir) {
    const QString name = QString::fromLatin1(FileName);
    const QString local = QDir(startDir).absoluteFilePath(name);
    if (QFileInfo::exists(local))
        return local;
    // The generic location with our own folder: the application's name is
    // "Quorix", and the folder is named like the program, in lower case.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .absoluteFilePath(QStringLiteral("quorix/") + name);
}

Config Config::read(const ProfileFile& f) {
    Config c;
    c.port = readIndex(f, "PORT", 1, PortCount, c.port);
    c.cable = readIndex(f, "CABLE", 0, CableCount, c.cable);
    c.csvName = readCounter(f, "CSV_NAME", c.csvName);
    c.csvStart = readCounter(f, "CSV_START", c.csvStart);
    c.csvStop = readCounter(f, "CSV_STOP", c.csvStop);
    c.csvLine = readCounter(f, "CSV_LINE", c.csvLine);
    c.csvQuotes = f.value(Section, "CSV_QUOTES") == QByteArray("YES");
    const auto sep = toInt(f.value(Section, "CSV_SEP"));
    // The character's code; a surrogate is half a character and no separator.
    if (sep && *sep >= 1 && *sep <= 0xFFFF && !QChar(char16_t(*sep)).isSurrogate())
        c.csvSep = QChar(char16_t(*sep));
    c.device = f.value(Section, "DEVICE").value_or(QByteArray());
    if (const auto encoding = f.value(Section, "CSV_ENCODING"))
        c.csvEncoding = files::encodingFromName(QString::fromUtf8(*encoding));
    c.tableView = f.value(Section, "VIEW") == QByteArray("TABLE");
    if (const auto prefix = f.value(Section, "NUMBER_PREFIX"))
        c.numberPrefix = cleanNumber(QString::fromUtf8(*prefix));
    c.exportFolder = QString::fromUtf8(f.value(Section, "EXPORT_FOLDER").value_or(QByteArray()));
    return c;
}

void Config::write(ProfileFile& f) const {
    f.setValue(Section, "PORT", QByteArray::number(port + 1));
    f.setValue(Section, "CABLE", QByteArray::number(cable));
    f.setValue(Section, "CSV_NAME", counterText(csvName));
    f.setValue(Section, "CSV_START", counterText(csvStart));
    f.setValue(Section, "CSV_STOP", counterText(csvStop));
    f.setValue(Section, "CSV_LINE", counterText(csvLine));
    // An emptied separator field keeps the usual ";".
    const int sepCode = csvSep.isEmpty() ? ';' : csvSep.front().unicode();
    f.setValue(Section, "CSV_SEP", QByteArray::number(sepCode));
    f.setValue(Section, "CSV_QUOTES", csvQuotes ? "YES" : "NO");
    f.setValue(Section, "CSV_ENCODING", files::encodingName(csvEncoding).toUtf8());
    if (!device.isEmpty() || f.value(Section, "DEVICE"))
        f.setValue(Section, "DEVICE", device);
    // Like DEVICE: the tree, the usual view, adds no key to a file without one.
    if (tableView || f.value(Section, "VIEW"))
        f.setValue(Section, "VIEW", tableView ? "TABLE" : "TREE");
    if (numberPrefix != DefaultNumberPrefix || f.value(Section, "NUMBER_PREFIX"))
        f.setValue(Section, "NUMBER_PREFIX", numberPrefix.toUtf8());
    if (!exportFolder.isEmpty() || f.value(Section, "EXPORT_FOLDER"))
        f.setValue(Section, "EXPORT_FOLDER", exportFolder.toUtf8());
}

void Config::takeSetupFrom(const Config& other) {
    port = other.port;
    cable = other.cable;
    device = other.device;
    numberPrefix = other.numberPrefix;
}

QRect WindowPlace::read(const ProfileFile& f) {
    int v[4] = {};
    const char* const keys[] = {"LEFT", "TOP", "WIDTH", "HEIGHT"};
    for (int i = 0; i < 4; ++i) {
        const auto n = toInt(f.value(Section, keys[i]));
        if (!n || *n < -100000 || *n > 100000)
            return {};
        v[i] = *n;
    }
    return v[2] > 0 && v[3] > 0 ? QRect(v[0], v[1], v[2], v[3]) : QRect();
}

void WindowPlace::write(ProfileFile& f, const QRect& place) {
    f.setValue(Section, "LEFT", QByteArray::number(place.x()));
    f.setValue(Section, "TOP", QByteArray::number(place.y()));
    f.setValue(Section, "WIDTH", QByteArray::number(place.width()));
    f.setValue(Section, "HEIGHT", QByteArray::number(place.height()));
}

QStringList RecentFiles::read(const ProfileFile& f) {
    QStringList out;
    for (int i = 1; i <= Count; ++i) {
        const QString path =
            QFile::decodeName(f.value(Section, "FILE" + QByteArray::number(i)).value_or(""));
        if (!path.isEmpty() && !out.contains(path))
            out << path;
    }
    return out;
}

void RecentFiles::write(ProfileFile& f, const QStringList& paths) {
    for (int i = 1; i <= Count; ++i) {
        const QByteArray key = "FILE" + QByteArray::number(i);
        if (i <= paths.size())
            f.setValue(Section, key, QFile::encodeName(paths[i - 1]));
        else if (f.value(Section, key))
            f.setValue(Section, key, {});
    }
}

QStringList RecentFiles::added(QStringList paths, const QString& path) {
    // A line break would end the key's line in the file.
    if (path.isEmpty() || path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        return paths;
    paths.removeAll(path);
    paths.prepend(path);
    while (paths.size() > Count)
        paths.removeLast();
    return paths;
}

} // namespace quorix
