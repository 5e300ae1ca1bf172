#pragma once

#include "Kinds.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace quorix {

// A subentry of a name: a number, a text or the caller group. The kind is the
// icon index (see Kinds.h); files may hold any value below 16, so it is an int.
struct Subentry {
    QString text;
    int kind = KindGeneral;

    friend bool operator==(const Subentry&, const Subentry&) = default;
};

// What one phone location holds, in the phone's own view: the name and the
// subentries as a read gives them back, after the phone's cuts and encoding
// (subentries in class order). Two contents are equal exactly when a read could
// not tell them apart.
struct PhoneContent {
    QString name;
    std::vector<Subentry> subs;
    friend bool operator==(const PhoneContent&, const PhoneContent&) = default;
};

// A used location of the phone and what it holds there.
struct PhoneSlot {
    int location = 0;
    PhoneContent content;
    friend bool operator==(const PhoneSlot&, const PhoneSlot&) = default;
};

// A name (the program's messages say "entry") with its subentries.
class Name {
public:
    explicit Name(QString t = {}) : text(std::move(t)) {}
    // A copy is another name: it gets a serial of its own, and assignment
    // leaves the serial alone.
    Name(const Name& other)
        : text(other.text), data(other.data), expanded(other.expanded), subs(other.subs) {}
    Name(Name&& other) noexcept
        : text(std::move(other.text)), data(other.data), expanded(other.expanded),
          subs(std::move(other.subs)) {}
    Name& operator=(const Name& other) {
        text = other.text;
        data = other.data;
        expanded = other.expanded;
        subs = other.subs;
        return *this;
    }
    Name& operator=(Name&& other) noexcept {
        text = std::move(other.text);
        data = other.data;
        expanded = other.expanded;
        subs = std::move(other.subs);
        return *this;
    }
    ~Name() = default;

    QString text;
    // 0, or the 1-based position of this name's transfer note in Book::entryNotes.
    int data = 0;
    // The icon follows the expansion: 1 while expanded, 0 while collapsed.
    bool expanded = false;
    std::vector<Subentry> subs;
    // The company a vCard gave (ORG), written back to vCard; no other file
    // keeps it.
    QString organization;
    // The phone location this name was last read from or confirmed written to;
    // none for a name the phone has not seen. Not kept in .pbf files.
    std::optional<int> location;
    // What the phone held at that location then, in the phone's view.
    std::optional<PhoneContent> phoneContent;

    int imageIndex() const { return expanded ? KindNameExpanded : KindNameCollapsed; }
    // Unique for the run: the undo history tells a name from another that
    // took its row by it.
    quint64 serial() const { return serial_; }

private:
    friend class Book;
    static quint64 nextSerial();
    quint64 serial_ = nextSerial();
    // Position key: the row is row_ minus the book's base (see Book::rowOf).
    mutable qint64 row_ = -1;
};

// The phonebook: the root "PhoneBook" (implicit, never deleted) with its names,
// the per-name transfer notes and the book state. Plain data; the item model in
// BookModel.h shows it to views.
//
// Names sit in a deque so that the fillers' "add at the top, then flip" stays
// linear. A name keeps a position key; its row is the key minus a base that
// moves when names are added or removed at either end, so those stay O(1).
// Changes in the middle renumber lazily, once, when a row is next asked for.
class Book {
public:
    static constexpr const char* RootText = "PhoneBook";

    Book() = default;
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;
    Book(Book&&) noexcept = default;
    Book& operator=(Book&&) noexcept = default;

    // The number of entries: names only, subentries are not counted.
    int entryCount() const { return static_cast<int>(names_.size()); }
    bool isEmpty() const { return names_.empty(); }

    Name& name(int row) { return *names_[static_cast<size_t>(row)]; }
    const Name& name(int row) const { return *names_[static_cast<size_t>(row)]; }
    // Row of a name of this book under the root, or -1 when it is not one of ours.
    int rowOf(const Name* n) const;

    // A new name in first position (image 0).
    Name& addAtTop(QString text);
    // A new name in front of the name at row; row == entryCount() appends.
    Name& insertName(int row, QString text);
    // A whole name, moved in at row (used by undo-free moves and merges).
    Name& insertName(int row, std::unique_ptr<Name> name);
    std::unique_ptr<Name> takeName(int row);
    void removeName(int row) { takeName(row); }

    // Deletes every name and empties entryNotes; the root stays.
    void clear();
    // Exchanges the names, the notes, the root's expansion and the phone's
    // known locations with other's;
    // the file name and the flags stay. Constant time.
    void swapContent(Book& other);

    // Reverses the order of the names; subentries keep their order. Every name
    // ends collapsed and the root expanded, so the book shows its names only.
    void flipBook();
    // Puts the names into a new order: order[newRow] is the name's old row.
    // order must be a permutation of 0..entryCount()-1 (BookModel::sortBook
    // checks it).
    void permuteNames(const std::vector<int>& order);

    // Sorts the names by text with the given strict-weak "less"; stable.
    template <typename Less> void sortNames(Less less) {
        std::stable_sort(names_.begin(), names_.end(),
                         [&](const auto& a, const auto& b) { return less(a->text, b->text); });
        rowsDirty_ = true;
    }

    // First name (row) whose text equals text character for character, passing over the
    // name at row skip (-1 passes over nothing); -1 when there is none.
    int findName(const QString& text, int skip = -1) const;
    // The first of "New Entry 1", "New Entry 2", ... that no name has.
    QString newEntryName() const;

    // Number of subentries of a name whose sort class is sortClass.
    static int subentryCount(const Name& name, int sortClass);
    // Negative when a sorts before b by class, 0 when they are of one class.
    static int compareClass(const Subentry& a, const Subentry& b) {
        return sortClassOf(a.kind) - sortClassOf(b.kind);
    }
    // A new last subentry.
    static Subentry& addSubentry(Name& name, QString text, int kind);
    // A new subentry in front of the one at position pos (pos == count appends).
    static Subentry& insertSubentry(Name& name, int pos, QString text, int kind);
    // Orders the subentries numbers, texts, group, others; stable within a class.
    static void sortByClass(Name& name);

    // Per-name transfer notes: a name's data is 0 or a 1-based slot here.
    QList<QString> entryNotes;
    // Sets the name's note, making a new slot when it has none.
    void setEntryNote(Name& name, const QString& note);
    // The name's note, or an empty text when it has none.
    QString entryNote(const Name& name) const;

    // The phone locations known to hold an entry, as the last reads, compares
    // and writes found them. Write changes reads those that no name of the
    // book records, to find the names deleted from the book but left on the
    // phone. Only ever a list of places to look: what is there is read.
    std::set<int> phoneHeld;

    // Book state.
    bool bookChanged = false;    // changes not yet saved
    QString bookFileName;        // full path of the current file; empty when none
    bool transferActive = false; // a phone transfer is running
    bool rootExpanded = false;

    auto begin() const { return names_.begin(); }
    auto end() const { return names_.end(); }

private:
    void renumber() const;

    std::deque<std::unique_ptr<Name>> names_;
    mutable qint64 base_ = 0;
    mutable bool rowsDirty_ = false;
};

// What a new number holds, and what an emptied one becomes, unless the user
// set another country's prefix.
inline constexpr QStringView DefaultNumberPrefix = u"+49";

// Cleans a typed number: keeps "#", "*", "+", the digits 0-9, "p" and "w"; an
// empty result becomes emptyNumber (the prefix new numbers start with). Other
// characters, digits of other scripts included, are dropped: the phone dials
// only these.
QString cleanNumber(const QString& text, QStringView emptyNumber = DefaultNumberPrefix);

// A number as an import finds it in another program's field, or nothing when
// the text is no number: a text without a digit, or with letters that are
// neither an extension mark ("ext", "ext.", "x", "extension", ";ext=" of a
// "tel:" address, and their common forms in other languages) nor the phone's
// pause "p" or wait "w". Blanks, dashes, dots, slashes and brackets are dropped;
// an extension follows the phone's pause ("+1 418 656-9254 ext. 102" gives
// "+14186569254p102"); digits of other scripts become 0-9. Nothing is ever
// made up: no "+49" for an empty number.
std::optional<QString> importedNumber(const QString& text);

// The text with every surrogate that is not half of a pair replaced by U+FFFD:
// what comes from outside (the phone's 16-bit units, a decoder of a named
// charset) may hold such halves, which no file can store.
QString wholeCharacters(QString text);

// The character of a byte in Windows-1252 (0x80 is "€"); the five bytes the
// code page leaves free stand for themselves, like the Latin-1 ones.
char16_t windows1252Char(unsigned char byte);

// The book as indented text for a person: each name, then its subentries
// ("  Mobile: +491230"), one per line. A subentry kind of no type shows its
// number ("  Unknown (12): x"); control characters in texts show as "?".
QString describeBook(const Book& book);

} // namespace quorix
