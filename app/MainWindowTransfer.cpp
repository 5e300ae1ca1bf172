// The phonebook transfer in the window: Read, Write, Stop and Rewrite entry, the
// transfer status in the first panel, the "connection timeout" question.
#include "app/BookTree.h"
#include "app/BookUndo.h"
#include "app/CommandActions.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/StatusPanel.h"
#include "app/TraceWindow.h"

#include "transfer/Transfer.h"

#include <QMessageBox>
#include <QTimer>
#include <QToolButton>

namespace quorix {

namespace {

// The window as the transfer's person: status panel and message boxes.
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
            if (!t->asking())
                return; // a late answer ended the transfer meanwhile
            const auto answer =
                MessageBoxes::ask(w, QString::fromLatin1(caption), QString::fromLatin1(text),
                                  QMessageBox::Critical, QMessageBox::Yes | QMessageBox::No);
            t->timeoutAnswer(answer == QMessageBox::Yes);
        });
    }
    void withdrawTimeout() override {
        // The transfer ended under the open question: it asks nothing any more.
        const QString caption = QString::fromLatin1(transfer::Transfer::TimeoutCaption);
        for (QMessageBox* box : w_.findChildren<QMessageBox*>())
            if (box->isVisible() && box->windowTitle() == caption)
                box->done(QMessageBox::No);
    }
    void focusBook() override { w_.tree->setFocus(); }

private:
    MainWindow& w_;
};

} // namespace

class TransferParts {
public:
    explicit TransferParts(MainWindow& w)
        : link(w.fbus(), [&w] { return w.linkSettings(); }), ui(w),
          transfer(link, *w.bookModel, ui) {
        ui.transfer = &transfer;
        // From the link's start to the last answer, commands that would
        // disturb the transfer wait.
        QObject::connect(&transfer, &transfer::Transfer::stateChanged, &w,
                         [&w](transfer::Transfer::State state) {
                             const bool active = state != transfer::Transfer::State::Idle;
                             if (active != w.commands().transferActive())
                                 w.setTransferActive(active);
                         });
        QObject::connect(&transfer, &transfer::Transfer::progress, &w,
                         [&w](int done, int total) { w.showProgress(done, total); });
        // A read replaces the book outside the undo history; edits made
        // while it ran are forgotten with it when it ends.
        QObject::connect(&transfer, &transfer::Transfer::bookReplaced, &w, [&w, this] {
            replacedByRead = true;
            w.bookUndo->clear();
            w.updateCaption();
        });
        QObject::connect(&transfer, &transfer::Transfer::finished, &w,
                         [&w, this](const transfer::TransferReport& report) {
                             if (std::exchange(replacedByRead, false))
                                 w.bookUndo->clear();
                             if (report.ending == transfer::TransferEnding::LinkNotStarted)
                                 w.showLinkFailure(report.device, report.systemReason);
                         });
    }

    transfer::FbusTransferLink link;
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

transfer::LocationRange MainWindow::customBorders() const {
    // The Custom borders live in the trace window, shown or not.
    if (!traceWindow)
        return {};
    return {transfer::Transfer::border(traceWindow->startBorderText().toLatin1()),
            transfer::Transfer::border(traceWindow->stopBorderText().toLatin1())};
}

void MainWindow::startRead() {
    // Still starting: no question about a book the transfer will refuse to read into.
    if (phoneTransfer().busy())
        return;
    if (!confirmClose())
        return;
    phoneTransfer().startRead(customBorders());
}

void MainWindow::startWrite() {
    phoneTransfer().startWrite(customBorders()); // refused while a transfer runs
}

void MainWindow::requestStop() {
    if (transfer_)
        transfer_->transfer.requestStop();
}

void MainWindow::rewriteEntry() {
    phoneTransfer().rewrite(tree->selectedNode(), customBorders());
}

} // namespace quorix
