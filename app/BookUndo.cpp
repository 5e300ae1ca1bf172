#include "app/BookUndo.h"

#include <QAction>
#include <QUndoStack>

namespace quorix {

BookCommand::BookCommand(BookModel& model, std::unique_ptr<BookStep> step)
    : model_(model), step_(std::move(step)) {
    setText(step_->text());
}

void BookCommand::undo() {
    if (!step_->undo(model_))
        failed_ = true;
}

void BookCommand::redo() {
    if (std::exchange(done_, false))
        return;
    if (!step_->redo(model_))
        failed_ = true;
}

BookUndo::BookUndo(BookModel& model, QObject* parent)
    : QObject(parent), model_(model), stack_(new QUndoStack(this)),
      undoAction_(new QAction(QStringLiteral("&Undo"), this)),
      redoAction_(new QAction(QStringLiteral("&Redo"), this)) {
    stack_->setUndoLimit(Limit);
    model_.setStepSink([this](std::unique_ptr<BookStep> step) {
        stack_->push(new BookCommand(model_, std::move(step)));
    });
    connect(stack_, &QUndoStack::indexChanged, this, &BookUndo::onIndexChanged);
    connect(stack_, &QUndoStack::canUndoChanged, this, &BookUndo::updateActions);
    connect(stack_, &QUndoStack::canRedoChanged, this, &BookUndo::updateActions);
    connect(stack_, &QUndoStack::undoTextChanged, this, &BookUndo::updateActions);
    connect(stack_, &QUndoStack::redoTextChanged, this, &BookUndo::updateActions);
    connect(undoAction_, &QAction::triggered, this, &BookUndo::undo);
    connect(redoAction_, &QAction::triggered, this, &BookUndo::redo);
    updateActions();
}

void BookUndo::clear() {
    model_.abandonStep();
    stack_->clear();
    if (model_.book().bookChanged)
        stack_->resetClean(); // nothing on the stack is what was saved
}

void BookUndo::setSaved() {
    stack_->setClean();
}

void BookUndo::setTransferActive(bool active) {
    transferActive_ = active;
    updateActions();
}

void BookUndo::undo() {
    if (transferActive_ || !stack_->canUndo())
        return;
    replay(stack_->index() - 1, [this] { stack_->undo(); });
}

void BookUndo::redo() {
    if (transferActive_ || !stack_->canRedo())
        return;
    replay(stack_->index(), [this] { stack_->redo(); });
}

void BookUndo::replay(int index, const std::function<void()>& step) {
    auto* command = dynamic_cast<BookCommand*>(const_cast<QUndoCommand*>(stack_->command(index)));
    replayed_ = true;
    step();
    if (!command || !std::exchange(command->failed_, false))
        return;
    // The book no longer holds what the step changed: it was changed outside
    // the history. The step left it alone, and no other step can be trusted.
    clear();
    model_.book().bookChanged = true;
    stack_->resetClean();
    Q_EMIT historyLost();
}

void BookUndo::onIndexChanged(int index) {
    // A push leaves the flag as the command set it; undo and redo decide here.
    if (!std::exchange(replayed_, false))
        return;
    const int clean = stack_->cleanIndex();
    bool changed = clean < 0;
    for (int i = std::min(clean, index); !changed && i < std::max(clean, index); ++i) {
        const auto* command = dynamic_cast<const BookCommand*>(stack_->command(i));
        changed = !command || !command->keepsChanged();
    }
    model_.book().bookChanged = changed;
}

void BookUndo::updateActions() {
    // "&Undo Delete "A&&B"": the access key, and a name's "&" shown as itself.
    const auto label = [](const QString& verb, QString text) {
        text.replace(QLatin1Char('&'), QLatin1String("&&"));
        return text.isEmpty() ? verb : verb + QLatin1Char(' ') + text;
    };
    undoAction_->setText(label(QStringLiteral("&Undo"), stack_->undoText()));
    redoAction_->setText(label(QStringLiteral("&Redo"), stack_->redoText()));
    undoAction_->setEnabled(!transferActive_ && stack_->canUndo());
    redoAction_->setEnabled(!transferActive_ && stack_->canRedo());
}

} // namespace quorix
