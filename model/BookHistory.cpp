#include "BookHistory.h"

#include "BookModel.h"

namespace quorix {

bool BookStep::undo(BookModel& model) {
    const BookModel::Replay replay(model);
    for (size_t i = changes_.size(); i-- > 0;) {
        if (changes_[i]->undo(model))
            continue;
        // Made again what was taken back, so the step is all or nothing.
        for (size_t j = i + 1; j < changes_.size(); ++j)
            (void)changes_[j]->redo(model);
        return false;
    }
    return true;
}

bool BookStep::redo(BookModel& model) {
    const BookModel::Replay replay(model);
    for (size_t i = 0; i < changes_.size(); ++i) {
        if (changes_[i]->redo(model))
            continue;
        for (size_t j = i; j-- > 0;)
            (void)changes_[j]->undo(model);
        return false;
    }
    return true;
}

} // namespace quorix
