#pragma once

#include "transfer/TransferReport.h"

#include "model/Book.h"
#include "model/PhoneSync.h"

#include <QPersistentModelIndex>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorix {
class BookModel;
}

// A sync job: on one link, read some locations of the phone without touching the
// book, then write chosen names to chosen locations. The job decides twice:
// once the range is known, which locations to read; once they are read, which
// names go where. Compare, Write changes and the checks against a snapshot are
// all such jobs.
namespace quorix::transfer {

struct SyncRange {
    int first = 0;
    int last = 0;
    int memorySize = 0;
    int memoryUsed = 0;
};

struct SyncReads {
    // Every location of the range, up to the last used one, as a read goes.
    bool wholeRange = false;
    // Or just these (ascending, within the memory).
    std::vector<int> locations;
};

struct SyncRead {
    SyncRange range;
    std::vector<int> read;       // the locations read, empty ones included
    std::vector<PhoneSlot> held; // what the used ones among them hold
};

struct SyncWrite {
    QPersistentModelIndex name;
    int location = 0;
};

struct SyncJob {
    LocationRange borders;
    std::function<SyncReads(const SyncRange&)> reads;
    std::function<std::vector<SyncWrite>(const SyncRead&)> writes;
};

// Compare: reads the whole range; writes nothing.
SyncJob compareJob();
// The book compared with what a compare read.
Comparison compareRead(const Book& book, const SyncRead& read);

// What a Write changes job saw and did.
struct ChangesOutcome {
    Comparison comparison;
    WritePlan plan;
    // Sends left out: their location no longer holds what the snapshot says.
    std::vector<WritePlan::Send> blocked;
    // The entries the writes replace, as the phone held them, and where keep()
    // put them; or why it could not (then nothing was written).
    std::vector<PhoneSlot> replaced;
    QString keptAt;
    QString keepError;
    // The writes sent, in order.
    std::vector<WritePlan::Send> sent;
};

// Write changes: writes only the names whose phone content differs from what
// writing them would store. What the phone holds is learnt from expected (a
// snapshot: then only the locations to write are read, and a location holding
// anything else is not written), else from the names' recorded contents when
// every name has its own (then the locations the book knows the phone held but
// no name records, the names deleted from the book, are read to be listed), else
// by reading the range first. keep(replaced) runs
// before the first write, with the entries the writes will replace; it gives
// where it kept them, or an error in *error, and then nothing is written.
using KeepReplaced = std::function<QString(const std::vector<PhoneSlot>& replaced, QString* error)>;
SyncJob changesJob(BookModel& model, std::optional<std::vector<PhoneSlot>> expected,
                   KeepReplaced keep, std::shared_ptr<ChangesOutcome> outcome);

} // namespace quorix::transfer
