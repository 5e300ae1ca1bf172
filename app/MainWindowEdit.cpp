// Editing the book by hand: the popup menu's commands, Clear, New, Sort, Flip,
// the tree's label editor, and the expansion images of the tree. The commands
// themselves live in BookEditor; the window supplies the selected node, the
// message boxes, and what the view must do afterwards.
#include "app/BookTree.h"
#include "app/BookUndo.h"
#include "app/DuplicatesDialog.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/StatusPanel.h"

#include <QLabel>
#include <QSignalBlocker>

namespace quorix {

namespace {

// An error gets the error icon and OK; a question the question icon and
// Yes/No, and counts as Yes only when Yes was pressed.
bool showMessage(QWidget* parent, const UserMessage& message) {
    const QString& caption = message.caption;
    const QString& text = message.text;
    if (message.type == UserMessage::Type::Error) {
        MessageBoxes::ask(parent, caption, text, QMessageBox::Critical, QMessageBox::Ok);
        return true;
    }
    return MessageBoxes::ask(parent, caption, text, QMessageBox::Question,
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

void MainWindow::connectEditing() {
    editor_ = std::make_unique<BookEditor>(*bookModel);
    editor_->setMessageHandler(
        [this](const UserMessage& message) { return showMessage(this, message); });

    // A name's icon follows its expansion, so the book and the view must agree.
    connect(bookModel, &BookModel::expandedChanged, tree, &QTreeView::setExpanded);
    connect(bookModel, &BookModel::statusText, this, [this](const QByteArray& text) {
        setPanel(0, QString::fromLatin1(text));
        // Drawn now: a long flip would otherwise never show "Flipping book...".
        panels_[0]->repaint();
    });
    // A name the view already holds open (Expand all opens empty ones too)
    // shows what is dropped or merged into it, so its image must open.
    connect(bookModel, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int, int, const QModelIndex& destination) {
                onRowsInserted(destination);
            });
    connect(tree, &BookTree::pointerMoved, this, &MainWindow::onPointerMoved);
}

void MainWindow::applyOutcome(const EditOutcome& outcome) {
    // The book already holds the new state of every name; the view's own signal
    // per name would only repeat it, a hundred thousand times in a big book.
    switch (outcome.expansion) {
    case ViewExpansion::ExpandAll: {
        const QSignalBlocker quiet(tree);
        tree->expandAll();
        break;
    }
    case ViewExpansion::CollapseAll: {
        {
            const QSignalBlocker quiet(tree);
            tree->collapseAll();
        }
        tree->expand(bookModel->rootIndex());
        break;
    }
    case ViewExpansion::Unchanged:
        break;
    }
    if (outcome.select.isValid()) {
        tree->setCurrentIndex(outcome.select);
        tree->scrollTo(outcome.select);
    }
    if (outcome.edit.isValid()) {
        tree->scrollTo(outcome.edit);
        tree->edit(outcome.edit);
    }
    if (outcome.focusTree)
        tree->setFocus();
    if (tableViewActive())
        showOutcomeInTable(outcome);
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

void MainWindow::newEntry() {
    applyOutcome(editor_->newEntry(selectedOrRoot(tree, bookModel)));
}

void MainWindow::newTextEntry() {
    applyOutcome(editor_->newTextEntry(selectedOrRoot(tree, bookModel)));
}

void MainWindow::newName() {
    applyOutcome(editor_->newName(selectedOrRoot(tree, bookModel)));
}

void MainWindow::editNode() {
    applyOutcome(editor_->edit(tree->selectedNode()));
}

void MainWindow::deleteNode() {
    editor_->deleteNode(tree->selectedNode());
}

void MainWindow::clearBook() {
    applyOutcome(editor_->clearBook());
}

void MainWindow::newBook() {
    if (editor_->newBook([this] { return confirmClose(); })) {
        bookUndo->clear();
        updateCaption();
    }
}

void MainWindow::changeType(int kind) {
    editor_->changeType(tree->selectedNode(), kind);
}

void MainWindow::setGroup(int group) {
    editor_->setGroup(tree->selectedNode(), group);
}

void MainWindow::sortBook() {
    applyOutcome(editor_->sortBook());
}

void MainWindow::flipBook() {
    editor_->flipBook();
}

void MainWindow::findDuplicates() {
    DuplicatesDialog dialog(*bookModel, this);
    if (dialog.groupCount() == 0) {
        MessageBoxes::ask(this, QStringLiteral("Find duplicates"),
                          QStringLiteral("No names share a number or stand for the same person."),
                          QMessageBox::Information, QMessageBox::Ok);
        return;
    }
    dialog.exec();
    setPanel(0, dialog.summary());
    tree->setFocus();
}

void MainWindow::expandAll() {
    applyOutcome(editor_->expandAll());
}

void MainWindow::collapseAll() {
    applyOutcome(editor_->collapseAll());
}

void MainWindow::onPointerMoved(const QModelIndex& index) {
    // Only names carry a note, and the texts the phone will cut; anywhere
    // else the panel is empty.
    const QString note = index.data(BookModel::NoteRole).toString();
    const QString cuts = index.data(BookModel::CutWarningRole).toString();
    setPanel(2,
             note.isEmpty() || cuts.isEmpty() ? note + cuts : note + QStringLiteral(", ") + cuts);
}

void MainWindow::onExpanded(const QModelIndex& index) {
    // The view may call a node open that has nothing under it; its image
    // stays closed until something is added (see onRowsInserted).
    const int level = BookModel::levelOf(index);
    if (Name* name = bookModel->nameOf(index); name && level == 1)
        bookModel->setExpanded(*name, !name->subs.empty());
    else if (level == 0)
        bookModel->setRootExpanded(!phonebook().isEmpty());
}

void MainWindow::onRowsInserted(const QModelIndex& parent) {
    if (!tree->isExpanded(parent))
        return;
    onExpanded(parent);
}

void MainWindow::onCollapsed(const QModelIndex& index) {
    if (Name* name = bookModel->nameOf(index); name && BookModel::levelOf(index) == 1)
        bookModel->setExpanded(*name, false);
    else if (BookModel::levelOf(index) == 0)
        bookModel->setRootExpanded(false);
}

void MainWindow::restoreExpansion() {
    // After a whole-book change the view starts closed; the book says what
    // was open. Right after a reset the view only notes these, which is cheap.
    Book& b = phonebook();
    if (b.rootExpanded)
        tree->expand(bookModel->rootIndex());
    for (int row = 0; row < b.entryCount(); ++row)
        if (b.name(row).expanded)
            tree->expand(bookModel->indexOf(b.name(row)));
}

} // namespace quorix
