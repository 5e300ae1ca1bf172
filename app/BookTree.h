#pragma once

#include <QPoint>
#include <QTreeView>

namespace quorix {

// The tree that shows the phonebook. Any mouse button selects the row under
// the pointer (so the popup menu acts on what was clicked); a press on empty
// space leaves nothing selected.
class BookTree : public QTreeView {
    Q_OBJECT
public:
    explicit BookTree(QWidget* parent = nullptr);

    // Where a mouse button was last pressed, in viewport coordinates.
    QPoint mousedownpoint;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace quorix
