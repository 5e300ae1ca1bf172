#pragma once

#include "model/Book.h"

namespace quorix::files {

// Builds the book of an import: each name goes on top and the book is flipped
// at the end, and a name that is full in a class goes on in a continuation name
// "Base (2)", "Base (3)", ...
class Filling {
public:
    explicit Filling(Book& book) : book_(book) {}

    // Starts a name from one record or line; an empty text becomes "<No Name>".
    void startName(const QString& text);
    // Makes room for one more subentry of the kind: when the current name holds
    // its class's limit already, it is sorted and a continuation name follows.
    void makeRoom(int kind);
    // True when the current name takes one more subentry of the kind.
    bool hasRoom(int kind) const;
    // The current name (after startName).
    Name* current() const { return current_; }
    // Appends a subentry to the current name (after makeRoom).
    void add(QString text, int kind);
    // Sorts the current name's subentries by class.
    void finishName();
    // Restores the order of the source.
    void finish() { book_.flipBook(); }

private:
    Book& book_;
    Name* current_ = nullptr;
    QString base_;
    int counter_ = 1;
};

} // namespace quorix::files
