#pragma once

#include "link/FbusLink.h"

#include <QByteArray>

#include <functional>
#include <optional>

namespace quorix::transfer {

// What the transfer needs of the phone link. The program puts an FbusLink behind
// it (FbusTransferLink); unit tests put a scripted phone there, so that every step
// and every time-out can be checked on a clock the test moves.
class TransferLink {
public:
    virtual ~TransferLink() = default;

    // Starts the link. The listener hears the status texts, the failure message
    // and, at the end, linkStarted(); that may come at once or later from the
    // event loop.
    virtual void startLink(link::LinkListener* listener) = 0;
    // Ends the link: transmit thread and port. Safe to call from inside an answer.
    virtual void stopLink() = 0;
    virtual bool sendFrame(quint8 type, const QByteArray& data, quint8 fragment, bool followOn) = 0;
    // Calls done with the tick count at which the frame sent last went out to the
    // phone. A link that writes at once may call it at once, with now().
    virtual void whenLastFrameWritten(std::function<void(quint32 writtenAt)> done) { done(now()); }
    // Calls acknowledged once the phone has acknowledged the frame sent last; a
    // later call replaces it. A link that cannot tell calls it at once.
    virtual void whenLastFrameAcknowledged(std::function<void()> acknowledged) { acknowledged(); }
    // The device the link opens, and the system's text for its last failure.
    virtual QByteArray device() const { return {}; }
    virtual QByteArray systemError() const { return {}; }
    // Tick count of the latest valid frame the phone sent us, and the tick count
    // now, on one clock. Bytes that make no such frame do not count.
    virtual quint32 lastValidFrameTime() const = 0;
    virtual quint32 now() const = 0;
    // Where every phonebook frame of the phone goes (null: nowhere).
    virtual void setPhonebookAnswer(link::PhonebookAnswer* handler) = 0;
};

// The real link, for the window and the CLI alike: an FbusLink and the
// connection settings, which are read afresh at every start, as the connection
// dialog may have changed them.
class FbusTransferLink final : public TransferLink {
public:
    using Settings = std::function<link::LinkSettings()>;

    FbusTransferLink(link::FbusLink& link, Settings settings);

    void startLink(link::LinkListener* listener) override;
    void stopLink() override;
    bool sendFrame(quint8 type, const QByteArray& data, quint8 fragment, bool followOn) override;
    void whenLastFrameAcknowledged(std::function<void()> acknowledged) override;
    QByteArray device() const override;
    QByteArray systemError() const override;
    void whenLastFrameWritten(std::function<void(quint32)> done) override {
        link_.whenLastFrameWritten(std::move(done));
    }
    quint32 lastValidFrameTime() const override { return link_.lastValidFrameTime(); }
    quint32 now() const override { return link_.clock().now(); }
    void setPhonebookAnswer(link::PhonebookAnswer* handler) override {
        link_.setPhonebookAnswer(handler);
    }

    link::FbusLink& fbus() const { return link_; }

private:
    void frameSeen(const QByteArray& frame);

    link::FbusLink& link_;
    Settings settings_;
    link::LinkSettings started_;
    std::optional<int> awaitedSequence_; // of the frame sent last, until acknowledged
    std::function<void()> acknowledged_;
};

} // namespace quorix::transfer
