#pragma once

#include "BookModel.h"

#include <QAbstractProxyModel>
#include <QSortFilterProxyModel>
#include <QStringView>
#include <array>
#include <functional>
#include <vector>

namespace quorix {

// The book as a table for views: one row per name, one column per kind. It is a
// proxy over the BookModel (no copy of the book): a name's row is its row under
// the root, and changes to the book reach the table through the model's signals.
//
// A cell holds every subentry of its kind, one per line in book order: a name
// may hold up to five numbers of one kind, and fixed "Mobile 2" columns would
// need five columns per number kind, nearly all empty.
//
// Edits go to a commit handler (BookEditor::commitCell), so a cell follows the
// rules of the tree's label editor; without a handler the table is read-only.
class BookTableModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    enum Column {
        NameColumn,
        GeneralColumn,
        MobileColumn,
        HomeColumn,
        OfficeColumn,
        FaxColumn,
        EMailColumn,
        PostalAddressColumn,
        NoteColumn,
        GroupColumn,
        ColumnCount
    };
    // The kind a column shows (KindNameCollapsed for the name column).
    static int kindOf(int column);
    // The column of a subentry kind, or -1 when no column shows it.
    static int columnOf(int kind);

    explicit BookTableModel(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* source) override;
    BookModel* bookModel() const { return book_; }
    // The name a row shows, or null.
    const Name* nameAt(int row) const;

    // The cell's text: the name, or the subentries of the column's kind one per line.
    static QString cellText(const Name& name, int column);
    // A row's cells folded for search and sort (case and accents off), cached
    // until the row changes. Every subentry counts, those of no column too.
    QStringView foldedCell(int row, int column) const;
    bool rowContains(int row, const QString& foldedNeedle) const;

    // Where an edit goes: the name's index in the BookModel, the column, the text.
    using CellCommit = std::function<void(const QModelIndex&, int, const QString&)>;
    void setCommitHandler(CellCommit commit) { commit_ = std::move(commit); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& idx) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QMap<int, QVariant> itemData(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QMimeData* mimeData(const QModelIndexList&) const override { return nullptr; }

private:
    // Source rows under the root are ours; a node below a name changes that row.
    bool isNameParent(const QModelIndex& parent) const;
    void rowChanged(int row);
    void onLayoutAboutToBeChanged(const QList<QPersistentModelIndex>& parents);
    void onLayoutChanged(const QList<QPersistentModelIndex>& parents);

    struct Folded {
        QString text; // the cells, folded, one after the other
        std::array<int, ColumnCount + 2> start{};
        bool valid = false;
    };
    const Folded& folded(int row) const;

    BookModel* book_ = nullptr;
    CellCommit commit_;
    mutable std::vector<Folded> folded_;
    QList<QMetaObject::Connection> connections_;
    // Persistent indexes across a reordering of the names: the name and column.
    QModelIndexList layoutFrom_;
    std::vector<std::pair<const Name*, int>> layoutNames_;
    bool subentryLayout_ = false;
};

// Sorting and the filter of the table. The filter keeps the rows whose name or
// subentries contain the text, ignoring case and accents; a column sorts by its
// folded text, empty cells last.
class BookTableFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit BookTableFilter(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* source) override;
    void setFilterText(const QString& text);
    const QString& filterText() const { return filter_; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    BookTableModel* table_ = nullptr;
    QString filter_;
    QString folded_;
};

} // namespace quorix
