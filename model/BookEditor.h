#pragma once

#include "BookModel.h"

#include <QLocale>
#include <QModelIndex>
#include <functional>

namespace quorix {

// A message box the editor needs shown: an error (error icon, OK) or a
// question (question icon, Yes/No). A line break in the text is "\r".
struct UserMessage {
    enum class Type { Error, Question };
    Type type = Type::Error;
    QString caption;
    QString text;

    // The text for a widget, with "\r" turned into "\n".
    QString displayText() const;
};

// Shows a message and, for a question, gives true for Yes. Questions must be
// answered before the command goes on, so this is called in the middle of it.
using MessageHandler = std::function<bool(const UserMessage&)>;

// How the view's expansion changes as a whole (single nodes follow
// BookModel::expandedChanged instead).
enum class ViewExpansion {
    Unchanged,
    ExpandAll,   // expand every node
    CollapseAll, // collapse every node, then expand the root alone
};

// What the window does after a command. Invalid indexes mean "leave as is".
struct EditOutcome {
    QModelIndex select; // make this node the current, selected one
    QModelIndex edit;   // open the label editor on this node
    ViewExpansion expansion = ViewExpansion::Unchanged;
    bool focusTree = false; // give the tree the keyboard focus
};

// The editing commands of the phonebook window, without widgets: each takes
// the selected node (an invalid index when none is) and changes the book
// through the BookModel, so views follow with exact signals. Messages and
// questions go through the message handler.
//
// The editor installs itself as the model's commit handler: a view's label
// editor commits through BookModel::setData, which runs commitLabel().
class BookEditor {
public:
    explicit BookEditor(BookModel& model);
    ~BookEditor();
    BookEditor(const BookEditor&) = delete;
    BookEditor& operator=(const BookEditor&) = delete;

    BookModel& model() { return model_; }
    // Without a handler, errors go to the debug log and questions get No.
    void setMessageHandler(MessageHandler handler) { messages_ = std::move(handler); }

    // What New entry puts into a new number and an emptied number becomes:
    // the country prefix, "+49" unless set. An empty prefix keeps the one before.
    void setNumberPrefix(const QString& prefix);
    const QString& numberPrefix() const { return numberPrefix_; }

    // New entry: a General number holding the prefix on a name or in front of a subentry,
    // or a new name when the root or a collapsed name with subentries is
    // selected. Refused with "Too many numbers!" on a name with five numbers.
    EditOutcome newEntry(const QModelIndex& selected);
    // New text entry: a "Text" Note on a name or in front of a subentry; the
    // label editor opens but the selection stays. Nothing on the root.
    EditOutcome newTextEntry(const QModelIndex& selected);
    // New name: in front of the selected name (or of the subentry's name, or of
    // the first name when the root is selected).
    EditOutcome newName(const QModelIndex& selected);
    // Edit: opens the label editor where it may open.
    EditOutcome edit(const QModelIndex& selected) const;
    // Delete after the "Confirm" question; true when something was deleted.
    bool deleteNode(const QModelIndex& selected);
    // Clear after the "Confirm" question; refused while a transfer runs.
    EditOutcome clearBook();
    // New book: refused while a transfer runs; closeQuestion is the window's
    // unsaved-changes question and gives false when the user cancels. True
    // when the book was emptied (the caption goes back to "Quorix").
    bool newBook(const std::function<bool()>& closeQuestion);
    EditOutcome expandAll();
    EditOutcome collapseAll();

    // Change type of a subentry (not a caller group) to kind 2..9. A change
    // that would give the name a sixth number or a third text is refused with
    // "Too many numbers!" / "Too many text-entries!". True when it changed.
    bool changeType(const QModelIndex& selected, int kind);
    // Caller group 1..5 of the selected name (or the subentry's name): replaces
    // every group it has. True when it changed.
    bool setGroup(const QModelIndex& selected, int group);

    // A committed label edit with the text S the editor holds: marks the book,
    // cleans numbers, sorts the name's subentries by class, and for a name
    // whose new text another name has, offers to merge the two.
    void commitLabel(const QModelIndex& node, QString text);
    // A committed table cell of a name (an index of the BookModel): the name
    // column as commitLabel; a kind's column holds its subentries one per line,
    // in order: a changed line is committed as the label editor commits, an
    // extra line adds a subentry within the name's limit, and a line taken
    // away (or emptied) deletes its subentry. One undo step.
    void commitCell(const QModelIndex& name, int kind, const QString& text);

    // Sort: names by NameOrder(locale), every name's subentries by class.
    // Refused while a transfer runs; marks the book even when nothing moved.
    EditOutcome sortBook(const QLocale& locale = QLocale());
    // Flip book from the menu: refused while a transfer runs; leaves
    // bookChanged as it was. True when the book was flipped.
    bool flipBook();

private:
    bool ask(const QString& caption, const QString& text);
    void showError(const QString& text);
    // The selected node, or the root when nothing (of this model) is selected.
    QModelIndex orRoot(const QModelIndex& selected) const;
    EditOutcome startNewName(int row, bool expandRoot);
    // A new subentry for New entry / New text entry, within the name's limit
    // for its class; the new node's index, or invalid when refused.
    QModelIndex addSubentryAt(const QModelIndex& node, Name& name, const QString& text, int kind);
    // The merge walk; false when it stopped for want of space.
    bool merge(Name& node, Name& other);

    BookModel& model_;
    MessageHandler messages_;
    QString numberPrefix_ = DefaultNumberPrefix.toString();
};

} // namespace quorix
