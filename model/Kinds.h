#pragma once

#include <QString>
#include <array>

namespace quorix {

// A node's kind is the index of its icon; the values are stored in .pbf files
// and therefore fixed.
enum Kind : int {
    KindNameCollapsed = 0,
    KindNameExpanded = 1,
    KindGeneral = 2,
    KindMobile = 3,
    KindHome = 4,
    KindOffice = 5,
    KindFax = 6,
    KindEMail = 7,
    KindPostalAddress = 8,
    KindNote = 9,
    KindCallerGroup = 10,
    KindUnknown = 11,
};
inline constexpr int KindCount = 12;

// Sort classes order a name's subentries: numbers, texts, the group, the rest.
enum SortClass : int { ClassNumber = 1, ClassText = 2, ClassGroup = 3, ClassOther = 4 };

constexpr int sortClassOf(int imageIndex) {
    if (imageIndex >= KindGeneral && imageIndex <= KindFax)
        return ClassNumber;
    if (imageIndex >= KindEMail && imageIndex <= KindNote)
        return ClassText;
    if (imageIndex == KindCallerGroup)
        return ClassGroup;
    return ClassOther;
}

constexpr bool isNumberKind(int kind) {
    return sortClassOf(kind) == ClassNumber;
}
constexpr bool isTextKind(int kind) {
    return sortClassOf(kind) == ClassText;
}

// Most subentries of one class under a name, as the phone takes them.
inline constexpr int MaxNumbers = 5;
inline constexpr int MaxTexts = 2;
inline constexpr int MaxGroups = 1;

// The limit merge and the imports apply to a class: 5 for numbers, 2 for any other.
constexpr int classLimit(int sortClass) {
    return sortClass == ClassNumber ? MaxNumbers : MaxTexts;
}

// Human-readable kind of a subentry ("Mobile", "Caller group", ...).
const char* kindName(int kind);

// Caller groups by the phone's group number 0..5.
inline constexpr int GroupCount = 6;
extern const std::array<QString, GroupCount> groupNames;

// Group number of a group name, or -1 when the text is none of groupNames 1..5.
int groupIndex(const QString& name);

} // namespace quorix
