#include "transfer/PhonebookMessages.h"

#include "link/Frame.h"

#include <algorithm>
#include <climits>

namespace quorix::transfer {

namespace {

void appendWord(QByteArray& out, int value) {
    out.append(char((value >> 8) & 0xFF)).append(char(value & 0xFF));
}

QByteArray bytes(std::initializer_list<quint8> list) {
    QByteArray out;
    out.reserve(qsizetype(list.size()));
    for (quint8 b : list)
        out.append(char(b));
    return out;
}

// Characters as 16-bit big-endian code units, then the terminating 00 00.
void appendText(QByteArray& out, QStringView text) {
    for (const QChar c : text)
        out.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    out.append("\0\0", 2);
}

// The text as a block holds it: phone characters, at most limit of them. The
// characters replaced within those are added to *replaced: one cut off with
// the end of a long text is not written, so not replaced either.
QString phoneTextCut(QStringView text, int limit, int* replaced) {
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), limit));
    int count = 0;
    for (qsizetype i = 0; i < text.size() && out.size() < limit; ++i) {
        const QChar c = text[i];
        if (!c.isSurrogate()) {
            out.append(c);
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        out.append(u'?');
        ++count;
    }
    if (replaced)
        *replaced += count;
    return out;
}

// Pads a block to the smallest block size and puts its final length in byte 3.
QByteArray finishBlock(QByteArray block) {
    if (block.size() < MinBlockSize)
        block.append(QByteArray(MinBlockSize - block.size(), '\0'));
    block[3] = char(block.size());
    return block;
}

// The header both the write request and the phone's answers carry in bytes 6-11.
const QByteArray& entryHeaderTail() {
    static const QByteArray tail = bytes({0x01, 0x00, 0x00, 0x0C, 0x02, 0x05});
    return tail;
}

bool startsAnswer(const QByteArray& data, quint8 op) {
    return data.size() >= 4 && quint8(data[0]) == 0x01 && quint8(data[1]) == 0x1B && data[2] == 0 &&
           quint8(data[3]) == op;
}

} // namespace

int word(const QByteArray& payload, qsizetype i) {
    return (link::frameByte(payload, i) << 8) | link::frameByte(payload, i + 1);
}

QByteArray memoryInfoRequest() {
    return bytes({0x00, 0x01, 0x00, OpMemoryInfo, 0x02, 0x05, 0x01, 0x47, 0x11, 0x4B});
}

QByteArray readRequest(int location) {
    QByteArray out = bytes({0x00, 0x01, 0x00, OpRead, 0x01, 0x01, 0x00, 0x01, 0x01, 0x05});
    appendWord(out, location);
    out.append(bytes({0x00, 0x00, 0x01}));
    return out;
}

QString phoneText(QStringView text, int* replaced) {
    if (replaced)
        *replaced = 0;
    return phoneTextCut(text, int(std::min<qsizetype>(text.size(), INT_MAX)), replaced);
}

QByteArray nameBlock(const QString& name, int* replaced) {
    const QString text = phoneTextCut(name, MaxNameChars, replaced);
    QByteArray block = bytes({BlockName, 0x00, 0x00, 0x00, 0x00});
    block.append(char((2 * text.size() + 2) & 0xFF));
    appendText(block, text);
    return finishBlock(block);
}

QByteArray numberBlock(quint8 kind, const QString& number, int* replaced) {
    QByteArray block = bytes({BlockNumber, 0x00, 0x00, 0x00, 0x00, kind, 0x00, 0x00, 0x00, 0x58});
    appendText(block, phoneTextCut(number, MaxNumberChars, replaced));
    return finishBlock(block);
}

QByteArray textBlock(quint8 id, const QString& text, int* replaced) {
    QByteArray block = bytes({id, 0x00, 0x00, 0x00, 0x00, 0x78});
    appendText(block, phoneTextCut(text, MaxTextChars, replaced));
    return finishBlock(block);
}

QByteArray groupBlock(int group) {
    return bytes({BlockGroup, 0x00, 0x00, 0x08, 0x04, quint8(group), 0x00, 0x00});
}

quint8 numberKindByte(int kind) {
    switch (kind) {
    case KindGeneral:
        return 0x0A;
    case KindMobile:
        return 0x03;
    case KindHome:
        return 0x02;
    case KindOffice:
        return 0x06;
    case KindFax:
        return 0x04;
    default:
        return 0;
    }
}

int kindOfNumberByte(quint8 kindByte) {
    switch (kindByte) {
    case 0x01:
    case 0x0A:
        return KindGeneral;
    case 0x02:
        return KindHome;
    case 0x03:
        return KindMobile;
    case 0x04:
        return KindFax;
    case 0x06:
        return KindOffice;
    default:
        return KindUnknown;
    }
}

quint8 textBlockId(int kind) {
    switch (kind) {
    case KindEMail:
        return BlockEMail;
    case KindPostalAddress:
        return BlockPostalAddress;
    case KindNote:
    case KindUnknown: // only a phone read makes these; the phone keeps them as notes
        return BlockNote;
    default:
        return 0;
    }
}

QStringList cutRemarks(const Name& name) {
    QStringList remarks;
    for (const TextCut& cut : textCuts(name))
        remarks.append(QStringLiteral("%1 cut to %2 characters").arg(cut.what).arg(cut.limit));
    return remarks;
}

QString replacedRemark(int replaced) {
    if (replaced <= 0)
        return {};
    return replaced == 1 ? QStringLiteral("1 character replaced")
                         : QStringLiteral("%1 characters replaced").arg(replaced);
}

QString joinNoteParts(const QString& head, const QStringList& remarks) {
    QString note = head;
    for (const QString& remark : remarks)
        if (!remark.isEmpty())
            note += QStringLiteral(", ") + remark;
    return note;
}

QByteArray writeRequest(const Name& name, int location, int* replaced) {
    std::vector<Subentry> subs = name.subs;
    std::stable_sort(subs.begin(), subs.end(), [](const Subentry& a, const Subentry& b) {
        return Book::compareClass(a, b) < 0;
    });

    QByteArray request = bytes({0x00, 0x01, 0x00, OpWrite, 0x00, 0x01});
    request.append(entryHeaderTail());
    appendWord(request, location);
    request.append(bytes({0x00, 0x00, 0x00, 0x04}));
    int missing = 0;
    request.append(nameBlock(name.text, &missing));

    QByteArray rest;
    int count = 1;
    for (const Subentry& s : subs) {
        if (isNumberKind(s.kind))
            rest.append(numberBlock(numberKindByte(s.kind), s.text, &missing));
        else if (s.kind == KindCallerGroup)
            request.append(groupBlock(std::max(0, groupIndex(s.text))));
        else if (const quint8 id = textBlockId(s.kind))
            rest.append(textBlock(id, s.text, &missing));
        else
            continue;
        ++count;
    }
    request.append(rest);
    request[EntryBlockCountOffset] = char(std::min(count, MaxBlockCount));
    if (replaced)
        *replaced = missing;
    return request;
}

QList<Chunk> splitPayload(const QByteArray& payload, int chunkSize) {
    chunkSize = std::max(1, chunkSize);
    const qsizetype count = std::max<qsizetype>(1, (payload.size() + chunkSize - 1) / chunkSize);
    if (count > 255)
        return {};
    QList<Chunk> chunks;
    chunks.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        chunks.append(Chunk{payload.mid(i * chunkSize, chunkSize), quint8(count - i), i > 0});
    return chunks;
}

QByteArray memoryInfoAnswer(int memorySize, int memoryUsed) {
    // Bytes 4-13 echo the memory type of the request; 18-21 are unused.
    QByteArray out = bytes({0x01, 0x1B, 0x00, OpMemoryInfoAnswer, 0x02, 0x05});
    out.append(QByteArray(8, '\0'));
    appendWord(out, memorySize);
    appendWord(out, memoryUsed);
    out.append(QByteArray(4, '\0'));
    return out;
}

// The answers that carry a location: the entry header up to the location, with byte
// 6 0x01 for success or 0x0F, the phone's "not done" code.
static QByteArray locationanswer(quint8 op, bool ok, int location) {
    QByteArray out = bytes({0x01, 0x1B, 0x00, op, 0x00, 0x01, quint8(ok ? 0x01 : 0x0F)});
    out.append(entryHeaderTail().mid(1));
    appendWord(out, location);
    return out;
}

QByteArray entryAnswer(int location, const QByteArray& blocks, int blockCount) {
    QByteArray out = locationanswer(OpReadAnswer, true, location);
    out.append(bytes({0x00, 0x00, 0x00, quint8(std::clamp(blockCount, 0, 255))}));
    out.append(blocks);
    return out;
}

QByteArray emptyLocationAnswer(int location) {
    return locationanswer(OpReadAnswer, false, location);
}

QByteArray writeConfirmedAnswer(int location) {
    return locationanswer(OpWriteAnswer, true, location) + QByteArray(4, '\0');
}

QByteArray writeRefusedAnswer(int location) {
    return locationanswer(OpWriteAnswer, false, location);
}

Answer recogniseAnswer(const QByteArray& frame) {
    const QByteArray data = link::frameData(frame);
    const int n = link::frameLength(frame);
    Answer a;
    if (startsAnswer(data, OpWriteAnswer) && n == WriteConfirmedSize + 2) {
        a.kind = AnswerKind::WriteConfirmed;
        a.location = word(data, EntryLocationOffset);
    } else if (startsAnswer(data, OpMemoryInfoAnswer) && n == MemoryInfoAnswerSize + 2) {
        a.kind = AnswerKind::MemoryInfo;
        a.memorySize = word(data, 14);
        a.memoryUsed = word(data, 16);
    } else if (startsAnswer(data, OpWriteAnswer) && n == WriteRefusedSize + 2) {
        a.kind = AnswerKind::WriteRefused;
    }
    return a;
}

bool isEmptyLocation(const QByteArray& payload) {
    static const QByteArray start = bytes({0x01, 0x1B, 0x00, OpReadAnswer, 0x00, 0x01, 0x0F});
    return payload.size() == EmptyLocationAnswerSize && payload.startsWith(start);
}

Request recogniseRequest(const QByteArray& payload) {
    Request r;
    if (payload.size() < 4 || payload[0] != 0 || payload[1] != 1 || payload[2] != 0)
        return r;
    switch (quint8(payload[3])) {
    case OpMemoryInfo:
        r.kind = RequestKind::MemoryInfo;
        break;
    case OpRead:
        if (payload.size() >= 12) {
            r.kind = RequestKind::Read;
            r.location = word(payload, 10);
        }
        break;
    case OpWrite:
        if (payload.size() >= EntryHeaderSize) {
            r.kind = RequestKind::Write;
            r.location = word(payload, EntryLocationOffset);
        }
        break;
    default:
        break;
    }
    return r;
}

QString decodeText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = char16_t((quint8(bytes[i]) << 8) | quint8(bytes[i + 1]));
        if (c == 0)
            break;
        // Earlier versions of this program stored the code page's 8-bit
        // characters as they were: 0x80-0x9F are Windows-1252's, not controls.
        if (c <= 30)
            text.append(QChar(u' '));
        else if (c >= 0x80 && c < 0xA0)
            text.append(QChar(windows1252Char(uchar(c))));
        else
            text.append(QChar(c));
    }
    // Only whole pairs are kept as surrogates.
    return wholeCharacters(std::move(text));
}

int blockTextOffset(quint8 id) {
    return id == BlockNumber ? 10 : 6;
}

QList<Block> splitBlocks(const QByteArray& blocks, bool* complete) {
    QList<Block> out;
    qsizetype pos = 0;
    bool whole = true;
    while (pos < blocks.size()) {
        const qsizetype left = blocks.size() - pos;
        const auto id = quint8(blocks[pos]);
        const int length = left > 3 ? quint8(blocks[pos + 3]) : 0;
        if (length < blockTextOffset(id) || length > left) {
            whole = false;
            break;
        }
        out.append(Block{id, blocks.mid(pos, length)});
        pos += length;
    }
    if (complete)
        *complete = whole;
    return out;
}

std::optional<Entry> decodeEntry(const QByteArray& payload) {
    if (payload.size() < MinEntryAnswerSize)
        return std::nullopt;
    Entry entry;
    entry.location = word(payload, EntryLocationOffset);
    entry.name.text = "<No Name>";

    const QList<Block> blocks = splitBlocks(payload.mid(EntryHeaderSize));
    qsizetype first = 0;
    if (!blocks.isEmpty() && blocks.front().id == BlockName) {
        entry.name.text = decodeText(blocks.front().bytes.mid(6));
        first = 1;
    }
    Name& name = entry.name;
    for (qsizetype i = first; i < blocks.size(); ++i) {
        const Block& b = blocks[i];
        switch (b.id) {
        case BlockNumber:
            Book::addSubentry(name, decodeText(b.bytes.mid(10)),
                              kindOfNumberByte(quint8(b.bytes[5])));
            break;
        case BlockEMail:
            Book::addSubentry(name, decodeText(b.bytes.mid(6)), KindEMail);
            break;
        case BlockPostalAddress:
            Book::addSubentry(name, decodeText(b.bytes.mid(6)), KindPostalAddress);
            break;
        case BlockNote:
            Book::addSubentry(name, decodeText(b.bytes.mid(6)), KindNote);
            break;
        case BlockGroup: {
            const auto g = quint8(b.bytes[5]);
            if (g >= 1 && g < GroupCount)
                Book::addSubentry(name, groupNames[g], KindCallerGroup);
            else if (g != 0)
                Book::addSubentry(name, "unknown group", KindCallerGroup);
            break;
        }
        default:
            Book::addSubentry(name, decodeText(b.bytes.mid(6)), KindUnknown);
            break;
        }
        Book::sortByClass(name);
    }
    return entry;
}

} // namespace quorix::transfer
