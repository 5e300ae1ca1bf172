#pragma once

#include <QPoint>
#include <QTreeView>

namespace quorix {

// The tree that shows the phonebook. Any mouse button selects the row under
// the pointer (so the popup menu acts on what was clicked); a press on empty
// space leaves nothing selected.
//
// Keys and mouse: Enter (no Shift, Ctrl or Alt) opens or closes the selected
// node; a double click opens the label editor on a subentry or on a name with
// nothing under it, and otherwise opens or closes the node as trees do. A
// subentry can be dragged onto a name or onto another subentry; the model
// decides which drops count.
class BookTree : public QTreeView {
    Q_OBJECT
public:
    explicit BookTree(QWidget* parent = nullptr);

    // Where a mouse button was last pressed, in viewport coordinates.
    QPoint mouseDownPoint;

    // The node the commands act on: the current node while it is selected,
    // otherwise none.
    QModelIndex selectedNode() const;
    // Whether a label editor is open.
    bool isEditing() const { return state() == EditingState; }

Q_SIGNALS:
    // The mouse moved over the tree; index is the node under it, or invalid.
    void pointerMoved(const QModelIndex& index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The drag's picture goes below and beside the pointer, clear of the row
    // under it, so the name aimed at stays readable.
    void startDrag(Qt::DropActions supportedActions) override;
};

} // namespace quorix
