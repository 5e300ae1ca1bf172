// Editing the book by hand: the popup menu's commands, Clear, New, Sort, Flip,
// and the expansion images of the tree.
#include "app/BookTree.h"
#include "app/TMain.h"

namespace quorix {

void TMain::newentryClick() {
    // A number subentry under the selected name, or a new name.
}

void TMain::newtextentryClick() {
    // A text subentry under the selected name.
}

void TMain::newnameClick() {
    // A new name in front of the selected one.
}

void TMain::editClick() {
    // Opens the label editor of the selected node.
}

void TMain::deleteClick() {
    // Deletes the selected name or subentry after a question.
}

void TMain::clearClick() {
    // Empties the book after a question.
}

void TMain::newClick() {
    // Empties the book and forgets its file, after the close question.
}

void TMain::settype(int kind) {
    // Changes the kind of the selected subentry.
    Q_UNUSED(kind);
}

void TMain::setgroup(int group) {
    // Sets the caller group of the selected name.
    Q_UNUSED(group);
}

void TMain::sortClick() {
    // Sorts the names and each name's subentries.
}

void TMain::flipClick() {
    // Reverses the order of the names.
}

// A node that has nothing under it does not open, so its image stays closed.
void TMain::expandallClick() {
    Book& b = phonebook();
    for (int row = 0; row < b.entryCount(); ++row)
        bookmodel->setExpanded(b.name(row), !b.name(row).subs.empty());
    bookmodel->setRootExpanded(!b.isEmpty());
    book->expandAll();
}

void TMain::collapseallClick() {
    Book& b = phonebook();
    book->collapseAll();
    for (int row = 0; row < b.entryCount(); ++row)
        bookmodel->setExpanded(b.name(row), false);
    // The root opens again alone, so that every name shows, each closed.
    bookmodel->setRootExpanded(!b.isEmpty());
    book->expand(bookmodel->rootIndex());
}

void TMain::bookExpanded(const QModelIndex& index) {
    // The view may call a node open that has nothing under it; its image
    // stays closed until something is added (see bookRowsInserted).
    const int level = BookModel::levelOf(index);
    if (Name* name = bookmodel->nameOf(index); name && level == 1)
        bookmodel->setExpanded(*name, !name->subs.empty());
    else if (level == 0)
        bookmodel->setRootExpanded(!phonebook().isEmpty());
}

void TMain::bookRowsInserted(const QModelIndex& parent) {
    if (!book->isExpanded(parent))
        return;
    bookExpanded(parent);
}

void TMain::bookCollapsed(const QModelIndex& index) {
    if (Name* name = bookmodel->nameOf(index); name && BookModel::levelOf(index) == 1)
        bookmodel->setExpanded(*name, false);
    else if (BookModel::levelOf(index) == 0)
        bookmodel->setRootExpanded(false);
}

void TMain::restoreExpansion() {
    // After a whole-book change the view starts closed; the book says what
    // was open. Right after a reset the view only notes these, which is cheap.
    Book& b = phonebook();
    if (b.rootExpanded)
        book->expand(bookmodel->rootIndex());
    for (int row = 0; row < b.entryCount(); ++row)
        if (b.name(row).expanded)
            book->expand(bookmodel->indexOf(b.name(row)));
}

} // namespace quorix
