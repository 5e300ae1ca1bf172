// The phonebook transfer in the window: Read, Write, Stop and Rewrite entry,
// Compare with phone and Write changes, the backups of the phone, the transfer
// status in the first panel, the "connection timeout" question.
#include "app/BookTree.h"
#include "app/BookUndo.h"
#include "app/CommandActions.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/StatusPanel.h"
#include "app/SyncDialogs.h"
#include "app/TraceWindow.h"

#include "files/Backups.h"
#include "model/PhoneSync.h"
#include "transfer/PhoneView.h"
#include "transfer/SyncJob.h"
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
    void focusBook() override { w_.treeView()->setFocus(); }

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
                             w.transferFinished(report, std::exchange(pending, Pending::None));
                         });
    }

    transfer::FbusTransferLink link;
    WindowUi ui;
    transfer::Transfer transfer;
    bool replacedByRead = false;
    // What the window does when the running sync job ends.
    using Pending = MainWindow::PendingSync;
    Pending pending = Pending::None;
    std::shared_ptr<transfer::ChangesOutcome> changes;
    QString backupPath; // kept before the running write
};

namespace {

// The locations a whole write fills, first name first, within the borders.
std::vector<int> writeLocations(const Book& book, const transfer::LocationRange& borders) {
    const int first = borders.first.value_or(1);
    const int last = borders.last.value_or(transfer::Transfer::MaxLocation);
    std::vector<int> out;
    for (int i = 0; i < book.entryCount() && first + i <= last; ++i)
        out.push_back(first + i);
    return out;
}

} // namespace

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
    if (phonebook().transferActive || phoneTransfer().busy())
        return;
    // First learn what the phone holds where this write goes: from the names'
    // recorded contents, else by reading those locations.
    const std::vector<PhoneSlot> recorded = recordedSlots(phonebook());
    std::vector<int> unknown;
    for (const int location : writeLocations(phonebook(), customBorders()))
        if (std::none_of(recorded.begin(), recorded.end(),
                         [&](const PhoneSlot& s) { return s.location == location; }))
            unknown.push_back(location);
    if (unknown.empty()) {
        askBeforeWrite(recorded);
        return;
    }
    transfer::SyncJob job;
    job.borders = customBorders();
    job.reads = [unknown](const transfer::SyncRange&) {
        return transfer::SyncReads{false, unknown};
    };
    transfer_->pending = PendingSync::WriteCheck;
    phoneTransfer().startSync(std::move(job));
}

void MainWindow::askBeforeWrite(const std::vector<PhoneSlot>& held) {
    const Book& book = phonebook();
    const std::vector<int> locations = writeLocations(book, customBorders());
    std::vector<PhoneSlot> replaced;
    QStringList differences;
    for (size_t i = 0; i < locations.size(); ++i) {
        const auto h = std::find_if(held.begin(), held.end(),
                                    [&](const PhoneSlot& s) { return s.location == locations[i]; });
        if (h == held.end())
            continue; // empty: nothing is overwritten
        replaced.push_back(*h);
        if (h->content != transfer::phoneView(book.name(int(i))))
            differences << QStringLiteral("%1: %2").arg(locations[i]).arg(h->content.name);
    }
    if (!differences.isEmpty()) {
        const QString shown = differences.mid(0, 8).join(u'\r') +
                              (differences.size() > 8 ? QStringLiteral("\r...") : QString());
        const auto answer = MessageBoxes::ask(
            this, QStringLiteral("Confirm"),
            QStringLiteral("The phone holds other entries at %1 of the locations this write "
                           "fills:\r%2\r\rWrite changes writes only the names that differ, "
                           "each to its own location or a free one, and leaves the phone's "
                           "other entries. Write all writes every name from location %3 on. "
                           "What is overwritten is kept in the backups folder.")
                .arg(differences.size())
                .arg(shown)
                .arg(locations.front()),
            QMessageBox::Question, QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::Cancel,
            {{QMessageBox::Yes, QStringLiteral("Write changes")},
             {QMessageBox::YesToAll, QStringLiteral("Write all")}});
        if (answer == QMessageBox::Yes) {
            writeChanges();
            return;
        }
        if (answer != QMessageBox::YesToAll)
            return;
    }
    transfer_->backupPath.clear();
    if (!replaced.empty()) {
        QString error;
        transfer_->backupPath = files::keepReplaced(replaced, &error);
        if (!error.isEmpty()) {
            MessageBoxes::error(this, QStringLiteral("No backup could be kept, so nothing was "
                                                     "written:\r%1")
                                          .arg(error));
            return;
        }
    }
    transfer_->pending = PendingSync::Write;
    phoneTransfer().startWrite(customBorders());
}

void MainWindow::writeChanges() {
    if (phonebook().transferActive || phoneTransfer().busy())
        return;
    transfer_->changes = std::make_shared<transfer::ChangesOutcome>();
    transfer::SyncJob job =
        transfer::changesJob(*bookModel, std::nullopt, files::keepReplaced, transfer_->changes);
    job.borders = customBorders();
    transfer_->pending = PendingSync::Changes;
    phoneTransfer().startSync(std::move(job));
}

void MainWindow::compareWithPhone() {
    if (phonebook().transferActive || phoneTransfer().busy())
        return;
    transfer::SyncJob job = transfer::compareJob();
    job.borders = customBorders();
    transfer_->pending = PendingSync::Compare;
    phoneTransfer().startSync(std::move(job));
}

void MainWindow::transferFinished(const transfer::TransferReport& report, PendingSync pending) {
    const QString closing = QString::fromLatin1(report.closingText());
    const auto named = [&](const QString& backup) {
        if (!backup.isEmpty())
            setPanel(0, closing + QStringLiteral(" Backup: ") + backup);
    };
    if (report.kind == transfer::TransferKind::Read) {
        // Every read keeps the phone's book.
        if (report.completed() && !phonebook().isEmpty()) {
            const files::FileResult backup =
                files::BackupFolder().save(phonebook(), files::BackupKind::Read);
            if (backup.ok)
                named(backup.path);
            else
                setPanel(0, closing + QStringLiteral(" No backup: ") + backup.error);
        }
        return;
    }
    if (!report.keepError.isEmpty()) {
        MessageBoxes::error(this,
                            QStringLiteral("No backup could be kept, so nothing was written:\r%1")
                                .arg(report.keepError));
        return;
    }
    switch (pending) {
    case PendingSync::None:
        named(report.keptAt); // a Rewrite
        return;
    case PendingSync::Write:
        named(transfer_->backupPath);
        return;
    case PendingSync::WriteCheck:
        if (report.completed()) {
            std::vector<PhoneSlot> held = recordedSlots(phonebook());
            const auto& read = phoneTransfer().syncRead();
            std::erase_if(held, [&](const PhoneSlot& s) {
                return std::find(read.read.begin(), read.read.end(), s.location) != read.read.end();
            });
            held.insert(held.end(), read.held.begin(), read.held.end());
            // Asked once the transfer has closed, not inside its handler.
            QTimer::singleShot(0, this, [this, held] { askBeforeWrite(held); });
        }
        return;
    case PendingSync::Changes: {
        const transfer::ChangesOutcome& o = *transfer_->changes;
        if (!o.keepError.isEmpty()) {
            MessageBoxes::error(this, QStringLiteral("No backup could be kept, so nothing was "
                                                     "written:\r%1")
                                          .arg(o.keepError));
            return;
        }
        QString text = closing + u' ' + o.comparison.countLine() + u'.';
        if (!o.plan.left.empty()) {
            // Named, so that the user sees which deleted names the phone still holds.
            QStringList left;
            for (const PhoneSlot& slot : o.plan.left)
                left << QStringLiteral("%1 (%2)").arg(slot.content.name).arg(slot.location);
            if (left.size() > 5)
                left = left.mid(0, 5) << QStringLiteral("...");
            text += QStringLiteral(" %1 left on the phone: %2.")
                        .arg(transfer::countOf(int(o.plan.left.size()), QStringLiteral("entry"),
                                               QStringLiteral("entries")),
                             left.join(QStringLiteral(", ")));
        }
        if (!o.keptAt.isEmpty())
            text += QStringLiteral(" Backup: ") + o.keptAt;
        setPanel(0, text);
        return;
    }
    case PendingSync::Compare:
        if (report.completed()) {
            auto* dialog = new CompareDialog(
                transfer::compareRead(phonebook(), phoneTransfer().syncRead()), phonebook(), this);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->open();
        }
        return;
    }
}

void MainWindow::requestStop() {
    if (transfer_)
        transfer_->transfer.requestStop();
}

void MainWindow::rewriteEntry() {
    // What the entry overwrites is kept first, as every write keeps it.
    phoneTransfer().rewrite(tree->selectedNode(), customBorders(), files::keepReplaced);
}

} // namespace quorix
