// View > Tree / Table: the book as the tree or as a table of names.
#include "app/BookTable.h"
#include "app/BookTree.h"
#include "app/CommandActions.h"
#include "app/MainWindow.h"
#include "model/BookTableModel.h"

#include <QAction>
#include <QActionGroup>
#include <QBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>

namespace quorix {

void MainWindow::buildBookTable() {
    bookTable = new BookTable(tree->parentWidget());
    bookTable->hide();
    views_->addWidget(bookTable, 1);
    bookTable->setFont(tree->font());
    bookTable->table()->setCommitHandler(
        [this](const QModelIndex& name, int column, const QString& text) {
            editor_->commitCell(name, BookTableModel::kindOf(column), text);
        });
    QTableView* view = bookTable->view();
    // The tree's selection follows the table's current row, so that the
    // commands of the menus and of the popup act on the name shown.
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex&) {
                const QModelIndex name = bookTable->currentName();
                if (name.isValid())
                    tree->setCurrentIndex(name);
            });
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& pos) { popup->popup(view->viewport()->mapToGlobal(pos)); });
    // The popup's keys act in the table as in the tree.
    view->addActions(tree->actions());
}

void MainWindow::buildViewMenu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&View"));
    auto* group = new QActionGroup(this);
    treeViewAction = menu->addAction(QStringLiteral("&Tree"));
    tableViewAction = menu->addAction(QStringLiteral("T&able"));
    for (QAction* a : {treeViewAction, tableViewAction}) {
        a->setCheckable(true);
        group->addAction(a);
    }
    treeViewAction->setChecked(true);
    commands_->add(QStringLiteral("view.tree"), treeViewAction, CommandActions::During::Allowed);
    commands_->add(QStringLiteral("view.table"), tableViewAction, CommandActions::During::Allowed);
    connect(treeViewAction, &QAction::triggered, this, [this] { setTableView(false); });
    connect(tableViewAction, &QAction::triggered, this, [this] { setTableView(true); });
}

bool MainWindow::tableViewActive() const {
    return bookTable && bookTable->isVisible();
}

void MainWindow::setTableView(bool on) {
    config.tableView = on;
    // The group unchecks the other.
    (on ? tableViewAction : treeViewAction)->setChecked(true);
    if (on == bookTable->isAttached())
        return;
    const QModelIndex current = on ? tree->selectedNode() : bookTable->currentName();
    if (on) {
        bookTable->attach(bookModel);
        tree->hide();
        bookTable->show();
        bookTable->showName(current);
        bookTable->view()->setFocus();
    } else {
        bookTable->hide();
        tree->show();
        // Nothing of the table is kept while the tree shows the book.
        bookTable->attach(nullptr);
        if (current.isValid()) {
            tree->setCurrentIndex(current);
            tree->scrollTo(current);
        }
        tree->setFocus();
    }
}

void MainWindow::showOutcomeInTable(const EditOutcome& outcome) {
    const QModelIndex node = outcome.edit.isValid() ? outcome.edit : outcome.select;
    if (!node.isValid())
        return;
    bookTable->showName(node);
    if (!outcome.edit.isValid())
        return;
    // The new name or subentry opens its cell's editor.
    const QModelIndex cell =
        bookTable->filter()->mapFromSource(bookTable->table()->mapFromSource(outcome.edit));
    if (cell.isValid())
        bookTable->view()->edit(cell);
}

} // namespace quorix
