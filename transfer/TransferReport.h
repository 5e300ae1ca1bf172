#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quorix::transfer {

// The Custom borders as the person gave them: either may be missing.
struct LocationRange {
    std::optional<int> first;
    std::optional<int> last;
    friend bool operator==(const LocationRange&, const LocationRange&) = default;
};

// What became of one name of a transfer.
enum class NameFate {
    Read,         // read from the phone
    NotReached,   // the transfer ended before it
    Sent,         // sent, but no answer came: the phone may or may not hold it
    Written,      // the phone confirmed it
    Refused,      // the phone refused it
    OutsideRange, // more names than locations in the range
    Deleted,      // deleted from the book before it was sent
};

struct NameResult {
    QString name;
    std::optional<int> location; // read from, or meant for
    NameFate fate = NameFate::NotReached;
    QStringList remarks; // "E-Mail cut to 60 characters", "1 character replaced"

    // The entry note the name carries for this result; empty for none.
    QString note() const;
};

// Sync: a job of SyncJob.h, reading locations and writing chosen names.
enum class TransferKind { Read, Write, Rewrite, Sync };

enum class TransferEnding {
    Completed,      // the range was covered (a write may have refused names)
    StoppedByUser,  // Stop, or No at the time-out question
    GivenUp,        // someone else gave up for the user (reason says why)
    PortLost,       // the device went away under the transfer
    LinkNotStarted, // the port did not open
};

// How a transfer went, handed over by Transfer::finished().
struct TransferReport {
    TransferKind kind = TransferKind::Read;
    TransferEnding ending = TransferEnding::Completed;
    QByteArray reason;       // GivenUp: the closing text to show
    QByteArray device;       // PortLost, LinkNotStarted: the port
    QByteArray systemReason; // ... and the system's text for the failure
    QByteArray linkMessage;  // LinkNotStarted: the "Error" box text (CR line breaks)

    std::optional<int> memorySize; // as the phone reported them
    std::optional<int> memoryUsed;
    std::optional<int> firstLocation; // the range, once the phone answered
    std::optional<int> lastLocation;
    // A write from location 1: used locations after the last one written, as
    // the phone counted them when the write was over.
    std::optional<int> leftAfter;
    // A write that kept what it replaced: the backup file (empty when nothing
    // was replaced), or why none could be kept (then nothing was written).
    QString keptAt;
    QString keepError;

    // Read: the names in location order; write: every name from the first one
    // to write to the end of the book.
    std::vector<NameResult> names;

    int count(NameFate fate) const;
    bool refusals() const { return count(NameFate::Refused) > 0; }
    bool completed() const { return ending == TransferEnding::Completed; }
    // A link was up at some point (names may have been read or written).
    bool linkCameUp() const { return memorySize.has_value(); }

    // "Ready.", "Ready, but errors occured.", "Transfer aborted by user.", the
    // reason, "Read interrupted after N names: DEV disappeared (why)"; empty
    // when the link never started.
    QByteArray closingText() const;
    // "The phone still holds N entries after location M."; empty when unknown
    // or none.
    QByteArray leftoverText() const;
};

// "1 name", "3 names".
QString countOf(int n, const QString& singular, const QString& plural);

} // namespace quorix::transfer
