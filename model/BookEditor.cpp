#include "BookEditor.h"

#include "NameOrder.h"

#include <QDebug>
#include <array>

namespace quorix {

namespace {
const QString TooManyNumbers = QStringLiteral("Too many numbers!");
const QString TooManyTexts = QStringLiteral("Too many text-entries!");
const QString MergeQuestion =
    QStringLiteral("Name already exists! Merge entries?\rNote: Caller groups will not be merged!");
const QString MergeImpossible =
    QStringLiteral("Merging not possible!\rNot enough space for all entries.\rMerging aborted.");

QString limitMessage(int sortClass) {
    return sortClass == ClassNumber ? TooManyNumbers : TooManyTexts;
}
} // namespace

QString UserMessage::displayText() const {
    QString s = text;
    s.replace(u'\r', u'\n');
    return s;
}

BookEditor::BookEditor(BookModel& model) : model_(model) {
    model_.setCommitHandler(
        [this](const QModelIndex& index, const QString& text) { commitLabel(index, text); });
}

BookEditor::~BookEditor() {
    model_.setCommitHandler({});
}

bool BookEditor::ask(const QString& caption, const QString& text) {
    if (!messages_)
        return false;
    return messages_({UserMessage::Type::Question, caption, text});
}

void BookEditor::showError(const QString& text) {
    const UserMessage message{UserMessage::Type::Error, QStringLiteral("Error"), text};
    if (messages_)
        messages_(message);
    else
        qWarning().noquote() << message.displayText();
}

QModelIndex BookEditor::orRoot(const QModelIndex& selected) const {
    if (selected.model() == &model_ && BookModel::levelOf(selected) >= 0)
        return selected;
    return model_.rootIndex();
}

EditOutcome BookEditor::startNewName(int row, bool expandRoot) {
    Name& name = model_.insertName(row, model_.book().newEntryName());
    // Kept even when the user cancels the label editor: the name is there.
    model_.book().bookChanged = true;
    if (expandRoot)
        model_.setRootExpanded(true);
    const QModelIndex index = model_.indexOf(name);
    return {index, index, ViewExpansion::Unchanged, false};
}

QModelIndex BookEditor::addSubentryAt(const QModelIndex& node, Name& name, const QString& text,
                                      int kind) {
    const int closeButton = sortClassOf(kind);
    if (Book::subentryCount(name, closeButton) >= classLimit(closeButton)) {
        showError(limitMessage(closeButton));
        return {};
    }
    // On a name: its last subentry, and the name opens. On a subentry: in
    // front of it.
    const bool onName = BookModel::levelOf(node) == 1;
    const int pos = onName ? static_cast<int>(name.subs.size()) : node.row();
    model_.insertSubentry(name, pos, text, kind);
    // The book changed even if the user leaves the default text standing.
    model_.book().bookChanged = true;
    if (onName)
        model_.setExpanded(name, true);
    return model_.indexOf(name, pos);
}

void BookEditor::setNumberPrefix(const QString& prefix) {
    // A number is never empty, so neither is what an emptied one becomes.
    numberPrefix_ = cleanNumber(prefix, numberPrefix_);
}

EditOutcome BookEditor::newEntry(const QModelIndex& selected) {
    const BookStepScope step(model_, QStringLiteral("New entry"));
    const QModelIndex node = orRoot(selected);
    const int level = BookModel::levelOf(node);
    if (level == 0)
        return startNewName(0, true);
    Name* name = model_.nameOf(node);
    if (!name)
        return {};
    if (level == 1 && !name->expanded && !name->subs.empty())
        return startNewName(node.row(), false);
    const QModelIndex index = addSubentryAt(node, *name, numberPrefix_, KindGeneral);
    return {index, index, ViewExpansion::Unchanged, false};
}

EditOutcome BookEditor::newTextEntry(const QModelIndex& selected) {
    const BookStepScope step(model_, QStringLiteral("New text entry"));
    const QModelIndex node = orRoot(selected);
    const int level = BookModel::levelOf(node);
    Name* name = model_.nameOf(node);
    if (level == 0 || !name)
        return {};
    EditOutcome outcome;
    outcome.edit = addSubentryAt(node, *name, "Text", KindNote);
    return outcome;
}

EditOutcome BookEditor::newName(const QModelIndex& selected) {
    const BookStepScope step(model_, QStringLiteral("New name"));
    const QModelIndex node = orRoot(selected);
    // In front of the target name; the first name stands in for the root, and
    // an empty book takes the new name as its first.
    int row = 0;
    if (const Name* target = model_.nameOf(node))
        row = model_.book().rowOf(target);
    return startNewName(row, true);
}

EditOutcome BookEditor::edit(const QModelIndex& selected) const {
    EditOutcome outcome;
    if (selected.model() == &model_ && BookModel::isLabelEditable(selected))
        outcome.edit = selected;
    return outcome;
}

bool BookEditor::deleteNode(const QModelIndex& selected) {
    if (selected.model() != &model_)
        return false;
    const int level = BookModel::levelOf(selected);
    Name* name = model_.nameOf(selected);
    if (level < 1 || !name)
        return false;
    const Subentry* sub = model_.subentryOf(selected);
    if (level == 2 && !sub)
        return false;
    const QString& text = sub ? sub->text : name->text;
    const QString stepText = QStringLiteral("Delete ") + quotedForStep(text);
    QString question = QStringLiteral("Really delete entry \"") + text + u'"' + u'?';
    if (level == 1 && !name->subs.empty())
        question += "\rNote: Deleting the parent entry will remove\rall its subentries as well!";
    const QPersistentModelIndex node(selected);
    if (!ask("Confirm", question) || !node.isValid())
        return false; // answered No, or the node went while the question was up
    name = model_.nameOf(node);
    const BookStepScope step(model_, stepText);
    // The parent of an only child is collapsed first, so its icon shows closed.
    if (level == 1) {
        if (model_.book().entryCount() == 1)
            model_.setRootExpanded(false);
        model_.removeName(node.row());
    } else {
        if (name->subs.size() == 1)
            model_.setExpanded(*name, false);
        model_.removeSubentry(*name, node.row());
    }
    return true;
}

EditOutcome BookEditor::clearBook() {
    if (model_.book().transferActive)
        return {};
    if (ask("Confirm", "Really delete all entries?")) {
        const BookStepScope step(model_, QStringLiteral("Clear"));
        model_.setRootExpanded(false);
        model_.clearNames();
    }
    EditOutcome outcome;
    outcome.focusTree = true;
    return outcome;
}

bool BookEditor::newBook(const std::function<bool()>& closeQuestion) {
    if (model_.book().transferActive)
        return false;
    if (closeQuestion && !closeQuestion())
        return false;
    model_.setRootExpanded(false);
    model_.clearNames();
    model_.book().bookFileName.clear();
    model_.book().bookChanged = false;
    return true;
}

EditOutcome BookEditor::expandAll() {
    model_.setAllExpanded(true);
    EditOutcome outcome;
    outcome.expansion = ViewExpansion::ExpandAll;
    return outcome;
}

EditOutcome BookEditor::collapseAll() {
    model_.setAllExpanded(false);
    EditOutcome outcome;
    outcome.expansion = ViewExpansion::CollapseAll;
    return outcome;
}

bool BookEditor::changeType(const QModelIndex& selected, int kind) {
    if (selected.model() != &model_ || kind < KindGeneral || kind > KindNote)
        return false;
    Name* name = model_.nameOf(selected);
    const Subentry* sub = model_.subentryOf(selected);
    if (!name || !sub || sub->kind == KindCallerGroup)
        return false;
    const int pos = selected.row();
    const int newClass = sortClassOf(kind);
    const BookStepScope step(model_, QStringLiteral("Change type of ") + quotedForStep(sub->text));
    if (newClass != sortClassOf(sub->kind) &&
        Book::subentryCount(*name, newClass) >= classLimit(newClass)) {
        showError(limitMessage(newClass));
        return false;
    }
    model_.setSubentryKind(*name, pos, kind);
    // As if the label editor had been opened and closed on it: a number's text
    // (also a text turned into a number) is cleaned, the name sorted by class.
    commitLabel(selected, name->subs[static_cast<size_t>(pos)].text);
    return true;
}

bool BookEditor::setGroup(const QModelIndex& selected, int group) {
    if (selected.model() != &model_ || group < 1 || group >= GroupCount)
        return false;
    Name* name = model_.nameOf(selected);
    if (!name)
        return false;
    const BookStepScope step(model_, QStringLiteral("Add ") + quotedForStep(name->text) +
                                         QStringLiteral(" to group"));
    for (int pos = static_cast<int>(name->subs.size()) - 1; pos >= 0; --pos)
        if (name->subs[static_cast<size_t>(pos)].kind == KindCallerGroup)
            model_.removeSubentry(*name, pos);
    model_.addSubentry(*name, groupNames[static_cast<size_t>(group)], KindCallerGroup);
    model_.book().bookChanged = true;
    return true;
}

void BookEditor::commitLabel(const QModelIndex& index, QString text) {
    if (index.model() != &model_ || !BookModel::isLabelEditable(index))
        return;
    Book& book = model_.book();
    book.bookChanged = true;
    Name* name = model_.nameOf(index);
    if (!name)
        return;
    const Subentry* edited = model_.subentryOf(index);
    const BookStepScope step(model_, QStringLiteral("Edit ") +
                                         quotedForStep(edited ? edited->text : name->text));
    if (BookModel::levelOf(index) == 2) {
        const Subentry* sub = edited;
        if (!sub)
            return;
        if (isNumberKind(sub->kind))
            text = cleanNumber(text, numberPrefix_);
        model_.setSubentryText(*name, index.row(), text);
        model_.sortByClass(*name);
        return;
    }

    const int otherRow = book.findName(text, book.rowOf(name));
    if (otherRow >= 0) {
        // The questions are modal; a phone read may add names meanwhile, so
        // both names are held by persistent indexes, not by rows.
        const QPersistentModelIndex node(index);
        const QPersistentModelIndex other(model_.indexOf(book.name(otherRow)));
        const QString oldText = name->text;
        model_.setNameText(*name, text);
        // Which name stays and under which text, so the answer is an informed one.
        const QString question = MergeQuestion + QStringLiteral("\r\r\"%1\" is renamed \"%2\" and "
                                                                "takes the entries of the other "
                                                                "\"%2\", which is then removed.")
                                                     .arg(oldText, text);
        const bool merged = ask("Double entry", question) && node.isValid() && other.isValid() &&
                            merge(*model_.nameOf(node), *model_.nameOf(other));
        if (!node.isValid())
            return;
        name = model_.nameOf(node);
        if (!merged)
            text = oldText;
        else
            model_.setStepText(QStringLiteral("Merge ") + quotedForStep(oldText));
    }
    model_.sortByClass(*name);
    model_.setNameText(*name, text);
}

void BookEditor::commitCell(const QModelIndex& index, int kind, const QString& text) {
    if (index.model() != &model_ || BookModel::levelOf(index) != 1 || !model_.nameOf(index))
        return;
    if (kind == KindNameCollapsed || kind == KindNameExpanded) {
        commitLabel(index, text);
        return;
    }
    if (!isNumberKind(kind) && !isTextKind(kind))
        return;
    QStringList lines = text.split(u'\n');
    lines.removeAll(QString());
    Name& name = *model_.nameOf(index);
    const BookStepScope step(model_, QStringLiteral("Edit ") + quotedForStep(name.text));
    // The n-th subentry of the kind stays the n-th: the class sort is stable.
    const auto posOf = [&](int n) {
        for (int pos = 0; pos < static_cast<int>(name.subs.size()); ++pos)
            if (name.subs[static_cast<size_t>(pos)].kind == kind && n-- == 0)
                return pos;
        return -1;
    };
    int line = 0;
    for (; line < lines.size() && posOf(line) >= 0; ++line) {
        const int pos = posOf(line);
        if (name.subs[static_cast<size_t>(pos)].text != lines[line])
            commitLabel(model_.indexOf(name, pos), lines[line]);
    }
    for (int pos = posOf(line); pos >= 0; pos = posOf(line)) {
        model_.removeSubentry(name, pos);
        if (name.subs.empty())
            model_.setExpanded(name, false);
    }
    const int sortClass = sortClassOf(kind);
    for (; line < lines.size(); ++line) {
        if (Book::subentryCount(name, sortClass) >= classLimit(sortClass)) {
            showError(limitMessage(sortClass));
            break;
        }
        model_.addSubentry(name, isNumberKind(kind) ? cleanNumber(lines[line]) : lines[line], kind);
        model_.book().bookChanged = true;
    }
    model_.sortByClass(name);
}

bool BookEditor::merge(Name& node, Name& other) {
    // All or nothing: the same walk on counts first, so a merge that cannot
    // end leaves both names as they were.
    std::array<int, ClassOther + 1> counts{};
    for (int c = ClassNumber; c <= ClassOther; ++c)
        counts[static_cast<size_t>(c)] = Book::subentryCount(node, c);
    for (const Subentry& sub : other.subs) {
        const int c = sortClassOf(sub.kind);
        if (c == ClassGroup && counts[ClassGroup] > 0)
            continue;
        if (counts[static_cast<size_t>(c)] >= classLimit(c)) {
            showError(MergeImpossible);
            return false;
        }
        ++counts[static_cast<size_t>(c)];
    }
    size_t pos = 0;
    while (pos < other.subs.size()) {
        const int closeButton = sortClassOf(other.subs[pos].kind);
        if (closeButton == ClassGroup && Book::subentryCount(node, ClassGroup) > 0) {
            ++pos; // the node keeps its own group; this one stays behind
            continue;
        }
        const size_t before = other.subs.size();
        model_.moveSubentry(other, static_cast<int>(pos), node, static_cast<int>(node.subs.size()));
        if (other.subs.size() == before)
            return false; // not moved; never loop on it
    }
    model_.removeName(model_.book().rowOf(&other));
    return true;
}

EditOutcome BookEditor::sortBook(const QLocale& locale) {
    Book& book = model_.book();
    if (book.transferActive)
        return {};
    const BookStepScope step(model_, QStringLiteral("Sort book"));
    model_.sortBook(NameOrder(locale).sortedRows(book));
    book.bookChanged = true;
    EditOutcome outcome;
    outcome.focusTree = true;
    return outcome;
}

bool BookEditor::flipBook() {
    if (model_.book().transferActive)
        return false;
    const BookStepScope step(model_, QStringLiteral("Flip book"), true);
    model_.flipBook();
    return true;
}

} // namespace quorix
