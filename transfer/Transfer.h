#pragma once

#include "transfer/PhonebookMessages.h"
#include "transfer/TransferLink.h"

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
// with its status bar, message boxes and the trace window's Custom borders; the
// CLI with the terminal and its options.
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
    // The Custom borders "Start:" and "Stop:", as typed.
    virtual QByteArray startBorder() const = 0;
    virtual QByteArray stopBorder() const = 0;
    virtual void setBorders(const QByteArray& start, const QByteArray& stop) = 0;
    // A read has filled the book: the tree may take the input focus.
    virtual void focusBook() {}
};

// The phonebook transfer: reads the phone's memory into the book, or writes the
// book's names into consecutive locations, one request and one answer at a time.
// A state machine fed by the phone's answers (handlePhonebookAnswer), its timers (the
// pause between the frames of a write request, the watchdog) and the commands;
// nothing here waits, so the event loop keeps running throughout.
//
// The names follow the transfer state the window keeps: transferMode 1 write,
// 2 read; currentLocation the location asked for last (-2 until the memory information);
// answeredLocation the location a read handled last (-1 until it cleared the book);
// writeResult -1 none, -2 refused, else the location the phone confirmed.
class Transfer : public QObject, public link::PhonebookAnswer, private link::LinkListener {
    Q_OBJECT
public:
    enum Mode { NoMode = 0, WriteMode = 1, ReadMode = 2 };
    // outcome: decides the closing text.
    // Lost: the port went away under the transfer.
    enum Outcome { Ready = 0, Errors = 1, Aborted = 2, Lost = 4 };
    // How a transfer ended, for finished(): an outcome, or NoLink when the port
    // could not be opened (at the start or when the link was set up again).
    enum Result {
        ResultReady = Ready,
        ResultErrors = Errors,
        ResultAborted = Aborted,
        NoLink = 3,
        ResultLost = Lost
    };
    Q_ENUM(Result)

    struct Timing {
        int watchdogMs = 3000;    // how often the watchdog looks
        quint32 silenceMs = 5000; // longer without a valid frame asks the question
        int chunkPauseMs = 100;   // between the frames of a write request
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

    // Replaces the book by the phone's names. The unsaved-changes question is
    // the caller's, before this.
    bool startRead();
    // Writes the book from its first name, one name per location.
    bool startWrite();
    // Writes the selected name again: with no borders given, to the location its
    // note names; with both given, it and the following names from Start to Stop.
    // A subentry stands for its name.
    bool rewriteEntry(const QModelIndex& selected);
    // Asks the running transfer to stop at its next step.
    void requestStop();
    // The answer to the "connection timeout" question.
    void timeoutAnswer(bool yes);
    // Ends the running transfer at once, as the answer No does: a read keeps the
    // names it has, in location order. closing replaces "Transfer aborted by
    // user." when someone other than the user gave up (the CLI's retries or
    // deadline).
    void abandon(const QByteArray& closing = {});

    // The watchdog ticked; its timer calls it, tests may too.
    void onWatchdogTick();
    bool watchdogActive() const { return watchdog_.isActive(); }

    // ---- state ----

    // Starting, running, or asking the time-out question: a transfer is under way.
    bool busy() const { return phase_ != Phase::Idle; }
    bool transferActive() const { return model_.book().transferActive; }
    bool asking() const { return asking_; }
    int transferMode() const { return transferMode_; }
    int firstLocation() const { return firstLocation_; }
    int lastLocation() const { return lastLocation_; }
    int currentLocation() const { return currentLocation_; }
    int answeredLocation() const { return answeredLocation_; }
    int readCount() const { return readCount_; }
    int memorySize() const { return memorySize_; }
    int memoryUsed() const { return memoryUsed_; }
    int writeResult() const { return writeResult_; }
    // Locations the phone confirmed in this write.
    int writtenCount() const { return writtenCount_; }
    int outcome() const { return outcome_; }
    bool stopRequested() const { return stopRequested_; }
    int fragmentState() const { return fragmentState_; }

    // After a write: "The phone still holds N entries after location M." when
    // the phone had more used locations than the write filled, else empty.
    const QByteArray& leftoverText() const { return leftoverText_; }
    // That text for a phone with used locations before a write that ended at
    // location last; entries beyond it are at least used - last.
    static QByteArray leftoverText(int used, int last);

    // The closing text of an outcome; empty for any other value (Lost has its own,
    // made when the port goes).
    static QByteArray closingText(int outcome);
    // The text the status showed when the last transfer ended.
    QByteArray lastClosingText() const { return lastClosing_; }
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
    // transferActive changed: the window enables or disables Read and Write.
    void transferActiveChanged(bool active);
    // The transfer is over (Result).
    void finished(int result);
    // How far Read and Write are, as their status texts count: entries read of
    // those the phone holds, names written of those to write.
    void progress(int done, int total);
    // A read emptied the book to fill it from the phone: it is no file's book
    // any more, and changes before it cannot be taken back.
    void bookReplaced();

private:
    enum class Phase { Idle, Starting, WaitingInfo, Running };

    // LinkListener
    void showStatus(const QByteArray& text) override;
    void showError(const QByteArray& caption, const QByteArray& text) override;
    void linkStarted(bool ok) override;

    void startConnection();
    void onMemoryInfo(int size, int used);
    void readNext();
    void writeNext();
    void sendName(Name& name, int location);
    void sendNextChunk();
    void closeConnection(bool restore);
    void resetState(int mode);
    void linkFailed();

    void collect(const QByteArray& frame);
    void decodeEntry(const QByteArray& payload);
    void flipBook();
    void setActive(bool active);
    void status(const QByteArray& text) { ui_.showStatus(text); }

    // Names are held by persistent indexes, so a name deleted during a write is
    // noticed instead of used.
    Name* nameAt(const QPersistentModelIndex& index) const;
    QPersistentModelIndex indexOfName(const Name& name) const;
    Name* nextName();
    void namesAboutToBeRemoved(const QModelIndex& parent, int first, int last);

    TransferLink& link_;
    BookModel& model_;
    TransferUi& ui_;
    Timing timing_;
    QTimer watchdog_;
    QTimer chunkTimer_;

    Phase phase_ = Phase::Idle;
    bool reconnecting_ = false; // the link is being set up again within a transfer
    bool asking_ = false;
    unsigned generation_ = 0; // moves at every close, so stale continuations drop out

    int transferMode_ = NoMode;
    int firstLocation_ = 0;
    int lastLocation_ = 0;
    int currentLocation_ = -2;
    int answeredLocation_ = -1;
    int readCount_ = 0;
    int memorySize_ = -1;
    int memoryUsed_ = -1;
    int lastSent_ = 0;      // the last location a write sent a name to
    QByteArray leftoverText_;
    int writeResult_ = -1;
    int writtenCount_ = 0;
    int outcome_ = Ready;
    QByteArray closingOverride_; // said instead of the outcome's text
    QByteArray lastClosing_;
    bool stopRequested_ = false;
    bool restoreBorders_ = false;
    QByteArray savedStart_;
    QByteArray savedStop_;

    // writeName, rewriteName; a writeName that was deleted leaves its successor.
    bool writeNameSet_ = false;
    QPersistentModelIndex writeName_;
    int writeReplaced_ = 0; // characters of the name in flight written as "?"
    QPersistentModelIndex writeNameFollower_;
    bool rewriteNameSet_ = false;
    QPersistentModelIndex rewriteName_;
    // The name the last read answer added, replaced by a second answer for it.
    QPersistentModelIndex lastRead_;

    // The write request going out: frames still to send, and whether the whole
    // request is out, so that an answer may belong to it.
    QList<Chunk> chunks_;
    bool awaitingWrite_ = false;

    int fragmentState_ = -1;
    QByteArray fragmentData_;
};

} // namespace quorix::transfer
