#pragma once

#include <QWidget>

class QLineEdit;
class QTableView;

namespace quorix {

class BookModel;
class BookTableFilter;
class BookTableModel;

// The book as a table: a filter box above a table of names, one row per name
// and one column per kind. It is a view of the window's BookModel through the
// table proxies, attached only while it is shown, so the tree view pays
// nothing for it. Cell edits go to the commit handler given to table().
class BookTable : public QWidget {
    Q_OBJECT
public:
    explicit BookTable(QWidget* parent = nullptr);

    // Shows the model (null: shows nothing and stops following it).
    void attach(BookModel* model);
    bool isAttached() const;

    BookTableModel* table() const { return table_; }
    BookTableFilter* filter() const { return filter_; }
    QTableView* view() const { return view_; }
    QLineEdit* filterBox() const { return filterBox_; }

    // The name (an index of the BookModel) of the current row, or invalid.
    QModelIndex currentName() const;
    // Makes the row of a name (or of a subentry's name) the current one.
    void showName(const QModelIndex& bookIndex);

private:
    BookTableModel* table_;
    BookTableFilter* filter_;
    QTableView* view_;
    QLineEdit* filterBox_;
};

} // namespace quorix
