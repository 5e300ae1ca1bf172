#pragma once

#include "model/Book.h"
#include "model/PhoneLimits.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>

// The phonebook messages (FBUS type 0x03) of both directions as pure functions:
// the program's requests, the phone's answers, the entry blocks, the split into
// frames and the decoding of an entry. No state: the transfer keeps its own, and
// the virtual phone builds its side from the same pieces.
//
// Payload conventions: requests begin 00 01 00, answers 01 1B 00, byte 3 names the
// operation; numbers are 16-bit big-endian; a text travels as 16-bit characters,
// high byte first.
namespace quorix::transfer {

// Operation bytes (payload byte 3).
inline constexpr quint8 OpMemoryInfo = 0x03;
inline constexpr quint8 OpMemoryInfoAnswer = 0x04;
inline constexpr quint8 OpRead = 0x07;
inline constexpr quint8 OpReadAnswer = 0x08;
inline constexpr quint8 OpWrite = 0x0B;
inline constexpr quint8 OpWriteAnswer = 0x0C;

// Block ids.
inline constexpr quint8 BlockName = 0x07;
inline constexpr quint8 BlockEMail = 0x08;
inline constexpr quint8 BlockPostalAddress = 0x09;
inline constexpr quint8 BlockNote = 0x0A;
inline constexpr quint8 BlockNumber = 0x0B;
inline constexpr quint8 BlockGroup = 0x1E;

// Every entry (answer or write request) starts its blocks after this header;
// the location sits at bytes 12-13 and byte 17 counts the blocks.
inline constexpr int EntryHeaderSize = 18;
inline constexpr int EntryLocationOffset = 12;
inline constexpr int EntryBlockCountOffset = 17;
// An entry answer shorter than this is not taken as an entry.
inline constexpr int MinEntryAnswerSize = 24;

// Length limits of the blocks as the program writes them.
inline constexpr int MinBlockSize = 34;
inline constexpr int MaxNumberChars = PhoneNumberChars;
inline constexpr int MaxTextChars = PhoneTextChars;
// A longer name would not fit the block's one-byte length; it is cut to this.
inline constexpr int MaxNameChars = PhoneNameChars;
// Byte 17 of a write request never says more than this.
inline constexpr int MaxBlockCount = 9;

// Payload bytes per frame of a write request.
inline constexpr int ChunkSize = 120;

// Payload sizes of the fixed answers.
inline constexpr int MemoryInfoAnswerSize = 22;
inline constexpr int EmptyLocationAnswerSize = 14;
inline constexpr int WriteConfirmedSize = 18;
inline constexpr int WriteRefusedSize = 14;

// 16-bit big-endian number at payload offset i (0 beyond the end).
int word(const QByteArray& payload, qsizetype i);

// ---- the program's requests ----

// 00 01 00 03 02 05 01 47 11 4B
QByteArray memoryInfoRequest();
// 00 01 00 07 01 01 00 01 01 05, the location, 00 00 01
QByteArray readRequest(int location);

// A text as the phone can store it: one 16-bit code unit per character. A
// character outside the Basic Multilingual Plane (an emoji, say), which would
// need two, becomes "?", and so does a lone surrogate; *replaced counts them.
QString phoneText(QStringView text, int* replaced = nullptr);

// The blocks exactly as the program writes them (padded with 00 to 34 bytes,
// byte 3 the block's length); texts go through phoneText first and are then
// cut to the block's limit.
// The characters replaced are added to *replaced.
QByteArray nameBlock(const QString& name, int* replaced = nullptr);
QByteArray numberBlock(quint8 kind, const QString& number, int* replaced = nullptr);
QByteArray textBlock(quint8 id, const QString& text, int* replaced = nullptr);
QByteArray groupBlock(int group);

// Number kind byte written for a number subentry of the given kind (image index):
// General 0x0A, Mobile 0x03, Home 0x02, Office 0x06, Fax 0x04; 0 for other kinds.
quint8 numberKindByte(int kind);
// Kind (image index) of a number kind byte as read: 0x01 and 0x0A General, 0x02 Home,
// 0x03 Mobile, 0x04 Fax, 0x06 Office, anything else unknown (11).
int kindOfNumberByte(quint8 kindByte);
// Text block id written for a text subentry: E-Mail 0x08, Postal Address 0x09, Note and
// unknown 0x0A; 0 for other kinds.
quint8 textBlockId(int kind);

// The whole write request for a name and a location: header, block count (at most 9),
// the name block, every caller group block, then the number and text blocks in the
// order of the subentries sorted by class. Subentries of kinds outside 2..11 are
// left out. The name itself is not changed; the caller sorts the book's copy.
// *replaced counts the characters written as "?" (see phoneText).
QByteArray writeRequest(const Name& name, int location, int* replaced = nullptr);

// What a write of the name leaves out: "Note cut to 60 characters" for each
// text longer than the phone stores, in the order of cutWarning().
QStringList cutRemarks(const Name& name);
// "1 character replaced", "3 characters replaced"; empty for none.
QString replacedRemark(int replaced);
// An entry note with its remarks after it, each after ", ", empty ones left
// out: "Written to location 1, Note cut to 60 characters, 1 character replaced".
QString joinNoteParts(const QString& head, const QStringList& remarks);

// One frame's worth of a message: its data, fragment byte and follow-on flag.
struct Chunk {
    QByteArray data;
    quint8 fragment = 1;
    bool followOn = false;
    friend bool operator==(const Chunk&, const Chunk&) = default;
};

// Cuts a payload into chunks of chunkSize bytes (the last holds the rest), the
// fragment bytes counting down to 1 and only the first chunk not a follow-on. An
// empty payload gives one empty chunk. More than 255 chunks cannot be counted by
// the fragment byte: the result is then empty.
QList<Chunk> splitPayload(const QByteArray& payload, int chunkSize = ChunkSize);

// ---- the phone's answers ----

// 01 1B 00 04, memory size at 14-15, used locations at 16-17; 22 bytes.
QByteArray memoryInfoAnswer(int memorySize, int memoryUsed);
// The 18-byte entry header for a location followed by the given blocks.
QByteArray entryAnswer(int location, const QByteArray& blocks, int blockCount);
// 01 1B 00 08 00 01 0F and 7 more bytes (which carry the location); 14 bytes.
QByteArray emptyLocationAnswer(int location);
// 01 1B 00 0C ..., the location at 12-13; 18 bytes.
QByteArray writeConfirmedAnswer(int location);
// 01 1B 00 0C ...; 14 bytes.
QByteArray writeRefusedAnswer(int location);

// ---- recognition ----

// What one frame of type 0x03 from the phone is, judged on that frame alone in the
// order write confirmed, memory information, write refused. Everything else is a
// frame of an entry answer (or of an unknown message) for the assembly.
enum class AnswerKind { WriteConfirmed, MemoryInfo, WriteRefused, EntryFrame };
struct Answer {
    AnswerKind kind = AnswerKind::EntryFrame;
    int location = -1;   // write confirmed
    int memorySize = -1; // memory information
    int memoryUsed = -1;
};
Answer recogniseAnswer(const QByteArray& frame);

// Exactly 14 bytes beginning 01 1B 00 08 00 01 0F.
bool isEmptyLocation(const QByteArray& payload);

// What a request payload from the program asks for (the phone's side).
enum class RequestKind { MemoryInfo, Read, Write, Unknown };
struct Request {
    RequestKind kind = RequestKind::Unknown;
    int location = -1; // read and write
};
Request recogniseRequest(const QByteArray& payload);

// ---- decoding ----

// A text field: 16-bit characters, high byte first; 0 ends the text, characters
// up to 30 become a blank; an odd last byte is ignored. A surrogate that is not
// half of a pair becomes U+FFFD, so the text is always valid.
QString decodeText(const QByteArray& bytes);

// One block of an entry as found in a payload.
struct Block {
    quint8 id = 0;
    QByteArray bytes; // the whole block, header included
};
// Offset of the text in a block of this id (10 for numbers, 6 for the rest), which is
// also the smallest length such a block may claim.
int blockTextOffset(quint8 id);
// Walks the blocks one after the other by their length bytes. A block that is too
// short to hold its length byte, claims a length below its text offset, or runs past
// the end ends the walk: it and everything after it are dropped, and complete is set
// to false. The walk therefore always ends and never reads outside the bytes.
QList<Block> splitBlocks(const QByteArray& blocks, bool* complete = nullptr);

// An entry as the read side sees it.
struct Entry {
    int location = 0;
    Name name;
};
// Decodes an entry answer (at least 24 bytes; else nothing): the location from bytes
// 12-13, the name from a name block that comes first ("<No Name>" without one), every
// other block a subentry (numbers by kind byte, texts 0x08/0x09/0x0A, the caller group
// by number: 0 nothing, 1..5 its name, else "unknown group", any other id unknown),
// the subentries kept sorted by class. Malformed blocks end the decoding as
// splitBlocks does; what was decoded before them is kept.
std::optional<Entry> decodeEntry(const QByteArray& payload);

} // namespace quorix::transfer
