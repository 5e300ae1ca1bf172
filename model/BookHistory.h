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
// steps are undone and redone strictly in stack order.
class BookChange {
public:
    virtual ~BookChange() = default;
    virtual void undo(BookModel& model) = 0;
    virtual void redo(BookModel& model) = 0;
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
    void undo(BookModel& model);
    void redo(BookModel& model);

private:
    QString text_;
    std::vector<std::unique_ptr<BookChange>> changes_;
};

} // namespace quorix
