#include "BookHistory.h"

#include "BookModel.h"

namespace quorix {

void BookStep::undo(BookModel& model) {
    const BookModel::Replay replay(model);
    for (auto it = changes_.rbegin(); it != changes_.rend(); ++it)
        (*it)->undo(model);
}

void BookStep::redo(BookModel& model) {
    const BookModel::Replay replay(model);
    for (const auto& change : changes_)
        change->redo(model);
}

} // namespace quorix
