// The Edit menu: Undo and Redo over the book's history, and Find with its bar
// above the tree.
#include "app/BookTree.h"
#include "app/BookUndo.h"
#include "app/CommandActions.h"
#include "app/FindBar.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "files/FileResult.h"
#include "model/BookMerge.h"
#include "model/BookSearch.h"

#include <QAction>
#include <QBoxLayout>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace quorix {

void MainWindow::buildEditMenu() {
    bookUndo = new BookUndo(*bookModel, this);
    QMenu* edit = editMenu_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    undoAction = bookUndo->undoAction();
    undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction = bookUndo->redoAction();
    redoAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // The history disables Undo and Redo itself, during a transfer too.
    commands_->add(QStringLiteral("edit.undo"), undoAction, CommandActions::During::Allowed);
    commands_->add(QStringLiteral("edit.redo"), redoAction, CommandActions::During::Allowed);
    edit->addAction(undoAction);
    edit->addAction(redoAction);
    edit->addSeparator();
    findAction =
        commands_->add(QStringLiteral("edit.find"), edit->addAction(QStringLiteral("&Find")),
                       CommandActions::During::Allowed);
    findAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(findAction, &QAction::triggered, this, &MainWindow::showFindBar);
    connect(bookUndo, &BookUndo::historyLost, this, [this] {
        setPanel(0, QStringLiteral("Undo not possible: the book was changed outside its history."));
    });
}

void MainWindow::fillEditMenu() {
    // The popup's editing commands and the book's, the very actions the popup
    // and the buttons run, between the history and Find.
    QList<QAction*> submenus; // Change type, Add to group
    for (QAction* a : popup->actions())
        if (a->menu())
            submenus << a;
    QAction* separator = editMenu_->insertSeparator(findAction);
    editMenu_->insertActions(
        separator, {editAction, newEntryAction, newTextEntryAction, newNameAction, deleteAction});
    editMenu_->insertSeparator(separator);
    editMenu_->insertActions(separator, submenus);
    editMenu_->insertSeparator(separator);
    editMenu_->insertActions(separator, {sortAction, expandAllAction, collapseAllAction});
    editMenu_->insertSeparator(separator);
    editMenu_->insertAction(separator, clearAction);
    // Rewrite entry is a transfer of one name: it goes beside Stop.
    transferMenu_->insertAction(stopAction, rewriteAction);
}

void MainWindow::buildFindBar() {
    findBar = new FindBar(tree->parentWidget());
    views_->insertWidget(0, findBar);
    connect(findBar, &FindBar::textChanged, this, [this] { find(0); });
    connect(findBar, &FindBar::next, this, [this] { find(1); });
    connect(findBar, &FindBar::previous, this, [this] { find(-1); });
    connect(findBar, &FindBar::closed, this, [this] {
        placeFindBar();
        tree->setFocus();
    });
}

void MainWindow::placeFindBar() {
    // The bar takes the top of the tree's place, with a gap below it.
    const int gap = findBar->isHidden() ? 0 : scaled(2);
    views_->itemAt(views_->indexOf(findBar) + 1)->spacerItem()->changeSize(0, gap);
    views_->invalidate();
    // The tree stands in its new place at once, for what follows to scroll in it.
    if (QLayout* top = findBar->parentWidget()->layout())
        top->activate();
}

void MainWindow::showFindBar() {
    findBar->open();
    placeFindBar();
    if (!findBar->text().isEmpty())
        find(0);
}

void MainWindow::find(int direction) {
    const Book& book = phonebook();
    const std::vector<BookSearch::Hit> hits = BookSearch::findAll(book, findBar->text());
    if (hits.empty()) {
        findBar->showMatches(0, 0);
        return;
    }
    // Where the search starts: the current node; the root comes before all names.
    BookSearch::Hit here{-1, -1};
    const QModelIndex current = tree->currentIndex();
    if (const Name* name = bookModel->nameOf(current))
        here = {book.rowOf(name), BookModel::levelOf(current) == 2 ? current.row() : -1};
    std::vector<BookSearch::Hit>::const_iterator it;
    if (direction < 0) {
        it = std::lower_bound(hits.begin(), hits.end(), here);
        it = it == hits.begin() ? hits.end() - 1 : it - 1;
    } else {
        it = direction == 0 ? std::lower_bound(hits.begin(), hits.end(), here)
                            : std::upper_bound(hits.begin(), hits.end(), here);
        if (it == hits.end())
            it = hits.begin();
    }
    const Name& name = book.name(it->row);
    const QModelIndex found =
        it->pos < 0 ? bookModel->indexOf(name) : bookModel->indexOf(name, it->pos);
    tree->expand(bookModel->rootIndex());
    if (it->pos >= 0)
        tree->expand(found.parent());
    tree->setCurrentIndex(found);
    tree->scrollTo(found);
    findBar->showMatches(static_cast<int>(it - hits.begin()) + 1, static_cast<int>(hits.size()));
}

MainWindow::ImportChoice MainWindow::askImportChoice(const QString& path) {
    if (phonebook().isEmpty())
        return ImportChoice::Replace;
    const auto answer = MessageBoxes::choose(
        this, QStringLiteral("Confirm"),
        QStringLiteral("The book holds %1. Add the names of \"%2\" to the book, or "
                       "replace the book with them?\rNames that are in the book already are "
                       "merged with them.")
            .arg(phonebook().entryCount() == 1
                     ? QStringLiteral("1 entry")
                     : QStringLiteral("%1 entries").arg(phonebook().entryCount()))
            .arg(QFileInfo(path).fileName()),
        QStringLiteral("Add to book"), QStringLiteral("Replace book"));
    if (answer == QMessageBox::Yes)
        return ImportChoice::Add;
    return answer == QMessageBox::No ? ImportChoice::Replace : ImportChoice::Cancel;
}

bool MainWindow::adoptImport(files::BookResult& imported, const QString& stepText,
                             const QString& status, bool opens) {
    const ImportChoice choice = askImportChoice(imported.path);
    if (choice == ImportChoice::Cancel)
        return false;
    if (choice == ImportChoice::Add) {
        // One step, undone as a whole; the book keeps its file.
        AddCounts counts;
        {
            const BookStepScope step(*bookModel, stepText);
            counts = addToBook(*bookModel, imported.book);
        }
        phonebook().bookChanged = true;
        bookModel->setRootExpanded(true);
        setPanel(0, status.isEmpty() ? counts.summary()
                                     : counts.summary() + QStringLiteral("; ") + status);
        return true;
    }
    // Replacing the book asks about its unsaved changes first.
    if (!confirmClose())
        return false;
    if (opens) {
        // The file becomes the book's own, as File > Open makes it.
        files::adoptLoadedBook(*bookModel, imported);
        bookUndo->clear();
        updateCaption();
        addRecentFile(phonebook().bookFileName);
        setPanel(0, QStringLiteral("Opened file ") + QFileInfo(imported.path).fileName() +
                        (status.isEmpty() ? QString() : QStringLiteral("; ") + status));
        return true;
    }
    // The import goes into a book of its own first, then replaces this one as
    // one step; undo brings the earlier book back.
    Book fresh;
    files::adoptImportedBook(fresh, imported);
    {
        const BookStepScope step(*bookModel, stepText);
        bookModel->replaceContent(fresh);
    }
    // A book from elsewhere is no file's: Save asks where it goes.
    phonebook().bookChanged = true;
    phonebook().bookFileName.clear();
    updateCaption();
    setPanel(0, status);
    return true;
}

} // namespace quorix
