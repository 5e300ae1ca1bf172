#include "transfer/SyncJob.h"

#include "model/BookModel.h"
#include "transfer/PhoneView.h"

#include <algorithm>
#include <set>

namespace quorix::transfer {

SyncJob compareJob() {
    SyncJob job;
    job.reads = [](const SyncRange&) { return SyncReads{true, {}}; };
    return job;
}

Comparison compareRead(const Book& book, const SyncRead& read) {
    return comparePhone(bookSides(book, phoneView), read.held, read.range.first, read.range.last);
}

SyncJob changesJob(BookModel& model, std::optional<std::vector<PhoneSlot>> expected,
                   KeepReplaced keep, std::shared_ptr<ChangesOutcome> o) {
    const Book& book = model.book();
    // A location is never guessed: without a phone content for every name, each
    // at a location of its own, the range is read first.
    std::set<int> locations;
    const bool recorded = std::all_of(book.begin(), book.end(), [&](const auto& n) {
        return n->location && n->phoneContent && locations.insert(*n->location).second;
    });
    const bool readRange = !expected && !recorded;
    auto snapshot =
        std::make_shared<const std::optional<std::vector<PhoneSlot>>>(std::move(expected));

    SyncJob job;
    job.reads = [&model, o, snapshot, readRange](const SyncRange& range) -> SyncReads {
        if (readRange)
            return {true, {}};
        const Book& b = model.book();
        SyncReads reads;
        if (!*snapshot) {
            // The locations the phone held that no name records any more: the
            // names deleted from the book. What they hold is read, so that they
            // are listed and never taken for free locations.
            const std::vector<PhoneSlot> recorded = recordedSlots(b);
            for (const int l : b.phoneHeld)
                if (l >= range.first && l <= range.last &&
                    std::none_of(recorded.begin(), recorded.end(),
                                 [l](const PhoneSlot& s) { return s.location == l; }))
                    reads.locations.push_back(l);
            return reads;
        }
        o->comparison = comparePhone(bookSides(b, phoneView), **snapshot, range.first, range.last);
        o->plan = planChanges(o->comparison);
        // To keep what is overwritten, and to see it is what the snapshot says.
        for (const WritePlan::Send& send : o->plan.send)
            reads.locations.push_back(send.location);
        return reads;
    };
    job.writes = [&model, o, snapshot, readRange,
                  keep = std::move(keep)](const SyncRead& read) -> std::vector<SyncWrite> {
        const Book& b = model.book();
        std::vector<PhoneSlot> held = read.held;
        if (readRange) {
            o->comparison = compareRead(b, read);
            o->plan = planChanges(o->comparison);
        } else if (*snapshot) {
            o->blocked = changedBehind(o->plan, **snapshot, read.held);
        } else {
            held = recordedSlots(b);
            held.insert(held.end(), read.held.begin(), read.held.end());
            o->comparison =
                comparePhone(bookSides(b, phoneView), held, read.range.first, read.range.last);
            o->plan = planChanges(o->comparison);
        }
        WritePlan go = o->plan;
        std::erase_if(go.send, [&](const WritePlan::Send& send) {
            return std::any_of(o->blocked.begin(), o->blocked.end(), [&](const WritePlan::Send& x) {
                return x.location == send.location;
            });
        });
        o->replaced = replacedBy(go, held);
        if (!o->replaced.empty() && keep) {
            QString error;
            o->keptAt = keep(o->replaced, &error);
            if (!error.isEmpty()) {
                // Nothing is overwritten that is not kept first.
                o->keepError = error;
                return {};
            }
        }
        o->sent = go.send;
        std::vector<SyncWrite> writes;
        for (const WritePlan::Send& send : go.send)
            writes.push_back(
                {QPersistentModelIndex(model.indexOf(b.name(send.bookRow))), send.location});
        return writes;
    };
    return job;
}

} // namespace quorix::transfer
