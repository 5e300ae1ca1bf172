#pragma once

#include <QString>
#include <memory>
#include <vector>

namespace quorix {

class BookModel;

// A node's text as an undo step names it: in double quotes.
inline QString quotedForStep(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// One change the model made to the book, kept so that it can be taken back and
// made again. Changes find their nodes by row and position, which holds because
// steps are undone and redone strictly in stack order; each one checks first
// that the node there is the one it changed (the name's serial, the
// subentry's text and kind) and does nothing, giving false, when it is not.
class BookChange {
public:
    virtual ~BookChange() = default;
    [[nodiscard]] virtual bool undo(BookModel& model) = 0;
    [[nodiscard]] virtual bool redo(BookModel& model) = 0;
};

// The changes of one user action (a delete, a merge, a drop, an import), in
// the order the model made them. Undo takes them back last first.
class BookStep {
public:
    explicit BookStep(QString text) : text_(std::move(text)) {}

    // What the action was, for "Undo ..." ("Delete "Anna"").
    const QString& text() const { return text_; }
    void setText(const QString& text) { text_ = text; }
    // Flip book leaves the book's changed flag as it was, and so do its undo
    // and redo.
    bool keepsChanged = false;

    bool isEmpty() const { return changes_.empty(); }
    void add(std::unique_ptr<BookChange> change) { changes_.push_back(std::move(change)); }
    // Both give false, with the book as it was, when the book does not hold
    // what the step changed (something changed it outside the history).
    [[nodiscard]] bool undo(BookModel& model);
    [[nodiscard]] bool redo(BookModel& model);

private:
    QString text_;
    std::vector<std::unique_ptr<BookChange>> changes_;
};

} // namespace quorix
