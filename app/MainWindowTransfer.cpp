// The phonebook transfer in the window: Read, Write, Stop and Rewrite entry, the
// transfer status in the first panel, the "connection timeout" question.
#include "app/BookTree.h"
#include "app/BookUndo.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/StatusPanel.h"
#include "app/TraceWindow.h"

#include "transfer/Transfer.h"

#include <QTimer>
#include <QToolButton>

namespace quorix {

namespace {

// The window's link as the transfer's: the connection the window's settings
// name, and the window hears how each start went, as it does for every start.
class WindowLink : public transfer::TransferLink, private link::LinkListener {
public:
    explicit WindowLink(MainWindow& w) : w_(w) {}

    void startLink(link::LinkListener* listener) override {
        listener_ = listener;
        w_.fbus().startLink(w_.linkSettings(), this);
    }
    void stopLink() override { w_.fbus().stopLink(); }
    bool sendFrame(quint8 type, const QByteArray& data, quint8 fragment, bool followOn) override {
        return w_.fbus().sendFrame(type, data, fragment, followOn);
    }
    quint32 lastValidFrameTime() const override { return w_.fbus().lastValidFrameTime(); }
    quint32 now() const override { return w_.fbus().clock().now(); }
    void setPhonebookAnswer(link::PhonebookAnswer* handler) override {
        w_.fbus().setPhonebookAnswer(handler);
    }

private:
    void showStatus(const QByteArray& text) override { listener_->showStatus(text); }
    void showError(const QByteArray& caption, const QByteArray& text) override {
        listener_->showError(caption, text);
    }
    void linkStarted(bool ok) override {
        std::exchange(listener_, nullptr)->linkStarted(ok);
        w_.linkStarted(ok); // the system's reason for a failure, in the panel's tool tip
    }

    MainWindow& w_;
    link::LinkListener* listener_ = nullptr;
};

// The window as the transfer's person: status panel, message boxes, borders.
class WindowUi : public transfer::TransferUi {
public:
    explicit WindowUi(MainWindow& w) : w_(w) {}
    transfer::Transfer* transfer = nullptr;

    void showStatus(const QByteArray& text) override { w_.setPanel(0, QString::fromLatin1(text)); }
    void showError(const QByteArray& caption, const QByteArray& text) override {
        // Shown once the link code has returned, so no handler runs inside the box.
        QTimer::singleShot(0, &w_, [w = &w_, caption, text] {
            MessageBoxes::ask(w, QString::fromLatin1(caption), QString::fromLatin1(text),
                              QMessageBox::Critical, QMessageBox::Ok);
        });
    }
    void askTimeout(const QByteArray& caption, const QByteArray& text) override {
        // Asked from the event loop rather than inside the watchdog's tick; the
        // phone's late answers are handled while the box is open.
        QTimer::singleShot(0, &w_, [w = &w_, t = transfer, caption, text] {
            const auto answer =
                MessageBoxes::ask(w, QString::fromLatin1(caption), QString::fromLatin1(text),
                                  QMessageBox::Critical, QMessageBox::Yes | QMessageBox::No);
            t->timeoutAnswer(answer == QMessageBox::Yes);
        });
    }
    // The Custom borders live in the trace window, shown or not.
    QByteArray startBorder() const override {
        return w_.traceWindow ? w_.traceWindow->startBorderText().toLatin1() : QByteArray();
    }
    QByteArray stopBorder() const override {
        return w_.traceWindow ? w_.traceWindow->stopBorderText().toLatin1() : QByteArray();
    }
    void setBorders(const QByteArray& start, const QByteArray& stop) override {
        if (!w_.traceWindow)
            return;
        w_.traceWindow->setStartBorderText(QString::fromLatin1(start));
        w_.traceWindow->setStopBorderText(QString::fromLatin1(stop));
    }
    void focusBook() override { w_.tree->setFocus(); }

private:
    MainWindow& w_;
};

} // namespace

class TransferParts {
public:
    explicit TransferParts(MainWindow& w) : link(w), ui(w), transfer(link, *w.bookModel, ui) {
        ui.transfer = &transfer;
        QObject::connect(&transfer, &transfer::Transfer::transferActiveChanged, &w,
                         [&w](bool active) { w.setTransferActive(active); });
        QObject::connect(&transfer, &transfer::Transfer::progress, &w,
                         [&w](int done, int total) { w.showProgress(done, total); });
        // A read replaces the book outside the undo history; edits made
        // while it ran are forgotten with it when it ends.
        QObject::connect(&transfer, &transfer::Transfer::bookReplaced, &w, [&w, this] {
            replacedByRead = true;
            w.bookUndo->clear();
            w.updateCaption();
        });
        QObject::connect(&transfer, &transfer::Transfer::finished, &w, [&w, this] {
            if (std::exchange(replacedByRead, false))
                w.bookUndo->clear();
        });
    }

    WindowLink link;
    WindowUi ui;
    transfer::Transfer transfer;
    bool replacedByRead = false;
};

void MainWindow::TransferPartsDeleter::operator()(TransferParts* parts) const {
    delete parts;
}

transfer::Transfer& MainWindow::phoneTransfer() {
    if (!transfer_)
        transfer_.reset(new TransferParts(*this));
    return transfer_->transfer;
}

void MainWindow::startRead() {
    // Still starting: no question about a book the transfer will refuse to read into.
    if (phoneTransfer().busy())
        return;
    if (!confirmClose())
        return;
    phoneTransfer().startRead();
}

void MainWindow::startWrite() {
    phoneTransfer().startWrite(); // refused while a transfer runs
}

void MainWindow::requestStop() {
    if (transfer_)
        transfer_->transfer.requestStop();
}

void MainWindow::rewriteEntry() {
    phoneTransfer().rewriteEntry(tree->selectedNode());
}

} // namespace quorix
