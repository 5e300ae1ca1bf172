#pragma once

#include "phonesim/LineReplay.h"
#include "phonesim/PhoneMemory.h"
#include "transfer/PhonebookMessages.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <random>

namespace quorix::phonesim {

// Faults the virtual phone produces on demand. Requests are counted from 1 over the
// whole run: every message the program sends (the link-opening status request, the
// memory information request, each read, each write with all its frames) counts
// once; a repeated frame the phone already handled and requests it ignores while
// silent do not count. Frames are counted from 1 as they go out (acknowledgements
// and repeats included) or come in (every frame it would acknowledge).
struct Faults {
    int silentAfter = -1;       // answer this many requests, then ignore everything
    int silentForMs = -1;       // ... for this long, or for good when negative
    QSet<int> refuseWrite;      // locations whose writes are refused
    QSet<int> corruptFrame;     // frames sent with one byte damaged
    QSet<int> dropAck;          // frames received that get no acknowledgement
    QSet<int> duplicateAnswer;  // requests answered twice
    QSet<int> wrongLocation;    // reads and writes answered for the next location
    QSet<int> shuffleFragments; // requests whose answer frames go out of order
    QSet<int> lateAnswer;       // requests answered lateMs late, even over a new link
    int lateMs = 7000;
    bool garbage = false;  // noise bytes in front of every frame sent
    int noiseEveryMs = -1; // one noise byte this often, silent or not, from the first poll
};

struct PhoneSettings {
    int baud = 115200;                   // line rate the output is paced to; 0 sends at once
    int latencyMs = 20;                  // think time before each answer
    int frameSize = transfer::ChunkSize; // payload bytes per answer frame, 1..251
    int ackTimeoutMs = 1000;             // a frame not acknowledged for this long is sent again
    int retries = 3;                     // ... at most this many times, then given up
    quint32 seed = 1;                    // for the garbage bytes
    Faults faults;
};

// The phone's side of FBUS as a machine fed with bytes and a clock (nanoseconds
// from any origin, never decreasing): it takes frames addressed to the phone,
// acknowledges them, answers the status and phonebook requests from its memory,
// repeats its own frames until they are acknowledged, paces its output to the line
// rate and injects the faults it was given. Nothing here sleeps or touches a
// device, so tests drive it with a clock of their own.
class VirtualPhone {
public:
    using Logger = std::function<void(qint64 now, const QString& line)>;

    VirtualPhone(PhoneMemory memory, PhoneSettings settings);

    // Bytes from the program.
    void receive(const QByteArray& bytes, qint64 now);
    // Runs what is due by now and gives the bytes that are on the line by now.
    QByteArray poll(qint64 now);
    // When poll next has something to do (never at or before the time of the last
    // poll), or -1 when nothing happens until more bytes arrive.
    qint64 nextDue() const;

    const PhoneMemory& memory() const { return memory_; }
    PhoneMemory& memory() { return memory_; }
    const PhoneSettings& settings() const { return settings_; }

    // Receives one line per frame in and out, and per event, when set.
    void setLogger(Logger logger) { logger_ = std::move(logger); }
    // Receives what the person running the phone must know: a request a replay
    // cannot answer.
    void setNoticeHandler(std::function<void(const QString&)> handler) {
        notice_ = std::move(handler);
    }

    // Answers every request as the phone of a recording did instead of from the
    // memory: its recorded frames go out as this phone's own, numbered and
    // repeated by its frame layer. A request the recording does not hold gets its
    // acknowledgement and no answer.
    void setReplay(LineReplay replay) { replay_ = std::move(replay); }

    struct Stats {
        qint64 bytesSent = 0;
        int framesSent = 0;     // acknowledgements and repeats included
        int framesReceived = 0; // frames that were (or would have been) acknowledged
        int requests = 0;
        int repeats = 0; // frames sent again for want of an acknowledgement
        int givenUp = 0; // frames never acknowledged after every repeat
    };
    const Stats& stats() const { return stats_; }
    bool isSilent(qint64 now);

    // The status answer's data (type 0x04): registered, on battery.
    static QByteArray statusAnswer();

private:
    struct Slot { // one sequence number of the phone's own frames
        bool busy = false;
        QByteArray frame;
        qint64 sentAt = -1; // end of the latest writing; -1 while on its way
        int repeats = 0;
        int generation = 0;
    };
    struct Segment { // bytes waiting for the line
        QByteArray bytes;
        qsizetype pos = 0;
        bool frame = false;
        int slot = -1;
        int generation = 0;
        QString what;
    };
    struct Outgoing { // an answer waiting for its time and for free sequence numbers
        qint64 due = 0;
        quint8 type = 0;
        QList<transfer::Chunk> chunks;
        qsizetype next = 0;
        QString what;
        bool late = false; // survives a new link: the phone was busy with it
    };

    void handleFrame(const QByteArray& frame, qint64 now);
    void handleRequest(quint8 type, const QByteArray& payload, int request, qint64 now);
    void answer(quint8 type, const QByteArray& payload, int request, qint64 now, QString what);
    void replayAnswer(quint8 type, const QByteArray& payload, int request, qint64 now);
    void wakeUp(qint64 now);
    void startSilence(qint64 now);
    void endSilence(qint64 now);
    void resetReception();
    void checkRepeats(qint64 now);
    void releaseAnswers(qint64 now);
    QByteArray releaseLine(qint64 now);
    QByteArray lineNoise(qint64 now);
    void queueSegment(Segment s, qint64 at, bool urgent);
    void log(qint64 now, const QString& line);
    void logFrame(qint64 now, const char* dir, const QByteArray& frame, const QString& what);

    PhoneMemory memory_;
    PhoneSettings settings_;
    Logger logger_;
    std::function<void(const QString&)> notice_;
    std::optional<LineReplay> replay_;
    Stats stats_;
    std::mt19937 rng_;
    qint64 byteNs_ = 0; // time one byte takes on the line; 0 when unpaced

    // Reception.
    QByteArray rx_;
    std::array<QByteArray, 8> lastBySeq_; // to tell a repeated frame from a new one
    QByteArray message_;                  // the request being assembled
    int messageFragment_ = -1;            // fragment byte of its last frame; -1 none
    quint8 messageType_ = 0;
    int messageRequest_ = 0;
    int wakeRun_ = 0; // 0x55 bytes in a row so far
    qint64 nextNoise_ = -1;
    qint64 silentUntil_ = 0; // while later than now the phone hears and says nothing
    bool silenceUsed_ = false;

    // Sending.
    std::array<Slot, 8> slots_;
    int txSeq_ = 0;
    std::deque<Outgoing> answers_;
    std::deque<Segment> line_;
    qint64 lineFree_ = 0; // when the line has sent every byte released so far
    qint64 lastPoll_ = 0;
};

} // namespace quorix::phonesim
