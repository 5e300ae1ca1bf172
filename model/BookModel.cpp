#include "BookModel.h"

#include <QCoreApplication>
#include <QMimeData>

namespace quorix {

namespace {
// internalId of an index: 0 the root, 1 a name, otherwise the Name* owning a subentry.
constexpr quintptr RootId = 0;
constexpr quintptr NameId = 1;
} // namespace

BookModel::BookModel(QObject* parent) : QAbstractItemModel(parent) {}

void BookModel::setDecorationProvider(std::function<QVariant(int)> provider) {
    decoration_ = std::move(provider);
}

QModelIndex BookModel::rootIndex() const {
    return createIndex(0, 0, RootId);
}

QModelIndex BookModel::indexOf(const Name& name) const {
    const int row = book_.rowOf(&name);
    return row < 0 ? QModelIndex() : createIndex(row, 0, NameId);
}

QModelIndex BookModel::indexOf(const Name& name, int subPos) const {
    if (subPos < 0 || subPos >= static_cast<int>(name.subs.size()))
        return {};
    return createIndex(subPos, 0, const_cast<Name*>(&name));
}

int BookModel::levelOf(const QModelIndex& index) {
    if (!index.isValid())
        return -1;
    if (index.internalId() == RootId)
        return 0;
    return index.internalId() == NameId ? 1 : 2;
}

Name* BookModel::nameOf(const QModelIndex& index) const {
    switch (levelOf(index)) {
    case 1:
        return index.row() < book_.entryCount() ? &const_cast<Book&>(book_).name(index.row())
                                                : nullptr;
    case 2:
        return static_cast<Name*>(index.internalPointer());
    default:
        return nullptr;
    }
}

Subentry* BookModel::subentryOf(const QModelIndex& index) const {
    if (levelOf(index) != 2)
        return nullptr;
    auto* name = static_cast<Name*>(index.internalPointer());
    if (index.row() >= static_cast<int>(name->subs.size()))
        return nullptr;
    return &name->subs[static_cast<size_t>(index.row())];
}

QModelIndex BookModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    switch (levelOf(parent)) {
    case -1:
        return row == 0 ? rootIndex() : QModelIndex();
    case 0:
        return row < book_.entryCount() ? createIndex(row, 0, NameId) : QModelIndex();
    case 1: {
        const Name* name = nameOf(parent);
        return name ? indexOf(*name, row) : QModelIndex();
    }
    default:
        return {};
    }
}

QModelIndex BookModel::parent(const QModelIndex& child) const {
    switch (levelOf(child)) {
    case 1:
        return rootIndex();
    case 2:
        return indexOf(*static_cast<const Name*>(child.internalPointer()));
    default:
        return {};
    }
}

int BookModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    switch (levelOf(parent)) {
    case -1:
        return 1;
    case 0:
        return book_.entryCount();
    case 1: {
        const Name* name = nameOf(parent);
        return name ? static_cast<int>(name->subs.size()) : 0;
    }
    default:
        return 0;
    }
}

int BookModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant BookModel::data(const QModelIndex& index, int role) const {
    const int level = levelOf(index);
    if (level < 0)
        return {};
    QString text;
    int kind = 0;
    const Name* name = nullptr;
    if (level == 0) {
        text = QLatin1String(Book::RootText);
        kind = book_.rootExpanded ? KindNameExpanded : KindNameCollapsed;
    } else if (level == 1) {
        name = nameOf(index);
        if (!name)
            return {};
        text = name->text;
        kind = name->imageIndex();
    } else {
        const Subentry* sub = subentryOf(index);
        if (!sub)
            return {};
        text = sub->text;
        kind = sub->kind;
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text;
    case Qt::DecorationRole:
        return decoration_ ? decoration_(kind) : QVariant();
    case Qt::ToolTipRole:
        // The kind is otherwise told only by the icon.
        return level == 2 ? QVariant(QString::fromLatin1(kindName(kind))) : QVariant();
    case KindRole:
        return kind;
    case LevelRole:
        return level;
    case NoteRole:
        return name ? book_.entryNote(*name) : QString();
    default:
        return {};
    }
}

void BookModel::emitNodeChanged(const QModelIndex& index) {
    if (index.isValid())
        Q_EMIT dataChanged(index, index);
}

void BookModel::markDeleted() {
    book_.bookChanged = true;
}

Name& BookModel::addNameAtTop(const QString& text) {
    return insertName(0, text);
}

Name& BookModel::insertName(int row, const QString& text) {
    row = std::clamp(row, 0, book_.entryCount());
    beginInsertRows(rootIndex(), row, row);
    Name& name = book_.insertName(row, text);
    endInsertRows();
    Q_EMIT entryCountChanged(book_.entryCount());
    return name;
}

void BookModel::removeName(int row) {
    if (row < 0 || row >= book_.entryCount())
        return;
    beginRemoveRows(rootIndex(), row, row);
    book_.removeName(row);
    endRemoveRows();
    markDeleted();
    Q_EMIT entryCountChanged(book_.entryCount());
}

void BookModel::clearNames() {
    if (book_.isEmpty()) {
        book_.entryNotes.clear();
        return;
    }
    beginRemoveRows(rootIndex(), 0, book_.entryCount() - 1);
    book_.clear();
    endRemoveRows();
    markDeleted();
    Q_EMIT entryCountChanged(0);
}

Subentry& BookModel::addSubentry(Name& name, const QString& text, int kind) {
    return insertSubentry(name, static_cast<int>(name.subs.size()), text, kind);
}

Subentry& BookModel::insertSubentry(Name& name, int pos, const QString& text, int kind) {
    pos = std::clamp(pos, 0, static_cast<int>(name.subs.size()));
    beginInsertRows(indexOf(name), pos, pos);
    Subentry& sub = Book::insertSubentry(name, pos, text, kind);
    endInsertRows();
    return sub;
}

void BookModel::removeSubentry(Name& name, int pos) {
    if (pos < 0 || pos >= static_cast<int>(name.subs.size()))
        return;
    beginRemoveRows(indexOf(name), pos, pos);
    name.subs.erase(name.subs.begin() + pos);
    endRemoveRows();
    markDeleted();
}

void BookModel::setNameText(Name& name, const QString& text) {
    name.text = text;
    emitNodeChanged(indexOf(name));
}

void BookModel::setSubentryText(Name& name, int pos, const QString& text) {
    name.subs.at(static_cast<size_t>(pos)).text = text;
    emitNodeChanged(indexOf(name, pos));
}

void BookModel::setSubentryKind(Name& name, int pos, int kind) {
    name.subs.at(static_cast<size_t>(pos)).kind = kind;
    emitNodeChanged(indexOf(name, pos));
}

void BookModel::setExpanded(Name& name, bool expanded) {
    if (name.expanded == expanded)
        return;
    name.expanded = expanded;
    const QModelIndex index = indexOf(name);
    emitNodeChanged(index);
    Q_EMIT expandedChanged(index, expanded);
}

void BookModel::setRootExpanded(bool expanded) {
    if (book_.rootExpanded == expanded)
        return;
    book_.rootExpanded = expanded;
    emitNodeChanged(rootIndex());
    Q_EMIT expandedChanged(rootIndex(), expanded);
}

void BookModel::setExpanded(const QModelIndex& index, bool expanded) {
    if (index.model() != this)
        return;
    if (levelOf(index) == 0)
        setRootExpanded(expanded);
    else if (levelOf(index) == 1)
        if (Name* name = nameOf(index))
            setExpanded(*name, expanded);
}

void BookModel::setAllExpanded(bool expanded) {
    // A name without subentries cannot open, so it keeps its closed icon.
    for (const auto& name : book_)
        name->expanded = expanded && !name->subs.empty();
    // The root stays open with both, as far as it can: an empty book has nothing
    // to open.
    book_.rootExpanded = !book_.isEmpty();
    emitNodeChanged(rootIndex());
    if (!book_.isEmpty())
        Q_EMIT dataChanged(index(0, 0, rootIndex()), index(book_.entryCount() - 1, 0, rootIndex()));
}

void BookModel::sortByClass(Name& name) {
    if (name.subs.size() < 2)
        return;
    const QModelIndex parent = indexOf(name);
    Q_EMIT layoutAboutToBeChanged({QPersistentModelIndex(parent)});
    // Remember where each subentry goes so persistent indexes (the selection) follow it.
    std::vector<int> order(name.subs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return Book::compareClass(name.subs[static_cast<size_t>(a)],
                                  name.subs[static_cast<size_t>(b)]) < 0;
    });
    std::vector<Subentry> sorted;
    sorted.reserve(order.size());
    QModelIndexList from, to;
    for (size_t newPos = 0; newPos < order.size(); ++newPos) {
        const int oldPos = order[newPos];
        sorted.push_back(std::move(name.subs[static_cast<size_t>(oldPos)]));
        from.append(createIndex(oldPos, 0, &name));
        to.append(createIndex(static_cast<int>(newPos), 0, &name));
    }
    name.subs = std::move(sorted);
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({QPersistentModelIndex(parent)});
}

void BookModel::setEntryNote(Name& name, const QString& note) {
    book_.setEntryNote(name, note);
    emitNodeChanged(indexOf(name));
}

void BookModel::moveSubentry(Name& from, int fromPos, Name& to, int toPos) {
    if (fromPos < 0 || fromPos >= static_cast<int>(from.subs.size()))
        return;
    toPos = std::clamp(toPos, 0, static_cast<int>(to.subs.size()));
    if (&from == &to && (toPos == fromPos || toPos == fromPos + 1))
        return; // already there
    if (!beginMoveRows(indexOf(from), fromPos, fromPos, indexOf(to), toPos))
        return;
    Subentry moved = std::move(from.subs[static_cast<size_t>(fromPos)]);
    from.subs.erase(from.subs.begin() + fromPos);
    if (&from == &to && toPos > fromPos)
        --toPos;
    to.subs.insert(to.subs.begin() + toPos, std::move(moved));
    endMoveRows();
}

void BookModel::flipBook() {
    Q_EMIT statusText("Flipping book...");
    rebuild([](Book& b) { b.flipBook(); });
    // The reset collapsed everything in the views; open the root one level.
    Q_EMIT expandedChanged(rootIndex(), true);
    Q_EMIT statusText("OK.");
}

namespace {
// Where the subentry at pos ends up when its name is sorted by class, stably:
// behind every subentry of a lower class and those of its own class before it.
int classSortedPos(const Name& name, int pos) {
    const int closeButton = sortClassOf(name.subs[static_cast<size_t>(pos)].kind);
    int result = 0;
    for (int i = 0; i < static_cast<int>(name.subs.size()); ++i) {
        const int other = sortClassOf(name.subs[static_cast<size_t>(i)].kind);
        if (other < closeButton || (other == closeButton && i < pos))
            ++result;
    }
    return result;
}
} // namespace

void BookModel::sortBook(const std::vector<int>& order) {
    // Anything but a permutation of the rows would lose names.
    std::vector<bool> seen(static_cast<size_t>(book_.entryCount()), false);
    if (order.size() != seen.size())
        return;
    for (const int row : order) {
        if (row < 0 || static_cast<size_t>(row) >= seen.size() || seen[static_cast<size_t>(row)])
            return;
        seen[static_cast<size_t>(row)] = true;
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Note each persistent index's node before anything moves: the name, and
    // for a subentry the place it takes in its name's class order.
    const QModelIndexList from = persistentIndexList();
    struct Place {
        int level;
        const Name* name;
        int pos;
    };
    std::vector<Place> places;
    places.reserve(static_cast<size_t>(from.size()));
    for (const QModelIndex& i : from) {
        const int level = levelOf(i);
        const Name* name = level > 0 ? nameOf(i) : nullptr;
        const bool valid = level == 0 || (name && (level == 1 || subentryOf(i)));
        places.push_back(
            {valid ? level : -1, name, level == 2 && valid ? classSortedPos(*name, i.row()) : 0});
    }
    book_.permuteNames(order);
    for (const auto& name : book_)
        Book::sortByClass(*name);
    QModelIndexList to;
    to.reserve(from.size());
    for (const Place& p : places) {
        switch (p.level) {
        case 0:
            to.append(rootIndex());
            break;
        case 1:
            to.append(indexOf(*p.name));
            break;
        case 2:
            to.append(createIndex(p.pos, 0, const_cast<Name*>(p.name)));
            break;
        default:
            to.append(QModelIndex());
        }
    }
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QByteArray BookModel::entryCountText() const {
    return QByteArray::number(book_.entryCount()) + " entries.";
}

bool BookModel::isLabelEditable(const QModelIndex& index) {
    const int level = levelOf(index);
    if (level == 1)
        return true;
    return level == 2 && index.data(KindRole).toInt() != KindCallerGroup;
}

namespace {
bool isDraggable(const QModelIndex& index) {
    return BookModel::levelOf(index) == 2 &&
           index.data(BookModel::KindRole).toInt() != KindCallerGroup;
}
} // namespace

Qt::ItemFlags BookModel::flags(const QModelIndex& index) const {
    // Views ask this for every row they lay out, so it reads the book directly.
    const Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    switch (levelOf(index)) {
    case 0:
        return f;
    case 1:
        return f | Qt::ItemIsDropEnabled | Qt::ItemIsEditable;
    case 2: {
        // A subentry never has rows under it: a tree view then neither asks for
        // them nor looks it up among its open nodes.
        const Subentry* sub = subentryOf(index);
        const bool group = sub && sub->kind == KindCallerGroup;
        return f | Qt::ItemIsDropEnabled | Qt::ItemNeverHasChildren |
               (group ? Qt::NoItemFlags : Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    }
    default:
        return Qt::NoItemFlags;
    }
}

bool BookModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    // A view clears items with invalid values after some drops; that is no edit.
    if (role != Qt::EditRole || value.userType() != QMetaType::QString || !commit_ ||
        index.model() != this || !isLabelEditable(index))
        return false;
    commit_(index, value.toString());
    return true;
}

int BookModel::dragCode(const QModelIndex& dragged, const QModelIndex& target) {
    const int from = levelOf(dragged);
    const int to = levelOf(target);
    if (from < 0 || to < 0 || dragged.model() != target.model())
        return 0;
    if (from == 2 && dragged.data(KindRole).toInt() == KindCallerGroup)
        return 0;
    return 10 * from + to;
}

bool BookModel::bookDragOver(const QModelIndex& dragged, const QModelIndex& target) const {
    if (dragged.model() != this || !dragged.data(KindRole).isValid() ||
        !target.data(KindRole).isValid())
        return false;
    const int code = dragCode(dragged, target);
    return code == 21 || code == 22;
}

QModelIndex BookModel::bookEndDrag(const QModelIndex& dragged, const QModelIndex& target) {
    if (!bookDragOver(dragged, target))
        return {};
    const int code = dragCode(dragged, target);
    Name& from = *nameOf(dragged);
    Name& to = *nameOf(target);
    const int fromPos = dragged.row();
    const QPersistentModelIndex moved(dragged);
    book_.bookChanged = true;
    if (code == 21) {
        // Onto a name: it becomes that name's first subentry.
        if (from.subs.size() == 1)
            setExpanded(from, false);
        moveSubentry(from, fromPos, to, 0);
    } else {
        // Onto a subentry: directly in front of it, in its name.
        moveSubentry(from, fromPos, to, target.row());
        setExpanded(to, true);
        if (from.subs.empty())
            setExpanded(from, false);
    }
    return moved;
}

QStringList BookModel::mimeTypes() const {
    return {QString::fromLatin1(DragMimeType)};
}

namespace {
// The payload names the process, the model and the drag, so a drop from
// another window or program is never taken for one of ours.
QByteArray dragPayload(const BookModel* model, quint64 serial) {
    return QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
           QByteArray::number(reinterpret_cast<quintptr>(model)) + ' ' + QByteArray::number(serial);
}
} // namespace

QMimeData* BookModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.size() != 1 || indexes.first().model() != this || !isDraggable(indexes.first()))
        return nullptr;
    dragSource_ = indexes.first();
    ++dragSerial_;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(DragMimeType), dragPayload(this, dragSerial_));
    return data;
}

QModelIndex BookModel::draggedBy(const QMimeData* data) const {
    if (!data || !dragSource_.isValid() ||
        data->data(QString::fromLatin1(DragMimeType)) != dragPayload(this, dragSerial_))
        return {};
    return dragSource_;
}

bool BookModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                const QModelIndex& parent) const {
    // Only a drop on an item counts; row and column are -1 then.
    return action == Qt::MoveAction && row == -1 && column == -1 &&
           bookDragOver(draggedBy(data), parent);
}

bool BookModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                             const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    const QModelIndex moved = bookEndDrag(draggedBy(data), parent);
    dragSource_ = QPersistentModelIndex();
    return moved.isValid();
}

} // namespace quorix
