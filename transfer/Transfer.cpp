#include "transfer/Transfer.h"

#include "link/Frame.h"

namespace quorix::transfer {

namespace {

QByteArray num(int n) {
    return QByteArray::number(n);
}

} // namespace

Transfer::Transfer(TransferLink& link, BookModel& model, TransferUi& ui, QObject* parent)
    : QObject(parent), link_(link), model_(model), ui_(ui) {
    lifetimer_.setInterval(timing_.lifetimerMs);
    connect(&lifetimer_, &QTimer::timeout, this, &Transfer::lifetimerTimer);
    chunkTimer_.setSingleShot(true);
    connect(&chunkTimer_, &QTimer::timeout, this, &Transfer::sendNextChunk);
    connect(&model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &Transfer::namesAboutToBeRemoved);
    link_.setPhonebookAnswer(this);
}

Transfer::~Transfer() {
    link_.setPhonebookAnswer(nullptr);
    if (busy())
        link_.closelink();
}

void Transfer::setTiming(const Timing& timing) {
    timing_ = timing;
    lifetimer_.setInterval(timing_.lifetimerMs);
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

std::optional<int> Transfer::border(const QByteArray& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value <= 0)
        return std::nullopt;
    // A request carries the location in 16 bits; a larger one would name another.
    return std::min(value, MaxLocation);
}

// ---- commands ----

bool Transfer::readClick() {
    if (busy() || transferactive())
        return false;
    readcount_ = 0;
    stopflag_ = false;
    transfermode_ = ReadMode;
    curloc_ = -2;
    outcome_ = Ready;
    initconnection();
    return true;
}

bool Transfer::writeClick() {
    if (busy() || transferactive())
        return false;
    outcome_ = Ready;
    stopflag_ = false;
    transfermode_ = WriteMode;
    writeresult_ = -1;
    curloc_ = -2;
    writenodeSet_ = false;
    writenode_ = QPersistentModelIndex();
    writenodeFollower_ = QPersistentModelIndex();
    initconnection();
    return true;
}

bool Transfer::rewriteClick(const QModelIndex& selected) {
    if (busy() || transferactive())
        return false;
    // A subentry stands for its name; the root is no name to write.
    Name* name = model_.nameOf(selected);
    if (!name)
        return false;
    savedstart_ = ui_.startBorder();
    savedstop_ = ui_.stopBorder();
    const QByteArray note = model_.book().entryNote(*name);
    if (!note.isEmpty()) {
        bool ok = false;
        int location = note.mid(note.lastIndexOf(' ') + 1).toInt(&ok, 10);
        if (!ok)
            location = -1;
        if (!border(savedstart_) || !border(savedstop_))
            ui_.setBorders(num(location), num(location));
    }
    if (!border(ui_.startBorder()) || !border(ui_.stopBorder())) {
        // Nothing to do; the borders the user typed stay as they were.
        ui_.setBorders(savedstart_, savedstop_);
        return false;
    }
    rewritenodeSet_ = true;
    rewritenode_ = indexOfName(*name);
    restoreborders_ = true;
    return writeClick();
}

void Transfer::stopClick() {
    stopflag_ = true;
    outcome_ = Aborted;
}

// ---- start and end ----

void Transfer::initconnection() {
    phase_ = Phase::Starting;
    link_.fbusinit(this);
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
    resetup_ = false;
    fragstate_ = -1;
    fragdata_.clear();
    setActive(true);
    phase_ = Phase::WaitingInfo;
    status("Retrieving memory information...");
    link_.sendframe(link::TypeMemory, memoryinforequest(), 1, false);
    lifetimer_.start();
}

void Transfer::linkFailed() {
    phase_ = Phase::Idle;
    ++generation_;
    // The transfer ends here, as an ended transfer ends: a read set up again leaves
    // its names in location order, and a rewrite puts the borders back, so that
    // the next transfer does not cover the rewrite's one location.
    if (std::exchange(resetup_, false) && transfermode_ == ReadMode && answeredloc_ != -1) {
        flipbook();
        status("Error opening serial port!");
    }
    if (restoreborders_) {
        restoreborders_ = false;
        ui_.setBorders(savedstart_, savedstop_);
    }
    rewritenodeSet_ = false;
    rewritenode_ = QPersistentModelIndex();
    setActive(false);
    Q_EMIT finished(NoLink);
}

void Transfer::closeconnection(bool restore) {
    lifetimer_.stop();
    chunkTimer_.stop();
    chunks_.clear();
    awaitingWrite_ = false;
    ++generation_;
    link_.closelink();
    if (const QByteArray text = closingText(outcome_); !text.isEmpty())
        status(text);
    if (!restore) {
        // Set up again within the same transfer: it stays active, and the borders
        // and the name a rewrite starts with stay for the resumed transfer.
        phase_ = Phase::Starting;
        return;
    }
    if (restoreborders_) {
        restoreborders_ = false;
        ui_.setBorders(savedstart_, savedstop_);
    }
    rewritenodeSet_ = false;
    rewritenode_ = QPersistentModelIndex();
    phase_ = Phase::Idle;
    asking_ = false;
    setActive(false);
    Q_EMIT finished(outcome_);
}

void Transfer::setActive(bool active) {
    Book& b = model_.book();
    if (b.transferactive == active)
        return;
    b.transferactive = active;
    Q_EMIT transferactiveChanged(active);
}

void Transfer::flipbook() {
    // Its "Flipping book..." and "OK." belong to the transfer's status.
    const QMetaObject::Connection c =
        connect(&model_, &BookModel::statusText, this, [this](const QByteArray& t) { status(t); });
    model_.flipbook();
    disconnect(c);
}

// ---- the watchdog ----

void Transfer::lifetimerTimer() {
    if (!lifetimer_.isActive())
        return;
    if (quint32(link_.now() - link_.lastrxtime()) <= timing_.silenceMs)
        return;
    lifetimer_.stop();
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
        outcome_ = Aborted;
        if (transfermode_ == ReadMode && answeredloc_ != -1)
            flipbook();
        closeconnection(true);
        return;
    }
    closeconnection(false);
    if (curloc_ > 0)
        --curloc_;
    // The request that had no valid answer is sent again whatever came back for it:
    // a confirmation for another location would otherwise hold the loop forever.
    if (transfermode_ == WriteMode)
        writeresult_ = -1;
    if (transfermode_ == WriteMode && writenodeSet_) {
        // Step back to the name before the one that had no answer, so that the
        // resumed loop sends that one again.
        int row = -1;
        if (writenode_.isValid())
            row = writenode_.row() - 1;
        else if (writenodeFollower_.isValid())
            row = writenodeFollower_.row() - 1;
        else
            row = model_.book().entryCount() - 1;
        writenodeFollower_ = QPersistentModelIndex();
        writenodeSet_ = row >= 0;
        writenode_ = row >= 0 ? indexOfName(model_.book().name(row)) : QPersistentModelIndex();
    }
    resetup_ = true;
    initconnection();
}

// ---- answers ----

void Transfer::phonebookanswer(const QByteArray& frame) {
    // Between transfers and while the link starts, nothing is waited for.
    if (phase_ != Phase::WaitingInfo && phase_ != Phase::Running)
        return;
    const Answer a = recogniseanswer(frame);
    switch (a.kind) {
    case AnswerKind::WriteConfirmed:
    case AnswerKind::WriteRefused:
        // Only an answer to a request that has gone out whole moves the loop: a late
        // or repeated one would credit the wrong name.
        if (transfermode_ != WriteMode || phase_ != Phase::Running || !awaitingWrite_)
            return;
        writeresult_ = a.kind == AnswerKind::WriteConfirmed ? a.location : -2;
        writenext();
        break;
    case AnswerKind::MemoryInfo:
        // Taken once per link start; a repeated one would send a second request.
        if (phase_ == Phase::WaitingInfo)
            memoryinfo(a.memsize, a.memused);
        break;
    case AnswerKind::EntryFrame:
        // Entries belong to a read, and only once it knows its range. While a
        // write runs they must not touch the book.
        if (transfermode_ == ReadMode && curloc_ != -2)
            collect(frame);
        break;
    }
}

void Transfer::collect(const QByteArray& frame) {
    if (fragstate_ == -2)
        return;
    const int f = link::fragmentByte(frame);
    if (fragstate_ >= 0 && f != fragstate_ - 1) {
        // Out of order: the message is lost; the watchdog sets the link up again.
        fragstate_ = -2;
        fragdata_.clear();
        return;
    }
    fragstate_ = f;
    fragdata_.append(link::frameData(frame));
    if (f != 1)
        return;
    const QByteArray payload = std::exchange(fragdata_, {});
    fragstate_ = -1;
    decodeentry(payload);
}

void Transfer::decodeentry(const QByteArray& payload) {
    const std::optional<Entry> entry = transfer::decodeentry(payload);
    if (entry && entry->location == curloc_) {
        const int location = entry->location;
        if (location == answeredloc_) {
            // A second answer for the location handled last replaces its name.
            if (Name* earlier = nameAt(lastread_))
                model_.removeName(model_.book().rowOf(earlier));
            --readcount_;
        }
        Name& name = model_.addNameAtTop(entry->name.text);
        for (const Subentry& s : entry->name.subs)
            model_.addSubentry(name, s.text, s.kind);
        lastread_ = indexOfName(name);
        ++readcount_;
        answeredloc_ = location;
        model_.setEntryNote(name, "Read from location " + num(location));
        status("Read entry " + num(readcount_) + " / " + num(memused_) + " from loc. " +
               num(location) + ".");
    } else if (isemptylocation(payload)) {
        status("Empty location " + num(curloc_) + "...");
        answeredloc_ = curloc_;
    }
    // Before the memory information of a re-setup the loop waits for it.
    if (phase_ == Phase::Running)
        readnext();
}

// ---- the loops ----

void Transfer::memoryinfo(int size, int used) {
    memsize_ = size;
    memused_ = used;
    firstloc_ = border(ui_.startBorder()).value_or(1);
    lastloc_ = border(ui_.stopBorder()).value_or(memsize_);
    if (firstloc_ > lastloc_)
        firstloc_ = lastloc_;
    if (lastloc_ < 1) {
        // A phone without locations: nothing to read or write, not location 0.
        firstloc_ = 1;
        lastloc_ = 0;
    }
    if (curloc_ == -2) {
        curloc_ = firstloc_ - 1;
        answeredloc_ = -1;
    }
    phase_ = Phase::Running;
    if (transfermode_ == WriteMode)
        writenext();
    else if (transfermode_ == ReadMode)
        readnext();
}

void Transfer::readnext() {
    if (readcount_ >= memused_ || stopflag_)
        curloc_ = lastloc_;
    if (curloc_ < lastloc_) {
        if (answeredloc_ == -1) {
            model_.setRootExpanded(false);
            model_.clearNames();
            Book& b = model_.book();
            b.bookchanged = true;
            b.entrynotes.clear();
            readcount_ = 0;
            answeredloc_ = curloc_;
        }
        if (answeredloc_ == curloc_) {
            ++curloc_;
            link_.sendframe(link::TypeMemory, readrequest(curloc_), 1, false);
        }
        return;
    }
    // A read that ended before it cleared the book leaves it as it was.
    if (answeredloc_ != -1)
        flipbook();
    model_.setRootExpanded(true);
    ui_.focusBook();
    closeconnection(true);
}

void Transfer::writenext() {
    if (writeresult_ != -1) {
        Name* written = writenodeSet_ ? nameAt(writenode_) : nullptr;
        if (writeresult_ == -2) {
            outcome_ = Errors;
            if (written)
                model_.setEntryNote(*written, "Error while writing to loc. " + num(curloc_));
        } else if (written) {
            model_.setEntryNote(*written, "Written to location " + num(curloc_));
        }
    }
    if (stopflag_)
        curloc_ = lastloc_;
    if (curloc_ >= lastloc_) {
        closeconnection(true);
        return;
    }
    if (writeresult_ != curloc_ && writeresult_ >= 0)
        return; // confirmed for another location: the watchdog takes over
    ++curloc_;
    Name* next = nextName();
    if (!next) {
        closeconnection(true);
        return;
    }
    writenodeSet_ = true;
    writenode_ = indexOfName(*next);
    writenodeFollower_ = QPersistentModelIndex();
    const int total = firstloc_ == 1 && lastloc_ == memsize_ ? model_.book().entryCount()
                                                             : lastloc_ - firstloc_ + 1;
    status("Writing entry " + num(curloc_ - firstloc_ + 1) + " / " + num(total) + " to location " +
           num(curloc_) + ".");
    sendnode(*next, curloc_);
}

Name* Transfer::nextName() {
    Book& b = model_.book();
    if (writenodeSet_) {
        if (!writenode_.isValid()) // deleted meanwhile: its successor comes next
            return nameAt(writenodeFollower_);
        const int row = writenode_.row() + 1;
        return row < b.entryCount() ? &b.name(row) : nullptr;
    }
    if (rewritenodeSet_) // a rewrite whose name was deleted has nothing to write
        return nameAt(rewritenode_);
    return b.isEmpty() ? nullptr : &b.name(0);
}

void Transfer::sendnode(Name& name, int location) {
    model_.sortByClass(name);
    model_.setEntryNote(name, "Tried to write to loc. " + num(location));
    chunks_ = splitpayload(writerequest(name, location));
    awaitingWrite_ = false;
    if (chunks_.isEmpty()) {
        // Too many frames for the fragment byte to count: the phone could not take
        // it, so it counts as refused, one step later so the stack stays flat.
        QMetaObject::invokeMethod(
            this,
            [this, generation = generation_] {
                if (generation != generation_ || phase_ != Phase::Running)
                    return;
                writeresult_ = -2;
                writenext();
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
    link_.sendframe(link::TypeMemory, c.data, c.fragment, c.followon);
    if (chunks_.isEmpty())
        awaitingWrite_ = true; // the phone answers after the last frame
    else
        chunkTimer_.start(timing_.chunkPauseMs);
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
    if (!writenodeSet_ || BookModel::levelOf(parent) != 0)
        return;
    // The name the write goes on from: writenode, or once that is gone, the name
    // that followed it.
    const QPersistentModelIndex& from = writenode_.isValid() ? writenode_ : writenodeFollower_;
    if (!from.isValid() || from.row() < first || from.row() > last)
        return;
    const int after = last + 1;
    writenodeFollower_ = after < model_.book().entryCount() ? indexOfName(model_.book().name(after))
                                                            : QPersistentModelIndex();
}

} // namespace quorix::transfer
