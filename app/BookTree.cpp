#include "app/BookTree.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace quorix {

BookTree::BookTree(QWidget* parent) : QTreeView(parent) {
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    setIndentation(35);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    // Label editing is started by the commands only; F2 is "Expand all".
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void BookTree::mousePressEvent(QMouseEvent* event) {
    mousedownpoint = event->position().toPoint();
    const QModelIndex index = indexAt(mousedownpoint);
    if (index.isValid()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    if (event->button() == Qt::LeftButton)
        QTreeView::mousePressEvent(event); // expanders and the start of a drag
}

} // namespace quorix
