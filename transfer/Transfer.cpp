#include "transfer/Transfer.h"

#include "link/Frame.h"
#include "transfer/PhoneView.h"

#include <algorithm>

namespace quorix::transfer {

namespace {

QByteArray num(int n) {
    return QByteArray::number(n);
}

} // namespace

Transfer::Transfer(TransferLink& link, BookModel& model, TransferUi& ui, QObject* parent)
    : QObject(parent), link_(link), model_(model), ui_(ui) {
    watchdog_.setInterval(timing_.watchdogMs);
    // Coarse timers may fire 5 % early or late; the phone's waits are minimums.
    watchdog_.setTimerType(Qt::PreciseTimer);
    chunkTimer_.setTimerType(Qt::PreciseTimer);
    connect(&watchdog_, &QTimer::timeout, this, &Transfer::onWatchdogTick);
    chunkTimer_.setSingleShot(true);
    connect(&chunkTimer_, &QTimer::timeout, this, &Transfer::sendNextChunk);
    askAgainTimer_.setSingleShot(true);
    askAgainTimer_.setInterval(timing_.ackWaitMs);
    connect(&askAgainTimer_, &QTimer::timeout, this, &Transfer::askAgain);
    link_.setPhonebookAnswer(this);
}

Transfer::~Transfer() {
    link_.setPhonebookAnswer(nullptr);
    if (busy())
        link_.stopLink();
}

void Transfer::setTiming(const Timing& timing) {
    timing_ = timing;
    watchdog_.setInterval(timing_.watchdogMs);
    askAgainTimer_.setInterval(timing_.ackWaitMs);
}

QString Transfer::joinNote(const QString& note, const QStringList& details) {
    return joinNoteParts(note, details);
}

QString Transfer::replacedDetail(int count) {
    return replacedRemark(count);
}

std::optional<int> Transfer::border(const QByteArray& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value <= 0)
        return std::nullopt;
    // A request carries the location in 16 bits; a larger one would name another.
    return std::min(value, MaxLocation);
}

void Transfer::setState(State state) {
    if (state_ == state)
        return;
    state_ = state;
    Q_EMIT stateChanged(state);
}

// ---- commands ----

bool Transfer::begin(TransferKind kind, const LocationRange& borders) {
    if (busy() || transferActive())
        return false;
    // Nothing of an earlier transfer may steer this one.
    report_ = TransferReport{};
    report_.kind = kind;
    const auto location = [](std::optional<int> b) -> std::optional<int> {
        if (!b || *b <= 0)
            return std::nullopt;
        return std::min(*b, MaxLocation);
    };
    borders_ = {location(borders.first), location(borders.last)};
    request_.reset();
    stopRequested_.reset();
    bookCleared_ = false;
    reconnecting_ = false;
    nextLocation_ = 0;
    writeNames_.clear();
    writePosition_ = 0;
    syncLocations_.clear();
    syncPosition_ = 0;
    syncWhole_ = false;
    readingFirst_ = kind == TransferKind::Sync;
    syncRead_ = {};
    startConnection();
    return true;
}

bool Transfer::startRead(const LocationRange& borders) {
    return begin(TransferKind::Read, borders);
}

bool Transfer::startWrite(const LocationRange& borders, KeepReplaced keep) {
    if (busy() || transferActive())
        return false;
    rewriteName_ = QPersistentModelIndex();
    keep_ = std::move(keep);
    return begin(TransferKind::Write, borders);
}

bool Transfer::startSync(SyncJob job) {
    if (busy() || transferActive())
        return false;
    rewriteName_ = QPersistentModelIndex();
    keep_ = {};
    const LocationRange borders = job.borders;
    job_ = std::move(job);
    return begin(TransferKind::Sync, borders);
}

bool Transfer::rewrite(const QModelIndex& selected, const LocationRange& borders,
                       KeepReplaced keep) {
    if (busy() || transferActive())
        return false;
    // A subentry stands for its name; the root is no name to write.
    Name* name = model_.nameOf(selected);
    if (!name)
        return false;
    LocationRange range = borders;
    if (!range.first || !range.last || *range.first <= 0 || *range.last <= 0) {
        // Back to where the phone has it.
        if (!name->location)
            return false;
        range = {name->location, name->location};
    }
    rewriteName_ = indexOfName(*name);
    keep_ = std::move(keep);
    return begin(TransferKind::Rewrite, range);
}

void Transfer::requestStop() {
    if (busy())
        stopRequested_ = TransferEnding::StoppedByUser;
}

// ---- start and end ----

void Transfer::startConnection() {
    setState(State::StartingLink);
    link_.startLink(this);
}

void Transfer::showStatus(const QByteArray& text) {
    status(text);
}

void Transfer::showError(const QByteArray& caption, const QByteArray& text) {
    report_.linkMessage = text;
    ui_.showError(caption, text);
}

void Transfer::linkStarted(bool ok) {
    if (state_ != State::StartingLink)
        return;
    if (!ok) {
        linkFailed();
        return;
    }
    reconnecting_ = false;
    lastFragment_.reset();
    assemblyBroken_ = false;
    fragmentData_.clear();
    setActive(true);
    setState(State::WaitingForMemoryInfo);
    status("Retrieving memory information...");
    sendRequest(Request::Kind::MemoryInfo, memoryInfoRequest(), 0);
    watchdog_.start();
}

void Transfer::linkFailed() {
    report_.device = link_.device();
    report_.systemReason = link_.systemError();
    // A read set up again leaves its names in location order, as an ended read does.
    if (std::exchange(reconnecting_, false) && reading() && bookCleared_) {
        flipBook();
        bookCleared_ = false;
        status("Error opening serial port!");
    }
    finish(TransferEnding::LinkNotStarted);
}

void Transfer::stopLink() {
    watchdog_.stop();
    chunkTimer_.stop();
    askAgainTimer_.stop();
    chunks_.clear();
    request_.reset();
    ++generation_;
    link_.stopLink();
}

void Transfer::finish(TransferEnding ending) {
    const bool wasAsking = state_ == State::AskingTimeout;
    stopLink();
    report_.ending = ending;
    if (reading() && bookCleared_) {
        // The names were added at the top: location order is the flipped one.
        flipBook();
        bookCleared_ = false;
    }
    const QByteArray closing = report_.closingText();
    const QByteArray leftover = report_.leftoverText();
    if (!closing.isEmpty())
        status(leftover.isEmpty() ? closing : closing + ' ' + leftover);
    rewriteName_ = QPersistentModelIndex();
    writeNames_.clear();
    keep_ = {}; // a write broken off before it kept anything keeps nothing later
    setActive(false);
    setState(State::Idle);
    if (wasAsking)
        ui_.withdrawTimeout();
    Q_EMIT finished(report_);
}

void Transfer::setActive(bool active) {
    Book& b = model_.book();
    if (b.transferActive == active)
        return;
    b.transferActive = active;
    Q_EMIT transferActiveChanged(active);
}

void Transfer::flipBook() {
    // Its "Flipping book..." and "OK." belong to the transfer's status.
    const QMetaObject::Connection c =
        connect(&model_, &BookModel::statusText, this, [this](const QByteArray& t) { status(t); });
    model_.flipBook();
    disconnect(c);
}

// ---- the watchdog ----

void Transfer::onWatchdogTick() {
    if (!watchdog_.isActive())
        return;
    if (quint32(link_.now() - link_.lastValidFrameTime()) <= timing_.silenceMs)
        return;
    watchdog_.stop();
    if (state_ == State::CountingLeftovers) {
        // The write itself is over; only the count of what lies beyond is missing.
        finish(TransferEnding::Completed);
        return;
    }
    setState(State::AskingTimeout);
    ui_.askTimeout(TimeoutCaption, TimeoutText);
}

void Transfer::timeoutAnswer(bool yes) {
    // A late answer may have ended the transfer while the question was open.
    if (state_ != State::AskingTimeout)
        return;
    if (!yes) {
        abandon();
        return;
    }
    // The loop resumes where the phone stopped answering: a read with the first
    // location without an answer, a write with the first name without one. Both
    // only move forward with answers, so no number of Yes steps back further.
    stopLink();
    reconnecting_ = true;
    startConnection();
}

void Transfer::abandon(const QByteArray& reason) {
    if (state_ == State::Idle)
        return;
    report_.reason = reason;
    finish(reason.isEmpty() ? TransferEnding::StoppedByUser : TransferEnding::GivenUp);
}

void Transfer::portLost(const QByteArray& device, const QByteArray& reason) {
    if (state_ == State::Idle)
        return;
    report_.device = device;
    report_.systemReason = reason;
    finish(TransferEnding::PortLost);
}

// ---- requests and answers ----

void Transfer::sendRequest(Request::Kind kind, const QByteArray& payload, int location) {
    request_ = Request{kind, location, true, false};
    askAgainTimer_.stop();
    link_.sendFrame(link::TypeMemory, payload, 1, false);
    link_.whenLastFrameAcknowledged([this, generation = generation_] {
        if (generation == generation_)
            onAcknowledged();
    });
}

void Transfer::onAcknowledged() {
    if (!request_ || !request_->sentWhole)
        return;
    request_->acknowledged = true;
    // An answer without a location that came before this was not ours.
    askAgainTimer_.stop();
}

// An answer that names no location came, but the phone never acknowledged our
// request: the acknowledgement may be lost, or the answer belonged to an earlier
// request. Rather than guess, the phone is asked once more.
void Transfer::askAgain() {
    if (!request_ || request_->acknowledged || !request_->sentWhole)
        return;
    switch (request_->kind) {
    case Request::Kind::MemoryInfo:
        sendRequest(Request::Kind::MemoryInfo, memoryInfoRequest(), 0);
        break;
    case Request::Kind::Read:
        sendRequest(Request::Kind::Read, readRequest(request_->location), request_->location);
        break;
    case Request::Kind::Write:
        if (Name* name = nameAt(writeNames_[writePosition_]))
            sendName(*name, request_->location);
        break;
    }
}

// Which answer belongs to which request. Exactly one request is outstanding
// (request_), and the phone acknowledges every frame of a request before it
// answers it, so the line carries, in order: the acknowledgement of our
// request's last frame, then its answer. Hence:
// - an answer counts once: taking it clears request_, so repeats fall through;
// - an answer that names its location (an entry, a write confirmation) counts
//   only for a request for that location;
// - an answer that names none (an empty location, a refused write) counts only
//   after the acknowledgement: one before it answers an earlier request. If the
//   acknowledgement never comes (lost on the line), the request is sent again.
// Everything else is dropped; when the phone falls silent, the watchdog asks.
void Transfer::handlePhonebookAnswer(const QByteArray& frame) {
    if (!request_ || state_ == State::Idle || state_ == State::StartingLink)
        return;
    const Answer a = recogniseAnswer(frame);
    const Request::Kind kind = request_->kind;
    switch (a.kind) {
    case AnswerKind::MemoryInfo:
        if (kind != Request::Kind::MemoryInfo)
            return;
        request_.reset();
        askAgainTimer_.stop();
        if (state_ == State::CountingLeftovers) {
            const int written = report_.count(NameFate::Written);
            report_.leftAfter = std::max(0, a.memoryUsed - written);
            finish(TransferEnding::Completed);
            return;
        }
        onMemoryInfo(a.memorySize, a.memoryUsed);
        break;
    case AnswerKind::WriteConfirmed:
        if (kind == Request::Kind::Write && request_->sentWhole && a.location == request_->location)
            takeWriteAnswer(true);
        break;
    case AnswerKind::WriteRefused:
        if (kind != Request::Kind::Write || !request_->sentWhole)
            return;
        if (request_->acknowledged)
            takeWriteAnswer(false);
        else
            askAgainTimer_.start();
        break;
    case AnswerKind::EntryFrame:
        // Entries belong to a read; while a write runs they must not touch the book.
        if (kind == Request::Kind::Read)
            collect(frame);
        break;
    }
}

void Transfer::collect(const QByteArray& frame) {
    if (assemblyBroken_)
        return;
    const int f = link::fragmentByte(frame);
    if (lastFragment_ && f != *lastFragment_ - 1) {
        // Out of order: the message is lost; the watchdog sets the link up again.
        assemblyBroken_ = true;
        lastFragment_.reset();
        fragmentData_.clear();
        return;
    }
    lastFragment_ = f;
    fragmentData_.append(link::frameData(frame));
    if (f != 1)
        return;
    const QByteArray payload = std::exchange(fragmentData_, {});
    lastFragment_.reset();
    if (const std::optional<Entry> entry = decodeEntry(payload)) {
        if (entry->location == request_->location)
            takeEntry(*entry);
        return;
    }
    if (!isEmptyLocation(payload))
        return;
    if (!request_->acknowledged) {
        askAgainTimer_.start();
        return;
    }
    const int location = request_->location;
    if (syncReading()) {
        syncTake(location, std::nullopt);
        return;
    }
    request_.reset();
    askAgainTimer_.stop();
    status("Empty location " + num(location) + "...");
    nextLocation_ = location + 1;
    readNext();
}

// ---- the loops ----

void Transfer::onMemoryInfo(int size, int used) {
    report_.memorySize = size;
    report_.memoryUsed = used;
    if (!report_.firstLocation) {
        // The range is fixed by the first answer; a re-setup covers the same.
        int first = borders_.first.value_or(1);
        int last = borders_.last.value_or(size);
        if (first > last)
            first = last;
        if (last < 1) {
            // A phone without locations: nothing to read or write, not location 0.
            first = 1;
            last = 0;
        }
        report_.firstLocation = first;
        report_.lastLocation = last;
        nextLocation_ = first;
        if (report_.kind == TransferKind::Sync) {
            const SyncRange range{first, last, size, used};
            syncRead_.range = range;
            const SyncReads reads = job_.reads ? job_.reads(range) : SyncReads{};
            syncWhole_ = reads.wholeRange;
            if (reads.wholeRange) {
                for (int l = first; l <= last; ++l)
                    syncLocations_.push_back(l);
            } else {
                for (const int l : reads.locations)
                    if (l >= 1 && l <= std::min(size, int(MaxLocation)))
                        syncLocations_.push_back(l);
                std::sort(syncLocations_.begin(), syncLocations_.end());
                syncLocations_.erase(std::unique(syncLocations_.begin(), syncLocations_.end()),
                                     syncLocations_.end());
            }
        } else if (!reading()) {
            Book& b = model_.book();
            int row = 0;
            if (report_.kind == TransferKind::Rewrite) {
                Name* start = nameAt(rewriteName_);
                row = start ? b.rowOf(start) : b.entryCount();
            }
            const int room = std::max(0, last - first + 1);
            for (int r = row, i = 0; r < b.entryCount(); ++r, ++i) {
                writeNames_.push_back(indexOfName(b.name(r)));
                NameResult result{b.name(r).text, std::nullopt, NameFate::OutsideRange, {}};
                if (i < room) {
                    result.location = first + i;
                    result.fate = NameFate::NotReached;
                }
                report_.names.push_back(result);
            }
            if (keep_) {
                // What the names record of the locations to write is known; the
                // rest is read first, for the backup.
                const std::vector<PhoneSlot> recorded = recordedSlots(b);
                for (const NameResult& n : report_.names)
                    if (n.location && *n.location <= size &&
                        std::none_of(recorded.begin(), recorded.end(), [&](const PhoneSlot& slot) {
                            return slot.location == *n.location;
                        }))
                        syncLocations_.push_back(*n.location);
                syncRead_.range = {first, last, size, used};
                readingFirst_ = !syncLocations_.empty();
            }
        }
    }
    if (syncReading())
        syncReadNext();
    else if (reading())
        readNext();
    else if (keep_)
        keepThenWrite();
    else
        writeNext();
}

void Transfer::syncReadNext() {
    const int used = report_.memoryUsed.value_or(0);
    // A whole range ends, as a read does, once every used location was found.
    const bool allFound = syncWhole_ && int(syncRead_.held.size()) >= used;
    if (allFound && !stopRequested_ && syncPosition_ < syncLocations_.size()) {
        // The rest of the range is empty.
        std::set<int>& held = model_.book().phoneHeld;
        held.erase(held.lower_bound(syncLocations_[syncPosition_]),
                   held.upper_bound(syncLocations_.back()));
    }
    if (!stopRequested_ && !allFound && syncPosition_ < syncLocations_.size()) {
        if (state_ != State::AskingTimeout)
            setState(State::Reading);
        const int location = syncLocations_[syncPosition_];
        sendRequest(Request::Kind::Read, readRequest(location), location);
        return;
    }
    if (stopRequested_) {
        finish(*stopRequested_);
        return;
    }
    readingFirst_ = false;
    if (report_.kind != TransferKind::Sync) {
        keepThenWrite();
        return;
    }
    const std::vector<SyncWrite> writes =
        job_.writes ? job_.writes(syncRead_) : std::vector<SyncWrite>{};
    for (const SyncWrite& w : writes) {
        const Name* name = nameAt(w.name);
        writeNames_.push_back(w.name);
        report_.names.push_back(
            NameResult{name ? name->text : QString(), w.location, NameFate::NotReached, {}});
    }
    writeNext();
}

void Transfer::syncTake(int location, const std::optional<PhoneContent>& content) {
    request_.reset();
    askAgainTimer_.stop();
    syncRead_.read.push_back(location);
    if (content)
        syncRead_.held.push_back({location, *content});
    noteHeld(location, content.has_value());
    const int done = int(syncPosition_) + 1;
    const int total = int(syncLocations_.size());
    status("Read location " + num(location) + " (" + num(done) + " / " + num(total) + ").");
    Q_EMIT progress(done, total);
    ++syncPosition_;
    syncReadNext();
}

void Transfer::readNext() {
    const int used = report_.memoryUsed.value_or(0);
    if (!stopRequested_ && readCount() < used && nextLocation_ <= *report_.lastLocation) {
        if (!bookCleared_) {
            model_.setRootExpanded(false);
            model_.clearNames();
            Book& b = model_.book();
            b.bookChanged = true;
            // The phone's book, not the file's: Save must ask where it goes.
            b.bookFileName.clear();
            b.entryNotes.clear();
            // The read tells anew which locations hold entries.
            b.phoneHeld.clear();
            bookCleared_ = true;
            Q_EMIT progress(0, used);
            Q_EMIT bookReplaced();
        }
        // A late answer taken while the question is open leaves the question open.
        if (state_ != State::AskingTimeout)
            setState(State::Reading);
        sendRequest(Request::Kind::Read, readRequest(nextLocation_), nextLocation_);
        return;
    }
    // A read that ended before it cleared the book leaves it as it was.
    if (bookCleared_) {
        flipBook();
        bookCleared_ = false;
    }
    model_.setRootExpanded(true);
    ui_.focusBook();
    finish(stopRequested_.value_or(TransferEnding::Completed));
}

void Transfer::takeEntry(const Entry& entry) {
    if (syncReading()) {
        syncTake(entry.location, contentOf(entry.name));
        return;
    }
    request_.reset();
    askAgainTimer_.stop();
    const int location = entry.location;
    Name& name = model_.addNameAtTop(entry.name.text);
    for (const Subentry& s : entry.name.subs)
        model_.addSubentry(name, s.text, s.kind);
    name.location = location;
    name.phoneContent = contentOf(entry.name);
    noteHeld(location, true);
    report_.names.push_back(NameResult{name.text, location, NameFate::Read, {}});
    model_.setEntryNote(name, report_.names.back().note());
    const int count = readCount();
    const int used = report_.memoryUsed.value_or(0);
    status("Read entry " + num(count) + " / " + num(used) + " from loc. " + num(location) + ".");
    Q_EMIT progress(count, used);
    nextLocation_ = location + 1;
    readNext();
}

void Transfer::setFate(size_t position, NameFate fate) {
    NameResult& result = report_.names[position];
    result.fate = fate;
    Name* name = nameAt(writeNames_[position]);
    if (!name)
        return;
    result.name = name->text;
    if (fate == NameFate::Written) {
        name->location = result.location;
        name->phoneContent = sentContent_;
    }
    if (fate == NameFate::Written && result.location)
        noteHeld(*result.location, true);
    if (const QString note = result.note(); !note.isEmpty())
        model_.setEntryNote(*name, note);
}

void Transfer::writeNext() {
    if (stopRequested_) {
        finish(*stopRequested_);
        return;
    }
    const int first = *report_.firstLocation;
    const int last = *report_.lastLocation;
    const size_t room = size_t(std::max(0, last - first + 1));
    const bool sync = report_.kind == TransferKind::Sync;
    // A sync job names each name's location; the others fill the range in order.
    const size_t count = sync ? writeNames_.size() : std::min(room, writeNames_.size());
    // A name deleted before its turn is not written; the next keeps its own location.
    while (writePosition_ < count && !nameAt(writeNames_[writePosition_]))
        report_.names[writePosition_++].fate = NameFate::Deleted;
    if (writePosition_ >= count) {
        // A whole write from location 1 asks how much of the phone's old book is
        // left beyond it, lest it be taken for a full replace.
        if (report_.kind == TransferKind::Write && first == 1 && count > 0 &&
            first + int(count) - 1 < report_.memorySize &&
            size_t(report_.count(NameFate::Written)) == count) {
            setState(State::CountingLeftovers);
            sendRequest(Request::Kind::MemoryInfo, memoryInfoRequest(), 0);
            return;
        }
        finish(TransferEnding::Completed);
        return;
    }
    if (state_ != State::AskingTimeout)
        setState(State::Writing);
    const int location =
        sync ? report_.names[writePosition_].location.value_or(first) : first + int(writePosition_);
    const int total = sync                                       ? int(count)
                      : first == 1 && last == report_.memorySize ? model_.book().entryCount()
                                                                 : last - first + 1;
    const int position = int(writePosition_) + 1;
    status("Writing entry " + num(position) + " / " + num(total) + " to location " + num(location) +
           ".");
    Q_EMIT progress(position, total);
    sendName(*nameAt(writeNames_[writePosition_]), location);
}

// Before a Write or Rewrite replaces anything, what the phone holds at the
// locations it writes goes to keep_: from the names' recorded contents where
// they have them, else as just read. Without a backup nothing is written.
void Transfer::keepThenWrite() {
    const KeepReplaced keep = std::exchange(keep_, {});
    std::vector<PhoneSlot> held = recordedSlots(model_.book());
    std::erase_if(held, [&](const PhoneSlot& slot) {
        return std::find(syncRead_.read.begin(), syncRead_.read.end(), slot.location) !=
               syncRead_.read.end();
    });
    held.insert(held.end(), syncRead_.held.begin(), syncRead_.held.end());
    std::vector<PhoneSlot> replaced;
    for (const NameResult& n : report_.names) {
        if (n.fate != NameFate::NotReached || !n.location)
            continue;
        const auto slot = std::find_if(held.begin(), held.end(), [&](const PhoneSlot& h) {
            return h.location == *n.location;
        });
        if (slot != held.end())
            replaced.push_back(*slot);
    }
    if (!replaced.empty() && keep) {
        QString error;
        report_.keptAt = keep(replaced, &error);
        if (!error.isEmpty()) {
            report_.keptAt.clear();
            report_.keepError = error;
            report_.reason = "No backup could be kept, so nothing was written.";
            finish(TransferEnding::GivenUp);
            return;
        }
    }
    writeNext();
}

void Transfer::noteHeld(int location, bool held) {
    std::set<int>& known = model_.book().phoneHeld;
    if (held)
        known.insert(location);
    else
        known.erase(location);
}

void Transfer::takeWriteAnswer(bool confirmed) {
    request_.reset();
    askAgainTimer_.stop();
    if (confirmed) {
        if (Name* name = nameAt(writeNames_[writePosition_]))
            report_.names[writePosition_].remarks = cutRemarks(*name)
                                                    << replacedRemark(writeReplaced_);
        report_.names[writePosition_].remarks.removeAll(QString());
    }
    setFate(writePosition_, confirmed ? NameFate::Written : NameFate::Refused);
    ++writePosition_;
    writeNext();
}

void Transfer::sendName(Name& name, int location) {
    // The phone stores the subentries by class; the book shows them so, and
    // the sorting is a step the undo history can take back.
    model_.sortForWrite(name);
    sentContent_ = phoneView(name);
    setFate(writePosition_, NameFate::Sent);
    writeReplaced_ = 0;
    chunks_ = splitPayload(writeRequest(name, location, &writeReplaced_));
    request_ = Request{Request::Kind::Write, location, false, false};
    askAgainTimer_.stop();
    if (chunks_.isEmpty()) {
        // Too many frames for the fragment byte to count: the phone could not take
        // it, so it counts as refused, one step later so the stack stays flat.
        QMetaObject::invokeMethod(
            this,
            [this, generation = generation_] {
                if (generation == generation_ && request_)
                    takeWriteAnswer(false);
            },
            Qt::QueuedConnection);
        return;
    }
    sendNextChunk();
}

void Transfer::sendNextChunk() {
    if (chunks_.isEmpty() || !request_)
        return;
    const Chunk c = chunks_.takeFirst();
    link_.sendFrame(link::TypeMemory, c.data, c.fragment, c.followOn);
    if (chunks_.isEmpty()) {
        // The phone answers after the last frame, once it has acknowledged it.
        request_->sentWhole = true;
        link_.whenLastFrameAcknowledged([this, generation = generation_] {
            if (generation == generation_)
                onAcknowledged();
        });
        return;
    }
    // The pause counts from when the frame went out, however long it waited in
    // the transmitter's queue.
    link_.whenLastFrameWritten([this, generation = generation_](quint32 writtenAt) {
        if (generation != generation_ || chunks_.isEmpty())
            return;
        const qint64 since = qint64(quint32(link_.now() - writtenAt));
        // Ticks are whole milliseconds; one more keeps the pause from coming out short.
        chunkTimer_.start(int(std::max<qint64>(0, timing_.chunkPauseMs + 1 - since)));
    });
}

// ---- names ----

Name* Transfer::nameAt(const QPersistentModelIndex& index) const {
    if (!index.isValid() || BookModel::levelOf(index) != 1)
        return nullptr;
    return model_.nameOf(index);
}

QPersistentModelIndex Transfer::indexOfName(const Name& name) const {
    return QPersistentModelIndex(model_.indexOf(name));
}

} // namespace quorix::transfer
