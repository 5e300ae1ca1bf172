#pragma once

#include "model/BookModel.h"

#include <QObject>
#include <QUndoCommand>
#include <functional>
#include <memory>

class QAction;
class QUndoStack;

namespace quorix {

// One user action on the book as an undo command. The action has already
// happened when the command is pushed (its questions were asked on the way),
// so the first redo() does nothing; later ones replay the recorded step.
class BookCommand : public QUndoCommand {
public:
    BookCommand(BookModel& model, std::unique_ptr<BookStep> step);
    void undo() override;
    void redo() override;
    bool keepsChanged() const { return step_->keepsChanged; }

private:
    BookModel& model_;
    std::unique_ptr<BookStep> step_;
    bool done_ = true;
    bool failed_ = false; // the last undo or redo found another book and did nothing

    friend class BookUndo;
};

// The book's undo history: a QUndoStack the model's finished steps go onto.
// After an undo or redo the book counts as unchanged exactly when it is back
// at the state that was saved or loaded; steps that leave the changed flag
// alone (Flip book) do not count. Undo and Redo wait while a transfer runs,
// since a read changes the book outside the history.
class BookUndo : public QObject {
    Q_OBJECT
public:
    static constexpr int Limit = 200;

    explicit BookUndo(BookModel& model, QObject* parent = nullptr);

    QUndoStack* stack() const { return stack_; }
    // "Undo ..." / "Redo ..." actions that name the step.
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }

    // Forgets the history (New, Open, Read); a step still open is dropped.
    // The state now is the saved one unless the book counts as changed.
    void clear();
    // The book was saved as it stands now.
    void setSaved();
    // Enables or disables Undo and Redo for a transfer.
    void setTransferActive(bool active);

    void undo();
    void redo();

Q_SIGNALS:
    // An undo or redo found the book changed outside the history: it changed
    // nothing, and the history is gone.
    void historyLost();

private:
    void replay(int index, const std::function<void()>& step);
    void onIndexChanged(int index);
    void updateActions();

    BookModel& model_;
    QUndoStack* stack_;
    QAction* undoAction_;
    QAction* redoAction_;
    bool transferActive_ = false;
    bool replayed_ = false;

    friend class BookCommand;
};

} // namespace quorix
