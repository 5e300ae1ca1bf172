#include "BookTableModel.h"

#include "BookSearch.h"

namespace quorix {

namespace {
constexpr int ColumnKinds[BookTableModel::ColumnCount] = {
    KindNameCollapsed, KindGeneral, KindMobile,        KindHome, KindOffice,
    KindFax,           KindEMail,   KindPostalAddress, KindNote, KindCallerGroup};
const char* const ColumnTitles[BookTableModel::ColumnCount] = {
    "Name", "General", "Mobile",         "Home", "Office",
    "Fax",  "E-Mail",  "Postal Address", "Note", "Caller group"};
// Between the cells of the folded text, so that a match never spans two cells.
constexpr char16_t CellSeparator = 1;
} // namespace

int BookTableModel::kindOf(int column) {
    return column >= 0 && column < ColumnCount ? ColumnKinds[column] : -1;
}

int BookTableModel::columnOf(int kind) {
    for (int c = GeneralColumn; c < ColumnCount; ++c)
        if (ColumnKinds[c] == kind)
            return c;
    return -1;
}

BookTableModel::BookTableModel(QObject* parent) : QAbstractProxyModel(parent) {}

void BookTableModel::setSourceModel(QAbstractItemModel* source) {
    beginResetModel();
    for (const auto& c : connections_)
        disconnect(c);
    connections_.clear();
    folded_.clear();
    book_ = qobject_cast<BookModel*>(source);
    QAbstractProxyModel::setSourceModel(book_);
    if (book_) {
        auto on = [this](auto signal, auto slot) {
            connections_ << connect(book_, signal, this, slot);
        };
        on(&QAbstractItemModel::modelAboutToBeReset, [this] { beginResetModel(); });
        on(&QAbstractItemModel::modelReset, [this] {
            folded_.clear();
            endResetModel();
        });
        on(&QAbstractItemModel::rowsAboutToBeInserted, [this](const QModelIndex& p, int f, int l) {
            if (BookModel::levelOf(p) == 0)
                beginInsertRows({}, f, l);
        });
        on(&QAbstractItemModel::rowsInserted, [this](const QModelIndex& p, int f, int l) {
            if (BookModel::levelOf(p) == 1)
                return rowChanged(p.row());
            if (BookModel::levelOf(p) != 0)
                return;
            if (!folded_.empty())
                folded_.insert(folded_.begin() + f, static_cast<size_t>(l - f + 1), Folded{});
            endInsertRows();
        });
        on(&QAbstractItemModel::rowsAboutToBeRemoved, [this](const QModelIndex& p, int f, int l) {
            if (BookModel::levelOf(p) == 0)
                beginRemoveRows({}, f, l);
        });
        on(&QAbstractItemModel::rowsRemoved, [this](const QModelIndex& p, int f, int l) {
            if (BookModel::levelOf(p) == 1)
                return rowChanged(p.row());
            if (BookModel::levelOf(p) != 0)
                return;
            if (!folded_.empty())
                folded_.erase(folded_.begin() + f, folded_.begin() + l + 1);
            endRemoveRows();
        });
        // Names do not move one by one; a move of a subentry changes two rows.
        on(&QAbstractItemModel::rowsMoved,
           [this](const QModelIndex& from, int, int, const QModelIndex& to, int) {
               if (BookModel::levelOf(from) == 1)
                   rowChanged(from.row());
               if (BookModel::levelOf(to) == 1 && to != from)
                   rowChanged(to.row());
           });
        on(&QAbstractItemModel::dataChanged, [this](const QModelIndex& topLeft,
                                                    const QModelIndex& bottomRight) {
            if (BookModel::levelOf(topLeft) == 2)
                return rowChanged(topLeft.parent().row());
            if (BookModel::levelOf(topLeft) != 1)
                return;
            for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                if (static_cast<size_t>(row) < folded_.size())
                    folded_[static_cast<size_t>(row)].valid = false;
            Q_EMIT dataChanged(index(topLeft.row(), 0), index(bottomRight.row(), ColumnCount - 1));
        });
        on(&QAbstractItemModel::layoutAboutToBeChanged,
           [this](const QList<QPersistentModelIndex>& parents) {
               onLayoutAboutToBeChanged(parents);
           });
        on(&QAbstractItemModel::layoutChanged,
           [this](const QList<QPersistentModelIndex>& parents) { onLayoutChanged(parents); });
    }
    endResetModel();
}

void BookTableModel::onLayoutAboutToBeChanged(const QList<QPersistentModelIndex>& parents) {
    // A name's subentries in a new order change that row only.
    subentryLayout_ =
        !parents.isEmpty() && std::all_of(parents.begin(), parents.end(),
                                          [](auto& p) { return BookModel::levelOf(p) == 1; });
    if (subentryLayout_)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    layoutFrom_ = persistentIndexList();
    layoutNames_.clear();
    for (const QModelIndex& i : std::as_const(layoutFrom_))
        layoutNames_.emplace_back(nameAt(i.row()), i.column());
}

void BookTableModel::onLayoutChanged(const QList<QPersistentModelIndex>& parents) {
    if (subentryLayout_) {
        subentryLayout_ = false;
        for (const auto& p : parents)
            if (p.isValid())
                rowChanged(p.row());
        return;
    }
    QModelIndexList to;
    to.reserve(layoutFrom_.size());
    for (const auto& [name, column] : layoutNames_) {
        const int row = name && book_ ? book_->book().rowOf(name) : -1;
        to.append(row < 0 ? QModelIndex() : index(row, column));
    }
    changePersistentIndexList(layoutFrom_, to);
    layoutFrom_.clear();
    layoutNames_.clear();
    folded_.clear();
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void BookTableModel::rowChanged(int row) {
    if (row < 0 || row >= rowCount())
        return;
    if (static_cast<size_t>(row) < folded_.size())
        folded_[static_cast<size_t>(row)].valid = false;
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

const Name* BookTableModel::nameAt(int row) const {
    if (!book_ || row < 0 || row >= book_->book().entryCount())
        return nullptr;
    return &book_->book().name(row);
}

QString BookTableModel::cellText(const Name& name, int column) {
    if (column == NameColumn)
        return name.text;
    const int kind = kindOf(column);
    QString text;
    for (const Subentry& sub : name.subs) {
        if (sub.kind != kind)
            continue;
        if (!text.isEmpty())
            text += u'\n';
        text += sub.text;
    }
    return text;
}

const BookTableModel::Folded& BookTableModel::folded(int row) const {
    if (folded_.size() != static_cast<size_t>(rowCount()))
        folded_.assign(static_cast<size_t>(rowCount()), Folded{});
    Folded& f = folded_[static_cast<size_t>(row)];
    if (f.valid)
        return f;
    const Name& name = *nameAt(row);
    // Built in one buffer: a hundred thousand rows are folded on the first keystroke.
    QString cells = name.text;
    cells.reserve(cells.size() + 16 * static_cast<qsizetype>(name.subs.size()) + ColumnCount + 1);
    cells += QChar(CellSeparator);
    for (int c = GeneralColumn; c < ColumnCount; ++c) {
        f.start[static_cast<size_t>(c)] = static_cast<int>(cells.size());
        bool first = true;
        for (const Subentry& sub : name.subs) {
            if (sub.kind != ColumnKinds[c])
                continue;
            if (!first)
                cells += u'\n';
            cells += sub.text;
            first = false;
        }
        cells += QChar(CellSeparator);
    }
    // Subentries no column shows are still found.
    f.start[ColumnCount] = static_cast<int>(cells.size());
    for (const Subentry& sub : name.subs)
        if (columnOf(sub.kind) < 0) {
            cells += sub.text;
            cells += QChar(CellSeparator);
        }
    f.start[ColumnCount + 1] = static_cast<int>(cells.size());
    f.text = BookSearch::fold(std::move(cells));
    f.valid = true;
    return f;
}

QStringView BookTableModel::foldedCell(int row, int column) const {
    if (!nameAt(row) || column < 0 || column >= ColumnCount)
        return {};
    const Folded& f = folded(row);
    const int from = f.start[static_cast<size_t>(column)];
    const int to = f.start[static_cast<size_t>(column) + 1] - 1; // without the separator
    return QStringView(f.text).mid(from, to - from);
}

bool BookTableModel::rowContains(int row, const QString& foldedNeedle) const {
    if (!nameAt(row))
        return false;
    return folded(row).text.contains(foldedNeedle);
}

QModelIndex BookTableModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex BookTableModel::parent(const QModelIndex&) const {
    return {};
}

QModelIndex BookTableModel::sibling(int row, int column, const QModelIndex&) const {
    return index(row, column);
}

int BookTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !book_ ? 0 : book_->book().entryCount();
}

int BookTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

bool BookTableModel::hasChildren(const QModelIndex& parent) const {
    return !parent.isValid() && rowCount() > 0;
}

QModelIndex BookTableModel::mapToSource(const QModelIndex& proxyIndex) const {
    if (!book_ || !proxyIndex.isValid() || proxyIndex.model() != this)
        return {};
    return book_->index(proxyIndex.row(), 0, book_->rootIndex());
}

QModelIndex BookTableModel::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!book_ || sourceIndex.model() != book_)
        return {};
    switch (BookModel::levelOf(sourceIndex)) {
    case 1:
        return index(sourceIndex.row(), NameColumn);
    case 2: {
        const int column = columnOf(sourceIndex.data(BookModel::KindRole).toInt());
        return index(sourceIndex.parent().row(), column < 0 ? NameColumn : column);
    }
    default:
        return {};
    }
}

QVariant BookTableModel::data(const QModelIndex& index, int role) const {
    const Name* name = index.isValid() ? nameAt(index.row()) : nullptr;
    if (!name)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(*name, index.column());
    case Qt::ToolTipRole:
        // Texts the phone will cut are told as in the tree.
        return index.column() == NameColumn ? mapToSource(index).data(Qt::ToolTipRole) : QVariant();
    default:
        return {};
    }
}

QMap<int, QVariant> BookTableModel::itemData(const QModelIndex& index) const {
    QMap<int, QVariant> roles;
    for (const int role : {Qt::DisplayRole, Qt::EditRole})
        roles.insert(role, data(index, role));
    return roles;
}

bool BookTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || value.userType() != QMetaType::QString || !commit_ ||
        !(flags(index) & Qt::ItemIsEditable))
        return false;
    commit_(mapToSource(index), index.column(), value.toString());
    return true;
}

Qt::ItemFlags BookTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    // A caller group is chosen from the group commands, as in the tree.
    if (commit_ && index.column() != GroupColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant BookTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(ColumnTitles[section])
                                                 : QVariant();
}

// ---- filter and sort ----

BookTableFilter::BookTableFilter(QObject* parent) : QSortFilterProxyModel(parent) {}

void BookTableFilter::setSourceModel(QAbstractItemModel* source) {
    table_ = qobject_cast<BookTableModel*>(source);
    QSortFilterProxyModel::setSourceModel(table_);
}

void BookTableFilter::setFilterText(const QString& text) {
    const QString folded = BookSearch::fold(text);
    filter_ = text;
    if (folded == folded_)
        return;
    folded_ = folded;
    // One layout change for the whole table: taking rows out one range at a
    // time costs a move of the rest per range, far too slow on a big book.
    invalidate();
}

bool BookTableFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (sourceParent.isValid() || !table_)
        return false;
    return folded_.isEmpty() || table_->rowContains(sourceRow, folded_);
}

bool BookTableFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (!table_)
        return false;
    const QStringView a = table_->foldedCell(left.row(), left.column());
    const QStringView b = table_->foldedCell(right.row(), right.column());
    if (a.isEmpty() != b.isEmpty())
        return b.isEmpty();
    return a.compare(b) < 0;
}

} // namespace quorix
