#pragma once

#include "transfer/PhonebookMessages.h"
#include "transfer/SyncJob.h"
#include "transfer/TransferLink.h"
#include "transfer/TransferReport.h"

#include "link/FbusLink.h"
#include "model/BookModel.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QTimer>

#include <optional>

namespace quorix::transfer {

// Everything a transfer needs from the person at the screen. The window answers
// with its status bar and message boxes; the CLI with the terminal.
class TransferUi {
public:
    virtual ~TransferUi() = default;

    // The transfer status (the status bar's first panel).
    virtual void showStatus(const QByteArray& text) = 0;
    // A notice that needs no answer (the link could not start). Line breaks in
    // text are single CRs.
    virtual void showError(const QByteArray& caption, const QByteArray& text) = 0;
    // The "connection timeout" question (Yes/No, stop icon). The answer goes to
    // Transfer::timeoutAnswer(), at once or later; answers of the phone that
    // arrive meanwhile are still handled.
    virtual void askTimeout(const QByteArray& caption, const QByteArray& text) = 0;
    // The transfer ended while its question was open: the question is void.
    virtual void withdrawTimeout() {}
    // A read has filled the book: the tree may take the input focus.
    virtual void focusBook() {}
};

// The phonebook transfer: reads the phone's memory into the book, or writes the
// book's names into consecutive locations, one request and one answer at a time.
// A state machine fed by the phone's answers (handlePhonebookAnswer), its timers (the
// pause between the frames of a write request, the watchdog) and the commands;
// nothing here waits, so the event loop keeps running throughout.
class Transfer : public QObject, public link::PhonebookAnswer, private link::LinkListener {
    Q_OBJECT
public:
    enum class State {
        Idle,
        StartingLink,
        WaitingForMemoryInfo,
        Reading,
        Writing,
        CountingLeftovers, // a finished write asks how many entries lie beyond it
        AskingTimeout,
    };
    Q_ENUM(State)

    struct Timing {
        int watchdogMs = 3000;    // how often the watchdog looks
        quint32 silenceMs = 5000; // longer without a valid frame asks the question
        int chunkPauseMs = 100;   // between the frames of a write request
        int ackWaitMs = 1500;     // an answer came but not the acknowledgement: ask again
    };

    // The highest location a request can name.
    static constexpr int MaxLocation = 0xFFFF;

    static constexpr const char* TimeoutCaption = "connection timeout";
    static constexpr const char* TimeoutText =
        "No valid answer was received from phone.\rDo you want to re-setup connection and\r"
        "try to continue at the point of failure?";

    Transfer(TransferLink& link, BookModel& model, TransferUi& ui, QObject* parent = nullptr);
    ~Transfer() override;

    void setTiming(const Timing& timing);
    const Timing& timing() const { return timing_; }

    // ---- commands; each gives false and does nothing while a transfer runs ----

    // Replaces the book by the phone's names within the borders. The
    // unsaved-changes question is the caller's, before this.
    bool startRead(const LocationRange& borders = {});
    // Writes the book from its first name, one name per location. With keep,
    // what the phone holds at those locations is kept first (see keepThenWrite).
    bool startWrite(const LocationRange& borders, KeepReplaced keep);
    bool startWrite(const LocationRange& borders = {}) { return startWrite(borders, {}); }
    // Writes the selected name again: with a border missing, to the location it
    // was read from or written to; with both, it and the following names from
    // first to last. A subentry stands for its name. False when there is no
    // location to write to. keep as for startWrite.
    bool rewrite(const QModelIndex& selected, const LocationRange& borders = {},
                 KeepReplaced keep = {});
    // Runs a sync job: reads what it asks for, leaving the book alone, then
    // writes what it then asks for, each name to its own location.
    bool startSync(SyncJob job);
    // What the reads of the last sync job found.
    const SyncRead& syncRead() const { return syncRead_; }
    // Asks the running transfer to stop at its next step.
    void requestStop();
    // The answer to the "connection timeout" question.
    void timeoutAnswer(bool yes);
    // Ends the running transfer at once, as the answer No does: a read keeps the
    // names it has, in location order. A reason means someone other than the
    // user gave up (the CLI's retries or deadline); it becomes the closing text.
    void abandon(const QByteArray& reason = {});

    // The watchdog ticked; its timer calls it, tests may too.
    void onWatchdogTick();
    bool watchdogActive() const { return watchdog_.isActive(); }

    // ---- state ----

    State state() const { return state_; }
    // Starting, running, or asking the time-out question: a transfer is under way.
    bool busy() const { return state_ != State::Idle; }
    bool transferActive() const { return model_.book().transferActive; }
    bool asking() const { return state_ == State::AskingTimeout; }
    // The report of the transfer under way, or of the last one.
    const TransferReport& report() const { return report_; }
    int readCount() const { return report_.count(NameFate::Read); }

    // An entry note with its details: "Written to location 3" and
    // {"1 character replaced"} give "Written to location 3, 1 character replaced".
    static QString joinNote(const QString& note, const QStringList& details);
    // "1 character replaced", "N characters replaced"; empty for none.
    static QString replacedDetail(int count);
    // A Custom border as the transfer reads it: a positive decimal number (at
    // most MaxLocation); anything else is not given.
    static std::optional<int> border(const QByteArray& text);

    // Every frame of type 0x03 from the phone.
    void handlePhonebookAnswer(const QByteArray& frame) override;
    void portLost(const QByteArray& device, const QByteArray& reason) override;

Q_SIGNALS:
    void stateChanged(Transfer::State state);
    // transferActive changed: the window enables or disables Read and Write.
    void transferActiveChanged(bool active);
    // The transfer is over.
    void finished(const quorix::transfer::TransferReport& report);
    // How far Read and Write are, as their status texts count: entries read of
    // those the phone holds, names written of those to write.
    void progress(int done, int total);
    // A read emptied the book to fill it from the phone: it is no file's book
    // any more, and changes before it cannot be taken back.
    void bookReplaced();

private:
    // The one request the phone owes an answer to. An answer counts only for it,
    // and only once; see handlePhonebookAnswer().
    struct Request {
        enum class Kind { MemoryInfo, Read, Write } kind = Kind::MemoryInfo;
        int location = 0;
        bool sentWhole = false;    // every frame handed to the link
        bool acknowledged = false; // the phone acknowledged the last frame
    };

    // LinkListener
    void showStatus(const QByteArray& text) override;
    void showError(const QByteArray& caption, const QByteArray& text) override;
    void linkStarted(bool ok) override;

    bool begin(TransferKind kind, const LocationRange& borders);
    void setState(State state);
    void startConnection();
    void sendRequest(Request::Kind kind, const QByteArray& payload, int location);
    void onAcknowledged();
    void askAgain();
    void onMemoryInfo(int size, int used);
    void readNext();
    void syncReadNext();
    void syncTake(int location, const std::optional<PhoneContent>& content);
    void writeNext();
    void keepThenWrite();
    void noteHeld(int location, bool held);
    void takeEntry(const Entry& entry);
    void takeWriteAnswer(bool confirmed);
    void sendName(Name& name, int location);
    void sendNextChunk();
    void finish(TransferEnding ending);
    void stopLink();
    void linkFailed();
    void setFate(size_t position, NameFate fate);

    void collect(const QByteArray& frame);
    void flipBook();
    void setActive(bool active);
    void status(const QByteArray& text) { ui_.showStatus(text); }

    bool reading() const { return report_.kind == TransferKind::Read; }
    // A sync job, or a write that keeps what it replaces, reading before it writes.
    bool syncReading() const { return readingFirst_; }
    // Names are held by persistent indexes, so a name deleted during a write is
    // noticed instead of used.
    Name* nameAt(const QPersistentModelIndex& index) const;
    QPersistentModelIndex indexOfName(const Name& name) const;

    TransferLink& link_;
    BookModel& model_;
    TransferUi& ui_;
    Timing timing_;
    QTimer watchdog_;
    QTimer chunkTimer_;
    QTimer askAgainTimer_;

    State state_ = State::Idle;
    unsigned generation_ = 0; // moves at every link stop: stale continuations drop out
    TransferReport report_;
    LocationRange borders_;
    std::optional<Request> request_;
    std::optional<TransferEnding> stopRequested_;
    bool bookCleared_ = false; // a read has emptied the book
    bool reconnecting_ = false;

    // Read: the first location without an answer.
    int nextLocation_ = 0;
    // Write: the names to write, in order, and the position of the first one
    // without an answer; name i goes to the first location + i.
    std::vector<QPersistentModelIndex> writeNames_;
    size_t writePosition_ = 0;
    QPersistentModelIndex rewriteName_;
    int writeReplaced_ = 0;    // characters of the name in flight written as "?"
    PhoneContent sentContent_; // what the name in flight leaves on the phone

    // Sync: the job, the locations to read and the position of the first
    // without an answer, what they held; then the writes.
    SyncJob job_;
    std::vector<int> syncLocations_;
    size_t syncPosition_ = 0;
    bool syncWhole_ = false;
    bool readingFirst_ = false;
    // Write and Rewrite: keeps what the phone holds where they write, before
    // the first write; emptied once it ran.
    KeepReplaced keep_;
    SyncRead syncRead_;

    // The write request going out: frames still to send.
    QList<Chunk> chunks_;

    // An entry answer arriving in frames: the fragment byte of the frame taken
    // last, while one is being assembled; broken after a frame out of order,
    // until the link is set up again.
    std::optional<int> lastFragment_;
    bool assemblyBroken_ = false;
    QByteArray fragmentData_;
};

} // namespace quorix::transfer
