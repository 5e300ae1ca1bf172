#include "app/BookTree.h"

#include "model/BookModel.h"
#include "model/PhoneLimits.h"

#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace quorix {

namespace {

// The label editor takes no more than the phone stores for the node. A text
// that is already longer (from a file) is not cut by merely opening it.
class LabelDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        QStyledItemDelegate::setEditorData(editor, index);
        auto* line = qobject_cast<QLineEdit*>(editor);
        const int limit = phoneTextLimit(index.data(BookModel::KindRole).toInt());
        if (line && limit > 0)
            line->setMaxLength(std::max(limit, static_cast<int>(line->text().size())));
    }
};

} // namespace

BookTree::BookTree(QWidget* parent) : QTreeView(parent) {
    setItemDelegate(new LabelDelegate(this));
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
    // The status bar shows the note of the name under the pointer.
    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    // Subentries move within this tree only. A drop counts anywhere on the
    // target's row, not just between rows, so the whole row is the target.
    setDragDropMode(QAbstractItemView::InternalMove);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropOverwriteMode(true);
    setDefaultDropAction(Qt::MoveAction);
}

QModelIndex BookTree::selectedNode() const {
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current : QModelIndex();
}

void BookTree::mousePressEvent(QMouseEvent* event) {
    mouseDownPoint = event->position().toPoint();
    const QModelIndex index = indexAt(mouseDownPoint);
    if (index.isValid()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    if (event->button() == Qt::LeftButton)
        QTreeView::mousePressEvent(event); // expanders and the start of a drag
}

void BookTree::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT pointerMoved(indexAt(event->position().toPoint()));
    QTreeView::mouseMoveEvent(event);
}

void BookTree::mouseDoubleClickEvent(QMouseEvent* event) {
    // A subentry, or a name with nothing to open, is edited in place.
    const QModelIndex index = indexAt(mouseDownPoint);
    const int level = BookModel::levelOf(index);
    if (level == 2 || (level == 1 && !model()->hasChildren(index))) {
        if (BookModel::isLabelEditable(index)) // never a caller group
            edit(index);
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void BookTree::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain =
        !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    // Enter in an open label editor reaches the tree too; it belongs to the editor.
    if (enter && plain && (state() != EditingState || hasFocus())) {
        const QModelIndex node = selectedNode();
        if (node.isValid() && model()->hasChildren(node))
            setExpanded(node, !isExpanded(node));
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void BookTree::startDrag(Qt::DropActions supportedActions) {
    const QModelIndex index = selectedNode();
    QMimeData* data = index.isValid() ? model()->mimeData({index}) : nullptr;
    if (!data)
        return;
    // The node as the tree shows it selected: its icon and its text.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.state |= QStyle::State_Selected;
    QAbstractItemDelegate* delegate = itemDelegateForIndex(index);
    const QSize size = delegate->sizeHint(option, index)
                           .boundedTo(QSize(viewport()->width(), 4 * visualRect(index).height()));
    const qreal ratio = devicePixelRatioF();
    QPixmap picture(size * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        option.rect = QRect(QPoint(0, 0), size);
        delegate->paint(&painter, option, index);
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(picture);
    // The pointer may be anywhere in the row it aims at: the picture starts a
    // row's height below it, and to the right of the arrow.
    const int rowHeight = std::max(visualRect(index).height(), size.height());
    drag->setHotSpot(
        QPoint(-style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this), -rowHeight));
    // The model moves the node when it takes the drop; nothing is left to
    // remove here.
    drag->exec(supportedActions, defaultDropAction());
}

} // namespace quorix
