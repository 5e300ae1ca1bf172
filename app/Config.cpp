#include "app/Config.h"

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
    if (!device.isEmpty() || f.value(Section, "DEVICE"))
        f.setValue(Section, "DEVICE", device);
}

} // namespace quorix
