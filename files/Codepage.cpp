#include "Codepage.h"

#include "model/Book.h"

#include <QIODevice>
#include <QStringDecoder>

#include <algorithm>

namespace quorix::files {

namespace {

// The byte of a character, or -1 when the table has none.
int byteOf(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int b = 0x80; b < 0xA0; ++b)
        if (windows1252Char(uchar(b)) == c)
            return b;
    return -1;
}

// Walks the characters of a text: calls f with the byte of each, or -1.
template <typename F> void forEachByte(QStringView text, F f) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        // A surrogate pair is one character; a lone surrogate is one as well.
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        f(c.isSurrogate() ? -1 : byteOf(c.unicode()));
    }
}

} // namespace

QString decodeCp1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char b : bytes) {
        const auto u = uchar(b);
        *out++ = QChar(windows1252Char(u));
    }
    return text;
}

QByteArray encodeCp1252(QStringView text, int* unmappable) {
    QByteArray bytes;
    bytes.reserve(text.size());
    int missing = 0;
    forEachByte(text, [&](int b) {
        if (b < 0) {
            ++missing;
            bytes.append('?');
        } else {
            bytes.append(char(b));
        }
    });
    if (unmappable)
        *unmappable = missing;
    return bytes;
}

int unmappableCp1252(QStringView text) {
    int missing = 0;
    forEachByte(text, [&](int b) { missing += b < 0; });
    return missing;
}

QString encodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("utf-8");
    case TextEncoding::Windows1252:
        return QStringLiteral("windows-1252");
    case TextEncoding::Automatic:
        break;
    }
    return QStringLiteral("auto");
}

TextEncoding encodingFromName(const QString& name, bool* ok) {
    const QString n = name.trimmed().toLower();
    bool known = true;
    TextEncoding e = TextEncoding::Automatic;
    if (n == QLatin1String("utf-8") || n == QLatin1String("utf8"))
        e = TextEncoding::Utf8;
    else if (n == QLatin1String("windows-1252") || n == QLatin1String("cp1252"))
        e = TextEncoding::Windows1252;
    else
        known = n == QLatin1String("auto") || n == QLatin1String("automatic");
    if (ok)
        *ok = known;
    return e;
}

TextEncoding resolveEncoding(TextEncoding chosen, QIODevice& device) {
    if (chosen != TextEncoding::Automatic)
        return chosen;
    const qint64 start = device.pos();
    QStringDecoder utf8(QStringDecoder::Utf8);
    bool first = true;
    bool high = false;
    bool valid = true;
    constexpr qint64 Chunk = 64 * 1024;
    while (valid) {
        const QByteArray chunk = device.read(Chunk);
        if (chunk.isEmpty())
            break;
        if (first && chunk.startsWith("\xef\xbb\xbf")) {
            device.seek(start);
            return TextEncoding::Utf8;
        }
        first = false;
        high =
            high || std::any_of(chunk.begin(), chunk.end(), [](char c) { return uchar(c) > 0x7f; });
        // The decoder keeps a sequence cut by the chunk's end for the next one.
        const QString decoded = utf8.decode(chunk);
        valid = !utf8.hasError();
    }
    // A sequence left open at the end of the file is invalid too: one more
    // ASCII byte shows it.
    if (valid) {
        const QString tail = utf8.decode(QByteArrayView("\n"));
        valid = !utf8.hasError();
    }
    device.seek(start);
    return valid && high ? TextEncoding::Utf8 : TextEncoding::Windows1252;
}

QString decodeLine(QByteArrayView bytes, TextEncoding resolved, bool firstLine) {
    if (resolved != TextEncoding::Utf8)
        return decodeCp1252(bytes);
    if (firstLine && bytes.startsWith("\xef\xbb\xbf"))
        bytes = bytes.sliced(3);
    return QString::fromUtf8(bytes);
}

} // namespace quorix::files
