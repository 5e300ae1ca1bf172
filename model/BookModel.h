#pragma once

#include "Book.h"
#include "BookHistory.h"

#include <QAbstractItemModel>
#include <QPersistentModelIndex>
#include <functional>
#include <vector>

namespace quorix {

// The book as a tree for views: one top row, the root "PhoneBook", with the
// names under it and their subentries under them. Every change to the book that
// a view may be showing goes through the methods here, which emit exact model
// signals so views keep their selection and expansion; filling a whole book
// (load, read, import, flip) goes through rebuild() and resets the model.
//
// Expansion is the view's state, but a name's icon follows it, so the model
// keeps a flag per name: setExpanded() (from the view's expanded/collapsed
// signals or from a command) sets it and emits expandedChanged(), which the
// window applies to its view. Setting a flag to what it already is does
// nothing, so the round trip ends there.
//
// Label edits: setData(EditRole) hands the typed text to the commit handler
// (BookEditor installs its commitLabel), since a commit may have to ask the
// user mid-way; without a handler the model is read-only.
//
// Drag-and-drop: a subentry (not a caller group) can be dragged onto a name or
// onto another subentry; dragCode(), bookDragOver() and bookEndDrag() hold the
// rules, and the QAbstractItemModel drag API below routes a QTreeView's own
// drag to them. Drops count only when made on an item, not between items.
class BookModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Roles {
        KindRole = Qt::UserRole + 1, // the node's image index
        NoteRole,                    // the name's transfer note (QString), empty if none
        LevelRole,                   // 0 root, 1 name, 2 subentry
        CutWarningRole,              // a name's texts the phone will cut, empty if none
    };

    explicit BookModel(QObject* parent = nullptr);

    Book& book() { return book_; }
    const Book& book() const { return book_; }

    // Icons are the window's business: it tells the model how to decorate a kind.
    void setDecorationProvider(std::function<QVariant(int kind)> provider);

    // The type of the drag payload; it names a drag of this model only.
    static constexpr const char* DragMimeType = "application/x-quorix-subentry";

    // Undo recording. Between beginStep() and the matching endStep() every
    // change made here is recorded into one BookStep; the outermost endStep()
    // hands a step that changed anything to the step sink. Without a sink
    // nothing is recorded, so the engine without a window pays nothing.
    using StepSink = std::function<void(std::unique_ptr<BookStep>)>;
    void setStepSink(StepSink sink) { stepSink_ = std::move(sink); }
    void beginStep(const QString& text, bool keepsChanged = false);
    void endStep();
    // Names the open step anew (a rename that became a merge).
    void setStepText(const QString& text);
    // Drops the open step at its end: something outside it (a phone read)
    // replaced the book meanwhile, so its rows mean nothing any more.
    void abandonStep();
    // Replaying a step records nothing; a Replay marks the time it runs.
    class Replay {
    public:
        explicit Replay(BookModel& model) : model_(model), was_(model.replaying_) {
            model_.replaying_ = true;
        }
        ~Replay() { model_.replaying_ = was_; }
        Replay(const Replay&) = delete;
        Replay& operator=(const Replay&) = delete;

    private:
        BookModel& model_;
        bool was_;
    };

    // Puts other's names, notes and root in place of this book's (an import),
    // with the model reset; one recorded change. other is left with the old
    // content, or empty when the step keeps it.
    void replaceContent(Book& other);
    // Whole names in and out, with their subentries (for undo).
    void insertWholeName(int row, std::unique_ptr<Name> name);
    std::unique_ptr<Name> takeWholeName(int row);
    // Puts a name's subentries into the order given (order[newPos] = old
    // position); persistent indexes follow. Anything but a permutation is ignored.
    void permuteSubentries(Name& name, const std::vector<int>& order);

    // Runs f on the book with the model reset around it.
    template <typename F> void rebuild(F&& f) {
        beginResetModel();
        f(book_);
        endResetModel();
        Q_EMIT entryCountChanged(book_.entryCount());
    }

    // Indexes.
    QModelIndex rootIndex() const;
    QModelIndex indexOf(const Name& name) const;
    QModelIndex indexOf(const Name& name, int subPos) const;
    static int levelOf(const QModelIndex& index);
    // The name an index shows, or of a subentry index its name; null for the root.
    Name* nameOf(const QModelIndex& index) const;
    // The subentry an index shows, or null when it is not a subentry.
    Subentry* subentryOf(const QModelIndex& index) const;

    // Whether the label editor may open on a node: names and subentries yes,
    // the root and caller groups (which only setGroup names) no.
    static bool isLabelEditable(const QModelIndex& index);
    // Where an edit commit goes; see the class comment.
    using CommitHandler = std::function<void(const QModelIndex&, const QString&)>;
    void setCommitHandler(CommitHandler handler) { commit_ = std::move(handler); }

    // "N entries." for the entry count panel.
    QByteArray entryCountText() const;

    // Changes with exact signals.
    Name& addNameAtTop(const QString& text);
    Name& insertName(int row, const QString& text);
    void removeName(int row);
    // Deletes every name and empties the entry notes; the root stays.
    void clearNames();
    Subentry& addSubentry(Name& name, const QString& text, int kind);
    Subentry& insertSubentry(Name& name, int pos, const QString& text, int kind);
    void removeSubentry(Name& name, int pos);
    void setNameText(Name& name, const QString& text);
    // The company; no view shows it, so no row changes.
    void setOrganization(Name& name, const QString& organization);
    void setSubentryText(Name& name, int pos, const QString& text);
    void setSubentryKind(Name& name, int pos, int kind);
    void setExpanded(Name& name, bool expanded);
    void setRootExpanded(bool expanded);
    // The same for an index (root or name); subentries have no expansion.
    void setExpanded(const QModelIndex& index, bool expanded);
    // Expand all: the root and every name with subentries. Collapse all: every
    // name collapsed, the root expanded (unless the book is empty). One
    // dataChanged for the names; no expandedChanged, since the view expands or
    // collapses everything at once.
    void setAllExpanded(bool expanded);
    void sortByClass(Name& name);
    // The same as a step of its own in the undo history: a write sends a
    // name's subentries in class order, and the book keeps that order.
    void sortForWrite(Name& name);
    void setEntryNote(Name& name, const QString& note);
    // Moves a subentry to position toPos of another (or the same) name; toPos
    // counts in the target's list before the move.
    void moveSubentry(Name& from, int fromPos, Name& to, int toPos);
    // Reverses the order of the names and leaves every name collapsed under the
    // expanded root; reports "Flipping book..." and "OK." through statusText().
    void flipBook();
    // Puts the names into the order given (order[newRow] = old row) and every
    // name's subentries into class order, stably. Selections and other
    // persistent indexes follow their nodes. An order that is not a
    // permutation of the rows changes nothing.
    void sortBook(const std::vector<int>& order);

    // Drag-and-drop. The drag code is 10 x level of the dragged node + level of
    // the target, or 0 when the dragged node is a caller group or either is
    // missing. Only 21 (subentry onto a name) and 22 (onto a subentry) drop.
    static int dragCode(const QModelIndex& dragged, const QModelIndex& target);
    // A drop is refused, too, when it would give another name more numbers or
    // texts than the phone holds.
    bool bookDragOver(const QModelIndex& dragged, const QModelIndex& target) const;
    // Carries out the drop; gives the moved subentry's new index, or an
    // invalid index when the drop was refused and nothing changed.
    QModelIndex bookEndDrag(const QModelIndex& dragged, const QModelIndex& target);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

Q_SIGNALS:
    void entryCountChanged(int count);
    // The view should expand or collapse this node (root or name).
    void expandedChanged(const QModelIndex& index, bool expanded);
    // A text for the first status panel (Latin-1).
    void statusText(const QByteArray& text);

private:
    void markDeleted();
    void emitNodeChanged(const QModelIndex& index);
    // The dragged node of a payload of ours, or an invalid index.
    QModelIndex draggedBy(const QMimeData* data) const;
    // Whether changes are being recorded now, and recording one.
    bool recording() const { return step_ && !replaying_; }
    void record(std::unique_ptr<BookChange> change);

    Book book_;
    std::function<QVariant(int)> decoration_;
    CommitHandler commit_;
    // The subentry being dragged; the payload carries only the serial, so a
    // drag keeps its node while the book changes under it (a phone read).
    mutable QPersistentModelIndex dragSource_;
    mutable quint64 dragSerial_ = 0;

    StepSink stepSink_;
    std::unique_ptr<BookStep> step_;
    int stepDepth_ = 0;
    bool stepAbandoned_ = false;
    bool replaying_ = false;
};

// Records what happens in its lifetime as one undo step.
class BookStepScope {
public:
    BookStepScope(BookModel& model, const QString& text, bool keepsChanged = false)
        : model_(model) {
        model_.beginStep(text, keepsChanged);
    }
    ~BookStepScope() { model_.endStep(); }
    BookStepScope(const BookStepScope&) = delete;
    BookStepScope& operator=(const BookStepScope&) = delete;

private:
    BookModel& model_;
};

} // namespace quorix
