#pragma once

#include "Book.h"

#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// Comparing the book with a range of the phone's locations, and planning a
// write that sends only what differs. Pure functions on values: what a write
// would store for a name comes in from the encoder (transfer/), what the phone
// holds from a read or from the names' recorded phone content.
namespace quorix {

// A name of the book as the comparison sees it.
struct BookSide {
    int row = -1;                // the name's row in the book
    std::optional<int> location; // where the phone keeps it, when known
    PhoneContent stored;         // what writing it would leave on the phone
};

enum class SlotState { Same, Changed, New, PhoneOnly };

// One location of the comparison (or one new name without a free location).
struct SlotDiff {
    SlotState state = SlotState::Same;
    int location = 0; // where it is or would go; 0 when the range has no free location left
    int bookRow = -1; // -1 for PhoneOnly
    std::optional<PhoneContent> phone; // what the phone holds there (none for New)
    std::optional<PhoneContent> book;  // what writing the name would store (none for PhoneOnly)
    // For Changed: what differs, old → new, such as "Mobile: +4912 → +4913".
    QStringList changes;
};

struct Comparison {
    int first = 0, last = 0;    // the range compared
    std::vector<SlotDiff> rows; // by location; names without a free location last
    int same = 0, changed = 0, added = 0, phoneOnly = 0;
    int unplaced = 0; // new names for which the range had no free location

    // "3 changed, 2 new, 495 the same, 7 only on the phone", and ", 1 without a
    // free location" when there are such.
    QString countLine() const;
    bool differs() const { return changed + added + phoneOnly > 0; }
};

// Compares location by location. A name with a recorded location in the range
// is compared with what the phone holds there; a name without one (or whose
// location another name of the book took first) is matched to the first
// unclaimed phone entry of the same person (personKey), else it is new and
// goes to the first free location of the range: one the phone leaves empty and
// no name of the book claims. Names whose recorded location lies outside the
// range take no part. phone holds the used locations of the range.
Comparison comparePhone(const std::vector<BookSide>& book, const std::vector<PhoneSlot>& phone,
                        int first, int last);

// The differences between what the phone holds and what would be stored, for a
// person: the name, then each kind's entries in order ("Mobile: +4912 → +4913",
// "E-Mail: → a@b.de", "Note: Call back → ").
QStringList describeChanges(const PhoneContent& old, const PhoneContent& now);

// What "Write changes" does with a comparison.
struct WritePlan {
    struct Send {
        int bookRow = -1;
        int location = 0;
        bool isNew = false;
    };
    std::vector<Send> send;      // by location
    std::vector<int> skip;       // book rows the phone already holds as they would be stored
    std::vector<PhoneSlot> left; // phone entries the book lacks: left on the phone
    std::vector<int> unplaced;   // new names without a free location: not written
};
WritePlan planChanges(const Comparison& comparison);

// The sends of a plan whose location the phone no longer holds as expected:
// expected is what a snapshot says the phone holds, found what was read at the
// plan's locations just now (an empty location is one neither lists).
std::vector<WritePlan::Send> changedBehind(const WritePlan& plan,
                                           const std::vector<PhoneSlot>& expected,
                                           const std::vector<PhoneSlot>& found);
// What the phone holds at the plan's locations, by what it is known to hold:
// the entries a write of the plan replaces.
std::vector<PhoneSlot> replacedBy(const WritePlan& plan, const std::vector<PhoneSlot>& held);

// The book's names as the comparison takes them: each with its recorded
// location and what writing it would store (by the write's encoder).
std::vector<BookSide> bookSides(const Book& book,
                                const std::function<PhoneContent(const Name&)>& stored);
// What the book's names say the phone holds: their recorded locations and
// contents, for the names that have both (the first name wins a location two
// claim).
std::vector<PhoneSlot> recordedSlots(const Book& book);
// Slots as a book, one name per slot in location order, each knowing its place:
// what a backup holds.
Book slotsBook(const std::vector<PhoneSlot>& held);

// One line for a location that differs, for the terminal and the status bar:
// "12 changed: Anna Smith (Mobile: +4912 → +4913)", "40 new: Bob",
// "77 only on the phone: Carl", "- new: Eve (no free location)".
QString diffLine(const SlotDiff& row, const Book& book);

} // namespace quorix
