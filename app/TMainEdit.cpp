// Editing the book by hand: the popup menu's commands, Clear, New, Sort, Flip,
// the tree's label editor, and the expansion images of the tree. The commands
// themselves live in BookEditor; the window supplies the selected node, the
// message boxes, and what the view must do afterwards.
#include "app/BookTree.h"
#include "app/MessageBoxes.h"
#include "app/TMain.h"

#include <QLabel>

namespace quorix {

namespace {

// An error gets the error icon and OK; a question the question icon and
// Yes/No, and counts as Yes only when Yes was pressed.
bool showMessage(QWidget* parent, const UserMessage& message) {
    const QString caption = QString::fromLatin1(message.caption);
    const QString text = QString::fromLatin1(message.text);
    if (message.type == UserMessage::Type::Error) {
        MessageBoxes::ask(parent, caption, text, QMessageBox::Critical, QMessageBox::Ok);
        return true;
    }
    return MessageBoxes::ask(parent, caption, text, QMessageBox::Question,
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

void TMain::connectEditing() {
    editor_ = std::make_unique<BookEditor>(*bookmodel);
    editor_->setMessageHandler(
        [this](const UserMessage& message) { return showMessage(this, message); });

    // A name's icon follows its expansion, so the book and the view must agree.
    connect(bookmodel, &BookModel::expandedChanged, book, &QTreeView::setExpanded);
    connect(bookmodel, &BookModel::statusText, this, [this](const QByteArray& text) {
        setPanel(0, QString::fromLatin1(text));
        // Drawn now: a long flip would otherwise never show "Flipping book...".
        panels_[0]->repaint();
    });
    // A name the view already holds open (Expand all opens empty ones too)
    // shows what is dropped or merged into it, so its image must open.
    connect(bookmodel, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int, int, const QModelIndex& destination) {
                bookRowsInserted(destination);
            });
    connect(book, &BookTree::pointerMoved, this, &TMain::bookMouseMove);
}

void TMain::applyOutcome(const EditOutcome& outcome) {
    switch (outcome.expansion) {
    case ViewExpansion::ExpandAll:
        book->expandAll();
        break;
    case ViewExpansion::CollapseAll:
        book->collapseAll();
        book->expand(bookmodel->rootIndex());
        break;
    case ViewExpansion::Unchanged:
        break;
    }
    if (outcome.select.isValid()) {
        book->setCurrentIndex(outcome.select);
        book->scrollTo(outcome.select);
    }
    if (outcome.edit.isValid()) {
        book->scrollTo(outcome.edit);
        book->edit(outcome.edit);
    }
    if (outcome.focusTree)
        book->setFocus();
}

namespace {
// The New commands start from the root when nothing is selected.
QModelIndex selectedOrRoot(BookTree* tree, const BookModel* model) {
    QModelIndex node = tree->selectedNode();
    if (!node.isValid()) {
        node = model->rootIndex();
        tree->setCurrentIndex(node);
    }
    return node;
}
} // namespace

void TMain::newentryClick() {
    applyOutcome(editor_->newEntry(selectedOrRoot(book, bookmodel)));
}

void TMain::newtextentryClick() {
    applyOutcome(editor_->newTextEntry(selectedOrRoot(book, bookmodel)));
}

void TMain::newnameClick() {
    applyOutcome(editor_->newName(selectedOrRoot(book, bookmodel)));
}

void TMain::editClick() {
    applyOutcome(editor_->edit(book->selectedNode()));
}

void TMain::deleteClick() {
    editor_->deleteNode(book->selectedNode());
}

void TMain::clearClick() {
    applyOutcome(editor_->clearBook());
}

void TMain::newClick() {
    if (editor_->newBook([this] { return FormCloseQuery(); }))
        updateCaption();
}

void TMain::settype(int kind) {
    editor_->settype(book->selectedNode(), kind);
}

void TMain::setgroup(int group) {
    editor_->setgroup(book->selectedNode(), group);
}

void TMain::sortClick() {
    applyOutcome(editor_->sortClick());
}

void TMain::flipClick() {
    editor_->flipClick();
}

void TMain::expandallClick() {
    applyOutcome(editor_->expandAll());
}

void TMain::collapseallClick() {
    applyOutcome(editor_->collapseAll());
}

void TMain::bookMouseMove(const QModelIndex& index) {
    // Only names carry a note; anywhere else the panel is empty.
    setPanel(2, index.data(BookModel::NoteRole).toString());
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
