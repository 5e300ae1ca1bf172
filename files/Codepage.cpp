#include "Codepage.h"

#include <array>

namespace quorix::files {

namespace {

// Characters of the bytes 0x80 to 0x9F; the rest of the table is Latin-1.
constexpr std::array<char16_t, 32> High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The byte of a character, or -1 when the table has none.
int byteOf(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(High.size()); ++i)
        if (High[size_t(i)] == c)
            return 0x80 + i;
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
        *out++ = QChar(u >= 0x80 && u < 0xA0 ? High[u - 0x80] : char16_t(u));
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

} // namespace quorix::files
