#include "BookModel.h"

#include "PhoneLimits.h"

#include <QCoreApplication>
#include <QMimeData>
#include <optional>

namespace quorix {

namespace {
// Where a change finds its name: the row, and the serial that proves the name
// there is the one it changed.
struct NameRef {
    int row;
    quint64 serial;
};
std::unique_ptr<BookChange> nameIn(NameRef name);
std::unique_ptr<BookChange> nameOut(int row, std::unique_ptr<Name> name);
std::unique_ptr<BookChange> cleared(std::vector<std::unique_ptr<Name>> names,
                                    decltype(Book::entryNotes) notes);
std::unique_ptr<BookChange> subIn(NameRef name, int pos, Subentry sub);
std::unique_ptr<BookChange> subOut(NameRef name, int pos, Subentry sub);
std::unique_ptr<BookChange> nameText(NameRef name, decltype(Name::text) before,
                                     decltype(Name::text) after,
                                     QString Name::*field = &Name::text);
std::unique_ptr<BookChange> subSet(NameRef name, int pos, Subentry before, Subentry after);
std::unique_ptr<BookChange> expansion(NameRef name, bool before, bool after);
std::unique_ptr<BookChange> subOrder(NameRef name, std::vector<Subentry> before,
                                     std::vector<int> order);
std::unique_ptr<BookChange> subMove(NameRef from, int fromPos, NameRef to, int toPos, int endPos,
                                    Subentry moved);
std::unique_ptr<BookChange> flipped(std::vector<bool> expanded, bool rootExpanded);
std::unique_ptr<BookChange> sorted(std::vector<int> order,
                                   std::vector<std::pair<int, std::vector<Subentry>>> subs,
                                   std::vector<quint64> serials);
std::unique_ptr<BookChange> swapped(Book book);

bool isIdentity(const std::vector<int>& order) {
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] != static_cast<int>(i))
            return false;
    return true;
}

bool isPermutation(const std::vector<int>& order, size_t size) {
    std::vector<bool> seen(size, false);
    if (order.size() != size)
        return false;
    for (const int i : order) {
        if (i < 0 || static_cast<size_t>(i) >= size || seen[static_cast<size_t>(i)])
            return false;
        seen[static_cast<size_t>(i)] = true;
    }
    return true;
}

NameRef refOf(const Book& book, const Name& name) {
    return {book.rowOf(&name), name.serial()};
}

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
    case KindRole:
        return kind;
    case LevelRole:
        return level;
    case NoteRole:
        return name ? book_.entryNote(*name) : QString();
    case Qt::ToolTipRole:
        // A subentry's kind is otherwise told only by the icon.
        if (level == 2)
            return QString::fromLatin1(kindName(kind));
        [[fallthrough]];
    case CutWarningRole:
        // Texts longer than the phone stores stay in the book; the name says so.
        if (name) {
            const QString warning = cutWarning(*name);
            if (!warning.isEmpty() || role == CutWarningRole)
                return warning;
        }
        return {};
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
    if (recording())
        record(nameIn({row, book_.name(row).serial()}));
    return name;
}

void BookModel::removeName(int row) {
    if (row < 0 || row >= book_.entryCount())
        return;
    std::unique_ptr<Name> taken = takeWholeName(row);
    markDeleted();
    if (recording())
        record(nameOut(row, std::move(taken)));
}

void BookModel::insertWholeName(int row, std::unique_ptr<Name> name) {
    row = std::clamp(row, 0, book_.entryCount());
    beginInsertRows(rootIndex(), row, row);
    book_.insertName(row, std::move(name));
    endInsertRows();
    Q_EMIT entryCountChanged(book_.entryCount());
}

std::unique_ptr<Name> BookModel::takeWholeName(int row) {
    if (row < 0 || row >= book_.entryCount())
        return {};
    beginRemoveRows(rootIndex(), row, row);
    std::unique_ptr<Name> taken = book_.takeName(row);
    endRemoveRows();
    Q_EMIT entryCountChanged(book_.entryCount());
    return taken;
}

void BookModel::clearNames() {
    const bool keep = recording();
    if (keep && (!book_.isEmpty() || !book_.entryNotes.isEmpty())) {
        // The names go into the step, not away.
        std::vector<std::unique_ptr<Name>> taken;
        if (!book_.isEmpty()) {
            beginRemoveRows(rootIndex(), 0, book_.entryCount() - 1);
            taken.reserve(static_cast<size_t>(book_.entryCount()));
            while (!book_.isEmpty())
                taken.push_back(book_.takeName(0));
        }
        auto notes = book_.entryNotes;
        book_.clear();
        if (!taken.empty()) {
            endRemoveRows();
            markDeleted();
            Q_EMIT entryCountChanged(0);
        }
        record(cleared(std::move(taken), std::move(notes)));
        return;
    }
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
    if (recording())
        record(subIn(refOf(book_, name), pos, sub));
    return sub;
}

void BookModel::removeSubentry(Name& name, int pos) {
    if (pos < 0 || pos >= static_cast<int>(name.subs.size()))
        return;
    beginRemoveRows(indexOf(name), pos, pos);
    Subentry taken = std::move(name.subs[static_cast<size_t>(pos)]);
    name.subs.erase(name.subs.begin() + pos);
    endRemoveRows();
    markDeleted();
    if (recording())
        record(subOut(refOf(book_, name), pos, std::move(taken)));
}

void BookModel::setNameText(Name& name, const QString& text) {
    if (recording() && name.text != text)
        record(nameText(refOf(book_, name), name.text, text));
    name.text = text;
    emitNodeChanged(indexOf(name));
}

void BookModel::setOrganization(Name& name, const QString& organization) {
    if (recording() && name.organization != organization)
        record(nameText(refOf(book_, name), name.organization, organization, &Name::organization));
    name.organization = organization;
}

void BookModel::setSubentryText(Name& name, int pos, const QString& text) {
    Subentry& sub = name.subs.at(static_cast<size_t>(pos));
    if (recording() && sub.text != text)
        record(subSet(refOf(book_, name), pos, sub, Subentry{text, sub.kind}));
    sub.text = text;
    emitNodeChanged(indexOf(name, pos));
}

void BookModel::setSubentryKind(Name& name, int pos, int kind) {
    Subentry& sub = name.subs.at(static_cast<size_t>(pos));
    if (recording() && sub.kind != kind)
        record(subSet(refOf(book_, name), pos, sub, Subentry{sub.text, kind}));
    sub.kind = kind;
    emitNodeChanged(indexOf(name, pos));
}

void BookModel::setExpanded(Name& name, bool expanded) {
    if (name.expanded == expanded)
        return;
    if (recording())
        record(expansion(refOf(book_, name), name.expanded, expanded));
    name.expanded = expanded;
    const QModelIndex index = indexOf(name);
    emitNodeChanged(index);
    Q_EMIT expandedChanged(index, expanded);
}

void BookModel::setRootExpanded(bool expanded) {
    if (book_.rootExpanded == expanded)
        return;
    if (recording())
        record(expansion({-1, 0}, book_.rootExpanded, expanded));
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
    std::vector<int> order(name.subs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return Book::compareClass(name.subs[static_cast<size_t>(a)],
                                  name.subs[static_cast<size_t>(b)]) < 0;
    });
    permuteSubentries(name, order);
}

void BookModel::sortForWrite(Name& name) {
    const BookStepScope step(*this, QStringLiteral("Sort ") + quotedForStep(name.text));
    sortByClass(name);
}

void BookModel::permuteSubentries(Name& name, const std::vector<int>& order) {
    if (isIdentity(order) || !isPermutation(order, name.subs.size()))
        return;
    if (recording())
        record(subOrder(refOf(book_, name), name.subs, order));
    const QModelIndex parent = indexOf(name);
    Q_EMIT layoutAboutToBeChanged({QPersistentModelIndex(parent)});
    // Persistent indexes (the selection) follow their subentries.
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
    const int asked = toPos;
    Subentry moved = std::move(from.subs[static_cast<size_t>(fromPos)]);
    from.subs.erase(from.subs.begin() + fromPos);
    if (&from == &to && toPos > fromPos)
        --toPos;
    to.subs.insert(to.subs.begin() + toPos, std::move(moved));
    endMoveRows();
    if (recording())
        record(subMove(refOf(book_, from), fromPos, refOf(book_, to), asked, toPos,
                       to.subs[static_cast<size_t>(toPos)]));
}

void BookModel::flipBook() {
    if (recording()) {
        std::vector<bool> expanded;
        expanded.reserve(static_cast<size_t>(book_.entryCount()));
        for (const auto& name : book_)
            expanded.push_back(name->expanded);
        record(flipped(std::move(expanded), book_.rootExpanded));
    }
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
    if (!isPermutation(order, static_cast<size_t>(book_.entryCount())))
        return;
    if (recording()) {
        // Undo needs the old order of every name whose subentries move.
        std::vector<int> newRow(order.size());
        for (size_t i = 0; i < order.size(); ++i)
            newRow[static_cast<size_t>(order[i])] = static_cast<int>(i);
        std::vector<std::pair<int, std::vector<Subentry>>> subs;
        for (int row = 0; row < book_.entryCount(); ++row) {
            const auto& list = book_.name(row).subs;
            if (!std::is_sorted(list.begin(), list.end(), [](const Subentry& a, const Subentry& b) {
                    return Book::compareClass(a, b) < 0;
                }))
                subs.emplace_back(newRow[static_cast<size_t>(row)], list);
        }
        std::vector<quint64> serials;
        serials.reserve(order.size());
        for (const int row : order)
            serials.push_back(book_.name(row).serial());
        record(sorted(order, std::move(subs), std::move(serials)));
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
    if (code != 21 && code != 22)
        return false;
    // Like Change type, a drop never gives a name more than the phone holds.
    const Name* from = nameOf(dragged);
    const Name* to = nameOf(target);
    const Subentry* sub = subentryOf(dragged);
    if (!from || !to || !sub)
        return false;
    const int sortClass = sortClassOf(sub->kind);
    return from == to || Book::subentryCount(*to, sortClass) < classLimit(sortClass);
}

QModelIndex BookModel::bookEndDrag(const QModelIndex& dragged, const QModelIndex& target) {
    if (!bookDragOver(dragged, target))
        return {};
    const int code = dragCode(dragged, target);
    Name& from = *nameOf(dragged);
    Name& to = *nameOf(target);
    const int fromPos = dragged.row();
    const QPersistentModelIndex moved(dragged);
    BookStepScope step(*this, QStringLiteral("Move ") +
                                  quotedForStep(from.subs[static_cast<size_t>(fromPos)].text));
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

// ---- undo recording ----

void BookModel::beginStep(const QString& text, bool keepsChanged) {
    if (!stepSink_ || replaying_)
        return;
    if (stepDepth_++ == 0) {
        step_ = std::make_unique<BookStep>(text);
        step_->keepsChanged = keepsChanged;
        stepAbandoned_ = false;
    }
}

void BookModel::endStep() {
    if (stepDepth_ == 0 || --stepDepth_ > 0)
        return;
    std::unique_ptr<BookStep> step = std::move(step_);
    if (step && !step->isEmpty() && !stepAbandoned_ && stepSink_)
        stepSink_(std::move(step));
}

void BookModel::setStepText(const QString& text) {
    if (step_)
        step_->setText(text);
}

void BookModel::abandonStep() {
    if (step_)
        stepAbandoned_ = true;
}

void BookModel::record(std::unique_ptr<BookChange> change) {
    if (step_ && !stepAbandoned_)
        step_->add(std::move(change));
}

void BookModel::replaceContent(Book& other) {
    rebuild([&](Book& b) { b.swapContent(other); });
    if (recording()) {
        Book before;
        before.swapContent(other);
        record(swapped(std::move(before)));
    }
}

namespace {

// The name a change made its change to, or null when the row holds another
// name or none (the book was changed outside the history).
Name* nameAt(BookModel& m, NameRef ref) {
    if (ref.row < 0 || ref.row >= m.book().entryCount())
        return nullptr;
    Name& name = m.book().name(ref.row);
    return name.serial() == ref.serial ? &name : nullptr;
}

bool holds(const Name& name, int pos, const Subentry& sub) {
    return pos >= 0 && pos < static_cast<int>(name.subs.size()) &&
           name.subs[static_cast<size_t>(pos)] == sub;
}

std::vector<int> inverseOf(const std::vector<int>& order) {
    std::vector<int> inverse(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        inverse[static_cast<size_t>(order[i])] = static_cast<int>(i);
    return inverse;
}

class NamePresence final : public BookChange {
public:
    NamePresence(NameRef ref, std::unique_ptr<Name> held) : ref_(ref), held_(std::move(held)) {}
    // A name the step inserted is taken out by undo; one it removed goes back.
    bool undo(BookModel& m) override { return held_ ? putIn(m) : takeOut(m); }
    bool redo(BookModel& m) override { return held_ ? putIn(m) : takeOut(m); }

private:
    bool putIn(BookModel& m) {
        if (ref_.row > m.book().entryCount())
            return false;
        m.insertWholeName(ref_.row, std::move(held_));
        return true;
    }
    bool takeOut(BookModel& m) {
        if (!nameAt(m, ref_))
            return false;
        held_ = m.takeWholeName(ref_.row);
        return true;
    }
    NameRef ref_;
    std::unique_ptr<Name> held_;
};

class Cleared final : public BookChange {
public:
    Cleared(std::vector<std::unique_ptr<Name>> names, decltype(Book::entryNotes) notes)
        : names_(std::move(names)), count_(names_.size()), notes_(std::move(notes)) {}
    bool undo(BookModel& m) override {
        if (!m.book().isEmpty())
            return false;
        m.rebuild([&](Book& b) {
            for (auto& name : names_)
                b.insertName(b.entryCount(), std::move(name));
            names_.clear();
            b.entryNotes = notes_;
        });
        return true;
    }
    bool redo(BookModel& m) override {
        if (static_cast<size_t>(m.book().entryCount()) != count_)
            return false;
        m.rebuild([&](Book& b) {
            names_.reserve(count_);
            while (!b.isEmpty())
                names_.push_back(b.takeName(0));
            b.clear();
        });
        return true;
    }

private:
    std::vector<std::unique_ptr<Name>> names_;
    size_t count_;
    decltype(Book::entryNotes) notes_;
};

class SubPresence final : public BookChange {
public:
    SubPresence(NameRef ref, int pos, Subentry sub, bool inserted)
        : ref_(ref), pos_(pos), sub_(std::move(sub)), present_(inserted) {}
    bool undo(BookModel& m) override { return toggle(m); }
    bool redo(BookModel& m) override { return toggle(m); }

private:
    bool toggle(BookModel& m) {
        Name* name = nameAt(m, ref_);
        if (!name)
            return false;
        if (present_) {
            // Only the very subentry the step added or put back.
            if (!holds(*name, pos_, sub_))
                return false;
            m.removeSubentry(*name, pos_);
        } else {
            if (pos_ > static_cast<int>(name->subs.size()))
                return false;
            m.insertSubentry(*name, pos_, sub_.text, sub_.kind);
        }
        present_ = !present_;
        return true;
    }
    NameRef ref_;
    int pos_;
    Subentry sub_;
    bool present_;
};

class NameText final : public BookChange {
public:
    NameText(NameRef ref, decltype(Name::text) before, decltype(Name::text) after,
             QString Name::*field)
        : ref_(ref), before_(std::move(before)), after_(std::move(after)), field_(field) {}
    bool undo(BookModel& m) override { return set(m, after_, before_); }
    bool redo(BookModel& m) override { return set(m, before_, after_); }

private:
    bool set(BookModel& m, const decltype(Name::text)& from, const decltype(Name::text)& to) {
        Name* name = nameAt(m, ref_);
        if (!name || name->*field_ != from)
            return false;
        if (field_ == &Name::text)
            m.setNameText(*name, to);
        else
            m.setOrganization(*name, to);
        return true;
    }
    NameRef ref_;
    decltype(Name::text) before_, after_;
    QString Name::*field_;
};

class SubSet final : public BookChange {
public:
    SubSet(NameRef ref, int pos, Subentry before, Subentry after)
        : ref_(ref), pos_(pos), before_(std::move(before)), after_(std::move(after)) {}
    bool undo(BookModel& m) override { return set(m, after_, before_); }
    bool redo(BookModel& m) override { return set(m, before_, after_); }

private:
    bool set(BookModel& m, const Subentry& from, const Subentry& to) {
        Name* name = nameAt(m, ref_);
        if (!name || !holds(*name, pos_, from))
            return false;
        m.setSubentryText(*name, pos_, to.text);
        m.setSubentryKind(*name, pos_, to.kind);
        return true;
    }
    NameRef ref_;
    int pos_;
    Subentry before_, after_;
};

class Expansion final : public BookChange {
public:
    Expansion(NameRef ref, bool before, bool after) : ref_(ref), before_(before), after_(after) {}
    bool undo(BookModel& m) override { return set(m, before_); }
    bool redo(BookModel& m) override { return set(m, after_); }

private:
    bool set(BookModel& m, bool expanded) {
        if (ref_.row < 0) {
            m.setRootExpanded(expanded);
            return true;
        }
        Name* name = nameAt(m, ref_);
        if (!name)
            return false;
        m.setExpanded(*name, expanded);
        return true;
    }
    NameRef ref_;
    bool before_, after_;
};

class SubOrder final : public BookChange {
public:
    SubOrder(NameRef ref, std::vector<Subentry> before, std::vector<int> order)
        : ref_(ref), before_(std::move(before)), order_(std::move(order)) {
        for (const int from : order_)
            after_.push_back(before_[static_cast<size_t>(from)]);
    }
    bool undo(BookModel& m) override { return apply(m, after_, inverseOf(order_)); }
    bool redo(BookModel& m) override { return apply(m, before_, order_); }

private:
    bool apply(BookModel& m, const std::vector<Subentry>& expected, const std::vector<int>& order) {
        Name* name = nameAt(m, ref_);
        if (!name || name->subs != expected)
            return false;
        m.permuteSubentries(*name, order);
        return true;
    }
    NameRef ref_;
    std::vector<Subentry> before_, after_;
    std::vector<int> order_;
};

class SubMove final : public BookChange {
public:
    SubMove(NameRef from, int fromPos, NameRef to, int toPos, int endPos, Subentry moved)
        : from_(from), to_(to), fromPos_(fromPos), toPos_(toPos), endPos_(endPos),
          moved_(std::move(moved)) {}
    bool undo(BookModel& m) override {
        Name* from = nameAt(m, from_);
        Name* to = nameAt(m, to_);
        if (!from || !to || !holds(*to, endPos_, moved_))
            return false;
        // Back to fromPos, counted as moveSubentry counts: before the move.
        const int back = from == to && fromPos_ > endPos_ ? fromPos_ + 1 : fromPos_;
        m.moveSubentry(*to, endPos_, *from, back);
        return true;
    }
    bool redo(BookModel& m) override {
        Name* from = nameAt(m, from_);
        Name* to = nameAt(m, to_);
        if (!from || !to || !holds(*from, fromPos_, moved_))
            return false;
        m.moveSubentry(*from, fromPos_, *to, toPos_);
        return true;
    }

private:
    NameRef from_, to_;
    int fromPos_, toPos_, endPos_;
    Subentry moved_;
};

class Flipped final : public BookChange {
public:
    Flipped(std::vector<bool> expanded, bool rootExpanded)
        : expanded_(std::move(expanded)), rootExpanded_(rootExpanded) {}
    bool undo(BookModel& m) override {
        if (static_cast<size_t>(m.book().entryCount()) != expanded_.size())
            return false;
        m.rebuild([&](Book& b) {
            b.flipBook();
            for (int row = 0; row < b.entryCount(); ++row)
                b.name(row).expanded = expanded_[static_cast<size_t>(row)];
            b.rootExpanded = rootExpanded_;
        });
        return true;
    }
    bool redo(BookModel& m) override {
        if (static_cast<size_t>(m.book().entryCount()) != expanded_.size())
            return false;
        m.flipBook();
        return true;
    }

private:
    std::vector<bool> expanded_;
    bool rootExpanded_;
};

class Sorted final : public BookChange {
public:
    // serials: the names' serials in sorted order.
    Sorted(std::vector<int> order, std::vector<std::pair<int, std::vector<Subentry>>> subs,
           std::vector<quint64> serials)
        : order_(std::move(order)), subs_(std::move(subs)), serials_(std::move(serials)) {}
    bool undo(BookModel& m) override {
        if (!namesAre(m, serials_))
            return false;
        // Each name whose subentries the sort moved must hold them as it left them.
        for (const auto& [row, subs] : subs_) {
            std::vector<Subentry> sortedSubs = subs;
            std::stable_sort(
                sortedSubs.begin(), sortedSubs.end(),
                [](const Subentry& a, const Subentry& b) { return Book::compareClass(a, b) < 0; });
            if (m.book().name(row).subs != sortedSubs)
                return false;
        }
        m.rebuild([&](Book& b) {
            for (const auto& [row, subs] : subs_)
                b.name(row).subs = subs;
            b.permuteNames(inverseOf(order_));
        });
        return true;
    }
    bool redo(BookModel& m) override {
        std::vector<quint64> before(serials_.size());
        for (size_t i = 0; i < order_.size(); ++i)
            before[static_cast<size_t>(order_[i])] = serials_[i];
        if (!namesAre(m, before))
            return false;
        m.sortBook(order_);
        return true;
    }

private:
    static bool namesAre(BookModel& m, const std::vector<quint64>& serials) {
        if (static_cast<size_t>(m.book().entryCount()) != serials.size())
            return false;
        for (int row = 0; row < m.book().entryCount(); ++row)
            if (m.book().name(row).serial() != serials[static_cast<size_t>(row)])
                return false;
        return true;
    }
    std::vector<int> order_;
    std::vector<std::pair<int, std::vector<Subentry>>> subs_;
    std::vector<quint64> serials_;
};

// A whole-book exchange (an import) holds the other book itself.
class Swapped final : public BookChange {
public:
    explicit Swapped(Book other) : other_(std::move(other)) {}
    bool undo(BookModel& m) override { return swap(m); }
    bool redo(BookModel& m) override { return swap(m); }

private:
    bool swap(BookModel& m) {
        m.rebuild([&](Book& b) { b.swapContent(other_); });
        return true;
    }
    Book other_;
};

std::unique_ptr<BookChange> nameIn(NameRef name) {
    return std::make_unique<NamePresence>(name, nullptr);
}
std::unique_ptr<BookChange> nameOut(int row, std::unique_ptr<Name> name) {
    const quint64 serial = name->serial();
    return std::make_unique<NamePresence>(NameRef{row, serial}, std::move(name));
}
std::unique_ptr<BookChange> cleared(std::vector<std::unique_ptr<Name>> names,
                                    decltype(Book::entryNotes) notes) {
    return std::make_unique<Cleared>(std::move(names), std::move(notes));
}
std::unique_ptr<BookChange> subIn(NameRef name, int pos, Subentry sub) {
    return std::make_unique<SubPresence>(name, pos, std::move(sub), true);
}
std::unique_ptr<BookChange> subOut(NameRef name, int pos, Subentry sub) {
    return std::make_unique<SubPresence>(name, pos, std::move(sub), false);
}
std::unique_ptr<BookChange> nameText(NameRef name, decltype(Name::text) before,
                                     decltype(Name::text) after, QString Name::*field) {
    return std::make_unique<NameText>(name, std::move(before), std::move(after), field);
}
std::unique_ptr<BookChange> subSet(NameRef name, int pos, Subentry before, Subentry after) {
    return std::make_unique<SubSet>(name, pos, std::move(before), std::move(after));
}
std::unique_ptr<BookChange> expansion(NameRef name, bool before, bool after) {
    return std::make_unique<Expansion>(name, before, after);
}
std::unique_ptr<BookChange> subOrder(NameRef name, std::vector<Subentry> before,
                                     std::vector<int> order) {
    return std::make_unique<SubOrder>(name, std::move(before), std::move(order));
}
std::unique_ptr<BookChange> subMove(NameRef from, int fromPos, NameRef to, int toPos, int endPos,
                                    Subentry moved) {
    return std::make_unique<SubMove>(from, fromPos, to, toPos, endPos, std::move(moved));
}
std::unique_ptr<BookChange> flipped(std::vector<bool> expanded, bool rootExpanded) {
    return std::make_unique<Flipped>(std::move(expanded), rootExpanded);
}
std::unique_ptr<BookChange> sorted(std::vector<int> order,
                                   std::vector<std::pair<int, std::vector<Subentry>>> subs,
                                   std::vector<quint64> serials) {
    return std::make_unique<Sorted>(std::move(order), std::move(subs), std::move(serials));
}
std::unique_ptr<BookChange> swapped(Book book) {
    return std::make_unique<Swapped>(std::move(book));
}

} // namespace

} // namespace quorix
