#include "phonesim/VirtualPhone.h"

#include "link/Frame.h"

#include <algorithm>
#include <limits>

namespace quorix::phonesim {

using namespace quorix::link;
using namespace quorix::transfer;

namespace {

constexpr qint64 MsNs = 1'000'000;
constexpr qint64 Forever = std::numeric_limits<qint64>::max();
// A start bit, eight data bits and a stop bit.
constexpr qint64 BitsPerByte = 10;
// This many 0x55 bytes in a row are the program waking the phone's interface; no
// data the program sends holds such a run.
constexpr int WakeUpRun = 8;

QString hexText(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString typeText(quint8 type) {
    return QStringLiteral("%1").arg(int(type), 2, 16, QLatin1Char('0')).toUpper();
}

QString requestText(quint8 type, const QByteArray& payload) {
    if (type == TypeStatus)
        return QStringLiteral("phone status request");
    if (type != TypeMemory)
        return QStringLiteral("message type %1").arg(typeText(type));
    const Request r = recogniseRequest(payload);
    switch (r.kind) {
    case RequestKind::MemoryInfo:
        return QStringLiteral("memory information request");
    case RequestKind::Read:
        return QStringLiteral("read location %1").arg(r.location);
    case RequestKind::Write:
        return QStringLiteral("write location %1, %2 bytes").arg(r.location).arg(payload.size());
    case RequestKind::Unknown:
        break;
    }
    return QStringLiteral("unknown phonebook request");
}

} // namespace

VirtualPhone::VirtualPhone(PhoneMemory memory, PhoneSettings settings)
    : memory_(std::move(memory)), settings_(std::move(settings)), rng_(settings_.seed) {
    settings_.frameSize = std::clamp(settings_.frameSize, 1, MaxFrameData - 2);
    if (settings_.baud > 0)
        byteNs_ = BitsPerByte * 1'000'000'000 / settings_.baud;
}

QByteArray VirtualPhone::statusAnswer() {
    // 01 01 00 02: status answer; 4: 1 registered; 6: signal 4 of 4; 7: 2 on battery;
    // 8: battery 3 of 4.
    return QByteArray::fromHex("01010002010004020300");
}

void VirtualPhone::log(qint64 now, const QString& line) {
    if (logger_)
        logger_(now, line);
}

void VirtualPhone::logFrame(qint64 now, const char* dir, const QByteArray& frame,
                            const QString& what) {
    if (logger_)
        logger_(now, QStringLiteral("%1 %2 | %3").arg(QLatin1String(dir), hexText(frame), what));
}

bool VirtualPhone::isSilent(qint64 now) {
    if (silentUntil_ != 0 && now >= silentUntil_)
        endSilence(now);
    return silentUntil_ != 0;
}

void VirtualPhone::startSilence(qint64 now) {
    const int ms = settings_.faults.silentForMs;
    silentUntil_ = ms < 0 ? Forever : now + std::max<qint64>(1, ms * MsNs);
    silenceUsed_ = true;
    // A phone that has stopped talking finishes nothing it had begun.
    answers_.clear();
    for (Slot& s : slots_)
        s.busy = false;
    std::erase_if(line_, [](const Segment& s) { return s.pos == 0; });
    resetReception();
    log(now,
        ms < 0 ? QStringLiteral("silent from now on") : QStringLiteral("silent for %1 ms").arg(ms));
}

void VirtualPhone::endSilence(qint64 now) {
    silentUntil_ = 0;
    resetReception();
    log(now, QStringLiteral("answering again"));
}

void VirtualPhone::resetReception() {
    rx_.clear();
    message_.clear();
    messageFragment_ = -1;
    lastBySeq_.fill({});
}

void VirtualPhone::wakeUp(qint64 now) {
    // Whatever was not acknowledged or not yet begun belonged to the link before;
    // a late answer the phone is still working on comes all the same.
    lastBySeq_.fill({});
    message_.clear();
    messageFragment_ = -1;
    std::erase_if(answers_, [](const Outgoing& o) { return !o.late; });
    for (Slot& s : slots_)
        s.busy = false;
    log(now, QStringLiteral("wake-up bytes: a new link"));
}

void VirtualPhone::receive(const QByteArray& bytes, qint64 now) {
    if (isSilent(now))
        return;
    for (const char c : bytes) {
        wakeRun_ = c == 0x55 ? wakeRun_ + 1 : 0;
        if (wakeRun_ == WakeUpRun)
            wakeUp(now);
    }
    rx_.append(bytes);
    while (auto frame = cutFrame(rx_)) {
        handleFrame(*frame, now);
        if (isSilent(now))
            return; // the rest of what came is not heard
    }
}

void VirtualPhone::handleFrame(const QByteArray& f, qint64 now) {
    if (!checkFrame(f)) {
        logFrame(now, "recv", f, QStringLiteral("bad checksum, dropped"));
        return;
    }
    if (frameDestination(f) != AddrPhone || frameSource(f) != AddrTE) {
        logFrame(now, "recv", f, QStringLiteral("not addressed to the phone, ignored"));
        return;
    }
    const int seq = sequenceNumber(f);
    if (isAck(f)) {
        const int acked = frameByte(f, 7) & 7;
        Slot& slot = slots_[size_t(acked)];
        logFrame(now, "recv", f,
                 slot.busy ? QStringLiteral("acknowledges %1").arg(acked)
                           : QStringLiteral("acknowledges %1, which is not awaited").arg(acked));
        slot.busy = false;
        return;
    }

    const bool first = sequenceByte(f) & 0x40;
    const quint8 type = frameType(f);
    // The program writes a frame again when our acknowledgement did not reach it; the
    // status request opens a new link, so it is never taken for a repeat.
    const bool repeat = type != TypeStatus && lastBySeq_[size_t(seq)] == f;
    if (first && !repeat && settings_.faults.silentAfter >= 0 && !silenceUsed_ &&
        stats_.requests >= settings_.faults.silentAfter) {
        logFrame(now, "recv", f, QStringLiteral("not heard"));
        startSilence(now);
        return;
    }

    const int number = ++stats_.framesReceived;
    if (settings_.faults.dropAck.contains(number)) {
        log(now, QStringLiteral("fault: no acknowledgement for frame %1 received").arg(number));
    } else {
        Segment ack{buildAck(f, FromPhone),
                    0,
                    true,
                    -1,
                    0,
                    QStringLiteral("acknowledges %1/%2").arg(typeText(type)).arg(seq)};
        queueSegment(std::move(ack), now, true);
    }
    if (repeat) {
        logFrame(now, "recv", f, QStringLiteral("repeat of a frame already handled"));
        return;
    }
    if (type == TypeStatus)
        lastBySeq_.fill({});
    lastBySeq_[size_t(seq)] = f;

    const int fragment = fragmentByte(f);
    if (first) {
        if (messageFragment_ >= 0)
            log(now, QStringLiteral("unfinished request dropped"));
        message_ = frameData(f);
        messageType_ = type;
        messageRequest_ = ++stats_.requests;
    } else if (messageFragment_ < 0 || fragment != messageFragment_ - 1 || type != messageType_) {
        logFrame(now, "recv", f, QStringLiteral("follow-on frame out of order, dropped"));
        message_.clear();
        messageFragment_ = -1;
        return;
    } else {
        message_.append(frameData(f));
    }
    messageFragment_ = fragment;
    if (fragment > 1) {
        logFrame(now, "recv", f,
                 QStringLiteral("request %1, fragment %2").arg(messageRequest_).arg(fragment));
        return;
    }
    messageFragment_ = -1;
    const QByteArray payload = std::exchange(message_, {});
    logFrame(now, "recv", f,
             QStringLiteral("request %1: %2").arg(messageRequest_).arg(requestText(type, payload)));
    handleRequest(messageType_, payload, messageRequest_, now);
}

void VirtualPhone::replayAnswer(quint8 type, const QByteArray& payload, int request, qint64 now) {
    const auto frames = replay_->answer(type, payload);
    if (!frames) {
        const QString what = QStringLiteral("request %1 (%2) is not in the recording; not answered")
                                 .arg(request)
                                 .arg(requestText(type, payload));
        log(now, what);
        if (notice_)
            notice_(what);
        return;
    }
    // Each recorded frame goes out as it was cut, in its turn, as the phone sent it.
    const qint64 due = now + qint64(settings_.latencyMs) * MsNs;
    for (qsizetype i = 0; i < frames->size(); ++i) {
        const LineReplay::Frame& f = frames->at(i);
        answers_.push_back(Outgoing{due,
                                    f.type,
                                    {f.chunk},
                                    0,
                                    QStringLiteral("request %1: recorded answer, frame %2 of %3")
                                        .arg(request)
                                        .arg(i + 1)
                                        .arg(frames->size())});
    }
    if (frames->isEmpty())
        log(now, QStringLiteral("request %1: the recorded phone did not answer it").arg(request));
}

void VirtualPhone::handleRequest(quint8 type, const QByteArray& payload, int request, qint64 now) {
    if (replay_) {
        replayAnswer(type, payload, request, now);
        return;
    }
    const Faults& faults = settings_.faults;
    if (type == TypeStatus) {
        answer(TypeStatus, statusAnswer(), request, now, QStringLiteral("phone status"));
        return;
    }
    if (type != TypeMemory) {
        log(now, QStringLiteral("request %1: message type %2 is not answered")
                     .arg(request)
                     .arg(typeText(type)));
        return;
    }
    const Request r = recogniseRequest(payload);
    const bool wrong = faults.wrongLocation.contains(request) &&
                       (r.kind == RequestKind::Read || r.kind == RequestKind::Write);
    const int location = wrong ? r.location + 1 : r.location;
    if (wrong)
        log(now, QStringLiteral("fault: request %1 answered for location %2 instead of %3")
                     .arg(request)
                     .arg(location)
                     .arg(r.location));

    switch (r.kind) {
    case RequestKind::MemoryInfo:
        answer(TypeMemory, memoryInfoAnswer(memory_.size(), memory_.used()), request, now,
               QStringLiteral("memory information: %1 locations, %2 used")
                   .arg(memory_.size())
                   .arg(memory_.used()));
        break;
    case RequestKind::Read: {
        const bool full = memory_.at(location) != nullptr;
        answer(TypeMemory, memory_.readAnswer(location), request, now,
               full ? QStringLiteral("entry of location %1").arg(location)
               : memory_.contains(location)
                   ? QStringLiteral("location %1 is empty").arg(location)
                   : QStringLiteral("location %1 is outside the memory").arg(location));
        break;
    }
    case RequestKind::Write: {
        // The entry is stored where it was asked to go; only the answer is wrong.
        const auto entry = PhoneMemory::fromWriteRequest(payload);
        QString refusal;
        if (!memory_.contains(r.location))
            refusal = QStringLiteral("outside the memory");
        else if (faults.refuseWrite.contains(r.location))
            refusal = QStringLiteral("fault: refused");
        else if (!entry)
            refusal = QStringLiteral("malformed blocks");
        if (!refusal.isEmpty()) {
            answer(TypeMemory, writeRefusedAnswer(location), request, now,
                   QStringLiteral("write to location %1 refused: %2").arg(r.location).arg(refusal));
            break;
        }
        memory_.store(r.location, *entry);
        answer(TypeMemory, writeConfirmedAnswer(location), request, now,
               QStringLiteral("location %1 written").arg(location));
        break;
    }
    case RequestKind::Unknown:
        log(now, QStringLiteral("request %1: unknown phonebook request %2, not answered")
                     .arg(request)
                     .arg(hexText(payload.left(8))));
        break;
    }
}

void VirtualPhone::answer(quint8 type, const QByteArray& payload, int request, qint64 now,
                          QString what) {
    const Faults& faults = settings_.faults;
    Outgoing out{now + qint64(settings_.latencyMs) * MsNs, type,
                 splitPayload(payload, settings_.frameSize), 0,
                 QStringLiteral("request %1: %2").arg(request).arg(what)};
    if (faults.shuffleFragments.contains(request) && out.chunks.size() > 1) {
        out.chunks.swapItemsAt(0, 1);
        out.what += QStringLiteral(" (fault: first two frames swapped)");
    }
    if (faults.lateAnswer.contains(request)) {
        out.due += qint64(faults.lateMs) * MsNs;
        out.late = true;
        out.what += QStringLiteral(" (fault: %1 ms late)").arg(faults.lateMs);
    }
    answers_.push_back(out);
    if (faults.duplicateAnswer.contains(request)) {
        out.what += QStringLiteral(" (fault: sent twice)");
        answers_.push_back(out);
    }
}

void VirtualPhone::queueSegment(Segment s, qint64 at, bool urgent) {
    if (line_.empty())
        lineFree_ = std::max(lineFree_, at);
    // Acknowledgements go before whatever has not started yet, as on a real phone
    // whose answers queue behind them.
    auto pos = line_.end();
    if (urgent)
        pos = line_.empty() || line_.front().pos == 0 ? line_.begin() : line_.begin() + 1;
    if (settings_.faults.garbage) {
        QByteArray noise(int(rng_() % 8) + 1, '\0');
        for (char& c : noise) {
            do
                c = char(rng_() & 0xFF);
            while (c == FrameStart);
        }
        pos = line_.insert(pos, Segment{noise, 0, false, -1, 0, {}}) + 1;
    }
    line_.insert(pos, std::move(s));
}

void VirtualPhone::checkRepeats(qint64 now) {
    const qint64 timeout = qint64(settings_.ackTimeoutMs) * MsNs;
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        if (!slot.busy || slot.sentAt < 0 || now - slot.sentAt <= timeout)
            continue;
        if (slot.repeats >= settings_.retries) {
            slot.busy = false;
            ++stats_.givenUp;
            log(now, QStringLiteral("frame %1 never acknowledged, given up").arg(i));
            continue;
        }
        ++slot.repeats;
        ++stats_.repeats;
        slot.sentAt = -1;
        queueSegment(Segment{slot.frame, 0, true, int(i), slot.generation,
                             QStringLiteral("not acknowledged, sent again (%1)").arg(slot.repeats)},
                     now, false);
    }
}

void VirtualPhone::releaseAnswers(qint64 now) {
    while (!answers_.empty() && answers_.front().due <= now) {
        Outgoing& out = answers_.front();
        while (out.next < out.chunks.size()) {
            Slot& slot = slots_[size_t(txSeq_)];
            if (slot.busy)
                return; // eight frames await acknowledgement: wait for one
            const Chunk& c = out.chunks[out.next];
            slot = Slot{true,
                        buildFrame(out.type, c.data, c.fragment,
                                   makeSequenceByte(txSeq_, c.followOn), FromPhone),
                        -1, 0, slot.generation + 1};
            queueSegment(Segment{slot.frame, 0, true, txSeq_, slot.generation,
                                 out.next == 0 ? out.what : QStringLiteral("continued")},
                         out.due, false);
            txSeq_ = (txSeq_ + 1) & 7;
            ++out.next;
        }
        answers_.pop_front();
    }
}

QByteArray VirtualPhone::releaseLine(qint64 now) {
    QByteArray out;
    while (!line_.empty()) {
        Segment& s = line_.front();
        qsizetype n = s.bytes.size() - s.pos;
        if (byteNs_ > 0) {
            const qint64 room = (now - lineFree_) / byteNs_;
            if (room <= 0)
                break;
            n = std::min<qsizetype>(n, room);
            lineFree_ += n * byteNs_;
        } else {
            lineFree_ = now;
        }
        if (s.pos == 0 && s.frame) {
            const int number = ++stats_.framesSent;
            if (settings_.faults.corruptFrame.contains(number)) {
                s.bytes[6] = char(s.bytes[6] ^ 0xFF); // a data byte: the frame keeps its size
                s.what += QStringLiteral(" (fault: frame %1 corrupted)").arg(number);
            }
            logFrame(now, "send", s.bytes, s.what);
        }
        out.append(s.bytes.constData() + s.pos, n);
        s.pos += n;
        if (s.pos < s.bytes.size())
            break;
        if (s.slot >= 0) {
            Slot& slot = slots_[size_t(s.slot)];
            if (slot.busy && slot.generation == s.generation)
                slot.sentAt = lineFree_;
        }
        line_.pop_front();
    }
    stats_.bytesSent += out.size();
    return out;
}

QByteArray VirtualPhone::lineNoise(qint64 now) {
    const int every = settings_.faults.noiseEveryMs;
    if (every <= 0)
        return {};
    if (nextNoise_ < 0)
        nextNoise_ = now + qint64(every) * MsNs;
    QByteArray out;
    for (; now >= nextNoise_; nextNoise_ += qint64(every) * MsNs) {
        char c;
        do
            c = char(rng_() & 0xFF);
        while (c == FrameStart);
        out += c;
    }
    stats_.bytesSent += out.size();
    return out;
}

QByteArray VirtualPhone::poll(qint64 now) {
    lastPoll_ = now;
    // A noisy line hisses whether the phone talks or not.
    const QByteArray noise = lineNoise(now);
    if (isSilent(now))
        return noise + releaseLine(now);
    checkRepeats(now);
    releaseAnswers(now);
    return noise + releaseLine(now);
}

qint64 VirtualPhone::nextDue() const {
    qint64 due = Forever;
    if (nextNoise_ >= 0)
        due = nextNoise_;
    if (silentUntil_ != 0)
        due = std::min(due, silentUntil_);
    for (const Slot& s : slots_)
        if (s.busy && s.sentAt >= 0)
            due = std::min(due, s.sentAt + qint64(settings_.ackTimeoutMs) * MsNs + 1);
    if (!answers_.empty() && !slots_[size_t(txSeq_)].busy)
        due = std::min(due, answers_.front().due);
    if (!line_.empty())
        due = std::min(due, byteNs_ > 0 ? lineFree_ + byteNs_ : lastPoll_);
    if (due == Forever)
        return -1;
    return std::max(due, lastPoll_ + 1);
}

} // namespace quorix::phonesim
