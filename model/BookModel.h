#pragma once

#include "Book.h"

#include <QAbstractItemModel>
#include <functional>

namespace quorix {

// The book as a tree for views: one top row, the root "PhoneBook", with the
// names under it and their subentries under them. Every change to the book that
// a view may be showing goes through the methods here, which emit exact model
// signals so views keep their selection and expansion; filling a whole book
// (load, read, import, flip) goes through rebuild() and resets the model.
class BookModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Roles {
        KindRole = Qt::UserRole + 1, // the node's image index
        NoteRole,                    // the name's transfer note (QString), empty if none
        LevelRole,                   // 0 root, 1 name, 2 subentry
    };

    explicit BookModel(QObject* parent = nullptr);

    Book& book() { return book_; }
    const Book& book() const { return book_; }

    // Icons are the window's business: it tells the model how to decorate a kind.
    void setDecorationProvider(std::function<QVariant(int kind)> provider);

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

    // Changes with exact signals.
    Name& addNameAtTop(const QByteArray& text);
    Name& insertName(int row, const QByteArray& text);
    void removeName(int row);
    // Deletes every name and empties the entry notes; the root stays.
    void clearNames();
    Subentry& addSubentry(Name& name, const QByteArray& text, int kind);
    Subentry& insertSubentry(Name& name, int pos, const QByteArray& text, int kind);
    void removeSubentry(Name& name, int pos);
    void setNameText(Name& name, const QByteArray& text);
    void setSubentryText(Name& name, int pos, const QByteArray& text);
    void setSubentryKind(Name& name, int pos, int kind);
    void setExpanded(Name& name, bool expanded);
    void setRootExpanded(bool expanded);
    void sortByClass(Name& name);
    void setEntryNote(Name& name, const QByteArray& note);
    // Moves a subentry to position toPos of another (or the same) name; toPos
    // counts in the target's list before the move.
    void moveSubentry(Name& from, int fromPos, Name& to, int toPos);
    // Reverses the order of the names.
    void flipbook();

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void entryCountChanged(int count);

private:
    void markDeleted();
    void emitNodeChanged(const QModelIndex& index);

    Book book_;
    std::function<QVariant(int)> decoration_;
};

} // namespace quorix
