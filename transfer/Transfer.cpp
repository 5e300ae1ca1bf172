#include "transfer/Transfer.h"

#include "link/Frame.h"

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
    connect(&model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &Transfer::namesAboutToBeRemoved);
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
}

QByteArray Transfer::closingText(int outcome) {
    switch (outcome) {
    case Ready:
        return "Ready.";
    case Errors:
        return "Ready, but errors occured.";
    case Aborted:
        return "Transfer aborted by user.";
    default:
        return {};
    }
}

QString Transfer::joinNote(const QString& note, const QStringList& details) {
    return joinNoteParts(note, details);
}

QString Transfer::replacedDetail(int count) {
    return replacedRemark(count);
}

QByteArray Transfer::leftoverText(int used, int last) {
    // At most last of the used locations lie up to last; the rest follow it.
    const int left = used - last;
    if (last < 1 || left < 1)
        return {};
    return "The phone still holds " + num(left) + (left == 1 ? " entry" : " entries") +
           " after location " + num(last) + ".";
}

std::optional<int> Transfer::border(const QByteArray& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value <= 0)
        return std::nullopt;
    // A request carries the location in 16 bits; a larger one would name another.
    return std::min(value, MaxLocation);
}

// ---- commands ----

// Nothing of an earlier transfer may steer this one: a read that fails before
// it cleared the book must not take the last one's location for its own.
void Transfer::resetState(int mode) {
    transferMode_ = mode;
    readCount_ = 0;
    stopRequested_ = false;
    currentLocation_ = -2;
    answeredLocation_ = -1;
    memorySize_ = -1;
    memoryUsed_ = -1;
    outcome_ = Ready;
    closingOverride_.clear();
    writeResult_ = -1;
    writtenCount_ = 0;
    lastSent_ = 0;
    leftoverText_.clear();
    writeNameSet_ = false;
    writeName_ = QPersistentModelIndex();
    writeNameFollower_ = QPersistentModelIndex();
    lastRead_ = QPersistentModelIndex();
    fragmentState_ = -1;
    fragmentData_.clear();
}

bool Transfer::startRead() {
    if (busy() || transferActive())
        return false;
    resetState(ReadMode);
    startConnection();
    return true;
}

bool Transfer::startWrite() {
    if (busy() || transferActive())
        return false;
    resetState(WriteMode);
    startConnection();
    return true;
}

bool Transfer::rewriteEntry(const QModelIndex& selected) {
    if (busy() || transferActive())
        return false;
    // A subentry stands for its name; the root is no name to write.
    Name* name = model_.nameOf(selected);
    if (!name)
        return false;
    savedStart_ = ui_.startBorder();
    savedStop_ = ui_.stopBorder();
    const QString note = model_.book().entryNote(*name);
    if (!note.isEmpty()) {
        // The location ends the note's first part; details may follow after a comma.
        const QString head = note.section(u',', 0, 0);
        bool ok = false;
        int location = head.mid(head.lastIndexOf(u' ') + 1).toInt(&ok, 10);
        if (!ok)
            location = -1;
        if (!border(savedStart_) || !border(savedStop_))
            ui_.setBorders(num(location), num(location));
    }
    if (!border(ui_.startBorder()) || !border(ui_.stopBorder())) {
        // Nothing to do; the borders the user typed stay as they were.
        ui_.setBorders(savedStart_, savedStop_);
        return false;
    }
    rewriteNameSet_ = true;
    rewriteName_ = indexOfName(*name);
    restoreBorders_ = true;
    return startWrite();
}

void Transfer::requestStop() {
    stopRequested_ = true;
    outcome_ = Aborted;
}

// ---- start and end ----

void Transfer::startConnection() {
    phase_ = Phase::Starting;
    link_.startLink(this);
}

void Transfer::showStatus(const QByteArray& text) {
    status(text);
}

void Transfer::showError(const QByteArray& caption, const QByteArray& text) {
    ui_.showError(caption, text);
}

void Transfer::linkStarted(bool ok) {
    if (phase_ != Phase::Starting)
        return;
    if (!ok) {
        linkFailed();
        return;
    }
    reconnecting_ = false;
    fragmentState_ = -1;
    fragmentData_.clear();
    setActive(true);
    phase_ = Phase::WaitingInfo;
    status("Retrieving memory information...");
    link_.sendFrame(link::TypeMemory, memoryInfoRequest(), 1, false);
    watchdog_.start();
}

void Transfer::linkFailed() {
    phase_ = Phase::Idle;
    ++generation_;
    // The transfer ends here, as an ended transfer ends: a read set up again leaves
    // its names in location order, and a rewrite puts the borders back, so that
    // the next transfer does not cover the rewrite's one location.
    if (std::exchange(reconnecting_, false) && transferMode_ == ReadMode &&
        answeredLocation_ != -1) {
        flipBook();
        status("Error opening serial port!");
    }
    if (restoreBorders_) {
        restoreBorders_ = false;
        ui_.setBorders(savedStart_, savedStop_);
    }
    rewriteNameSet_ = false;
    rewriteName_ = QPersistentModelIndex();
    setActive(false);
    Q_EMIT finished(NoLink);
}

void Transfer::closeConnection(bool restore) {
    watchdog_.stop();
    chunkTimer_.stop();
    chunks_.clear();
    awaitingWrite_ = false;
    ++generation_;
    link_.stopLink();
    if (!restore) {
        // Set up again within the same transfer: it stays active, and the borders
        // and the name a rewrite starts with stay for the resumed transfer. It is
        // not over, so no closing text yet.
        phase_ = Phase::Starting;
        return;
    }
    // A write that leaves older entries behind it says so, lest it be taken
    // for a full replace of the phone's book.
    if (transferMode_ == WriteMode && !rewriteNameSet_)
        leftoverText_ = leftoverText(memoryUsed_, lastSent_);
    lastClosing_ = closingOverride_.isEmpty() ? closingText(outcome_) : closingOverride_;
    if (!lastClosing_.isEmpty())
        status(leftoverText_.isEmpty() ? lastClosing_ : lastClosing_ + ' ' + leftoverText_);
    if (restoreBorders_) {
        restoreBorders_ = false;
        ui_.setBorders(savedStart_, savedStop_);
    }
    rewriteNameSet_ = false;
    rewriteName_ = QPersistentModelIndex();
    phase_ = Phase::Idle;
    asking_ = false;
    setActive(false);
    Q_EMIT finished(outcome_);
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
    asking_ = true;
    ui_.askTimeout(TimeoutCaption, TimeoutText);
}

void Transfer::timeoutAnswer(bool yes) {
    if (!asking_)
        return;
    asking_ = false;
    // A late answer may have ended the transfer while the question was open.
    if (phase_ != Phase::WaitingInfo && phase_ != Phase::Running)
        return;
    if (!yes) {
        abandon();
        return;
    }
    closeConnection(false);
    if (transferMode_ == ReadMode) {
        // Back to the last location answered, and no further: a second Yes
        // before the memory information came must not step back again (the
        // names before would be read twice, out of order).
        if (answeredLocation_ >= 0 && currentLocation_ > answeredLocation_)
            currentLocation_ = answeredLocation_;
    } else if (currentLocation_ > 0) {
        --currentLocation_;
    }
    // The request that had no valid answer is sent again whatever came back for it:
    // a confirmation for another location would otherwise hold the loop forever.
    if (transferMode_ == WriteMode)
        writeResult_ = -1;
    if (transferMode_ == WriteMode && writeNameSet_) {
        // Step back to the name before the one that had no answer, so that the
        // resumed loop sends that one again.
        int row = -1;
        if (writeName_.isValid())
            row = writeName_.row() - 1;
        else if (writeNameFollower_.isValid())
            row = writeNameFollower_.row() - 1;
        else
            row = model_.book().entryCount() - 1;
        writeNameFollower_ = QPersistentModelIndex();
        writeNameSet_ = row >= 0;
        writeName_ = row >= 0 ? indexOfName(model_.book().name(row)) : QPersistentModelIndex();
    }
    reconnecting_ = true;
    startConnection();
}

void Transfer::abandon(const QByteArray& closing) {
    if (phase_ == Phase::Idle)
        return;
    asking_ = false;
    outcome_ = Aborted;
    closingOverride_ = closing;
    if (transferMode_ == ReadMode && answeredLocation_ != -1)
        flipBook();
    closeConnection(true);
}

void Transfer::portLost(const QByteArray& device, const QByteArray& reason) {
    if (phase_ == Phase::Idle)
        return;
    asking_ = false;
    outcome_ = Lost;
    const QByteArray done = transferMode_ == ReadMode
                                ? "Read interrupted after " + num(readCount_)
                                : "Write interrupted after " + num(writtenCount_);
    closingOverride_ = done + " names: " + device + " disappeared (" + reason + ")";
    // What was read stays, in location order, as after the answer No.
    if (transferMode_ == ReadMode && answeredLocation_ != -1)
        flipBook();
    closeConnection(true);
}

// ---- answers ----

void Transfer::handlePhonebookAnswer(const QByteArray& frame) {
    // Between transfers and while the link starts, nothing is waited for.
    if (phase_ != Phase::WaitingInfo && phase_ != Phase::Running)
        return;
    const Answer a = recogniseAnswer(frame);
    switch (a.kind) {
    case AnswerKind::WriteConfirmed:
    case AnswerKind::WriteRefused:
        // Only an answer to a request that has gone out whole moves the loop: a late
        // or repeated one would credit the wrong name.
        if (transferMode_ != WriteMode || phase_ != Phase::Running || !awaitingWrite_)
            return;
        writeResult_ = a.kind == AnswerKind::WriteConfirmed ? a.location : -2;
        writeNext();
        break;
    case AnswerKind::MemoryInfo:
        // Taken once per link start; a repeated one would send a second request.
        if (phase_ == Phase::WaitingInfo)
            onMemoryInfo(a.memorySize, a.memoryUsed);
        break;
    case AnswerKind::EntryFrame:
        // Entries belong to a read, and only once it knows its range. While a
        // write runs they must not touch the book.
        if (transferMode_ == ReadMode && currentLocation_ != -2)
            collect(frame);
        break;
    }
}

void Transfer::collect(const QByteArray& frame) {
    if (fragmentState_ == -2)
        return;
    const int f = link::fragmentByte(frame);
    if (fragmentState_ >= 0 && f != fragmentState_ - 1) {
        // Out of order: the message is lost; the watchdog sets the link up again.
        fragmentState_ = -2;
        fragmentData_.clear();
        return;
    }
    fragmentState_ = f;
    fragmentData_.append(link::frameData(frame));
    if (f != 1)
        return;
    const QByteArray payload = std::exchange(fragmentData_, {});
    fragmentState_ = -1;
    decodeEntry(payload);
}

void Transfer::decodeEntry(const QByteArray& payload) {
    const std::optional<Entry> entry = transfer::decodeEntry(payload);
    // After Yes the loop stands one location back until the memory information
    // comes; before the range that is no location we asked for.
    if (entry && entry->location == currentLocation_ && entry->location >= firstLocation_) {
        const int location = entry->location;
        if (location == answeredLocation_) {
            // A second answer for the location handled last replaces its name.
            if (Name* earlier = nameAt(lastRead_)) {
                model_.removeName(model_.book().rowOf(earlier));
                --readCount_;
            }
        }
        Name& name = model_.addNameAtTop(entry->name.text);
        for (const Subentry& s : entry->name.subs)
            model_.addSubentry(name, s.text, s.kind);
        lastRead_ = indexOfName(name);
        ++readCount_;
        answeredLocation_ = location;
        model_.setEntryNote(name, "Read from location " + num(location));
        status("Read entry " + num(readCount_) + " / " + num(memoryUsed_) + " from loc. " +
               num(location) + ".");
        Q_EMIT progress(readCount_, memoryUsed_);
    } else if (isEmptyLocation(payload)) {
        status("Empty location " + num(currentLocation_) + "...");
        // The name read last belongs to an earlier location: a late answer for
        // this one must not replace it. (A second answer for the location just
        // read keeps its name, and a third may still replace it.)
        if (answeredLocation_ != currentLocation_)
            lastRead_ = QPersistentModelIndex();
        answeredLocation_ = currentLocation_;
    }
    // Before the memory information of a re-setup the loop waits for it.
    if (phase_ == Phase::Running)
        readNext();
}

// ---- the loops ----

void Transfer::onMemoryInfo(int size, int used) {
    memorySize_ = size;
    memoryUsed_ = used;
    firstLocation_ = border(ui_.startBorder()).value_or(1);
    lastLocation_ = border(ui_.stopBorder()).value_or(memorySize_);
    if (firstLocation_ > lastLocation_)
        firstLocation_ = lastLocation_;
    if (lastLocation_ < 1) {
        // A phone without locations: nothing to read or write, not location 0.
        firstLocation_ = 1;
        lastLocation_ = 0;
    }
    if (currentLocation_ == -2) {
        currentLocation_ = firstLocation_ - 1;
        answeredLocation_ = -1;
    }
    phase_ = Phase::Running;
    if (transferMode_ == WriteMode)
        writeNext();
    else if (transferMode_ == ReadMode)
        readNext();
}

void Transfer::readNext() {
    if (readCount_ >= memoryUsed_ || stopRequested_)
        currentLocation_ = lastLocation_;
    if (currentLocation_ < lastLocation_) {
        if (answeredLocation_ == -1) {
            model_.setRootExpanded(false);
            model_.clearNames();
            Book& b = model_.book();
            b.bookChanged = true;
            // The phone's book, not the file's: Save must ask where it goes.
            b.bookFileName.clear();
            b.entryNotes.clear();
            readCount_ = 0;
            answeredLocation_ = currentLocation_;
            Q_EMIT progress(0, memoryUsed_);
            Q_EMIT bookReplaced();
        }
        if (answeredLocation_ == currentLocation_) {
            ++currentLocation_;
            link_.sendFrame(link::TypeMemory, readRequest(currentLocation_), 1, false);
        }
        return;
    }
    // A read that ended before it cleared the book leaves it as it was.
    if (answeredLocation_ != -1)
        flipBook();
    model_.setRootExpanded(true);
    ui_.focusBook();
    closeConnection(true);
}

void Transfer::writeNext() {
    if (writeResult_ != -1) {
        Name* written = writeNameSet_ ? nameAt(writeName_) : nullptr;
        if (writeResult_ == -2) {
            outcome_ = Errors;
            if (written)
                model_.setEntryNote(*written,
                                    "Error while writing to loc. " + num(currentLocation_));
        } else {
            ++writtenCount_;
            if (written)
                model_.setEntryNote(
                    *written,
                    joinNoteParts(QStringLiteral("Written to location %1").arg(currentLocation_),
                                  cutRemarks(*written) << replacedRemark(writeReplaced_)));
        }
    }
    if (stopRequested_)
        currentLocation_ = lastLocation_;
    if (currentLocation_ >= lastLocation_) {
        closeConnection(true);
        return;
    }
    if (writeResult_ != currentLocation_ && writeResult_ >= 0)
        return; // confirmed for another location: the watchdog takes over
    ++currentLocation_;
    Name* next = nextName();
    if (!next) {
        closeConnection(true);
        return;
    }
    writeNameSet_ = true;
    writeName_ = indexOfName(*next);
    writeNameFollower_ = QPersistentModelIndex();
    const int total = firstLocation_ == 1 && lastLocation_ == memorySize_
                          ? model_.book().entryCount()
                          : lastLocation_ - firstLocation_ + 1;
    status("Writing entry " + num(currentLocation_ - firstLocation_ + 1) + " / " + num(total) +
           " to location " + num(currentLocation_) + ".");
    Q_EMIT progress(currentLocation_ - firstLocation_ + 1, total);
    sendName(*next, currentLocation_);
}

Name* Transfer::nextName() {
    Book& b = model_.book();
    if (writeNameSet_) {
        if (!writeName_.isValid()) // deleted meanwhile: its successor comes next
            return nameAt(writeNameFollower_);
        const int row = writeName_.row() + 1;
        return row < b.entryCount() ? &b.name(row) : nullptr;
    }
    if (rewriteNameSet_) // a rewrite whose name was deleted has nothing to write
        return nameAt(rewriteName_);
    return b.isEmpty() ? nullptr : &b.name(0);
}

void Transfer::sendName(Name& name, int location) {
    lastSent_ = location;
    model_.sortForWrite(name);
    model_.setEntryNote(name, "Tried to write to loc. " + num(location));
    writeReplaced_ = 0;
    chunks_ = splitPayload(writeRequest(name, location, &writeReplaced_));
    awaitingWrite_ = false;
    if (chunks_.isEmpty()) {
        // Too many frames for the fragment byte to count: the phone could not take
        // it, so it counts as refused, one step later so the stack stays flat.
        QMetaObject::invokeMethod(
            this,
            [this, generation = generation_] {
                if (generation != generation_ || phase_ != Phase::Running)
                    return;
                writeResult_ = -2;
                writeNext();
            },
            Qt::QueuedConnection);
        return;
    }
    sendNextChunk();
}

void Transfer::sendNextChunk() {
    if (chunks_.isEmpty())
        return;
    const Chunk c = chunks_.takeFirst();
    link_.sendFrame(link::TypeMemory, c.data, c.fragment, c.followOn);
    if (chunks_.isEmpty()) {
        awaitingWrite_ = true; // the phone answers after the last frame
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

void Transfer::namesAboutToBeRemoved(const QModelIndex& parent, int first, int last) {
    if (!writeNameSet_ || BookModel::levelOf(parent) != 0)
        return;
    // The name the write goes on from: writeName, or once that is gone, the name
    // that followed it.
    const QPersistentModelIndex& from = writeName_.isValid() ? writeName_ : writeNameFollower_;
    if (!from.isValid() || from.row() < first || from.row() > last)
        return;
    const int after = last + 1;
    writeNameFollower_ = after < model_.book().entryCount() ? indexOfName(model_.book().name(after))
                                                            : QPersistentModelIndex();
}

} // namespace quorix::transfer
