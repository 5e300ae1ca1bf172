#include "Filling.h"

#include "FileResult.h"

namespace quorix::files {

void Filling::startName(const QString& text) {
    base_ = text.isEmpty() ? QString(QLatin1String(NoName)) : text;
    current_ = &book_.addAtTop(base_);
    counter_ = 1;
}

bool Filling::hasRoom(int kind) const {
    const int sortClass = sortClassOf(kind);
    return Book::subentryCount(*current_, sortClass) < classLimit(sortClass);
}

void Filling::makeRoom(int kind) {
    if (hasRoom(kind))
        return;
    Book::sortByClass(*current_);
    ++counter_;
    current_ = &book_.addAtTop(base_ + QStringLiteral(" (") + QString::number(counter_) + u')');
}

void Filling::add(QString text, int kind) {
    Book::addSubentry(*current_, std::move(text), kind);
}

void Filling::finishName() {
    if (current_)
        Book::sortByClass(*current_);
}

} // namespace quorix::files
